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
    int32_t count = 0;      // rows of tblDirs afterwards
    std::string error;      // why the run failed; "" when fine. A failed run changed nothing.
    bool busy = false;      // it failed because another writer holds the writers' lock
    int64_t unreadable = 0; // folders whose contents could not be listed
    std::vector<std::string> firstUnreadable; // the first few of them, with the reason
    std::vector<std::string> notes;           // drives left out whole, a file of rules not all read
    // "Done. (N dirs)" or "Canceled. (N dirs)": only for a run whose error is "".
    std::string caption() const;
    // "N folders could not be read: ..." naming the first few; "" when there were none.
    std::string unreadableText() const;
};

// Walks the drives of `letters`, in that order, and replaces Files.dat by a database made
// from the template (or from the schema when the template is missing) holding their
// folders; the search history starts empty again. The run holds the writers' lock and
// refuses to start while another writer has it. The new index is built in a temp file
// of its own and renamed over the old one when complete, so an interrupted or failed
// run (a drive that cannot be opened, a walk out of handles or memory, a full disk)
// leaves the old index whole. Letters that are not usable drives are passed over.
// The folders the data folder's rules leave out (see LeaveOut.h) are not walked, nor a
// drive they leave out whole. StopRequested ends the walks, or the writing after them (the rows found or
// written so far are kept and the result is "Canceled.") and is cleared when the run ends. Runs on the
// calling thread; the walks use helper threads.
IndexRunResult runIndex(const store::StoreLocation& location, const DriveCatalogue& catalogue,
                        std::string_view letters, std::atomic<bool>& StopRequested,
                        const IndexRunCallbacks& callbacks = {});

// Writes the folders of `trees` into `file`, an empty index made from the template, in
// index order, and records `drives`, the drives they were walked from. "" or the reason
// it failed. `progress`, when given, hears "Writing the index: N%" and the rows written
// a few dozen times a second at most. Once `stop` is set the rows written so far are
// kept; an update compares the folders with the rows, so it adds the others.
std::string writeIndexFile(const std::filesystem::path& file, const std::vector<DirTree>& trees,
                           const std::vector<Drive>& drives = {}, const std::atomic<bool>* stop = nullptr,
                           const ProgressFn& progress = {});
// The same from the spilled trees of a walk.
std::string writeIndexFile(const std::filesystem::path& file, std::vector<SpilledTree>& trees,
                           const std::vector<Drive>& drives = {}, const std::atomic<bool>* stop = nullptr,
                           const ProgressFn& progress = {});

} // namespace qvl::indexer
