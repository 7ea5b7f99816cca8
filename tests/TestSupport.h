#pragma once
// Helpers shared by the core tests: temporary folders, trees with awkward names, a
// brute-force listing with GNU find, and an index built from a folder.

#include "indexer/IndexRun.h"
#include "search/Search.h"
#include "store/IndexStore.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace qvl::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// Creates the folder root/rel and its parents; rel may hold any bytes but NUL.
void makeDirs(const std::filesystem::path& root, const std::string& rel);
// Creates a chain of `depth` folders named name-0000, name-0001, ... below root (going
// down the part that is there), and a folder `leaf` at its end when given, without ever
// passing the system a path longer than one component.
void makeDeepChain(const std::filesystem::path& root, int depth, const std::string& name,
                   const std::string& leaf = {});

// What `find ROOT -mindepth 1 -type d` lists, less everything at or below a name that
// begins with a period, each with a trailing separator. With `prune`, a test of find's
// ("-name node_modules -o -path '/x'"), the folders it holds are pruned with all below them.
std::vector<std::string> findDirs(const std::string& root, const std::string& prune = {});

// An index of `count` folders (a multiple of 1,000) written straight through the writer,
// fast enough for hundreds of thousands: /r/dNNNN/eNNNNNN/. Gives the index file.
std::string writeBigIndex(const std::filesystem::path& data, int count);

// A store in `dataDir`, using the build's template.
store::StoreLocation storeIn(const std::filesystem::path& dataDir);

// Indexes the folders `roots` as drives C, D, ... into a store in dataDir.
indexer::IndexRunResult indexFolders(const std::filesystem::path& dataDir,
                                     const std::vector<std::string>& roots);

inline search::SearchQuery query(std::string text, int mode = search::ContainingSearch) {
    search::SearchQuery q;
    q.text = std::move(text);
    q.mode = mode;
    return q;
}
// A search limited to the drives `letters`.
inline search::SearchQuery scoped(std::string text, int mode, std::string letters) {
    search::SearchQuery q = query(std::move(text), mode);
    q.allDrives = false;
    q.drives = std::move(letters);
    return q;
}

// Every hit of a search, as full paths; `error` gets the cursor's error.
std::vector<std::string> searchPaths(const std::string& db, const search::SearchQuery& query,
                                     search::SearchError* error = nullptr);

// The brute-force answer: the rows whose last component matches, in index order, by a
// folding and an order of its own (ASCII and the few letters of the tests' names).
std::vector<std::string> bruteForce(std::vector<std::string> paths, const std::string& text, int mode);

// Random folder operations inside `root`, with `outside` as the place subtrees move to
// and come back from; names with quotes, %, spaces, case twins and bytes that are not UTF-8.
class FolderChurn {
public:
    FolderChurn(std::filesystem::path root, std::filesystem::path outside, unsigned seed);
    // Operations on folders picked from one listing: one that an earlier operation of
    // the same round moved away fails and is passed over.
    void steps(int count);

private:
    void step(const std::vector<std::filesystem::path>& dirs);
    std::string newName();
    std::filesystem::path m_root, m_outside;
    std::mt19937 m_rng;
    int m_serial = 0;
};

// What a run of qvl gave: its exit status (128 + the signal when one ended it), its output
// and its error output.
struct Outcome {
    int code = -1;
    std::string out, err;
};
std::string slurp(const std::filesystem::path& file);
// Runs qvl in a child process on the store in `data` with the drives `drives`;
// `inChild` runs after the fork, before exec (limits, another user, the environment).
// With `wrapper`, that program runs qvl: wrapper..., qvl, args...
Outcome runQvl(const TempDir& data, const std::string& drives, std::vector<std::string> args,
               const std::function<void()>& inChild = {}, std::vector<std::string> wrapper = {},
               std::string binary = QVL_BINARY);

// Starts qvl on the store in `data` with the drives `drives`, its output and error output
// to `out` (nowhere when -1), and gives its process id.
int startQvl(const TempDir& data, const std::string& drives, const std::vector<std::string>& args,
             int out = -1);

// Runs `statements` on the file with SQLite itself, past every check of the program's own.
void sql(const std::filesystem::path& db, const std::string& statements);
// A writer that makes the change `statements` big enough to spill into the file, then dies
// in mid-transaction as a kill -9 would: the file is left with its journal beside it.
void dieInMidTransaction(const std::filesystem::path& db, const std::string& statements);

// Waits until `done` holds, for at most `limit`: false when it never did. The limit is for
// a machine busy with other work; only a fault reaches it.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60));

// "" when the index in dataDir holds exactly the folders findDirs(root) lists (on each of
// the drives `letters`, all of them when empty); else the folders one has and the other
// has not.
std::string indexDiffersFromDisk(const std::filesystem::path& dataDir, const std::filesystem::path& root,
                                 const std::string& letters = {}, const std::string& prune = {});

} // namespace qvl::test
