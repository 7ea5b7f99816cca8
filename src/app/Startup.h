#pragma once
// Start-up: settings, the "Loading" notice, the index store's place, the main window.

#include "indexer/DriveCatalogue.h"
#include "ui/UiState.h"

#include <QString>

#include <memory>

namespace qvl::ui {
class frmMain;
}

namespace qvl::app {

// Runs the start-up sequence and returns the main window, loaded and shown; it lives
// until the process ends. `commandLine` is the argument text, searched for as one
// folder name. `dbConnect` and `templateFile` say where the index lives.
std::unique_ptr<ui::frmMain> Main(ui::UiState& state, indexer::DriveCatalogue catalogue,
                                  const QString& commandLine, const std::string& dbConnect,
                                  const std::string& templateFile);

} // namespace qvl::app
