#pragma once
// Start-up: settings, the "Loading" notice, the index store's place, the main window.

#include "app/AppState.h"
#include "indexer/DriveCatalogue.h"

#include <QString>

#include <memory>

namespace qvl::ui {
class frmMain;
}

namespace qvl::app {

// Runs the start-up sequence and returns the main window, loaded and shown; it lives
// until the process ends. `commandLine` is the argument text, searched for as one
// folder name. `dbConnect` and `templateFile` say where the index lives.
std::unique_ptr<ui::frmMain> Main(AppState& state, indexer::DriveCatalogue catalogue,
                                  const QString& commandLine, const std::string& dbConnect,
                                  const std::string& templateFile);

// Whether the index was never built (Files.dat missing); then the first-run message
// box is shown over `parent`. Sets IsFirstRun.
void CheckFirstRun(AppState& state, QWidget* parent);

} // namespace qvl::app
