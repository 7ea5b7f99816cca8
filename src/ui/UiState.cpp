#include "ui/UiState.h"

#include "ui/kit/FolderOpener.h"
#include "ui/kit/frmPic.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstdlib>

namespace qvl::ui {

UiState::UiState()
    : endProgramNow([] { std::_Exit(0); })
    , openFolder(ui::openFolder)
    , openUrl([](const QString& url) { QDesktopServices::openUrl(QUrl(url)); }) {}

UiState::~UiState() = default;

ui::frmPic& UiState::pictures() {
    if (!m_pictures)
        m_pictures = std::make_unique<ui::frmPic>();
    return *m_pictures;
}

} // namespace qvl::ui
