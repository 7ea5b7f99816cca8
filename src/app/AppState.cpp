#include "app/AppState.h"

#include "ui/dialogs/frmPic.h"

#include <cstdlib>

namespace qvl::app {

AppState::AppState()
    : endProgramNow([] { std::_Exit(0); }) {}

AppState::~AppState() = default;

ui::frmPic& AppState::pictures() {
    if (!m_pictures)
        m_pictures = std::make_unique<ui::frmPic>();
    return *m_pictures;
}

} // namespace qvl::app
