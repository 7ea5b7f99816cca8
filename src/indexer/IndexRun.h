#pragma once
// The index run: rebuilds the whole index from the ticked drives.

#include "indexer/DriveCatalogue.h"
#include "indexer/Walker.h"
#include "store/IndexStore.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

namespace qvl::indexer {

struct IndexRunCallbacks {
    std::function<void(char letter)> driveStarted;  // its walk begins
    std::function<void(char letter)> driveFinished; // its walk is over (the window unticks it)
    ProgressFn progress;                            // from a walking thread, see Walker.h
};

struct IndexRunResult {
    bool canceled = false;
    int32_t count = 0; // rows of tblDirs afterwards
    std::string error; // why the index could not be written or the walk had to end; "" when fine
    // "Done. (N dirs)" or "Canceled. (N dirs)".
    std::string caption() const;
};

// Walks the drives of `letters`, in that order, and replaces Files.dat by a database made
// from the template (or from the schema when the template is missing) holding their
// folders; the search history starts empty again. The new index is built beside the old
// one and renamed over it when complete, so an interrupted run leaves the old index
// whole. Letters that are not usable drives are passed over. StopRequested ends the
// walks (the rows found so far are kept and the result is "Canceled.") and is cleared
// when the run ends. Runs on the calling thread; the walks use helper threads.
IndexRunResult runIndex(const store::StoreLocation& location, const DriveCatalogue& catalogue,
                        std::string_view letters, std::atomic<bool>& StopRequested,
                        const IndexRunCallbacks& callbacks = {});

// Writes the folders of `trees` into `file`, an empty index made from the template, in
// index order. "" or the reason it failed.
std::string writeIndexFile(const std::filesystem::path& file, const std::vector<DirTree>& trees);

} // namespace qvl::indexer
