// quorvel-search-provider: the folders of the index in the desktop's own search (GNOME
// Shell's overview, KRunner), started by the session bus when the desktop first asks.
#include "provider/SearchProvider.h"
#include "store/DataFolder.h"
#include "store/IndexStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Nobody asking for this long: the bus starts it again when someone does.
    constexpr int kIdleMs = 10 * 60 * 1000;

    qvl::store::StoreLocation location = qvl::store::locateStore();
    // The desktop program beside this one, else the one on PATH.
    QString beside = QCoreApplication::applicationDirPath() + "/quorvel";
    std::string program = QFileInfo(beside).isExecutable() ? beside.toStdString() : std::string("quorvel");

    qvl::provider::registerBusTypes();
    auto* provider =
        new qvl::provider::SearchProvider(qvl::store::BuildConnectString(location), program, &app);
    new qvl::provider::GnomeShellSearch(provider);
    new qvl::provider::KRunnerSearch(provider);
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(kIdleMs);
    QObject::connect(&idle, &QTimer::timeout, &app, &QCoreApplication::quit);
    provider->onRequest = [&idle] { idle.start(); };
    idle.start();

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "quorvel-search-provider: no session bus: %s\n",
                     bus.lastError().message().toLocal8Bit().constData());
        return 1;
    }
    if (!bus.registerObject(qvl::provider::kObjectPath, provider, QDBusConnection::ExportAdaptors)) {
        std::fprintf(stderr, "quorvel-search-provider: cannot register on the bus\n");
        return 1;
    }
    if (!bus.registerService(qvl::provider::kBusName)) {
        std::fprintf(stderr, "quorvel-search-provider: %s is served already\n", qvl::provider::kBusName);
        return 1;
    }
    for (const std::string& note : qvl::store::takeNotes())
        std::fprintf(stderr, "quorvel-search-provider: %s\n", note.c_str());
    return app.exec();
}
