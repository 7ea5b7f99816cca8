#pragma once
// Short-lived RAII wrappers around sqlite3 and sqlite3_stmt, errors as values.
// Internal to the core: the core's public headers never include SQLite.

#include "store/SearchIndex.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvl::store {

class Db {
public:
    enum class Mode { ReadOnly, ReadWrite, Create };

    Db() = default;
    ~Db() { close(); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    // Opens the database file; ReadOnly and ReadWrite never create it. Returns "" or the
    // reason it failed. Registers the path collation QVLPATH on the connection.
    // ReadOnly and ReadWrite open only an index: a plain file of this user's that no one
    // else may change (else refused() is true), holding the tables and columns an index of
    // this or an earlier version holds and nothing else (no view, trigger or index of its
    // own), read with SQLite's defensive flag on and its schema untrusted.
    std::string open(const std::string& path, Mode mode);
    void close();
    sqlite3* get() const { return m_db; }
    // Why the last open failed, where it was the file's fault: Refused, a file this user
    // may not trust; Foreign, a database that is not an index (see open).
    enum class Failure { None, Refused, Foreign };
    Failure failure() const { return m_failure; }
    // For a private file this writer made itself from the template: allows what the
    // defensive flag forbids (journal_mode OFF).
    void trustOwnFile() const;
    // Runs one or more statements without results; "" or the error message.
    std::string exec(const char* sql) const;
    // SQLite's message for the last error, with the system's reason where a system call
    // failed ("database or disk is full (No space left on device)").
    static std::string describeError(sqlite3* db, int callErrno);

private:
    bool rolledBack(const std::string& path);
    // "" when the file holds only what an index holds; `foreign` when it reads but holds
    // something else, false when it cannot be read.
    std::string checkSchema(bool& foreign) const;
    sqlite3* m_db = nullptr;
    Failure m_failure = Failure::None;
};

class Stmt {
public:
    Stmt(const Db& db, std::string_view sql);
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    const std::string& error() const { return m_error; }

    // Text and blobs are bound without a copy: they must outlive the next step().
    Stmt& bind(int index, std::string_view text) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        return *this;
    }
    Stmt& bindBlob(int index, std::string_view bytes) {
        sqlite3_bind_blob(m_stmt, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
        return *this;
    }
    Stmt& bind(int index, int64_t value) {
        sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }

    // SQLITE_ROW, SQLITE_DONE, or an error code (then error() says why).
    int step();
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::string_view text(int col) const {
        auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return p ? std::string_view(p, sqlite3_column_bytes(m_stmt, col)) : std::string_view();
    }
    std::string_view blob(int col) const {
        auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, col));
        return p ? std::string_view(p, sqlite3_column_bytes(m_stmt, col)) : std::string_view();
    }
    int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    std::string m_error;
};

// SQL shared by the readers and writers of an index file. kBlocksFresh gives 1 when the
// stored search blocks were built from the rows there are now, carry checksums and keep
// their names apart (version 3 on); kNextGeneration marks a change of the blocks, so
// that an editor holding a picture of them knows it is old.
inline constexpr const char* kBlocksFresh =
    "SELECT (SELECT Value FROM qvlMeta WHERE Key = 'rows') = (SELECT ifnull(max(rowid), 0) FROM tblDirs)"
    " AND (SELECT user_version FROM pragma_user_version) >= 3";
inline constexpr const char* kNextGeneration =
    "INSERT OR REPLACE INTO qvlMeta VALUES ('generation',"
    " ifnull((SELECT Value FROM qvlMeta WHERE Key = 'generation'), 0) + 1);";

// The filter parts of the blocks (table qvlParts, from version 4) are keyed by part, then
// block: one part of every block lies together, in a few pages. Parts 0 to 63 are the
// names' filter, 64 to 127 the grams'. Block numbers stay under 2^40.
inline constexpr unsigned kGramPartBase = kFilterParts;
inline constexpr unsigned kStoredParts = 2 * kFilterParts;
inline constexpr int64_t kMaxBlockNumber = (int64_t{1} << 40) - 1;
inline constexpr int64_t partKey(unsigned part, int64_t block) {
    return static_cast<int64_t>(part) << 40 | block;
}
inline constexpr const char* kCreateParts =
    "CREATE TABLE qvlParts (Key INTEGER PRIMARY KEY, Bits BLOB NOT NULL, Sum INTEGER NOT NULL);";
// Stores the parts of a block's filter and grams with `insert`, a prepared
// "INSERT [OR REPLACE] INTO qvlParts VALUES (?,?,?)". "" or the error.
std::string putParts(Stmt& insert, int64_t block, const Block& filters);
// The same for blocks in order, part by part: each part's rows go in one after the other,
// touching a page per part rather than 128 pages per block. A writer of many blocks does
// this in batches; block by block, the pages SQLite keeps (2 MB) could not hold the 128
// places it writes to, and each row went through a page written out and read back.
std::string putParts(Stmt& insert, const std::vector<std::pair<int64_t, Block>>& blocks);

// Brings an index file of an earlier version with stored blocks up to this one, in a
// transaction of its own: version 2 gets its names moved into qvlNames; versions 2 and
// 3 get filters in parts and grams, built from the names. Any other file is left as it
// is. "" or the error.
std::string upgradeBlocks(const Db& db);

// The table of those times. Times comes last: a blob in the last column can be written
// in pieces without SQLite building the whole record first. Files made before keep
// Times third, so every statement names its columns.
inline constexpr const char* kCreateTimes =
    "CREATE TABLE IF NOT EXISTS qvlTimes (Letter TEXT PRIMARY KEY, Started INTEGER NOT NULL,"
    " Sum INTEGER NOT NULL, Times BLOB NOT NULL);";

// Records when the folders of a drive were listed (table qvlTimes): `entries` is the
// sorted (path key, time) pairs the update reads back; `leaveOut` the rules of the folders
// left out that the walk went by (qvlMeta's 'leave out LETTER', none when 0). "" or the error.
std::string putDriveTimes(const Db& db, char letter, int64_t started, std::string_view entries,
                          uint64_t leaveOut);

} // namespace qvl::store
