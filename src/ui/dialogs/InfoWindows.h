#pragma once
// Opening the information windows; each exists at most once and comes to the front
// when it is open already.

#include "ui/UiState.h"

namespace qvl::ui {

void showHelp(ui::UiState& state);
void showVersionHistory(ui::UiState& state);
// The about window; modal shows it and returns when it has closed.
void showAbout(ui::UiState& state, bool modal);
void showCredits(ui::UiState& state);

} // namespace qvl::ui
