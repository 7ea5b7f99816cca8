#include "indexer/IndexRun.h"

#include "indexer/IndexEdit.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace qvl::indexer {

namespace fs = std::filesystem;

std::string IndexRunResult::caption() const {
    return std::string(canceled ? "Canceled." : "Done.") + " (" + std::to_string(count) + " dirs)";
}

std::string IndexRunResult::unreadableText() const {
    if (unreadable == 0)
        return {};
    std::string text = std::to_string(unreadable) +
                       (unreadable == 1 ? " folder could not be read; what is below it"
                                        : " folders could not be read; what is below them") +
                       " is not in the index:";
    for (const std::string& f : firstUnreadable)
        text += "\n  " + f;
    if (unreadable > static_cast<int64_t>(firstUnreadable.size()))
        text += "\n  ...";
    return text;
}

namespace {

// Makes `file` a fresh, empty index: a copy of the template, or the schema itself.
std::string startFromTemplate(const store::StoreLocation& location, const fs::path& file) {
    std::error_code ec;
    if (fs::copy_file(location.templateFile, file, ec))
        return {};
    fs::remove(file, ec); // a copy cut short by a full disk
    return store::createEmptyDatabase(file);
}

} // namespace

std::string writeIndexFile(const fs::path& file, const std::vector<DirTree>& trees,
                           const std::vector<Drive>& drives, const std::atomic<bool>* stop,
                           const ProgressFn& progress) {
    store::IndexWriter writer;
    std::string err = writer.open(file);
    for (const Drive& d : drives)
        if (err.empty())
            err = writer.addDrive({d.letter, d.root, d.identity});
    for (const DirTree& tree : trees) {
        DriveTimes times = treeTimes(tree);
        if (err.empty())
            err = writer.addTimes(times.drive, times.started, times.blob());
    }
    int64_t total = 0, written = 0;
    for (const DirTree& tree : trees)
        total += tree.rows();
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextReport = Clock::now();
    IndexOrder order(trees);
    IndexRow row;
    while (err.empty() && order.next(row)) {
        err = writer.add(row.driveLetter, row.fullDirectory, row.directory, row.foldedDirectory);
        // The clock and the flag are read every few thousand rows: a few milliseconds.
        if (++written % 4096 != 0)
            continue;
        if (stop && stop->load(std::memory_order_relaxed))
            break;
        if (progress && Clock::now() >= nextReport) {
            nextReport = Clock::now() + std::chrono::milliseconds(40);
            progress("Writing the index: " + std::to_string(100 * written / std::max<int64_t>(total, 1)) +
                         "%",
                     written);
        }
    }
    std::string finished = writer.finish();
    return err.empty() ? finished : err;
}

IndexRunResult runIndex(const store::StoreLocation& location, const DriveCatalogue& catalogue,
                        std::string_view letters, std::atomic<bool>& StopRequested,
                        const IndexRunCallbacks& callbacks) {
    IndexRunResult result;
    const fs::path dbFile = location.dbFile();
    store::WriterLock lock;
    result.error = lock.acquire(location.dataDir);
    if (!result.error.empty()) {
        result.busy = lock.busy();
        result.canceled = StopRequested.exchange(false);
        result.count = store::CountRows(dbFile.string(), "tblDirs");
        return result;
    }
    const fs::path building = lock.tempFile();

    std::string err = startFromTemplate(location, building);
    if (!err.empty())
        result.error = "Cannot create the index in " + location.dataDir.string() + ": " + err;

    std::vector<DirTree> trees;
    std::vector<Drive> walked;
    for (char letter : letters) {
        const Drive* drive = catalogue.find(letter);
        if (!drive || !drive->usable())
            continue;
        if (callbacks.driveStarted)
            callbacks.driveStarted(drive->letter);
        // Once an error has ended the run, the remaining drives are only unticked.
        if (result.error.empty()) {
            std::string root = drive->root;
            trees.emplace_back();
            walked.push_back(*drive);
            WalkStatus status =
                ScanDirectory(root, drive->letter, trees.back(), StopRequested, callbacks.progress);
            if (!status.fatalError.empty())
                result.error = status.fatalError;
            result.unreadable += status.unreadable;
            for (std::string& f : status.firstUnreadable)
                if (result.firstUnreadable.size() < 5)
                    result.firstUnreadable.push_back(std::move(f));
        }
        if (callbacks.driveFinished)
            callbacks.driveFinished(drive->letter);
    }

    if (result.error.empty()) {
        // A Stop during the walks keeps every folder they found; one during the writing
        // keeps what is written by then.
        const bool walksStopped = StopRequested.load();
        err = writeIndexFile(building, trees, walked, walksStopped ? nullptr : &StopRequested,
                             callbacks.progress);
        std::error_code renamed;
        if (err.empty())
            fs::rename(building, dbFile, renamed);
        if (!err.empty() || renamed)
            result.error =
                "Cannot write the index " + dbFile.string() + ": " + (err.empty() ? renamed.message() : err);
    }
    trees.clear();
    std::error_code ec;
    fs::remove(building, ec); // after a failure; a renamed file is gone already

    result.canceled = StopRequested.exchange(false);
    result.count = store::CountRows(dbFile.string(), "tblDirs");
    return result;
}

} // namespace qvl::indexer
