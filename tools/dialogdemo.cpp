// Shows one dialog so that it can be looked at (for screenshots under Xvfb):
//   qvl_dialogdemo notice|wait|error|question|okcancel|alert|setup|about|help|history|mdac|credits
#include "RegistryWrite.h"
#include "platform/Registry.h"
#include "ui/UiState.h"
#include "ui/dialogs/InfoWindows.h"
#include "ui/dialogs/Messages.h"
#include "ui/dialogs/frmMDAC.h"
#include "ui/dialogs/frmSetup.h"

#include <QApplication>
#include <QTimer>

using namespace qvl;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::UiState state;
    QString what = argc > 1 ? argv[1] : "notice";
    QTimer::singleShot(0, [&] {
        state.AuthorName = "QVL Team";
        state.AuthorEmail = "quorvel@example.org";
        state.HomePageHost = "www.quorvel.org";
        if (what == "setup")
            (new ui::frmSetup(state, std::filesystem::path(state.DbConnect).parent_path(), {}))->show();
        else if (what == "about")
            ui::showAbout(state, false);
        else if (what == "help")
            ui::showHelp(state);
        else if (what == "history")
            ui::showVersionHistory(state);
        else if (what == "credits")
            ui::showCredits(state);
        else if (what == "mdac") {
            test::setRegistryValue(platform::kHkeyLocalMachine, "SOFTWARE\\Microsoft\\DataAccess", "Version",
                                   "2.10.4202");
            ui::frmMDAC::showModal(state);
        } else if (what == "notice")
            ui::ShowMessage(state, "Loading", "Please wait", false, false);
        else if (what == "wait")
            ui::ShowMessage(state, "Setup Saved", "", true, true);
        else if (what == "error")
            ui::ShowErrorMessage(state, "Error", "Wrong Criteria", true, false);
        else
            ui::ShowDialogMessage(state, "Rescan Drives?",
                                  what == "question" ? "" : "All rows will be replaced", "Quorvel",
                                  what == "okcancel" ? 2 : 1, true, what == "alert");
    });
    return app.exec();
}
