#include "provider/SearchProvider.h"

#include "platform/Platform.h"
#include "search/BestMatches.h"

#include <QDBusMetaType>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace qvl::provider {

namespace {

constexpr const char* kUriPrefix = "file://";
// KRunner's kinds of match.
constexpr int kExactMatch = 100;
constexpr int kPossibleMatch = 30;
constexpr const char* kShowInProgram = "show-in-program";

QString lastComponent(const std::string& folder) {
    size_t sep = folder.rfind('/');
    return QString::fromUtf8(sep == std::string::npos || folder.size() == 1 ? folder
                                                                            : folder.substr(sep + 1));
}

QString parentOf(const std::string& folder) {
    size_t sep = folder.rfind('/');
    return QString::fromUtf8(sep == 0 || sep == std::string::npos ? std::string("/") : folder.substr(0, sep));
}

} // namespace

QString resultId(const std::string& folder) {
    if (folder.empty())
        return {};
    QByteArray bytes(folder.data(), static_cast<qsizetype>(folder.size()));
    return kUriPrefix + QString::fromLatin1(bytes.toPercentEncoding("/"));
}

std::string folderOf(const QString& id) {
    if (!id.startsWith(kUriPrefix))
        return {};
    QByteArray path =
        QByteArray::fromPercentEncoding(id.mid(static_cast<qsizetype>(std::strlen(kUriPrefix))).toLatin1());
    if (path.isEmpty() || path[0] != '/' || path.contains('\0'))
        return {};
    // Only a path as the index writes one: no "..", ".", doubled or trailing separator.
    std::string folder = path.toStdString();
    if (std::filesystem::path(folder).lexically_normal().string() != folder)
        return {};
    return folder;
}

SearchProvider::SearchProvider(std::string dbConnect, std::string program, QObject* parent)
    : QObject(parent)
    , m_db(std::move(dbConnect))
    , m_program(std::move(program)) {}

std::vector<SearchProvider::Result> SearchProvider::find(const QString& text) {
    if (onRequest)
        onRequest();
    std::vector<Result> results;
    const std::string wanted = text.trimmed().toStdString();
    if (wanted.empty())
        return results;
    std::vector<search::RankedHit> hits;
    std::string message;
    if (search::bestMatches(m_db, wanted, kScreenful, hits, message) != search::SearchError::None) {
        // The desktop asks on every key: the reason is said once, not on every key.
        if (message != m_lastProblem)
            std::fprintf(stderr, "quorvel-search-provider: %s\n", message.c_str());
        m_lastProblem = message;
        return results;
    }
    m_lastProblem.clear();
    for (search::RankedHit& hit : hits) {
        std::string folder = std::move(hit.fullDirectory);
        if (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        results.push_back({std::move(folder), hit.exact});
    }
    return results;
}

void SearchProvider::open(const QString& id) {
    if (onRequest)
        onRequest();
    const std::string folder = folderOf(id);
    std::error_code ec;
    // Only a folder, and only one that is still there: an id is the caller's text.
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return;
    std::string problem = platform::startDetached("xdg-open", {folder});
    if (!problem.empty())
        std::fprintf(stderr, "quorvel-search-provider: cannot open %s: %s\n", folder.c_str(),
                     problem.c_str());
}

void SearchProvider::showInProgram(const QString& text) {
    if (onRequest)
        onRequest();
    std::string problem = platform::startDetached(m_program, {text.trimmed().toStdString()});
    if (!problem.empty())
        std::fprintf(stderr, "quorvel-search-provider: cannot start %s: %s\n", m_program.c_str(),
                     problem.c_str());
}

GnomeShellSearch::GnomeShellSearch(SearchProvider* provider)
    : QDBusAbstractAdaptor(provider)
    , m_provider(provider) {}

QStringList GnomeShellSearch::GetInitialResultSet(const QStringList& terms) {
    QStringList ids;
    for (const SearchProvider::Result& r : m_provider->find(terms.join(' ')))
        ids << resultId(r.folder);
    return ids;
}

QStringList GnomeShellSearch::GetSubsearchResultSet(const QStringList&, const QStringList& terms) {
    // The earlier screenful is not all that may match the longer text: search again.
    return GetInitialResultSet(terms);
}

QList<QVariantMap> GnomeShellSearch::GetResultMetas(const QStringList& identifiers) {
    QList<QVariantMap> metas;
    for (const QString& id : identifiers) {
        const std::string folder = folderOf(id);
        if (folder.empty())
            continue;
        metas << QVariantMap{{"id", id},
                             {"name", lastComponent(folder)},
                             {"description", parentOf(folder)},
                             {"gicon", QStringLiteral("folder")},
                             {"clipboardText", QString::fromUtf8(folder)}};
    }
    return metas;
}

void GnomeShellSearch::ActivateResult(const QString& identifier, const QStringList&, uint) {
    m_provider->open(identifier);
}

void GnomeShellSearch::LaunchSearch(const QStringList& terms, uint) {
    m_provider->showInProgram(terms.join(' '));
}

KRunnerSearch::KRunnerSearch(SearchProvider* provider)
    : QDBusAbstractAdaptor(provider)
    , m_provider(provider) {}

RunnerActions KRunnerSearch::Actions() {
    return {RunnerAction{kShowInProgram, QStringLiteral("Show in Quorvel"),
                         QStringLiteral("org.quorvel.Quorvel")}};
}

RunnerMatches KRunnerSearch::Match(const QString& query) {
    m_lastQuery = query;
    RunnerMatches matches;
    const std::vector<SearchProvider::Result> results = m_provider->find(query);
    for (size_t i = 0; i < results.size(); ++i) {
        const SearchProvider::Result& r = results[i];
        RunnerMatch m;
        m.id = resultId(r.folder);
        m.text = lastComponent(r.folder);
        m.icon = QStringLiteral("folder");
        m.type = r.exact ? kExactMatch : kPossibleMatch;
        // Falling with the rank, so that KRunner keeps this order among our matches.
        m.relevance = 1.0 - static_cast<double>(i) / (2.0 * kScreenful);
        m.properties = {{"subtext", QString::fromUtf8(r.folder)}, {"urls", QStringList{m.id}}};
        matches << m;
    }
    return matches;
}

void KRunnerSearch::Run(const QString& matchId, const QString& actionId) {
    if (actionId == kShowInProgram)
        m_provider->showInProgram(m_lastQuery.isEmpty() ? lastComponent(folderOf(matchId)) : m_lastQuery);
    else
        m_provider->open(matchId);
}

QDBusArgument& operator<<(QDBusArgument& arg, const RunnerMatch& m) {
    arg.beginStructure();
    arg << m.id << m.text << m.icon << m.type << m.relevance << m.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, RunnerMatch& m) {
    arg.beginStructure();
    arg >> m.id >> m.text >> m.icon >> m.type >> m.relevance >> m.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const RunnerAction& a) {
    arg.beginStructure();
    arg << a.id << a.text << a.icon;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, RunnerAction& a) {
    arg.beginStructure();
    arg >> a.id >> a.text >> a.icon;
    arg.endStructure();
    return arg;
}

void registerBusTypes() {
    qDBusRegisterMetaType<RunnerMatch>();
    qDBusRegisterMetaType<RunnerAction>();
    qDBusRegisterMetaType<RunnerMatches>();
    qDBusRegisterMetaType<RunnerActions>();
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

} // namespace qvl::provider
