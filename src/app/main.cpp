// quorvel, the desktop program.
#include "app/Startup.h"
#include "indexer/Watch.h"
#include "store/DataFolder.h"
#include "store/IndexStore.h"
#include "ui/kit/Display.h"
#include "ui/kit/Widgets.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <atomic>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    std::string why;
    if (!qvl::ui::displayAvailable(why)) {
        std::fprintf(stderr, "quorvel: cannot open its window: %s.\nOn a text terminal, use qvl instead.\n",
                     why.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvel");
    qvl::ui::installFonts();
    // The installed desktop entry and icon; a build folder has neither and keeps Qt's.
    QGuiApplication::setDesktopFileName("org.quorvel.Quorvel");
    QApplication::setWindowIcon(QIcon::fromTheme("org.quorvel.Quorvel"));

    qvl::store::StoreLocation location = qvl::store::locateStore();
    // A data folder someone else may change holds nothing to trust: said, and nothing read.
    if (std::string refused = qvl::store::checkDataFolder(location.dataDir, /*create=*/false);
        !refused.empty()) {
        std::fprintf(stderr, "quorvel: %s\n", refused.c_str());
        QMessageBox::critical(nullptr, "Quorvel", QString::fromStdString(refused));
        return 2;
    }
    qvl::indexer::DriveCatalogue catalogue;
    std::string problem = catalogue.load(qvl::store::indexedDrives(qvl::store::BuildConnectString(location)));
    if (!problem.empty()) {
        std::fprintf(stderr, "quorvel: %s\n", problem.c_str());
        return 2;
    }
    // The argument text is one folder name, blanks and all.
    QStringList args = QApplication::arguments().mid(1);
    QString commandLine = args.join(' ');

    qvl::ui::UiState state;
    auto window = qvl::app::Main(state, std::move(catalogue), commandLine,
                                 qvl::store::BuildConnectString(location), location.templateFile.string());
    for (const std::string& note : qvl::store::takeNotes())
        std::fprintf(stderr, "quorvel: %s\n", note.c_str());

    // While the program runs, the index follows the disks by itself, on a thread of its
    // own that the windows never wait for; a qvl watch on the same data folder has it.
    std::atomic<bool> stopWatching{false};
    std::thread watcher([&] {
        qvl::indexer::WatchOptions options;
        options.location = location;
        options.waitForIndex = true;
        options.log = [](const std::string& line) { std::fprintf(stderr, "quorvel: %s\n", line.c_str()); };
        std::string ended = qvl::indexer::watchIndex(options, stopWatching);
        if (ended == qvl::indexer::kWatcherBusy)
            std::fprintf(stderr, "quorvel: the index is kept up to date by another program (qvl watch)\n");
        else if (!ended.empty())
            std::fprintf(stderr, "quorvel: the index is not kept up to date: %s\n", ended.c_str());
    });
    int status = app.exec();
    stopWatching = true;
    watcher.join();
    return status;
}
