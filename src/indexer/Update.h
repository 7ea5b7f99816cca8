#pragma once
// The incremental update: brings the index of some drives in line with their disks
// without walking them whole and without touching the search history. A folder whose
// time is the one recorded when it was last listed keeps the subfolders the index has
// for it; only the others are listed again, and new folders are walked.

#include "indexer/DriveCatalogue.h"
#include "indexer/IndexEdit.h"
#include "indexer/Walker.h"
#include "store/IndexStore.h"

#include <atomic>
#include <string>
#include <vector>

namespace qvl::indexer {

struct UpdateResult {
    std::string error; // "" when fine; a failed or canceled update changed nothing
    bool busy = false; // another writer holds the writers' lock
    bool canceled = false;
    int64_t added = 0, removed = 0, count = 0; // folders; rows of tblDirs afterwards
    std::vector<std::string> notes;            // drives read whole or left out, and why
    std::string leftOut;                       // the letters of the drives left out whole
    int64_t unreadable = 0;
    std::vector<std::string> firstUnreadable;
    // "Done. (A added, R removed; N dirs)" or "Canceled. (nothing changed; N dirs)".
    std::string caption() const;
};

// With the writers' lock held and `editor` open on the index: updates the drives by the
// rules of the folders to leave out and gives back, per drive not left out whole, the tree
// as it is now (for the watcher). A drive left out whole loses its rows. A drive last
// walked by other rules is read whole, so that what they kept out comes in and the other
// way round.
UpdateResult updateDrives(IndexEditor& editor, const std::vector<Drive>& drives, std::atomic<bool>& stop,
                          const ProgressFn& progress = {}, std::vector<DirTree>* trees = nullptr,
                          const LeaveOut& rules = LeaveOut());

// Takes the writers' lock and updates the drives of `letters` by the data folder's rules; "" updates every
// drive the index holds that is mounted now.
UpdateResult runUpdate(const store::StoreLocation& location, const DriveCatalogue& catalogue,
                       std::string_view letters, std::atomic<bool>& stop, const ProgressFn& progress = {});

} // namespace qvl::indexer
