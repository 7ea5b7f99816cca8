#include "app/Startup.h"

#include "platform/Registry.h"
#include "platform/SystemChecks.h"
#include "store/IndexStore.h"
#include "ui/Settings.h"
#include "ui/dialogs/Messages.h"
#include "ui/dialogs/frmMDAC.h"
#include "ui/main/frmMain.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <filesystem>

namespace qvl::app {

std::unique_ptr<ui::frmMain> Main(ui::UiState& state, indexer::DriveCatalogue catalogue,
                                  const QString& commandLine, const std::string& dbConnect,
                                  const std::string& templateFile) {
    ui::LoadSettings(state.ExplorerMode, state.VisualEffects);
    state.AsYouType = ui::LoadAsYouType();
    // The index needs a database engine as the program once needed the data-access
    // components: where the system keeps no such version, the engine's stands for it.
    platform::setDataAccessVersion(store::engineVersion());
    if (!(platform::GetMDACVersion() >= platform::kMinimumDataAccessVersion))
        ui::frmMDAC::showModal(state);
    ui::ShowMessage(state, "Loading", "Please wait", false, false);
    QCoreApplication::processEvents();
    state.DbConnect = dbConnect;
    state.TemplateFile = templateFile;
    auto main = std::make_unique<ui::frmMain>(state, std::move(catalogue), commandLine);
    main->Form_Load();
    main->show();
    ui::CloseMessage(state);
    // The notice had the keyboard; without this, keys typed as the window appears went
    // nowhere until the first click (a window system without a window manager gives the
    // focus back to no window at all).
    main->activateWindow();
    return main;
}

} // namespace qvl::app
