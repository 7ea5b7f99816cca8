#pragma once
// The five message operations every part of the program uses: notices, errors and
// questions in the program's own windows, and centring a window on the screen. A caller
// that waits runs a nested event loop until the shared flag changes, so the program
// stays live meanwhile; waits nest.

#include "ui/UiState.h"

#include <QString>
#include <QWidget>

#include <cstdint>

namespace qvl::ui {

// Shows the notice (frmMessage), replacing any open one at once. With showOk the OK
// button is shown and the system beeps; with wait the call returns only once the notice
// is dismissed or closed. A timeout of N > 0 closes it after N one-second ticks counted
// from its last activation; left and top > 0 place it, else it is centred.
void ShowMessage(DialogState& state, const QString& line1, const QString& line2, bool showOk, bool wait,
                 int32_t timeout = 0, int32_t left = 0, int32_t top = 0);
// Fades the notice out (when effects are on) and closes it.
void CloseMessage(DialogState& state);
// Shows the error window (frmErrorMessage), reusing an open one. Never fails its caller.
void ShowErrorMessage(DialogState& state, const QString& line1, const QString& line2, bool showOk, bool wait);
// Asks a question in frmDialogMessage: kind 1 Yes/No answers 6 or 7, kind 2 Ok/Cancel
// answers 1 or 2; any other kind answers 0 at once without showing anything. Alert turns
// the strips red. Returns only once answered; a window closed otherwise counts as No.
int16_t ShowDialogMessage(DialogState& state, const QString& line1, const QString& line2,
                          const QString& title, int16_t kind, bool modal, bool alert);
// Places the window in the middle of its screen (the whole screen, not the work area).
void CenterForm(QWidget* window);

} // namespace qvl::ui
