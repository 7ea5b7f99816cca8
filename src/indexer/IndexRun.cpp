#include "indexer/IndexRun.h"

#include "indexer/IndexEdit.h"
#include "indexer/LeaveOut.h"
#include "store/Sqlite.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
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
// The copy is the user's alone from its first byte, as the index it becomes (the template
// is readable by everyone): it is made 0600 before anything is written to it.
std::string startFromTemplate(const store::StoreLocation& location, const fs::path& file) {
    std::FILE* out = platform::openPrivateFile(file);
    if (!out)
        return "Cannot create the index in " + file.parent_path().string() + ": " + std::strerror(errno);
    std::FILE* in = std::fopen(location.templateFile.string().c_str(), "rb");
    bool copied = in != nullptr;
    char buffer[1 << 16];
    for (size_t n; copied && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        copied = std::fwrite(buffer, 1, n, out) == n;
    copied = copied && !std::ferror(in) && std::fflush(out) == 0;
    if (in)
        std::fclose(in);
    if (copied) {
        std::fclose(out);
        return {};
    }
    // No template (or a copy cut short by a full disk): the schema itself, in the same file.
    std::fclose(out);
    if (std::FILE* emptied = platform::openPrivateFile(file))
        std::fclose(emptied);
    return store::createEmptyDatabase(file);
}
// A rollback journal beside the index, left by a writer killed in mid-change, belongs to
// that file: once the new index took its name, the next reader would play it back into
// the new one. So before the new file goes into place the old one is rolled back (this run
// holds the writers' lock, so the journal is no live writer's); a journal that may not be
// trusted is not played back but removed, with the file it came with about to go.
std::string settleJournal(const fs::path& dbFile) {
    const fs::path journal = dbFile.string() + "-journal";
    std::error_code ec;
    if (!fs::exists(journal, ec))
        return {};
    store::Db old;
    if (old.open(dbFile.string(), store::Db::Mode::ReadOnly).empty() && !fs::exists(journal, ec))
        return {};
    old.close();
    if (!fs::remove(journal, ec) && ec)
        return "cannot remove " + journal.string() + ": " + ec.message();
    return {};
}

} // namespace

namespace {

// Writes the rows `order` lists, `total` of them, then the drives and the times of the
// folders. The times are gathered as the rows go by; after a Stop, the folders whose
// rows are not all written get none, so that an update lists them again.
// `rowsWritten` is called once the rows are: the trees can go then.
std::string writeRows(const fs::path& file, IndexOrder& order, int64_t total,
                      const std::vector<Drive>& drives, const std::atomic<bool>* stop,
                      const ProgressFn& progress, const std::function<void()>& rowsWritten = {}) {
    store::IndexWriter writer;
    std::string err = writer.open(file);
    std::vector<DriveTimes> times;
    for (const IndexOrder::Root& root : order.roots()) {
        times.emplace_back();
        times.back().drive = root.driveLetter;
        times.back().started = root.walkStarted;
        times.back().leaveOut = root.leaveOut;
        // One entry a folder, reserved at once: doubling would need the memory twice.
        times.back().entries.reserve(static_cast<size_t>(root.rows) + 1);
    }
    auto keep = [&](size_t tree, std::string_view rel, int64_t t) {
        // A folder changed within the clock's granularity of being listed may have
        // changed again unseen at the same time: only times clearly before the walk count.
        if (t != 0 && t < order.roots()[tree].walkStarted - 2'000'000'000)
            times[tree].entries.emplace_back(DriveTimes::pathKey(rel), t);
    };
    for (size_t i = 0; i < times.size(); ++i)
        keep(i, "", order.roots()[i].time);

    int64_t written = 0;
    bool stopped = false;
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextReport = Clock::now();
    IndexRow row;
    while (err.empty() && order.next(row)) {
        err = writer.add(row.driveLetter, row.fullDirectory, row.directory, row.foldedDirectory);
        keep(row.tree,
             row.fullDirectory.substr(row.rootLength, row.fullDirectory.size() - row.rootLength - 1),
             row.time);
        // The clock and the flag are read every few thousand rows: a few milliseconds.
        if (++written % 4096 != 0)
            continue;
        if (stop && stop->load(std::memory_order_relaxed)) {
            stopped = true;
            break;
        }
        if (progress && Clock::now() >= nextReport) {
            nextReport = Clock::now() + std::chrono::milliseconds(40);
            progress("Writing the index: " + std::to_string(100 * written / std::max<int64_t>(total, 1)) +
                         "%",
                     written);
        }
    }
    if (err.empty())
        err = order.error();
    for (DriveTimes& t : times)
        std::sort(t.entries.begin(), t.entries.end());
    if (stopped)
        order.eachOpenFolder([&](size_t tree, std::string_view rel) {
            auto& e = times[tree].entries;
            const uint64_t key = DriveTimes::pathKey(rel);
            for (auto at = std::lower_bound(e.begin(), e.end(), std::make_pair(key, INT64_MIN));
                 at != e.end() && at->first == key; ++at)
                at->second = 0; // never trusted
        });
    if (rowsWritten)
        rowsWritten();
    for (const Drive& d : drives)
        if (err.empty())
            err = writer.addDrive({d.letter, d.root, d.identity});
    for (const DriveTimes& t : times)
        if (err.empty())
            err = writer.addTimes(t.drive, t.started, t.blob(), t.leaveOut);
    std::string finished = writer.finish();
    return err.empty() ? finished : err;
}

} // namespace

std::string writeIndexFile(const fs::path& file, const std::vector<DirTree>& trees,
                           const std::vector<Drive>& drives, const std::atomic<bool>* stop,
                           const ProgressFn& progress) {
    int64_t total = 0;
    for (const DirTree& tree : trees)
        total += tree.rows();
    IndexOrder order(trees);
    return writeRows(file, order, total, drives, stop, progress);
}

std::string writeIndexFile(const fs::path& file, std::vector<SpilledTree>& trees,
                           const std::vector<Drive>& drives, const std::atomic<bool>* stop,
                           const ProgressFn& progress) {
    int64_t total = 0;
    for (const SpilledTree& tree : trees)
        total += tree.rows();
    IndexOrder order(trees);
    return writeRows(file, order, total, drives, stop, progress, [&] {
        for (SpilledTree& tree : trees)
            tree.release();
    });
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

    LeaveOut rules;
    result.notes = loadLeaveOut(location.dataDir, rules);
    std::vector<SpilledTree> trees;
    std::vector<Drive> walked;
    for (char letter : letters) {
        const Drive* drive = catalogue.find(letter);
        if (!drive || !drive->usable())
            continue;
        if (callbacks.driveStarted)
            callbacks.driveStarted(drive->letter);
        const std::string leftOut = driveLeftOut(rules, *drive);
        if (!leftOut.empty())
            result.notes.push_back("drive " + std::string(1, drive->letter) + ": (" + drive->root +
                                   ") was passed over: it is left out (" + leftOut + ")");
        // Once an error has ended the run, the remaining drives are only unticked.
        if (result.error.empty() && leftOut.empty()) {
            std::string root = drive->root;
            trees.emplace_back();
            walked.push_back(*drive);
            // The walk's scratch file sits beside the index it makes: a full disk fails
            // the run with the old index kept, like any other write.
            std::string opened = trees.back().open(lock.tempFile());
            WalkStatus status;
            if (opened.empty())
                status = ScanDirectory(root, drive->letter, trees.back(), StopRequested, callbacks.progress,
                                       0, FolderRules(rules, root));
            else
                status.fatalError = opened;
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
            err = settleJournal(dbFile);
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
