#include "indexer/Update.h"

#include <map>

namespace qvl::indexer {

std::string UpdateResult::caption() const {
    if (canceled)
        return "Canceled. (nothing changed; " + std::to_string(count) + " dirs)";
    return "Done. (" + std::to_string(added) + " added, " + std::to_string(removed) + " removed; " +
           std::to_string(count) + " dirs)";
}

UpdateResult updateDrives(IndexEditor& editor, const std::vector<Drive>& drives, std::atomic<bool>& stop,
                          const ProgressFn& progress, std::vector<DirTree>* trees, const LeaveOut& rules) {
    UpdateResult result;
    struct Previous {
        DriveTimes times;
        std::unique_ptr<TreeLoader> loader;
        DirTree tree;
        bool whole = false;   // no usable previous tree: every row of the drive goes
        bool dropped = false; // the times were dropped, and the user told so
        std::string leftOut;  // why the drive is left out whole
        FolderRules reach;    // the rules as they reach its folders
    };
    std::map<char, Previous> previous;
    const int64_t now = wallClockNow();
    for (const Drive& d : drives) {
        Previous& p = previous[d.letter];
        p.times = editor.readTimes(d.letter);
        std::string root = d.root;
        if (root.empty() || root.back() != platform::kSeparator)
            root += platform::kSeparator;
        p.leftOut = driveLeftOut(rules, d);
        p.reach = FolderRules(rules, root);
        if (p.times.started > now) {
            result.notes.push_back("the clock is behind the time drive " + std::string(1, d.letter) +
                                   ": was last read; it was read whole");
            p.times = DriveTimes();
            p.dropped = true;
        } else if (p.times.started != 0 && p.leftOut.empty() && p.times.leaveOut != p.reach.fingerprint()) {
            // A folder kept by an unchanged folder would stay, or one let in now stay out.
            result.notes.push_back("the folders to leave out changed since drive " +
                                   std::string(1, d.letter) + ": was last read; it was read whole");
            p.times = DriveTimes();
            p.dropped = true;
        }
        p.loader = std::make_unique<TreeLoader>(root, p.times);
    }
    result.error = editor.readRows([&](char drive, std::string_view path, std::string_view folded) {
        auto it = previous.find(drive);
        if (it != previous.end())
            it->second.loader->add(path, folded);
    });
    if (!result.error.empty())
        return result;

    IndexChanges changes;
    std::vector<DriveTimes> times;
    bool timesMoved = false;
    for (const Drive& d : drives) {
        Previous& p = previous[d.letter];
        if (!p.loader->finish(p.tree)) {
            result.notes.push_back("the index of drive " + std::string(1, d.letter) +
                                   ": was not a tree of folders; it was read whole");
            p.whole = true;
            p.tree = DirTree();
        }
        p.loader.reset();
        std::string root = d.root;
        if (!p.leftOut.empty()) {
            // Its rows go; its times too, so that once let in again it is read whole.
            if (root.empty() || root.back() != platform::kSeparator)
                root += platform::kSeparator;
            if (p.tree.nodes.size() > 1 || p.whole) {
                result.notes.push_back("drive " + std::string(1, d.letter) + ": (" + d.root +
                                       ") is left out (" + p.leftOut + "); its folders left the index");
                changes.removedTrees.push_back({d.letter, root});
            }
            if (p.times.started != 0 || !p.times.entries.empty()) {
                DriveTimes none;
                none.drive = d.letter;
                times.push_back(std::move(none));
                timesMoved = true;
            }
            result.leftOut += d.letter;
            continue;
        }
        DirTree fresh;
        WalkStatus status =
            ScanDirectory(root, d.letter, fresh, stop, progress, 0, p.whole ? nullptr : &p.tree, p.reach);
        if (!status.fatalError.empty()) {
            result.error = status.fatalError;
            return result;
        }
        if (status.stopped) {
            result.canceled = true;
            return result;
        }
        result.unreadable += status.unreadable;
        for (std::string& f : status.firstUnreadable)
            if (result.firstUnreadable.size() < 5)
                result.firstUnreadable.push_back(std::move(f));
        if (!fresh.times.empty() && fresh.times[0] == 0 && fresh.nodes.size() > 1)
            result.notes.push_back("drive " + std::string(1, d.letter) +
                                   ": keeps no folder times; it was read whole");
        fresh.driveLetter = d.letter;
        if (p.whole) {
            // Every row of the drive goes, and every folder found now comes.
            changes.removedTrees.push_back({d.letter, fresh.rootPath});
            p.tree = DirTree();
            p.tree.nodes.emplace_back();
            fresh.previous.assign(fresh.nodes.size(), DirTree::kNew);
        } else if (p.times.started == 0 && p.tree.nodes.size() > 1 && !p.dropped) {
            result.notes.push_back("drive " + std::string(1, d.letter) +
                                   ": had no recorded folder times yet; it was read whole");
        }
        changes.append(treeChanges(p.tree, fresh));
        if (p.tree.nodes.empty() || p.whole)
            changes.drives.push_back({d.letter, d.root, d.identity});
        DriveTimes t = treeTimes(fresh);
        timesMoved = timesMoved || t.entries != p.times.entries || t.leaveOut != p.times.leaveOut;
        times.push_back(std::move(t));
        if (trees)
            trees->push_back(std::move(fresh));
    }
    // Nothing moved: the file is left as it is, not even rewritten.
    if (!changes.empty() || timesMoved) {
        result.error = editor.apply(changes, times);
        if (!result.error.empty())
            return result;
        result.added = editor.rowsAdded();
        result.removed = editor.rowsRemoved();
    }
    return result;
}

UpdateResult runUpdate(const store::StoreLocation& location, const DriveCatalogue& catalogue,
                       std::string_view letters, std::atomic<bool>& stop, const ProgressFn& progress) {
    UpdateResult result;
    const std::string dbFile = location.dbFile().string();
    store::WriterLock lock;
    result.error = lock.acquire(location.dataDir);
    if (!result.error.empty()) {
        result.busy = lock.busy();
        return result;
    }
    std::string chosen(letters);
    if (chosen.empty())
        for (const store::IndexedDrive& d : store::indexedDrives(dbFile))
            chosen += d.letter;
    std::vector<Drive> drives;
    for (char letter : chosen) {
        const Drive* d = catalogue.find(letter);
        if (d && d->usable())
            drives.push_back(*d);
    }
    LeaveOut rules;
    std::vector<std::string> problems = loadLeaveOut(location.dataDir, rules);
    IndexEditor editor;
    result.error = editor.open(location.dbFile());
    if (result.error.empty())
        result = updateDrives(editor, drives, stop, progress, nullptr, rules);
    result.notes.insert(result.notes.begin(), problems.begin(), problems.end());
    if (!result.error.empty() && !result.busy)
        result.error = "Cannot update the index " + dbFile + ": " + result.error;
    stop.store(false);
    result.count = store::CountRows(dbFile, "tblDirs");
    return result;
}

} // namespace qvl::indexer
