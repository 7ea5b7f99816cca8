#pragma once
// Opening the information windows; each exists at most once and comes to the front
// when it is open already.

#include "ui/UiState.h"

namespace qvl::ui {

void showHelp(InfoState& state);
void showVersionHistory(InfoState& state);
// The about window; modal shows it and returns when it has closed.
void showAbout(InfoState& state, bool modal);
void showCredits(InfoState& state);

} // namespace qvl::ui
