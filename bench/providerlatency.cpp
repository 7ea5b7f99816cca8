// Times the desktop's questions to the search provider over the session bus, as GNOME
// Shell and KRunner ask them, from the call until the answer is in:
//   qvl_providerlatency ROUNDS TEXT...
// For each text: the answer's size, median and worst of GetInitialResultSet and of
// KRunner's Match; first the bus's own round trip (Ping) for a yardstick.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

struct Timing {
    double median = 0, worst = 0;
    qsizetype answers = 0;
};

Timing timeCalls(int rounds, const QString& interface, const QString& method, const QVariantList& args) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    std::vector<double> ms;
    Timing t;
    for (int i = 0; i < rounds; ++i) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.quorvel.Quorvel.SearchProvider", "/org/quorvel/Quorvel/SearchProvider", interface, method);
        call.setArguments(args);
        auto start = std::chrono::steady_clock::now();
        QDBusMessage reply = bus.call(call, QDBus::Block, 60000);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (reply.type() != QDBusMessage::ReplyMessage) {
            std::fprintf(stderr, "qvl_providerlatency: %s: %s\n", qPrintable(method),
                         qPrintable(reply.errorMessage()));
            std::exit(1);
        }
        if (!reply.arguments().isEmpty()) {
            const QVariant& v = reply.arguments().first();
            t.answers = v.canConvert<QStringList>() ? v.toStringList().size() : t.answers;
        }
    }
    std::sort(ms.begin(), ms.end());
    t.median = ms[ms.size() / 2];
    t.worst = ms.back();
    return t;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: qvl_providerlatency ROUNDS TEXT...\n");
        return 2;
    }
    const int rounds = std::max(1, std::atoi(argv[1]));
    // The first question starts the provider: not counted.
    timeCalls(1, "org.freedesktop.DBus.Peer", "Ping", {});
    Timing ping = timeCalls(rounds, "org.freedesktop.DBus.Peer", "Ping", {});
    std::printf("| question | folders in the answer | median ms | worst ms |\n|---|---|---|---|\n");
    std::printf("| Ping (the bus's round trip) | | %.2f | %.2f |\n", ping.median, ping.worst);
    for (int i = 2; i < argc; ++i) {
        QString text = QString::fromLocal8Bit(argv[i]);
        Timing shell =
            timeCalls(rounds, "org.gnome.Shell.SearchProvider2", "GetInitialResultSet", {QStringList{text}});
        std::printf("| GetInitialResultSet %s | %lld | %.2f | %.2f |\n", argv[i],
                    static_cast<long long>(shell.answers), shell.median, shell.worst);
        Timing runner = timeCalls(rounds, "org.kde.krunner1", "Match", {text});
        std::printf("| Match %s | %lld | %.2f | %.2f |\n", argv[i], static_cast<long long>(shell.answers),
                    runner.median, runner.worst);
    }
    return 0;
}
