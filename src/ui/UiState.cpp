#include "ui/UiState.h"

#include "ui/kit/FolderOpener.h"
#include "ui/kit/frmPic.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstdlib>

namespace qvl::ui {

DialogState::DialogState()
    : endProgramNow([] { std::_Exit(0); }) {}

DialogState::~DialogState() = default;

frmPic& DialogState::pictures() {
    if (!m_pictures)
        m_pictures = std::make_unique<frmPic>();
    return *m_pictures;
}

InfoState::InfoState()
    : openUrl([](const QString& url) { QDesktopServices::openUrl(QUrl(url)); }) {}

UiState::UiState()
    : openFolder(ui::openFolder) {}

} // namespace qvl::ui
