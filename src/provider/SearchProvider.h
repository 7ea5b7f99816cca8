#pragma once
// The desktop's own search answered from the index: GNOME Shell's search provider and
// KDE's KRunner ask over the session bus, this service searches the index (read only)
// and answers with one screen of folders; a result chosen opens its folder.

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <string>
#include <vector>

namespace qvl::provider {

// The bus name and object both desktops are told of (the .ini and the runner's .desktop).
inline constexpr const char* kBusName = "org.quorvel.Quorvel.SearchProvider";
inline constexpr const char* kObjectPath = "/org/quorvel/Quorvel/SearchProvider";
// At most this many folders an answer: a screenful in either desktop.
inline constexpr size_t kScreenful = 20;

// A result's id: the folder's file URI, its bytes percent-encoded, so that a name that
// is not UTF-8 survives the bus (whose strings must be). "" for no folder.
QString resultId(const std::string& folder);
// The folder an id names: an absolute path, or "" for an id that is not one of ours.
std::string folderOf(const QString& id);

class SearchProvider : public QObject {
    Q_OBJECT
public:
    struct Result {
        std::string folder; // without the separator at the end
        bool exact = false;
    };
    // `dbConnect`: the index; `program`: the desktop program, started to show a search.
    SearchProvider(std::string dbConnect, std::string program, QObject* parent = nullptr);

    // The best folders for a text, best first; none for an empty text or an index that
    // cannot be read (said once on stderr).
    std::vector<Result> find(const QString& text);
    // Opens an id's folder in the file manager, if it is still a folder.
    void open(const QString& id);
    // Starts the desktop program searching for `text`.
    void showInProgram(const QString& text);
    // Called on every request: the service ends once nobody asked for a while.
    std::function<void()> onRequest;

private:
    std::string m_db;
    std::string m_program;
    std::string m_lastProblem;
};

// org.gnome.Shell.SearchProvider2
class GnomeShellSearch : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.SearchProvider2")
public:
    explicit GnomeShellSearch(SearchProvider* provider);

public slots:
    QStringList GetInitialResultSet(const QStringList& terms);
    QStringList GetSubsearchResultSet(const QStringList& previousResults, const QStringList& terms);
    QList<QVariantMap> GetResultMetas(const QStringList& identifiers);
    void ActivateResult(const QString& identifier, const QStringList& terms, uint timestamp);
    void LaunchSearch(const QStringList& terms, uint timestamp);

private:
    SearchProvider* m_provider;
};

// KRunner's types: a match (id, text, icon, type, relevance, properties) and an action.
struct RunnerMatch {
    QString id, text, icon;
    int type = 0;
    double relevance = 0;
    QVariantMap properties;
};
struct RunnerAction {
    QString id, text, icon;
};
using RunnerMatches = QList<RunnerMatch>;
using RunnerActions = QList<RunnerAction>;

// org.kde.krunner1
class KRunnerSearch : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")
public:
    explicit KRunnerSearch(SearchProvider* provider);

public slots:
    qvl::provider::RunnerActions Actions();
    qvl::provider::RunnerMatches Match(const QString& query);
    void Run(const QString& matchId, const QString& actionId);

private:
    SearchProvider* m_provider;
    QString m_lastQuery; // what "show in the program" searches for
};

// Makes the types above known to the bus; before the adaptors are made.
void registerBusTypes();

} // namespace qvl::provider

Q_DECLARE_METATYPE(qvl::provider::RunnerMatch)
Q_DECLARE_METATYPE(qvl::provider::RunnerAction)
