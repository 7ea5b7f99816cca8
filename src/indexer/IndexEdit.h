#pragma once
// Changing an index in place: folders added and whole subtrees removed, written into
// tblDirs and into the search blocks they fall in, in one transaction, so that a search
// sees the index before or after a change and never halfway. The search history and
// every other table stay as they are. Used by the update and the watcher; the caller
// holds the writers' lock.

#include "indexer/DirTree.h"
#include "store/IndexStore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::indexer {

struct IndexChanges {
    struct Folder {
        char drive;
        std::string fullDirectory; // ends in the separator
    };
    std::vector<Folder> removedTrees;        // each goes with every folder below it
    std::vector<Folder> added;               // a folder already in the index is passed over
    std::vector<store::IndexedDrive> drives; // drive records to write (again)
    bool empty() const { return removedTrees.empty() && added.empty() && drives.empty(); }
    void append(IndexChanges&& more);
};

// When each folder of a drive was last listed, keyed by its path below the root ("" for
// the root), and when that walk started (nanoseconds of the wall clock).
struct DriveTimes {
    char drive = 0;
    int64_t started = 0;
    uint64_t leaveOut = 0;                             // the rules of the folders left out it was walked by
    std::vector<std::pair<uint64_t, int64_t>> entries; // (pathKey, time), sorted by key
    static uint64_t pathKey(std::string_view relPath);
    int64_t find(std::string_view relPath) const; // 0 when not recorded
    std::string_view blob() const {
        return {reinterpret_cast<const char*>(entries.data()), entries.size() * sizeof(entries[0])};
    }
};

// The times of a walked tree worth keeping (see DirTree::times and walkStarted).
DriveTimes treeTimes(const DirTree& tree);
// Nanoseconds of the wall clock, the clock folder times are in.
int64_t wallClockNow();

class IndexEditor {
public:
    IndexEditor();
    ~IndexEditor();
    IndexEditor(const IndexEditor&) = delete;
    IndexEditor& operator=(const IndexEditor&) = delete;

    // Opens an index for editing. "" or the reason; a file whose blocks do not match
    // its rows (an old or damaged file) is refused with a message saying so.
    std::string open(const std::filesystem::path& file);
    // Every row, in index order: drive, full path, folded name. "" or why not.
    using RowFn =
        std::function<void(char drive, std::string_view fullDirectory, std::string_view foldedName)>;
    std::string readRows(const RowFn& row);
    // The recorded times of a drive; none when the index has none.
    DriveTimes readTimes(char drive);
    // Reads what an apply needs to know of the blocks now (where each starts: a pass over
    // them, a second at ten million folders), so that the next apply does not wait for it.
    std::string prepare();
    // The names of the folders right below `fullDirectory` on `drive`, as the index holds
    // them, read from the blocks: the blocks wholly below one of them are passed over, so a
    // drive's root costs a few blocks read. `isRow` says whether the folder is a row itself
    // (a drive's root is not). "" or why not.
    std::string children(char drive, std::string_view fullDirectory, std::vector<std::string>& names,
                         bool& isRow);
    // The rows of `drive` below `root` (its rows' common start) that follow `after` in
    // index order ("" for the first), at most `count`, their full paths; `end` when the
    // drive's last row was reached. "" or why not.
    std::string rowsBelow(char drive, std::string_view root, std::string_view after, size_t count,
                          std::vector<std::string>& paths, bool& end);
    // Removals first, then additions, then the times, all in one transaction.
    std::string apply(const IndexChanges& changes, const std::vector<DriveTimes>& times = {});
    int64_t rowsAdded() const; // by the last apply
    int64_t rowsRemoved() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// The tree of one drive as the index holds it, rebuilt from its rows in index order
// (see IndexEditor::readRows) with the recorded times. False when the rows do not form
// a tree below the root (then the drive is walked whole).
class TreeLoader {
public:
    TreeLoader(std::string rootPath, const DriveTimes& times);
    void add(std::string_view fullDirectory, std::string_view foldedName);
    bool finish(DirTree& tree);

private:
    struct Row {
        uint32_t parent;
        uint32_t nameOffset, nameLength, foldedOffset, foldedLength;
    };
    std::string m_root;
    const DriveTimes& m_times;
    std::string m_names;
    std::vector<Row> m_rows; // pre-order; 0 is the root
    std::vector<int64_t> m_rowTimes;
    std::vector<uint32_t> m_stack; // the open folder at each depth
    std::string m_last;            // the path of the row before
    bool m_ok = true;
};

// The changes that turn `before` into `after`, a walk of the same drive given `before`
// as its previous tree (DirTree::previous pairs them).
IndexChanges treeChanges(const DirTree& before, const DirTree& after);

} // namespace qvl::indexer
