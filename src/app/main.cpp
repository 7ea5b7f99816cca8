// quorvel, the desktop program.
#include "app/Main.h"
#include "platform/Display.h"
#include "store/IndexStore.h"
#include "ui/main/frmMain.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    std::string why;
    if (!qvl::platform::displayAvailable(why)) {
        std::fprintf(stderr, "quorvel: cannot open its window: %s.\nOn a text terminal, use qvl instead.\n",
                     why.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvel");

    qvl::store::StoreLocation location = qvl::store::locateStore();
    qvl::indexer::DriveCatalogue catalogue;
    std::string problem = catalogue.load(qvl::store::indexedDrives(qvl::store::BuildConnectString(location)));
    if (!problem.empty()) {
        std::fprintf(stderr, "quorvel: %s\n", problem.c_str());
        return 2;
    }
    // The argument text is one folder name, blanks and all.
    QStringList args = QApplication::arguments().mid(1);
    QString commandLine = args.join(' ');

    qvl::app::AppState state;
    auto window = qvl::app::Main(state, std::move(catalogue), commandLine,
                                 qvl::store::BuildConnectString(location), location.templateFile.string());
    return app.exec();
}
