#pragma once
// Opening the information windows; each exists at most once and comes to the front
// when it is open already.

#include "app/AppState.h"

namespace qvl::ui {

void showHelp(app::AppState& state);
void showVersionHistory(app::AppState& state);
// The about window; modal shows it and returns when it has closed.
void showAbout(app::AppState& state, bool modal);
void showCredits(app::AppState& state);

} // namespace qvl::ui
