#include "indexer/Watch.h"

#include "indexer/IndexEdit.h"
#include "indexer/Update.h"
#include "indexer/WatchedPaths.h"
#include "platform/ChangeService.h"
#include "platform/Notify.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <thread>
#include <unordered_set>

namespace qvl::indexer {

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kSep = platform::kSeparator;
// Folder times come from the file system's clock, which may lag the wall clock by a tick:
// a folder counts as changed since a moment when its time is past this much before it.
constexpr int64_t kClockSlack = 2'000'000'000;

// A drive as the watcher follows it. No tree of its folders is kept: a folder with news
// is listed and compared with the subfolders the index holds for it.
struct WatchedDrive {
    Drive drive;
    std::string root; // ends in the separator
    FolderRules rules;
    // Open only while a batch is listed: a folder held open could not be unmounted, and
    // its removal would make no event.
    std::unique_ptr<platform::WalkRoot> walkRoot;
    platform::WalkRoot& opened() {
        if (!walkRoot)
            walkRoot = std::make_unique<platform::WalkRoot>(root);
        return *walkRoot;
    }
    bool away = false;
    // Followed by the system's change service: only the root is watched (for its going
    // away); the service names the folders that change, by their paths below realRoot.
    bool serviced = false;
    std::string realRoot;
    int64_t folders = 0; // as the update found them, the root too
    // Some folders have no watch: the sweep goes over the index's rows of the drive in
    // turn and lists those whose time is past `sweepSince` (the start of the pass before,
    // or of the update's walk for the first pass).
    bool swept = false;
    std::string sweepAfter; // the last row the sweep reached ("" at the start of a pass)
    int64_t sweepSince = 0, passStarted = 0;
};

using PathRef = std::pair<uint32_t, std::string>; // drive, path below its root

class Watcher {
public:
    Watcher(const WatchOptions& options, std::atomic<bool>& stop)
        : m_options(options)
        , m_stop(stop) {}

    std::string run() {
        std::error_code ec;
        std::filesystem::create_directories(m_options.location.dataDir, ec);
        int locked = m_watchLock.tryLock(store::watcherLockFile(m_options.location.dataDir));
        if (platform::FileLock::isBusy(locked))
            return kWatcherBusy;
        if (platform::FileLock::isNotPlainFile(locked))
            return "Cannot lock the index: " + store::watcherLockFile(m_options.location.dataDir).string() +
                   " is a link or not a plain file";
        if (locked != 0)
            return "Cannot lock the index in " + m_options.location.dataDir.string() + ": " +
                   platform::FileLock::describe(locked);
        std::string err;
        if (!(err = resync()).empty())
            return err;
        auto nextCheck = Clock::now();
        auto nextSweep = Clock::now() + std::chrono::seconds(1);
        std::vector<platform::FolderNotifier::Event> events;
        while (!m_stop.load()) {
            events.clear();
            // Idle, it wakes once a second (twice while it sweeps): a wake costs more than the
            // checks it makes, and a stop waits for it.
            bool busy = haveNews() || !m_pending.empty();
            if (!m_notifier->wait(busy ? 50 : sweeping() ? 500 : 1000, events))
                return "waiting for change notifications failed";
            if (!events.empty()) {
                // Gather the events of one burst into one batch.
                const auto first = Clock::now();
                size_t seen = 0;
                while (seen != events.size() &&
                       Clock::now() - first < std::chrono::milliseconds(m_options.batchMs)) {
                    seen = events.size();
                    m_notifier->wait(m_options.settleMs, events);
                }
                take(events);
            }
            auto now = Clock::now();
            if (now >= nextCheck) {
                // A full index renames a new file over the old one: follow it.
                if (platform::fileIdentity(m_options.location.dbFile()) != m_identity)
                    m_resync = true;
                // New rules of what to leave out: an update by them, and watches to match.
                LeaveOut rules;
                loadLeaveOut(m_options.location.dataDir, rules);
                if (rules != m_rules) {
                    log("the folders to leave out changed; updating the watched drives");
                    m_resync = true;
                }
                nextCheck = now + std::chrono::seconds(2);
            }
            if (now >= nextSweep) {
                sweep();
                nextSweep = now + std::chrono::seconds(1);
            }
            if (m_resync) {
                if (!(err = resync()).empty())
                    return err;
                continue;
            }
            // The tree in memory moves on only once what it has found is written, so
            // that changes reach the file in the order they happened.
            if (m_pending.empty() && haveNews())
                listDirty();
            if (!m_pending.empty())
                write();
        }
        if (m_pending.empty() && haveNews())
            listDirty();
        if (!m_pending.empty())
            write();
        return {};
    }

private:
    bool haveNews() const { return !m_dirty.empty(); }

    void log(const std::string& line) const {
        if (m_options.log)
            m_options.log(line);
    }

    DriveCatalogue catalogue() const {
        if (m_options.catalogue)
            return m_options.catalogue();
        DriveCatalogue c;
        std::string problem = c.load(store::indexedDrives(m_options.location.dbFile().string()));
        if (!problem.empty())
            log(problem);
        return c;
    }

    // Takes the writers' lock, waiting while another writer has it. False on stop.
    bool lock(store::WriterLock& lock, std::string& err) {
        lock.setWatcherWait(0); // the watcher is this one
        while (!m_stop.load()) {
            err = lock.acquire(m_options.location.dataDir);
            if (err.empty())
                return true;
            if (!lock.busy())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        err.clear();
        return false;
    }

    // Starts over from the index file: an update of the watched drives, then a watch on
    // every folder. Used at the start, when events were lost, when the file was replaced
    // and when a batch could not be written.
    std::string resync() {
        m_resync = false;
        m_notifier = std::make_unique<platform::FolderNotifier>();
        if (m_notifier->error() != 0)
            return "change notifications are not available: " +
                   platform::WalkRoot::describe(m_notifier->error());
        // Before the update, so that what changes while it reads is heard of.
        m_notifier->followService(platform::changesSocketPath());
        m_watched.clear();
        m_dirty.clear();
        m_pending = IndexChanges();
        m_sweepDrive = 0;
        m_drives.clear();
        for (const std::string& problem : loadLeaveOut(m_options.location.dataDir, m_rules))
            log(problem);
        const int64_t limit = platform::FolderNotifier::watchLimit();
        m_share = limit > 0 ? std::max<int64_t>(1, limit * std::clamp(m_options.watchShare, 1, 100) / 100)
                            : INT64_MAX;
        m_budget = m_share;

        std::vector<DirTree> trees;
        while (true) {
            trees.clear();
            if (m_stop.load())
                return {};
            const std::filesystem::path db = m_options.location.dbFile();
            if (m_options.waitForIndex && store::indexedDrives(db.string()).empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                continue;
            }
            store::WriterLock writer;
            std::string err;
            if (!lock(writer, err)) {
                if (err.empty())
                    return {};
                return err;
            }
            m_identity = platform::fileIdentity(db);
            if ((err = m_editor.open(db)).empty()) {
                DriveCatalogue drives = catalogue();
                std::string letters = m_options.letters;
                if (letters.empty())
                    for (const store::IndexedDrive& d : store::indexedDrives(db.string()))
                        letters += d.letter;
                std::vector<Drive> chosen;
                for (char c : letters)
                    if (const Drive* d = drives.find(c); d && d->usable())
                        chosen.push_back(*d);
                UpdateResult r = updateDrives(m_editor, chosen, m_stop, {}, &trees, m_rules);
                // A drive left out whole is not watched.
                std::erase_if(chosen,
                              [&](const Drive& d) { return r.leftOut.find(d.letter) != std::string::npos; });
                for (const std::string& note : r.notes)
                    log(note);
                err = r.error;
                if (err.empty() && r.canceled)
                    return {};
                if (err.empty() && r.added + r.removed > 0)
                    log("update: " + std::to_string(r.added) + " added, " + std::to_string(r.removed) +
                        " removed");
                if (err.empty())
                    err = m_editor.prepare(); // now, not when the first change waits for it
                for (size_t i = 0; err.empty() && i < chosen.size(); ++i)
                    adopt(chosen[i], trees[i]);
                if (err.empty())
                    watchAdopted(trees);
                trees = std::vector<DirTree>();
                platform::giveBackMemory(); // the update's trees: most of it at ten million
            }
            if (!err.empty()) {
                if (!m_options.waitForIndex)
                    return "Cannot watch the index " + db.string() + ": " + err;
                log("Cannot watch the index " + db.string() + ": " + err);
                std::this_thread::sleep_for(std::chrono::seconds(2));
                continue;
            }
            break;
        }
        int64_t folders = 0, unwatched = 0;
        std::string serviced;
        for (uint32_t i = 0; i < m_drives.size(); ++i) {
            const auto& d = m_drives[i];
            folders += d->folders;
            if (d->swept && !d->serviced)
                unwatched += std::max<int64_t>(0, d->folders - static_cast<int64_t>(m_watched.size(i)));
            if (d->serviced)
                serviced += std::string(serviced.empty() ? "" : ", ") + d->drive.letter + ":";
        }
        if (!serviced.empty())
            log("the system's change service tells of every folder changed on " + serviced +
                " (only the drive's root is watched)");
        if (unwatched > 0) {
            const int64_t rate = std::max(1, m_options.sweepPerSecond);
            const bool shared = m_share < limit;
            std::string share;
            if (limit > 0)
                share = ", " + (shared ? std::to_string(m_options.watchShare) + "% of " : std::string()) +
                        "the " + std::to_string(limit) + " watches the system allows this user" +
                        (shared ? " (the rest are left to other programs)" : "");
            log("watching " + std::to_string(m_watched.watches()) + " of " + std::to_string(folders) +
                " folders" + share + "; the other " + std::to_string(unwatched) +
                " are checked by a sweep of " + std::to_string(rate) + " folders a second, each every " +
                std::to_string((unwatched + rate - 1) / rate) + " s");
        }
        if (m_options.ready)
            m_options.ready(folders);
        return {};
    }

    // Takes over a drive the update went over: its root, and whether the service follows it.
    void adopt(const Drive& drive, const DirTree& tree) {
        auto& w = *m_drives.emplace_back(std::make_unique<WatchedDrive>());
        w.drive = drive;
        w.root = tree.rootPath;
        w.rules = FolderRules(m_rules, w.root);
        w.folders = static_cast<int64_t>(tree.nodes.size());
        w.sweepSince = tree.walkStarted - kClockSlack;
        w.passStarted = wallClockNow();
        w.serviced = m_notifier->serviceFollows(w.root);
        if (w.serviced) {
            std::error_code ec;
            const std::string real = std::filesystem::canonical(w.root, ec).string();
            w.realRoot = ec || real.empty() ? w.root : real.back() == kSep ? real : real + kSep;
        }
    }

    // Watches the folders the update gave: every one while the share allows, else the
    // home folder's first and then those changed last; the others go to the sweep. Then
    // every watched folder that changed since the update's walk began is listed (the
    // sweep's first pass does the same for the others; the service, heard from since
    // before the update, names those on the drives it follows).
    void watchAdopted(const std::vector<DirTree>& trees) {
        const bool oneWatch = platform::FolderNotifier::watchesSubtree();
        for (uint32_t d = 0; d < m_drives.size(); ++d)
            watch(d, "");
        std::vector<std::vector<char>> chosen(m_drives.size());
        int64_t wanted = 0;
        for (uint32_t d = 0; d < m_drives.size(); ++d)
            if (!m_drives[d]->serviced && !oneWatch)
                wanted += trees[d].rows();
        const int64_t room = m_budget - static_cast<int64_t>(m_watched.watches());
        if (wanted > room)
            choose(trees, std::max<int64_t>(room, 0), chosen);
        for (uint32_t d = 0; d < m_drives.size(); ++d) {
            WatchedDrive& w = *m_drives[d];
            if (w.serviced)
                continue;
            const size_t root = w.root.size();
            eachPath(trees[d], [&](uint32_t node, const std::string& path) {
                const std::string rel = path.substr(root, path.size() - root - 1);
                if (!oneWatch) {
                    if (!chosen[d].empty() && !chosen[d][node]) {
                        w.swept = true;
                        return true;
                    }
                    watch(d, rel);
                }
                int64_t now = 0;
                if (w.opened().folderTime(rel, now) == 0 && now > w.sweepSince)
                    m_dirty.insert({d, rel});
                return true;
            });
            int64_t now = 0;
            if (w.opened().folderTime("", now) == 0 && now > w.sweepSince)
                m_dirty.insert({d, ""});
        }
        closeRoots();
    }

    // Marks the `room` folders to watch where not all can be: the home folder's and
    // every folder below it first, then those changed last.
    void choose(const std::vector<DirTree>& trees, int64_t room, std::vector<std::vector<char>>& chosen) {
        struct Candidate {
            int64_t time;
            uint32_t node, drive;
            bool home;
        };
        std::vector<Candidate> all;
        std::string home = platform::getEnv("HOME");
        if (!home.empty() && home.back() != kSep)
            home += kSep;
        for (uint32_t d = 0; d < m_drives.size(); ++d) {
            if (m_drives[d]->serviced)
                continue;
            chosen[d].assign(trees[d].nodes.size(), 0);
            eachPath(trees[d], [&](uint32_t node, const std::string& path) {
                const int64_t time = node < trees[d].times.size() ? trees[d].times[node] : 0;
                all.push_back({time, node, d, path.starts_with(home)});
                return true;
            });
        }
        auto first = [](const Candidate& a, const Candidate& b) {
            return a.home != b.home ? a.home : a.time > b.time;
        };
        const size_t n = std::min(all.size(), static_cast<size_t>(room));
        std::nth_element(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n), all.end(), first);
        for (size_t i = 0; i < n; ++i)
            chosen[all[i].drive][all[i].node] = 1;
    }

    // Watches the folder unless the share is used up or it cannot be; then the sweep
    // checks it.
    void watch(uint32_t d, const std::string& rel) {
        WatchedDrive& w = *m_drives[d];
        if (static_cast<int64_t>(m_watched.watches()) >= m_budget) {
            w.swept = true;
            return;
        }
        int id = -1;
        int err = m_notifier->add(fullPath(w, rel), id, &w.opened(), rel);
        if (err == 0) {
            // A path that had another watch lets go of it, as the watch may serve it alone.
            if (const int before = m_watched.add(d, rel, id);
                before >= 0 && before != id && !m_watched.serves(before))
                m_notifier->remove(before);
            return;
        }
        // Gone (its parent's event says so), another file system's, or unreadable (kept
        // without subfolders, as the walk keeps it): nothing to watch.
        if (platform::WalkRoot::isPassedOver(err) || platform::FolderNotifier::isDenied(err))
            return;
        if (platform::FolderNotifier::limitReached(err)) {
            if (!m_limitSaid) {
                int64_t limit = platform::FolderNotifier::watchLimit();
                log("the system's limit of " + (limit > 0 ? std::to_string(limit) + " " : std::string()) +
                    "watched folders is reached (other programs hold the rest); the folders past it are "
                    "checked by the sweep instead (the limit is fs.inotify.max_user_watches)");
                m_limitSaid = true;
            }
            m_budget = static_cast<int64_t>(m_watched.watches()); // no more tries that fail alike
        } else if (!m_watchErrorSaid) {
            log("a folder cannot be watched (" + platform::WalkRoot::describe(err) +
                "): " + fullPath(w, rel) + "; such folders are checked by the sweep instead");
            m_watchErrorSaid = true;
        }
        w.swept = true;
    }

    // Lets go of a path's watch; the watch itself ends once no path shares it.
    void unwatch(uint32_t d, const std::string& rel) {
        if (const int id = m_watched.remove(d, rel); id >= 0 && !m_watched.serves(id))
            m_notifier->remove(id);
    }

    // Lets go of the watches of a folder that went and of every folder below it.
    void unwatchTree(uint32_t d, const std::string& rel) {
        for (const std::string& r : m_watched.below(d, rel))
            unwatch(d, r);
    }

    static std::string fullPath(const WatchedDrive& w, const std::string& rel) {
        return rel.empty() ? w.root : w.root + rel + kSep;
    }
    static std::string join(const std::string& rel, std::string_view name) {
        return rel.empty() || name.empty() ? rel + std::string(name) : rel + kSep + std::string(name);
    }

    void take(const std::vector<platform::FolderNotifier::Event>& events) {
        using Event = platform::FolderNotifier::Event;
        for (const Event& e : events) {
            if (e.kind == Event::Lost) {
                log("change notifications were lost; updating the watched drives");
                m_resync = true;
                continue;
            }
            if (e.kind == Event::Reported) {
                reported(e.relative);
                continue;
            }
            if (e.kind == Event::ServiceGone) {
                log("the change service went away; watching without it");
                m_resync = true;
                continue;
            }
            // One folder may be reached by more than one path: each of them hears of it.
            const std::vector<PathRef> refs = m_watched.paths(e.id);
            if (e.kind == Event::Unwatched) {
                for (const auto& [d, rel] : refs) {
                    m_watched.remove(d, rel);
                    m_drives[d]->swept = true;
                }
                continue;
            }
            for (const auto& [d, rel] : refs) {
                WatchedDrive& w = *m_drives[d];
                if (e.kind == Event::Changed && e.folder) {
                    if (!w.serviced) // else the service names the folder
                        m_dirty.insert({d, join(rel, trimmed(e.relative))});
                } else if (e.kind == Event::Away && rel.empty() && !w.away) {
                    // The drive went away (unmounted, or its folder removed): stop watching
                    // it and leave its rows as the last update left them.
                    log("drive " + std::string(1, w.drive.letter) + ": (" + w.root +
                        ") went away; it is no longer watched");
                    w.away = true;
                    unwatchTree(d, "");
                }
            }
        }
    }

    static std::string_view trimmed(std::string_view relative) {
        while (!relative.empty() && (relative.back() == '/' || relative.back() == kSep))
            relative.remove_suffix(1);
        return relative;
    }

    // A folder the change service names: listed again if it is one of the index's (the
    // walk passes over the folders the rules leave out, and so does this).
    void reported(const std::string& path) {
        for (uint32_t d = 0; d < m_drives.size(); ++d) {
            WatchedDrive& w = *m_drives[d];
            const std::string folder = path + kSep; // as the drive's root is written
            if (!w.serviced || w.away || !folder.starts_with(w.realRoot))
                continue;
            std::string_view rel = std::string_view(folder).substr(w.realRoot.size());
            rel.remove_suffix(rel.empty() ? 0 : 1);
            if (w.rules.leavesOutPath(rel))
                continue;
            m_dirty.insert({d, std::string(rel)});
        }
    }

    // The folders without a watch, a slice a second in turn, at idle disk priority: the
    // index's rows of one drive after another, each folder's time read, and those changed
    // since the pass before began listed again.
    void sweep() {
        const size_t rate = static_cast<size_t>(std::max(1, m_options.sweepPerSecond));
        size_t checked = 0, read = 0;
        std::vector<std::string> rows;
        platform::setIdleIo(true);
        for (size_t turns = 0; checked < rate && read < 4 * rate && turns <= m_drives.size();) {
            if (m_sweepDrive >= m_drives.size())
                m_sweepDrive = 0;
            WatchedDrive& w = *m_drives[m_sweepDrive];
            if (!w.swept || w.away || w.serviced) {
                ++m_sweepDrive;
                ++turns;
                continue;
            }
            bool end = false;
            std::string err = m_editor.rowsBelow(w.drive.letter, w.root, w.sweepAfter,
                                                 std::min<size_t>(rate - checked, 1024), rows, end);
            if (!err.empty()) {
                log("Cannot read the index " + m_options.location.dbFile().string() + ": " + err);
                m_resync = true;
                break;
            }
            const size_t root = w.root.size();
            for (const std::string& path : rows) {
                ++read;
                const std::string rel = path.substr(root, path.size() - root - 1);
                if (m_watched.find(static_cast<uint32_t>(m_sweepDrive), rel) >= 0)
                    continue;
                ++checked;
                int64_t now = 0;
                if (w.opened().folderTime(rel, now) == 0 && now > w.sweepSince)
                    m_dirty.insert({static_cast<uint32_t>(m_sweepDrive), rel});
            }
            if (!rows.empty())
                w.sweepAfter = rows.back();
            if (end) {
                w.sweepAfter.clear();
                w.sweepSince = w.passStarted - kClockSlack;
                w.passStarted = wallClockNow();
                ++m_sweepDrive;
                ++turns;
            }
        }
        platform::setIdleIo(false);
        closeRoots();
    }

    bool sweeping() const {
        return std::any_of(m_drives.begin(), m_drives.end(),
                           [](const auto& w) { return w->swept && !w->away && !w->serviced; });
    }

    struct Listed {
        std::vector<std::string> names;
        int64_t time = 0;
        int error = 0;
        const FolderRules* rules;
        std::string_view parent;
    };
    static void onName(void* ctx, std::string_view name) {
        auto* listed = static_cast<Listed*>(ctx);
        if (!listed->rules->leavesOut(listed->parent, name)) // the same rules as the walk
            listed->names.emplace_back(name);
    }
    void closeRoots() {
        for (auto& w : m_drives)
            w->walkRoot.reset();
    }

    Listed list(WatchedDrive& w, const std::string& rel) {
        Listed l;
        l.rules = &w.rules;
        l.parent = rel;
        l.error = w.opened().listSubdirs(rel, m_buffer, &Watcher::onName, &l, &l.time);
        if (l.error != 0 && !platform::WalkRoot::isPassedOver(l.error))
            l.names.clear(); // unreadable: kept as a row without subfolders, like the walk does
        return l;
    }

    // Lists every folder with news and compares it with what the index holds below it:
    // first every folder that went (and its watches), then every folder that came, walked
    // whole, so that a folder moved within the drive loses its old watches before it gets
    // its new ones. Shallow ones first, as a new folder is walked whole.
    void listDirty() {
        std::vector<PathRef> named(m_dirty.begin(), m_dirty.end());
        m_dirty.clear();
        auto depth = [](const std::string& rel) { return std::count(rel.begin(), rel.end(), kSep); };
        std::stable_sort(named.begin(), named.end(),
                         [&](const auto& a, const auto& b) { return depth(a.second) < depth(b.second); });
        struct Came {
            uint32_t drive;
            std::string rel;
        };
        std::vector<Came> came;
        std::vector<std::string> known;
        for (const PathRef& entry : named) {
            const uint32_t d = entry.first;
            const std::string& rel = entry.second;
            WatchedDrive& w = *m_drives[d];
            const std::string full = fullPath(w, rel);
            if (w.away || std::any_of(came.begin(), came.end(), [&](const Came& c) {
                    return c.drive == d && full.starts_with(fullPath(w, c.rel));
                }))
                continue; // walked whole with a new folder above it
            Listed l = list(w, rel);
            if (l.error != 0 && platform::WalkRoot::isPassedOver(l.error))
                continue; // it went itself: its parent has the news
            bool isRow = false;
            if (std::string err = m_editor.children(w.drive.letter, full, known, isRow); !err.empty()) {
                log("Cannot read the index " + m_options.location.dbFile().string() + ": " + err);
                m_resync = true;
                break;
            }
            if (!isRow && !rel.empty())
                continue; // not in the index yet: the news of a folder above it brings it
            std::unordered_set<std::string_view> onDisk(l.names.begin(), l.names.end());
            std::unordered_set<std::string_view> inIndex(known.begin(), known.end());
            for (const std::string& name : known)
                if (!onDisk.count(name)) {
                    m_pending.removedTrees.push_back({w.drive.letter, full + name + kSep});
                    unwatchTree(d, join(rel, name));
                }
            for (const std::string& name : l.names)
                if (!inIndex.count(name))
                    came.push_back({d, join(rel, name)});
        }
        for (const Came& c : came)
            addTree(c.drive, c.rel);
        closeRoots();
    }

    // A new folder and every folder below it: each watched first, then listed, so that
    // nothing made in it in between goes unseen.
    void addTree(uint32_t d, const std::string& rel) {
        WatchedDrive& w = *m_drives[d];
        const bool watchEach = !w.serviced && !platform::FolderNotifier::watchesSubtree();
        std::vector<std::string> stack{rel};
        while (!stack.empty()) {
            const std::string r = std::move(stack.back());
            stack.pop_back();
            m_pending.added.push_back({w.drive.letter, fullPath(w, r)});
            if (watchEach)
                watch(d, r);
            for (const std::string& name : list(w, r).names)
                stack.push_back(r + kSep + name);
        }
    }

    // Writes the pending changes as one transaction. While another writer runs they
    // wait; a failure starts over from the file.
    void write() {
        store::WriterLock writer;
        writer.setWatcherWait(0);
        std::string err = writer.acquire(m_options.location.dataDir);
        if (!err.empty()) {
            if (!writer.busy()) {
                log("Cannot update the index: " + err);
                m_resync = true;
            }
            return;
        }
        if (platform::fileIdentity(m_options.location.dbFile()) != m_identity) {
            m_resync = true; // a new file: what is pending is in it or is found again
            return;
        }
        err = m_editor.apply(m_pending);
        if (!err.empty()) {
            log("Cannot update the index " + m_options.location.dbFile().string() + ": " + err);
            m_resync = true;
            std::this_thread::sleep_for(std::chrono::seconds(1));
            return;
        }
        m_pending = IndexChanges();
        if (m_options.applied)
            m_options.applied();
    }

    const WatchOptions& m_options;
    std::atomic<bool>& m_stop;
    platform::FileLock m_watchLock;
    std::unique_ptr<platform::FolderNotifier> m_notifier;
    IndexEditor m_editor;
    std::string m_identity; // of the file the editor has open
    std::vector<std::unique_ptr<WatchedDrive>> m_drives;
    WatchedPaths m_watched;
    std::set<PathRef> m_dirty;    // folders with news
    size_t m_sweepDrive = 0;      // the drive the sweep is on
    int64_t m_share = INT64_MAX;  // the watches this watcher may hold
    int64_t m_budget = INT64_MAX; // the same, or fewer once the system's limit was met
    IndexChanges m_pending;
    std::vector<char> m_buffer;
    LeaveOut m_rules; // as the last update went by them
    bool m_resync = false;
    bool m_limitSaid = false;
    bool m_watchErrorSaid = false;
};

} // namespace

std::string watchIndex(const WatchOptions& options, std::atomic<bool>& stop) {
    Watcher watcher(options, stop);
    return watcher.run();
}

} // namespace qvl::indexer
