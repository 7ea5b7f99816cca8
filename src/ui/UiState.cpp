#include "app/AppState.h"

#include "platform/FolderOpener.h"
#include "ui/dialogs/frmPic.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstdlib>

namespace qvl::app {

AppState::AppState()
    : endProgramNow([] { std::_Exit(0); })
    , openFolder(platform::openFolder)
    , openUrl([](const QString& url) { QDesktopServices::openUrl(QUrl(url)); }) {}

AppState::~AppState() = default;

ui::frmPic& AppState::pictures() {
    if (!m_pictures)
        m_pictures = std::make_unique<ui::frmPic>();
    return *m_pictures;
}

} // namespace qvl::app
