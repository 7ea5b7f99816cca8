#pragma once
// The statements the editor (indexer/IndexEdit) and the search (search/Search) send to an
// index file, kept here with the schema they read: every line of SQL the program sends
// lives in store/. Internal to the core, like Sqlite.h.

#include "store/IndexStore.h"
#include "store/Sqlite.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvl::store::sql {

// An edit's transaction: the writers' lock is taken at its start, not at its first write.
inline constexpr const char* kBeginEdit = "BEGIN IMMEDIATE";
inline constexpr const char* kCommit = "COMMIT";
inline constexpr const char* kRollback = "ROLLBACK";

// The search blocks, each as decodeBlock-style columns: names, ends, drives, paths,
// NamesSum, RowsSum (files of version 2 keep no names apart: the join gives NULL).
inline constexpr const char* kBlockColumns =
    "n.Names, b.Ends, b.Drives, b.Paths, n.NamesSum, b.RowsSum FROM qvlBlocks b"
    " LEFT JOIN qvlNames n ON n.Block = b.Block";
// Every block in order, its number first; every block without it; one block (?1).
inline const std::string kAllBlocksNumbered =
    std::string("SELECT b.Block, ") + kBlockColumns + " ORDER BY b.Block";
inline const std::string kAllBlocks = std::string("SELECT ") + kBlockColumns + " ORDER BY b.Block";
inline const std::string kOneBlock = std::string("SELECT ") + kBlockColumns + " WHERE b.Block = ?";

// Writing a block (see putParts for its filter parts) and taking one away.
inline constexpr const char* kPutNames = "INSERT OR REPLACE INTO qvlNames VALUES (?,?,?)";
inline constexpr const char* kPutBlock = "INSERT OR REPLACE INTO qvlBlocks VALUES (?,?,?,?,?)";
inline constexpr const char* kPutPart = "INSERT OR REPLACE INTO qvlParts VALUES (?,?,?)";
inline constexpr const char* kDeleteNames = "DELETE FROM qvlNames WHERE Block = ?";
inline constexpr const char* kDeleteBlock = "DELETE FROM qvlBlocks WHERE Block = ?";
inline constexpr const char* kDeletePart = "DELETE FROM qvlParts WHERE Key = ?";

// The folders' rows.
inline constexpr const char* kInsertRow =
    "INSERT INTO tblDirs (DriveLetter, FullDirectory, Directory) VALUES (?,?,?)";
// Rows in index order, for a file whose blocks are missing or older than its rows.
inline constexpr const char* kRowsInOrder =
    "SELECT DriveLetter, FullDirectory, Directory FROM tblDirs ORDER BY FullDirectory COLLATE QVLPATH";
// Removing many rows in one pass: they are gathered in a temp table first.
inline constexpr const char* kGatherGone =
    "CREATE TEMP TABLE IF NOT EXISTS qvlGone (Path TEXT NOT NULL, Drive TEXT NOT NULL,"
    " PRIMARY KEY (Path, Drive)) WITHOUT ROWID; DELETE FROM temp.qvlGone;";
inline constexpr const char* kPutGone = "INSERT OR IGNORE INTO temp.qvlGone VALUES (?, ?)";
inline constexpr const char* kDeleteGone =
    "DELETE FROM tblDirs WHERE (FullDirectory, DriveLetter) IN (SELECT Path, Drive FROM temp.qvlGone);";
inline constexpr const char* kDeleteGoneAfter =
    "DELETE FROM tblDirs WHERE rowid > ?"
    " AND (FullDirectory, DriveLetter) IN (SELECT Path, Drive FROM temp.qvlGone);";
inline constexpr const char* kForgetGone = "DELETE FROM temp.qvlGone;";
// The rows up to qvlMeta's 'sorted' lie in index order (a full index writes them so; an
// edit removes rows and appends): a row among them is found by a binary search.
inline constexpr const char* kSortedRows =
    "SELECT min(Value, (SELECT ifnull(max(rowid), 0) FROM tblDirs)) FROM qvlMeta WHERE Key = 'sorted'";
inline constexpr const char* kSortedAll =
    "INSERT OR REPLACE INTO qvlMeta VALUES ('sorted', (SELECT ifnull(max(rowid), 0) FROM tblDirs));";
inline constexpr const char* kSortedShrunk = "UPDATE qvlMeta SET Value = min(Value, (SELECT "
                                             "ifnull(max(rowid), 0) FROM tblDirs)) WHERE Key = 'sorted';";
inline constexpr const char* kRowAtOrAfter = "SELECT rowid, DriveLetter, FullDirectory FROM tblDirs"
                                             " WHERE rowid >= ? AND rowid <= ? ORDER BY rowid LIMIT 1";
inline constexpr const char* kDeleteRowid = "DELETE FROM tblDirs WHERE rowid = ?";
// After an edit: the blocks were built from the rows there are now.
inline constexpr const char* kRowsCounted =
    "UPDATE qvlMeta SET Value = (SELECT ifnull(max(rowid), 0) FROM tblDirs) WHERE Key = 'rows';";

// The drives and the folders' times.
inline constexpr const char* kCreateDrives = "CREATE TABLE IF NOT EXISTS qvlDrives (Letter TEXT PRIMARY KEY, "
                                             "Root BLOB NOT NULL, Identity BLOB NOT NULL);";
inline constexpr const char* kPutDrive = "INSERT OR REPLACE INTO qvlDrives VALUES (?,?,?)";
// With the rules of the folders left out that the drive was walked by (0: none).
inline constexpr const char* kDriveTimes =
    "SELECT Started, Times, Sum, (SELECT Value FROM qvlMeta WHERE Key = "
    "'leave out ' || Letter) FROM qvlTimes WHERE Letter = ?";

// What a search reads: the first and last block number (each in a query of its own, so
// that SQLite reads one end of the table, not all of it); one part of the filters or grams
// of a range of blocks, keyed part then block; the names of a range of blocks; the rest of
// one block, with (kBlockDetailsWithNames) or without its names.
inline constexpr const char* kBlockSpan =
    "SELECT ifnull((SELECT min(Block) FROM qvlBlocks), 0), ifnull((SELECT max(Block) FROM qvlBlocks), -1)";
inline constexpr const char* kParts =
    "SELECT Key, Bits, Sum FROM qvlParts WHERE Key BETWEEN ?1 AND ?2 ORDER BY Key";
inline constexpr const char* kNamesOfBlocks =
    "SELECT Block, Names, NamesSum FROM qvlNames WHERE Block BETWEEN ?1 AND ?2 ORDER BY Block";
inline constexpr const char* kBlockDetailsWithNames =
    "SELECT b.Ends, b.Drives, b.Paths, b.RowsSum, n.Names, n.NamesSum FROM qvlBlocks b"
    " LEFT JOIN qvlNames n ON n.Block = b.Block WHERE b.Block = ?1";
inline constexpr const char* kBlockDetails =
    "SELECT Ends, Drives, Paths, RowsSum FROM qvlBlocks WHERE Block = ?";

} // namespace qvl::store::sql

namespace qvl::store {

// The value every change of an index file makes new (see kNextGeneration): whoever holds
// a picture of its blocks, or reads it on several connections, knows whether it is still
// the same. 0 for files that have none.
int64_t generation(const Db& db);
// The file's schema version (PRAGMA user_version); -1 when it cannot be read.
int64_t schemaVersion(const Db& db);
// How a search reads the file, and its read transaction begun: mapped up to `mapBytes`
// (0: page by page). "" or the error.
std::string beginReading(const Db& db, int64_t mapBytes);

// Records a drive whose rows the index holds. "" or the error.
std::string putDrive(const Db& db, const IndexedDrive& drive);

// Gives the blocks new numbers: `moves` pairs each block's old number with its new one,
// in any order. Every table is moved in one statement through a map of old to new
// numbers, to negative numbers first, so that no move lands on a number still taken; a
// filter part's key keeps its part above the block. "" or the error.
std::string renumberBlocks(const Db& db, const std::vector<std::pair<int64_t, int64_t>>& moves);

} // namespace qvl::store
