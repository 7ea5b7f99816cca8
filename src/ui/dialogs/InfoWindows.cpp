#include "ui/dialogs/InfoWindows.h"

#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmAbout2.h"
#include "ui/dialogs/frmDocument.h"
#include "ui/kit/Widgets.h"

namespace qvl::ui {

namespace {

// Shows the window held in `slot`, making it first when there is none.
template <class Make> QWidget* present(QPointer<QWidget>& slot, Make make) {
    if (!slot)
        slot = make();
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

} // namespace

void showHelp(InfoState& state) {
    present(state.help, [&] {
        return new frmDocument(state, frmDocument::Kind::Help, [&state] { showVersionHistory(state); });
    });
}

void showVersionHistory(InfoState& state) {
    present(state.versionHistory, [&] { return new frmDocument(state, frmDocument::Kind::History); });
}

void showAbout(InfoState& state, bool modal) {
    if (modal && !state.about) {
        auto* about = new frmAbout(state);
        about->setWindowModality(Qt::ApplicationModal);
        state.about = about;
    }
    QPointer<QWidget> window = present(state.about, [&] { return new frmAbout(state); });
    if (modal)
        waitUntilGone(window);
}

void showCredits(InfoState& state) {
    present(state.credits, [&] { return new frmAbout2(state); });
}

} // namespace qvl::ui
