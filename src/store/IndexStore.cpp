#include "store/IndexStore.h"

#include "platform/Platform.h"
#include "store/DataFolder.h"
#include "store/SearchIndex.h"
#include "store/Sqlite.h"
#include "store/Statements.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace qvl::store {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kBlockNumberGap = 65536;

// Schema version 4. The page size is set before the first table so that a search
// block fits in one page. qvlNames holds the folded names of each search block, the
// only part a containing search reads whole: in a table of their own, several blocks'
// names share a page and a search reads no paths but those of its hits. qvlBlocks holds
// the rest of each block, qvlParts the parts of their filters (see partKey: an exact
// search reads one part of every block, a few pages); qvlMeta's "rows" is the number of
// tblDirs rows they were built from. Each blob has a checksum beside it (see blobSum):
// NamesSum for the names, RowsSum for the rest of the block, Sum for a filter part.
// Version 3 files kept each block's filter whole in qvlFilters, version 2 files the names
// in qvlBlocks (upgradeBlocks brings both up to date); version 1 files had no
// checksums, and a search rebuilds their blocks from tblDirs. qvlDrives records the
// drives the rows were walked from (files written before it was added have none);
// qvlTimes when each folder was listed, for the update. Block numbers leave room
// between them, so that a block an update splits keeps its neighbours' numbers.
constexpr const char* kSchema = R"sql(
PRAGMA page_size = 65536;
PRAGMA journal_mode = DELETE;
BEGIN;
CREATE TABLE tblDirs (DriveLetter TEXT NOT NULL, FullDirectory TEXT NOT NULL, Directory TEXT NOT NULL);
CREATE TABLE tblLastSearch (SearchID INTEGER PRIMARY KEY AUTOINCREMENT, SearchDesc TEXT);
CREATE TABLE qvlNames (Block INTEGER PRIMARY KEY, Names BLOB NOT NULL, NamesSum INTEGER NOT NULL);
CREATE TABLE qvlBlocks (Block INTEGER PRIMARY KEY, Ends BLOB NOT NULL, Drives BLOB NOT NULL,
                        Paths BLOB NOT NULL, RowsSum INTEGER NOT NULL);
CREATE TABLE qvlParts (Key INTEGER PRIMARY KEY, Bits BLOB NOT NULL, Sum INTEGER NOT NULL);
CREATE TABLE qvlMeta (Key TEXT PRIMARY KEY, Value INTEGER);
CREATE TABLE qvlDrives (Letter TEXT PRIMARY KEY, Root BLOB NOT NULL, Identity BLOB NOT NULL);
CREATE TABLE qvlTimes (Letter TEXT PRIMARY KEY, Started INTEGER NOT NULL, Sum INTEGER NOT NULL,
                       Times BLOB NOT NULL);
INSERT INTO qvlMeta VALUES ('rows', 0);
PRAGMA user_version = 4;
COMMIT;
)sql";

} // namespace

StoreLocation locateStore(const fs::path& exeDir, const fs::path& installedDataDir) {
    StoreLocation location;
    std::error_code ec;
    location.templateFile = exeDir / TemplateFileName;
    if (!fs::exists(location.templateFile, ec) && !installedDataDir.empty())
        location.templateFile = (exeDir / installedDataDir / TemplateFileName).lexically_normal();
    std::string dataDir = platform::getEnv("QVL_DATA_DIR");
    if (!dataDir.empty())
        location.dataDir = dataDir;
    else if (fs::is_regular_file(exeDir / PortableMarkerName, ec) && platform::isWritableDir(exeDir))
        location.dataDir = exeDir;
    else
        location.dataDir = platform::userDataDir();
    return location;
}

StoreLocation locateStore() {
#ifdef QVL_INSTALLED_DATA_DIR
    return locateStore(platform::executableDir(), QVL_INSTALLED_DATA_DIR);
#else
    return locateStore(platform::executableDir(), {});
#endif
}

std::string engineVersion() {
    return sqlite3_libversion();
}

std::string BuildConnectString(const StoreLocation& location) {
    return location.dbFile().string();
}

std::string createEmptyDatabase(const fs::path& file) {
    std::error_code ec;
    if (fs::exists(file, ec) && fs::file_size(file, ec) != 0)
        return "already exists: " + file.string();
    Db db;
    std::string err = db.open(file.string(), Db::Mode::Create);
    if (err.empty())
        err = db.exec(kSchema);
    return err;
}

int32_t CountRows(const std::string& dbConnect, std::string_view table) {
    // Only the two tables of the store can be counted: the name goes into the statement.
    if (table != "tblDirs" && table != "tblLastSearch")
        return 0;
    Db db;
    if (!db.open(dbConnect, Db::Mode::ReadOnly).empty())
        return 0;
    Stmt count(db, "SELECT Count(*) From " + std::string(table));
    return count.step() == SQLITE_ROW ? static_cast<int32_t>(count.integer(0)) : 0;
}

bool IndexHasRows(const std::string& dbConnect) {
    Db db;
    if (!db.open(dbConnect, Db::Mode::ReadOnly).empty())
        return false;
    Stmt any(db, "SELECT EXISTS (SELECT 1 FROM tblDirs)");
    return any.step() == SQLITE_ROW && any.integer(0) != 0;
}

std::string ClearIndex(const std::string& dbConnect) {
    Db db;
    std::string err = db.open(dbConnect, Db::Mode::ReadWrite);
    if (err.empty())
        err = upgradeBlocks(db);
    if (err.empty())
        err = db.exec(
            "BEGIN; DELETE FROM tblDirs; DELETE FROM qvlNames; DELETE FROM qvlBlocks; DELETE FROM qvlParts;"
            " UPDATE qvlMeta SET Value = 0 WHERE Key = 'rows'; DELETE FROM qvlMeta WHERE Key = 'sorted';"
            " DROP TABLE IF EXISTS qvlTimes;");
    if (err.empty())
        err = db.exec(kNextGeneration);
    if (err.empty())
        err = db.exec("COMMIT");
    return err;
}

std::vector<IndexedDrive> indexedDrives(const std::string& dbConnect) {
    std::vector<IndexedDrive> drives;
    Db db;
    if (!db.open(dbConnect, Db::Mode::ReadOnly).empty())
        return drives;
    Stmt read(db, "SELECT Letter, Root, Identity FROM qvlDrives ORDER BY Letter");
    while (read.ok() && read.step() == SQLITE_ROW) {
        std::string_view letter = read.text(0);
        if (letter.size() == 1 && letter[0] >= 'A' && letter[0] <= 'Z')
            drives.push_back({letter[0], std::string(read.blob(1)), std::string(read.blob(2))});
    }
    return drives;
}

fs::path watcherLockFile(const fs::path& dataDir) {
    return dataDir / (std::string(DbFileName) + ".watch");
}

bool watcherRuns(const fs::path& dataDir) {
    platform::FileLock probe;
    return platform::FileLock::isBusy(probe.tryLock(watcherLockFile(dataDir)));
}

std::string WriterLock::acquire(const fs::path& dataDir) {
    m_dataDir = dataDir;
    m_busy = false;
    if (std::string refused = checkDataFolder(dataDir, /*create=*/true); !refused.empty())
        return refused;
    const fs::path lockFile = dataDir / (std::string(DbFileName) + ".lock");
    int err = m_lock.tryLock(lockFile);
    // A watcher holds the lock only while it writes a batch or catches up: that is
    // waited for, where another index run or update is not.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(m_watcherWait);
    while (platform::FileLock::isBusy(err) && m_watcherWait > 0 && watcherRuns(dataDir) &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        err = m_lock.tryLock(lockFile);
    }
    if (platform::FileLock::isBusy(err)) {
        m_busy = true;
        return kWriterBusy;
    }
    if (platform::FileLock::isNotPlainFile(err))
        return "Cannot lock the index: " + lockFile.string() + " is a link or not a plain file";
    if (err != 0)
        return "Cannot lock the index in " + dataDir.string() + ": " + platform::FileLock::describe(err);
    // Holding the lock, every temp file here belongs to a writer that died.
    std::error_code ec;
    const std::string prefix = std::string(DbFileName) + ".";
    for (const fs::directory_entry& entry : fs::directory_iterator(dataDir, ec)) {
        std::string name = entry.path().filename().string();
        bool temp = name.rfind(prefix, 0) == 0 && name.size() > prefix.size() + 4 &&
                    (name.ends_with(".tmp") || name.ends_with(".tmp-journal"));
        if (temp || name == prefix + "new")
            fs::remove(entry.path(), ec);
    }
    return {};
}

fs::path WriterLock::tempFile() const {
    static std::atomic<unsigned> serial{0};
    std::random_device random;
    return m_dataDir / (std::string(DbFileName) + "." + std::to_string(random()) + "-" +
                        std::to_string(serial.fetch_add(1)) + ".tmp");
}

struct IndexWriter::Impl {
    Db db;
    std::unique_ptr<Stmt> insertRow, insertNames, insertBlock, insertFilter;
    BlockBuilder blocks;
    int64_t rows = 0;
    int64_t blockCount = 0;
    // Blocks whose filter parts are still to be written: a batch of about 1.5 MB.
    static constexpr size_t kPartsBatch = 256;
    std::vector<std::pair<int64_t, Block>> pendingParts;

    std::string flushBlock() {
        Block block = blocks.take();
        const int64_t id = ++blockCount * kBlockNumberGap;
        insertNames->reset();
        insertNames->bind(1, id).bindBlob(2, block.names).bind(3, static_cast<int64_t>(blobSum(block.names)));
        if (insertNames->step() != SQLITE_DONE)
            return insertNames->error();
        insertBlock->reset();
        insertBlock->bind(1, id)
            .bindBlob(2, block.ends)
            .bindBlob(3, block.drives)
            .bindBlob(4, block.paths)
            .bind(5, static_cast<int64_t>(rowsSum(block.view())));
        if (insertBlock->step() != SQLITE_DONE)
            return insertBlock->error();
        Block parts;
        parts.filter = std::move(block.filter);
        parts.grams = std::move(block.grams);
        pendingParts.emplace_back(id, std::move(parts));
        return pendingParts.size() < kPartsBatch ? std::string() : flushParts();
    }

    // The filter parts of the blocks written since the last call, part by part.
    std::string flushParts() {
        std::string err = putParts(*insertFilter, pendingParts);
        pendingParts.clear();
        return err;
    }
};

IndexWriter::IndexWriter()
    : m(std::make_unique<Impl>()) {}
IndexWriter::~IndexWriter() = default;

std::string IndexWriter::open(const fs::path& file) {
    std::string err = m->db.open(file.string(), Db::Mode::ReadWrite);
    // The file is new and private until the run renames it into place, so it needs no
    // rollback journal; one transaction, synced once at the end.
    if (err.empty())
        m->db.trustOwnFile();
    if (err.empty())
        err = m->db.exec(
            ("PRAGMA journal_mode = OFF; PRAGMA synchronous = NORMAL; BEGIN;"
             " DELETE FROM tblDirs; DELETE FROM qvlNames; DELETE FROM qvlBlocks; DELETE FROM qvlParts;" +
             std::string(sql::kCreateDrives) +
             " DELETE FROM qvlDrives;"
             " DROP TABLE IF EXISTS qvlTimes;" +
             std::string(kCreateTimes) +
             // A new file gets a generation of its own, so that a search reading it on
             // several connections knows they all opened this one and not one renamed
             // into its place meanwhile.
             " INSERT OR REPLACE INTO qvlMeta VALUES ('generation', (random() & 4611686018427387903) + 1);")
                .c_str());
    if (!err.empty())
        return err;
    m->insertRow = std::make_unique<Stmt>(m->db, sql::kInsertRow);
    m->insertNames = std::make_unique<Stmt>(m->db, "INSERT INTO qvlNames VALUES (?,?,?)");
    m->insertBlock = std::make_unique<Stmt>(m->db, "INSERT INTO qvlBlocks VALUES (?,?,?,?,?)");
    m->insertFilter = std::make_unique<Stmt>(m->db, "INSERT INTO qvlParts VALUES (?,?,?)");
    if (!m->insertRow->ok())
        return m->insertRow->error();
    if (!m->insertFilter->ok())
        return m->insertFilter->error();
    if (!m->insertNames->ok())
        return m->insertNames->error();
    return m->insertBlock->ok() ? std::string() : m->insertBlock->error();
}

std::string IndexWriter::add(char driveLetter, std::string_view fullDirectory, std::string_view directory,
                             std::string_view foldedDirectory) {
    Stmt& row = *m->insertRow;
    row.reset();
    row.bind(1, std::string_view(&driveLetter, 1)).bind(2, fullDirectory).bind(3, directory);
    if (row.step() != SQLITE_DONE)
        return row.error();
    ++m->rows;
    m->blocks.add(driveLetter, fullDirectory, foldedDirectory);
    return m->blocks.full() ? m->flushBlock() : std::string();
}

std::string IndexWriter::addDrive(const IndexedDrive& drive) {
    return putDrive(m->db, drive);
}

std::string IndexWriter::addTimes(char letter, int64_t started, std::string_view entries, uint64_t leaveOut) {
    return putDriveTimes(m->db, letter, started, entries, leaveOut);
}

std::string IndexWriter::finish() {
    std::string err;
    if (!m->blocks.empty())
        err = m->flushBlock();
    if (err.empty())
        err = m->flushParts();
    if (err.empty()) {
        Stmt meta(m->db, "UPDATE qvlMeta SET Value = ? WHERE Key = 'rows'");
        meta.bind(1, m->rows);
        if (meta.step() != SQLITE_DONE)
            err = meta.error();
    }
    if (err.empty())
        err = m->db.exec(sql::kSortedAll); // the rows went in in index order
    m->insertRow.reset();
    m->insertBlock.reset();
    m->insertFilter.reset();
    if (err.empty())
        err = m->db.exec("COMMIT");
    m->db.close();
    return err;
}

} // namespace qvl::store
