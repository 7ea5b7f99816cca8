#pragma once
// The folder walker: every folder below a drive's root becomes one row of the tree.

#include "indexer/DirTree.h"
#include "indexer/LeaveOut.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace qvl::indexer {

// Called with the folder being listed and the rows so far, a few dozen times a second at
// most, from one of the walking threads (never two calls at once).
using ProgressFn = std::function<void(const std::string& path, int64_t rows)>;

struct WalkStatus {
    int64_t rows = 0;
    bool stopped = false;                     // StopRequested was seen
    std::string fatalError;                   // the walk could not go on: out of handles or memory, or the
                                              // root itself cannot be opened
    int64_t unreadable = 0;                   // folders kept as rows whose contents could not be listed
    std::vector<std::string> firstUnreadable; // the first few, "path (reason)"
};

// Walks the folder `path` (a drive's root) into `tree`: every folder below it that
// `rules` keep is one row (by default those whose name does not begin with a period); a
// folder left out is skipped with everything below it. No link, junction or mount point is followed, and
// depth is bounded only by the tree. A folder that cannot be listed keeps its row, has
// no children and is counted as unreadable; one that vanished is not. `path` is given back ending in the
// separator. `StopRequested` is read once per folder listed; the rows found until then stay. `threads` 0
// picks one per core.
// With `previous`, the tree of the same drive from the last walk, a folder whose time
// (WalkRoot::folderTime) is the one recorded there keeps the subfolders it had without
// being listed; their own times are still read. A recorded time of 0 is never trusted, and
// `previous` must have been walked by the same rules (DirTree::leaveOut).
WalkStatus ScanDirectory(std::string& path, char driveLetter, DirTree& tree,
                         const std::atomic<bool>& StopRequested, const ProgressFn& progress = {},
                         unsigned threads = 0, const DirTree* previous = nullptr,
                         const FolderRules& rules = FolderRules());
// The same into a spilled tree, opened already (its scratch file). A record that cannot
// be written (a full disk) ends the walk with that as its fatal error.
WalkStatus ScanDirectory(std::string& path, char driveLetter, SpilledTree& tree,
                         const std::atomic<bool>& StopRequested, const ProgressFn& progress = {},
                         unsigned threads = 0, const FolderRules& rules = FolderRules());

} // namespace qvl::indexer
