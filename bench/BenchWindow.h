#pragma once
// The main window of the window benchmarks, on the store in a data folder (from
// qvl_genstore, whose folders sit below /bench on drive C), loaded and shown.

#include "ui/UiState.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>

#include <memory>

inline std::unique_ptr<qvl::ui::frmMain> openBenchWindow(qvl::ui::UiState& state, const char* dataDir) {
    state.DbConnect = QDir(dataDir).filePath("Files.dat").toStdString();
    qvl::indexer::DriveCatalogue catalogue;
    catalogue.add({'C', qvl::indexer::DriveFixed, "/bench"});
    auto window = std::make_unique<qvl::ui::frmMain>(state, catalogue);
    window->Form_Load();
    window->show();
    QApplication::processEvents();
    return window;
}
