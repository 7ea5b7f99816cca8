#include "store/Sqlite.h"

#include "store/DataFolder.h"
#include "store/SearchIndex.h"
#include "text/TextFold.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace qvl::store {

namespace {

int collatePaths(void*, int lenA, const void* a, int lenB, const void* b) {
    return text::comparePaths(std::string_view(static_cast<const char*>(a), lenA),
                              std::string_view(static_cast<const char*>(b), lenB));
}

// Before SQLite starts: no connection sets aside memory for 20 pages when it opens. With
// 64 KiB pages that is 1.3 MB, one of its pages touched per slot, while a search reads
// the file mapped and a writer's cache grows as it needs. A search of 200,000 folders
// took 30 page faults fewer, 4% of its time.
void configureOnce() {
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
        return true;
    }();
    (void)configured;
}

} // namespace

std::string Db::open(const std::string& path, Mode mode) {
    close();
    configureOnce();
    m_failure = Failure::None;
    if (mode != Mode::Create) {
        // Checked before SQLite opens it: a FIFO there would hang the open, and a file
        // someone else may change could hold anything; so could a rollback journal beside
        // it, which the open would play back into the index.
        for (const std::string& file : {path, path + "-journal"}) {
            if (std::string refused = checkIndexFile(file); !refused.empty()) {
                m_failure = Failure::Refused;
                return refused;
            }
        }
    }
    int flags = mode == Mode::ReadOnly    ? SQLITE_OPEN_READONLY
                : mode == Mode::ReadWrite ? SQLITE_OPEN_READWRITE
                                          : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(path.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        close();
        return message;
    }
    sqlite3_busy_timeout(m_db, 5000);
    sqlite3_create_collation(m_db, "QVLPATH", SQLITE_UTF8, nullptr, collatePaths);
    // A file is data, never code: no SQL of its own (triggers, views, functions in its
    // schema) runs, and no statement can write what SQLite keeps of its own.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    if (mode == Mode::ReadOnly && !rolledBack(path)) {
        std::string message = "cannot roll back an unfinished change: " + describeError(m_db, 0);
        close();
        return message;
    }
    if (mode != Mode::Create) {
        bool foreign = false;
        if (std::string wrong = checkSchema(foreign); !wrong.empty()) {
            close();
            if (!foreign)
                return wrong; // unreadable: damaged
            m_failure = Failure::Foreign;
            return "not a Quorvel index (" + wrong + ")";
        }
    }
    return {};
}

void Db::trustOwnFile() const {
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 0, nullptr);
}

namespace {

// The tables an index file may hold (qvlFilters is of an earlier version), and SQLite's
// own table for the history's numbers.
constexpr std::string_view kKnownTables[] = {"tblDirs",    "tblLastSearch",  "qvlNames", "qvlBlocks",
                                             "qvlFilters", "qvlParts",       "qvlMeta",  "qvlDrives",
                                             "qvlTimes",   "sqlite_sequence"};

const std::string_view* knownTable(std::string_view name) {
    for (const std::string_view& t : kKnownTables)
        if (t == name)
            return &t;
    return nullptr;
}

// The first word of a table's CREATE statement that brings an expression of the file's
// own, run as rows are read or written (a computed column, a CHECK, a DEFAULT), or "":
// no table of any version has one. Quoted names and strings are passed over.
std::string_view expressionWord(std::string_view sql) {
    for (size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            size_t end = sql.find(close, i + 1);
            i = end == std::string_view::npos ? sql.size() : end + 1;
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = i;
            while (end < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_'))
                ++end;
            std::string word(sql.substr(i, end - i));
            for (char& w : word)
                w = static_cast<char>(std::toupper(static_cast<unsigned char>(w)));
            if (word == "AS" || word == "CHECK" || word == "DEFAULT" || word == "GENERATED")
                return sql.substr(i, end - i);
            i = end;
        } else {
            ++i;
        }
    }
    return {};
}

} // namespace

std::string Db::checkSchema(bool& foreign) const {
    // One read of the schema SQLite has parsed already; asking it for each table's columns
    // (pragma_table_xinfo) cost a twentieth of a search of 200,000 folders.
    Stmt entries(*this, "SELECT type, name, tbl_name, sql FROM sqlite_schema");
    foreign = true;
    bool haveRows = false;
    int rc;
    while ((rc = entries.step()) == SQLITE_ROW) {
        const std::string_view type = entries.text(0), name = entries.text(1), table = entries.text(2);
        // Only the indexes SQLite makes itself for a TEXT PRIMARY KEY.
        const std::string_view* known =
            knownTable(type == "index" && name.starts_with("sqlite_autoindex_") ? table : name);
        if (!known || (type != "table" && type != "index") || (type == "index" && *known != table))
            return "it holds the " + std::string(type) + " " + std::string(name);
        if (type == "table") {
            if (std::string_view word = expressionWord(entries.text(3)); !word.empty())
                return "its table " + std::string(name) + " computes a value (" + std::string(word) + ")";
            haveRows |= name == "tblDirs";
        }
    }
    foreign = rc == SQLITE_DONE;
    if (rc != SQLITE_DONE)
        return entries.error();
    return haveRows ? std::string() : "it has no table of folders";
}

bool Db::rolledBack(const std::string& path) {
    // A writer killed in mid-transaction leaves a hot journal, and only a connection that
    // may write can roll it back: one does so here, so that a reader never takes an
    // unfinished change for damage.
    sqlite3_exec(m_db, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr);
    if (sqlite3_extended_errcode(m_db) != SQLITE_READONLY_ROLLBACK)
        return true;
    sqlite3* writer = nullptr;
    bool done = sqlite3_open_v2(path.c_str(), &writer, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                nullptr) == SQLITE_OK;
    if (done) {
        sqlite3_busy_timeout(writer, 5000);
        done = sqlite3_exec(writer, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr) ==
               SQLITE_OK;
    }
    sqlite3_close_v2(writer);
    return done &&
           sqlite3_exec(m_db, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void Db::close() {
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

std::string Db::describeError(sqlite3* db, int callErrno) {
    if (!db)
        return "no database";
    std::string message = sqlite3_errmsg(db);
    int code = sqlite3_errcode(db) & 0xFF;
    // SQLite reads errno for this when it records the error, and that is sometimes
    // already reset; the caller's errno right after the failed call is the fallback.
    int system = sqlite3_system_errno(db);
    if (system == 0)
        system = callErrno;
    // SQLite keeps no system error for a full disk: a short write is all it sees.
    if (system == 0 && code == SQLITE_FULL)
        system = ENOSPC;
    if (system != 0 && (code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN))
        message += std::string(" (") + std::strerror(system) + ")";
    return message;
}

std::string Db::exec(const char* sql) const {
    char* err = nullptr;
    errno = 0;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) == SQLITE_OK)
        return {};
    std::string message = describeError(m_db, errno);
    if (err && message != err && message.find(err) == std::string::npos)
        message = err;
    sqlite3_free(err);
    return message;
}

Stmt::Stmt(const Db& db, std::string_view sql)
    : m_db(db.get()) {
    if (!m_db) {
        m_error = "no database";
        return;
    }
    if (sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        m_stmt = nullptr;
    }
}

int Stmt::step() {
    if (!m_stmt)
        return SQLITE_MISUSE;
    errno = 0;
    int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        m_error = Db::describeError(m_db, errno);
    return rc;
}

std::string putDriveTimes(const Db& db, char letter, int64_t started, std::string_view entries,
                          uint64_t leaveOut) {
    const std::string key = "leave out " + std::string(1, letter);
    Stmt rules(db, leaveOut ? "INSERT OR REPLACE INTO qvlMeta VALUES (?, ?)"
                            : "DELETE FROM qvlMeta WHERE Key = ?");
    rules.bind(1, std::string_view(key));
    if (leaveOut)
        rules.bind(2, static_cast<int64_t>(leaveOut));
    if (rules.step() != SQLITE_DONE)
        return rules.error();
    // The blob goes in as zeros and is written in pieces: bound whole, SQLite would build
    // its record in a copy, on ten million folders another 160 MB (see kCreateTimes).
    Stmt put(db, "INSERT OR REPLACE INTO qvlTimes (Letter, Started, Times, Sum) VALUES (?,?,zeroblob(?),?)");
    put.bind(1, std::string_view(&letter, 1))
        .bind(2, started)
        .bind(3, static_cast<int64_t>(entries.size()))
        .bind(4, static_cast<int64_t>(blobSum(entries)));
    if (put.step() != SQLITE_DONE)
        return put.error();
    if (entries.empty())
        return {};
    sqlite3_blob* blob = nullptr;
    int rc = sqlite3_blob_open(db.get(), "main", "qvlTimes", "Times", sqlite3_last_insert_rowid(db.get()), 1,
                               &blob);
    constexpr size_t kPiece = 1 << 20;
    for (size_t at = 0; rc == SQLITE_OK && at < entries.size(); at += kPiece) {
        const size_t n = std::min(kPiece, entries.size() - at);
        errno = 0;
        rc = sqlite3_blob_write(blob, entries.data() + at, static_cast<int>(n), static_cast<int>(at));
    }
    std::string err = rc == SQLITE_OK ? std::string() : Db::describeError(db.get(), errno);
    sqlite3_blob_close(blob);
    return err;
}

namespace {

// Stored part `part` (0 to kStoredParts - 1) of a block.
std::string putPart(Stmt& insert, unsigned part, int64_t block, const Block& filters) {
    if (block < 0 || block > kMaxBlockNumber)
        return "block number out of range";
    std::string_view bits = part < kGramPartBase ? filterPartOf(filters.filter, part)
                                                 : filterPartOf(filters.grams, part - kGramPartBase);
    insert.reset();
    insert.bind(1, partKey(part, block)).bindBlob(2, bits).bind(3, static_cast<int64_t>(blobSum(bits)));
    return insert.step() == SQLITE_DONE ? std::string() : insert.error();
}

// Version 3 to 4: each block's filter is built again from its names, and its grams with
// it. The names are checked against their sum first: a filter built from damaged names
// would hide rows.
std::string cutFilters(const Db& db) {
    std::vector<std::pair<int64_t, Block>> filters;
    {
        Stmt names(db, "SELECT Block, Names, NamesSum FROM qvlNames ORDER BY Block");
        int rc;
        while ((rc = names.step()) == SQLITE_ROW) {
            std::string_view blob = names.blob(1);
            if (static_cast<uint64_t>(names.integer(2)) != blobSum(blob))
                return "a block's names do not match their checksum";
            Block parts;
            parts.filter = buildFilter(blob);
            parts.grams = buildGrams(blob);
            filters.emplace_back(names.integer(0), std::move(parts));
        }
        if (rc != SQLITE_DONE)
            return names.error();
    } // done reading before the table it read from is dropped
    std::string err = db.exec(kCreateParts);
    if (!err.empty())
        return err;
    Stmt insert(db, "INSERT INTO qvlParts VALUES (?,?,?)");
    if (err = putParts(insert, filters); !err.empty())
        return err;
    return db.exec("DROP TABLE qvlFilters; PRAGMA user_version = 4;");
}

} // namespace

std::string putParts(Stmt& insert, int64_t block, const Block& filters) {
    for (unsigned p = 0; p < kStoredParts; ++p)
        if (std::string err = putPart(insert, p, block, filters); !err.empty())
            return err;
    return {};
}

std::string putParts(Stmt& insert, const std::vector<std::pair<int64_t, Block>>& blocks) {
    for (unsigned p = 0; p < kStoredParts; ++p)
        for (const auto& [block, filters] : blocks)
            if (std::string err = putPart(insert, p, block, filters); !err.empty())
                return err;
    return {};
}

std::string upgradeBlocks(const Db& db) {
    Stmt version(db, "PRAGMA user_version");
    if (version.step() != SQLITE_ROW)
        return version.error();
    const int64_t from = version.integer(0);
    version.reset(); // a statement still running would keep a table from being dropped
    if (from != 2 && from != 3)
        return {};
    std::string err = db.exec("BEGIN IMMEDIATE");
    if (err.empty() && from == 2)
        err =
            db.exec("CREATE TABLE qvlNames (Block INTEGER PRIMARY KEY, Names BLOB NOT NULL, NamesSum INTEGER "
                    "NOT NULL);"
                    " INSERT INTO qvlNames SELECT Block, Names, NamesSum FROM qvlBlocks;"
                    " ALTER TABLE qvlBlocks DROP COLUMN Names; ALTER TABLE qvlBlocks DROP COLUMN NamesSum;");
    if (err.empty())
        err = cutFilters(db);
    if (err.empty())
        err = db.exec(kNextGeneration);
    if (err.empty())
        err = db.exec("COMMIT");
    if (!err.empty())
        db.exec("ROLLBACK");
    return err;
}

} // namespace qvl::store
