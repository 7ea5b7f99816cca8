#pragma once
// The index store: the database file Files.dat with the folder index (tblDirs) and the
// search history (tblLastSearch), its empty template fresh.dat, and where both live.
// Every operation opens its own connection and lets it go; nothing here is shared.

#include "platform/Platform.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::store {

inline constexpr const char* DbFileName = "Files.dat";
inline constexpr const char* TemplateFileName = "fresh.dat";
// A file of this name beside the executable makes its folder the data folder (portable use).
inline constexpr const char* PortableMarkerName = "quorvel.portable";

struct StoreLocation {
    std::filesystem::path dataDir;      // the folder that holds Files.dat
    std::filesystem::path templateFile; // fresh.dat, beside the executable or in share/quorvel
    std::filesystem::path dbFile() const { return dataDir / DbFileName; }
};

// Where the data lives: the folder named by QVL_DATA_DIR; else the program folder when it
// holds the portable marker and this process may write there; else the per-user data
// folder, for root as for anyone (an installed program never writes into its own folder).
// The template is the one beside the executable, else the installed one in
// `installedDataDir` (relative to the program folder).
StoreLocation locateStore(const std::filesystem::path& exeDir, const std::filesystem::path& installedDataDir);
StoreLocation locateStore();

// The version of the database engine the index is kept with ("3.40.1").
std::string engineVersion();

// DbConnect: what every operation opens, the full path of Files.dat.
std::string BuildConnectString(const StoreLocation& location);

// Writes an empty index database with the schema at `file`, which must not exist yet or
// be empty (then it keeps its access rights).
// Returns "" or the reason it failed.
std::string createEmptyDatabase(const std::filesystem::path& file);

// Rows of "tblDirs" or "tblLastSearch"; 0 on any failure (missing file, other table).
int32_t CountRows(const std::string& dbConnect, std::string_view table);
bool IndexHasRows(const std::string& dbConnect);
// Empties the folder index (not the history). "" or the reason it failed.
std::string ClearIndex(const std::string& dbConnect);

// A drive as an index records it: its letter, the folder walked, and the identity of the
// file system that was there (see platform::SystemDrive), so that a later start can give
// the same mount the same letter and the rows keep meaning what they meant.
struct IndexedDrive {
    char letter = 0;
    std::string root;
    std::string identity;
};
// The drives recorded in the index file; none when it holds no record or cannot be read.
std::vector<IndexedDrive> indexedDrives(const std::string& dbConnect);

// The writers' lock of a data folder: every run that writes the index (a full index,
// and whatever updates it) holds it for its whole run and makes no temp file before it
// has it; searches and the history never take it. The lock is Files.dat.lock beside the
// index; the system drops it when its holder dies.
class WriterLock {
public:
    // Creates the data folder when needed and takes the lock without waiting. "" once
    // held, else why not; busy() tells whether another writer holds it. Once held, temp
    // files that killed writers left behind are removed.
    // While a watcher of the data folder runs, a busy lock is waited for up to
    // `watcherWait` seconds (a watcher's batch is short); 0 never waits.
    std::string acquire(const std::filesystem::path& dataDir);
    void setWatcherWait(int seconds) { m_watcherWait = seconds; }
    bool busy() const { return m_busy; }
    // A new temp file name in the data folder, private to this writer.
    std::filesystem::path tempFile() const;

private:
    platform::FileLock m_lock;
    std::filesystem::path m_dataDir;
    bool m_busy = false;
    int m_watcherWait = 10;
};

// The lock a watcher holds for its whole life (one watcher per data folder), and
// whether one holds it now.
std::filesystem::path watcherLockFile(const std::filesystem::path& dataDir);
bool watcherRuns(const std::filesystem::path& dataDir);

inline constexpr const char* kWriterBusy = "an index run is already in progress";

// Writes the rows of a new index into a database made from the template, in index
// order (see text::comparePathKeys), building the search blocks alongside. It stands
// for the one open record set of an index run: one connection and one transaction for
// the whole run, no statement prepared per row. Not thread-safe.
class IndexWriter {
public:
    IndexWriter();
    ~IndexWriter();
    IndexWriter(const IndexWriter&) = delete;
    IndexWriter& operator=(const IndexWriter&) = delete;

    std::string open(const std::filesystem::path& file);
    // `fullDirectory` ends in the separator; `directory` is its last component and
    // `foldedDirectory` that name case-folded.
    std::string add(char driveLetter, std::string_view fullDirectory, std::string_view directory,
                    std::string_view foldedDirectory);
    // Records a drive whose rows this index holds.
    std::string addDrive(const IndexedDrive& drive);
    // Records when the folders of a drive were listed (see indexer::DriveTimes).
    std::string addTimes(char letter, int64_t started, std::string_view entries, uint64_t leaveOut = 0);
    // Writes what is pending and commits; the file is complete and synced afterwards.
    std::string finish();

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace qvl::store
