// Shows one dialog so that it can be looked at (for screenshots under Xvfb):
//   qvl_dialogdemo notice|wait|error|question|okcancel|alert
#include "app/AppState.h"
#include "ui/dialogs/Messages.h"

#include <QApplication>
#include <QTimer>

using namespace qvl;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app::AppState state;
    QString what = argc > 1 ? argv[1] : "notice";
    QTimer::singleShot(0, [&] {
        if (what == "notice")
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
