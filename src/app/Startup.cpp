#include "app/Main.h"

#include "app/Settings.h"
#include "sys/SystemChecks.h"
#include "sys/frmMDAC.h"
#include "ui/dialogs/Messages.h"
#include "ui/main/frmMain.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <filesystem>

namespace qvl::app {

std::unique_ptr<ui::frmMain> Main(AppState& state, indexer::DriveCatalogue catalogue,
                                  const QString& commandLine, const std::string& dbConnect,
                                  const std::string& templateFile) {
    LoadSettings(state.ExplorerMode, state.VisualEffects);
    if (!(sys::GetMDACVersion() >= sys::kMinimumDataAccessVersion))
        sys::frmMDAC::showModal(state);
    ui::ShowMessage(state, "Loading", "Please wait", false, false);
    QCoreApplication::processEvents();
    state.DbConnect = dbConnect;
    state.TemplateFile = templateFile;
    auto main = std::make_unique<ui::frmMain>(state, std::move(catalogue), commandLine);
    main->Form_Load();
    main->show();
    ui::CloseMessage(state);
    return main;
}

void CheckFirstRun(AppState& state, QWidget* parent) {
    std::error_code ec;
    state.IsFirstRun = !std::filesystem::exists(state.DbConnect, ec);
    if (state.IsFirstRun) {
        // The message goes over the window, so the window is on screen first.
        if (parent && !parent->isVisible())
            parent->show();
        QMessageBox::information(parent, "Quorvel",
                                 "This is the FIRST TIME you run QVL, Please select 'Index Drives'");
    }
}

} // namespace qvl::app
