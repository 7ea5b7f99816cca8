#include "indexer/Watch.h"

#include "indexer/IndexEdit.h"
#include "indexer/Update.h"
#include "platform/ChangeService.h"
#include "platform/Notify.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace qvl::indexer {

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kSep = platform::kSeparator;
constexpr uint32_t kNone = UINT32_MAX;

// A folder as the watcher knows it: what the index holds for it, and its watch.
struct Node {
    uint32_t parent = kNone;
    int watch = -1;
    bool alive = true;
    int64_t time = 0; // when it was last listed (0: unknown)
    std::string name;
    std::vector<uint32_t> children;
};

struct WatchedDrive {
    Drive drive;
    std::string root; // ends in the separator
    // Open only while a batch is listed: a folder held open could not be unmounted, and
    // its removal would make no event.
    std::unique_ptr<platform::WalkRoot> walkRoot;
    platform::WalkRoot& opened() {
        if (!walkRoot)
            walkRoot = std::make_unique<platform::WalkRoot>(root);
        return *walkRoot;
    }
    std::vector<Node> nodes; // 0 is the root
    std::vector<uint32_t> freeNodes;
    bool away = false;
    // Followed by the system's change service: only the root is watched (for its going
    // away); the service names the folders that change, by their paths below realRoot,
    // and each is compared with the index itself. No tree is kept: `nodes` holds the root.
    bool serviced = false;
    std::string realRoot;
    int64_t folders = 0; // when serviced, as the update found them
};

using NodeRef = std::pair<uint32_t, uint32_t>; // drive, node

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
            if (!m_notifier->wait(busy ? 50 : m_unwatched.empty() ? 1000 : 500, events))
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
    bool haveNews() const { return !m_dirty.empty() || !m_servicedDirty.empty(); }

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
        m_byWatch.clear();
        m_dirty.clear();
        m_servicedDirty.clear();
        m_pending = IndexChanges();
        m_unwatched.clear();
        m_sweepAt = 0;
        m_drives.clear();
        const int64_t limit = platform::FolderNotifier::watchLimit();
        m_budget = limit > 0 ? std::max<int64_t>(1, limit * std::clamp(m_options.watchShare, 1, 100) / 100)
                             : INT64_MAX;

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
                UpdateResult r = updateDrives(m_editor, chosen, m_stop, {}, &trees);
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
                trees = std::vector<DirTree>();
                platform::giveBackMemory(); // the update's trees: most of it at ten million
                if (err.empty())
                    watchAdopted();
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
        int64_t folders = 0;
        std::string serviced;
        for (const auto& d : m_drives) {
            folders += d->serviced ? d->folders : static_cast<int64_t>(d->nodes.size() - d->freeNodes.size());
            if (d->serviced)
                serviced += std::string(serviced.empty() ? "" : ", ") + d->drive.letter + ":";
        }
        if (!serviced.empty())
            log("the system's change service tells of every folder changed on " + serviced +
                " (only the drive's root is watched)");
        if (!m_unwatched.empty()) {
            const int64_t rate = std::max(1, m_options.sweepPerSecond);
            const bool shared = m_budget < limit;
            std::string share;
            if (limit > 0)
                share = ", " + (shared ? std::to_string(m_options.watchShare) + "% of " : std::string()) +
                        "the " + std::to_string(limit) + " watches the system allows this user" +
                        (shared ? " (the rest are left to other programs)" : "");
            log("watching " + std::to_string(m_byWatch.size()) + " of " + std::to_string(folders) +
                " folders" + share + "; the other " + std::to_string(m_unwatched.size()) +
                " are checked by a sweep of " + std::to_string(rate) + " folders a second, each every " +
                std::to_string((static_cast<int64_t>(m_unwatched.size()) + rate - 1) / rate) + " s");
        }
        if (m_options.ready)
            m_options.ready(folders);
        return {};
    }

    // Takes over the tree an update gave, or only its root where the change service
    // follows the drive.
    void adopt(const Drive& drive, const DirTree& tree) {
        auto& w = *m_drives.emplace_back(std::make_unique<WatchedDrive>());
        w.drive = drive;
        w.root = tree.rootPath;
        w.serviced = m_notifier->serviceFollows(w.root);
        if (w.serviced) {
            std::error_code ec;
            const std::string real = std::filesystem::canonical(w.root, ec).string();
            w.realRoot = ec || real.empty() ? w.root : real.back() == kSep ? real : real + kSep;
            w.folders = static_cast<int64_t>(tree.nodes.size()); // as a tree counts them, the root too
            w.nodes.resize(1);
            w.nodes[0].time = tree.times.empty() ? 0 : tree.times[0];
            return;
        }
        w.nodes.resize(tree.nodes.size());
        for (uint32_t i = 0; i < tree.nodes.size(); ++i) {
            const DirNode& n = tree.nodes[i];
            if (i > 0)
                w.nodes[i].name = tree.name(n);
            w.nodes[i].time = tree.times[i];
            w.nodes[i].children.reserve(n.childCount);
            for (uint32_t k = 0; k < n.childCount; ++k) {
                w.nodes[i].children.push_back(n.firstChild + k);
                w.nodes[n.firstChild + k].parent = i;
            }
        }
    }

    // Watches the folders the update gave: every one while the share allows, else the
    // home folder's first and then those changed last; the others go to the sweep. Then
    // every folder that changed between the update's listing and its watch is listed (the
    // service, heard from since before the update, names those on the drives it follows).
    void watchAdopted() {
        const bool oneWatch = platform::FolderNotifier::watchesSubtree();
        std::vector<NodeRef> order;
        for (uint32_t d = 0; d < m_drives.size(); ++d)
            for (uint32_t i = 0; i < m_drives[d]->nodes.size(); ++i)
                if (i == 0 || !oneWatch)
                    order.push_back({d, i});
        if (static_cast<int64_t>(order.size()) > m_budget) {
            std::vector<std::vector<char>> nearHome;
            for (const auto& w : m_drives)
                nearHome.push_back(homeMarks(*w));
            std::stable_sort(order.begin(), order.end(), [&](NodeRef a, NodeRef b) {
                const char ha = nearHome[a.first][a.second], hb = nearHome[b.first][b.second];
                if (ha != hb)
                    return ha > hb;
                return m_drives[a.first]->nodes[a.second].time > m_drives[b.first]->nodes[b.second].time;
            });
        }
        for (NodeRef r : order)
            watch(r.first, r.second);
        for (uint32_t d = 0; d < m_drives.size(); ++d) {
            WatchedDrive& w = *m_drives[d];
            for (uint32_t i = 0; i < w.nodes.size() && !w.serviced; ++i) {
                int64_t now = 0;
                if (w.opened().folderTime(relPath(w, i), now) != 0 || now != w.nodes[i].time)
                    m_dirty.insert({d, i});
            }
        }
        closeRoots();
    }

    // 1 for the user's home folder and every folder below it (where the drive holds it).
    static std::vector<char> homeMarks(const WatchedDrive& w) {
        std::vector<char> marks(w.nodes.size(), 0);
        const std::string home = platform::getEnv("HOME");
        if (home.size() < w.root.size() || home.compare(0, w.root.size(), w.root) != 0)
            return marks;
        std::vector<uint32_t> stack{below(w, 0, std::string_view(home).substr(w.root.size()))};
        while (!stack.empty()) {
            const uint32_t n = stack.back();
            stack.pop_back();
            marks[n] = 1;
            stack.insert(stack.end(), w.nodes[n].children.begin(), w.nodes[n].children.end());
        }
        return marks;
    }

    void watch(uint32_t d, uint32_t node) {
        WatchedDrive& w = *m_drives[d];
        if (static_cast<int64_t>(m_byWatch.size()) >= m_budget) {
            m_unwatched.push_back({d, node});
            return;
        }
        int id = -1;
        const std::string rel = relPath(w, node); // built once, for both paths
        int err = m_notifier->add(fullPath(w, rel), id, &w.opened(), rel);
        if (err == 0) {
            w.nodes[node].watch = id;
            m_byWatch[id].push_back({d, node});
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
        } else if (!m_watchErrorSaid) {
            log("a folder cannot be watched (" + platform::WalkRoot::describe(err) +
                "): " + fullPath(w, node) + "; such folders are checked by the sweep instead");
            m_watchErrorSaid = true;
        }
        m_unwatched.push_back({d, node});
    }

    // Lets go of the node's watch; the watch itself ends once no folder shares it.
    void unwatch(uint32_t d, uint32_t node) {
        Node& x = m_drives[d]->nodes[node];
        if (x.watch < 0)
            return;
        if (auto it = m_byWatch.find(x.watch); it != m_byWatch.end()) {
            std::erase(it->second, NodeRef{d, node});
            if (it->second.empty()) {
                m_notifier->remove(x.watch);
                m_byWatch.erase(it);
            }
        }
        x.watch = -1;
    }

    std::string relPath(const WatchedDrive& w, uint32_t node) const {
        std::vector<const std::string*> names;
        for (uint32_t n = node; n != 0 && n != kNone; n = w.nodes[n].parent)
            names.push_back(&w.nodes[n].name);
        std::string rel;
        for (size_t i = names.size(); i-- > 0;) {
            rel += *names[i];
            if (i > 0)
                rel += kSep;
        }
        return rel;
    }
    static std::string fullPath(const WatchedDrive& w, const std::string& rel) {
        return rel.empty() ? w.root : w.root + rel + kSep;
    }
    std::string fullPath(const WatchedDrive& w, uint32_t node) const { return fullPath(w, relPath(w, node)); }

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
            auto it = m_byWatch.find(e.id);
            if (it == m_byWatch.end())
                continue;
            // One folder may be reached by more than one path: each of them hears of it.
            const std::vector<NodeRef> refs = it->second;
            if (e.kind == Event::Unwatched)
                m_byWatch.erase(it);
            for (auto [d, node] : refs) {
                WatchedDrive& w = *m_drives[d];
                if (e.kind == Event::Changed && e.folder) {
                    if (!w.serviced) // else the service names the folder
                        m_dirty.insert({d, below(w, node, e.relative)});
                } else if (e.kind == Event::Unwatched) {
                    if (w.nodes[node].watch == e.id)
                        w.nodes[node].watch = -1;
                } else if (e.kind == Event::Away && node == 0 && !w.away) {
                    // The drive went away (unmounted, or its folder removed): stop watching
                    // it and leave its rows as the last update left them.
                    log("drive " + std::string(1, w.drive.letter) + ": (" + w.root +
                        ") went away; it is no longer watched");
                    w.away = true;
                    for (uint32_t n = 0; n < w.nodes.size(); ++n)
                        if (w.nodes[n].alive)
                            unwatch(d, n);
                }
            }
        }
    }

    // A folder the change service names: listed again if it is one of the index's (the
    // walk passes over names that begin with a period, and so does this).
    void reported(const std::string& path) {
        for (uint32_t d = 0; d < m_drives.size(); ++d) {
            WatchedDrive& w = *m_drives[d];
            const std::string folder = path + kSep; // as the drive's root is written
            if (!w.serviced || w.away || !folder.starts_with(w.realRoot))
                continue;
            std::string_view rel = std::string_view(folder).substr(w.realRoot.size());
            rel.remove_suffix(rel.empty() ? 0 : 1);
            if (rel.starts_with('.') || rel.find(std::string{kSep, '.'}) != std::string_view::npos)
                continue;
            m_servicedDirty.insert({d, std::string(rel)});
        }
    }

    // The folder at `relative` below `node`, or the deepest one of its path known yet
    // (listing that one finds the rest).
    static uint32_t below(const WatchedDrive& w, uint32_t node, std::string_view relative) {
        while (!relative.empty()) {
            size_t sep = relative.find_first_of("\\/");
            std::string_view name = relative.substr(0, sep);
            relative = sep == std::string_view::npos ? std::string_view() : relative.substr(sep + 1);
            auto child = std::find_if(w.nodes[node].children.begin(), w.nodes[node].children.end(),
                                      [&](uint32_t c) { return w.nodes[c].name == name; });
            if (child == w.nodes[node].children.end())
                break;
            node = *child;
        }
        return node;
    }

    // The folders without a watch, a slice a second in turn, at idle disk priority: a
    // changed time lists one again. A whole pass forgets the folders that went.
    void sweep() {
        if (m_unwatched.empty())
            return;
        platform::setIdleIo(true);
        const size_t slice =
            std::min(m_unwatched.size(), static_cast<size_t>(std::max(1, m_options.sweepPerSecond)));
        for (size_t k = 0; k < slice; ++k) {
            if (m_sweepAt >= m_unwatched.size())
                m_sweepAt = 0;
            auto [d, node] = m_unwatched[m_sweepAt++];
            WatchedDrive& w = *m_drives[d];
            if (w.away || node >= w.nodes.size() || !w.nodes[node].alive)
                continue;
            int64_t now = 0;
            if (w.opened().folderTime(relPath(w, node), now) == 0 && now != w.nodes[node].time)
                m_dirty.insert({d, node});
        }
        platform::setIdleIo(false);
        closeRoots();
        if (m_sweepAt >= m_unwatched.size()) {
            m_sweepAt = 0;
            std::erase_if(m_unwatched, [&](NodeRef r) {
                return r.second >= m_drives[r.first]->nodes.size() ||
                       !m_drives[r.first]->nodes[r.second].alive;
            });
        }
    }

    struct Listed {
        std::vector<std::string> names;
        int64_t time = 0;
        int error = 0;
    };
    static void onName(void* ctx, std::string_view name) {
        if (!name.empty() && name[0] != '.') // the same rule as the walk
            static_cast<Listed*>(ctx)->names.emplace_back(name);
    }
    void closeRoots() {
        for (auto& w : m_drives)
            w->walkRoot.reset();
    }

    Listed list(WatchedDrive& w, uint32_t node) { return list(w, relPath(w, node)); }
    Listed list(WatchedDrive& w, const std::string& rel) {
        Listed l;
        l.error = w.opened().listSubdirs(rel, m_buffer, &Watcher::onName, &l, &l.time);
        if (l.error != 0 && !platform::WalkRoot::isPassedOver(l.error))
            l.names.clear(); // unreadable: kept as a row without subfolders, like the walk does
        return l;
    }

    // Lists every folder with news again and turns the differences into changes: first
    // every folder that went, then every folder that came, so that a folder moved within
    // the drive loses its old watches before it gets its new ones.
    void listDirty() {
        struct Diff {
            NodeRef where;
            std::vector<uint32_t> gone;
            std::vector<std::string> came;
        };
        std::vector<Diff> diffs;
        std::set<NodeRef> dirty;
        dirty.swap(m_dirty);
        listServiced();
        for (NodeRef r : dirty) {
            WatchedDrive& w = *m_drives[r.first];
            if (w.away || r.second >= w.nodes.size() || !w.nodes[r.second].alive)
                continue;
            Listed l = list(w, r.second);
            if (l.error != 0 && platform::WalkRoot::isPassedOver(l.error))
                continue; // it went itself: its parent has the news
            Node& n = w.nodes[r.second];
            n.time = l.error == 0 ? l.time : 0;
            std::unordered_set<std::string_view> onDisk(l.names.begin(), l.names.end());
            std::unordered_set<std::string_view> known;
            Diff diff{r, {}, {}};
            for (uint32_t c : n.children) {
                known.insert(w.nodes[c].name);
                if (!onDisk.count(w.nodes[c].name))
                    diff.gone.push_back(c);
            }
            for (std::string& name : l.names)
                if (!known.count(name))
                    diff.came.push_back(std::move(name));
            if (!diff.gone.empty() || !diff.came.empty())
                diffs.push_back(std::move(diff));
        }
        for (const Diff& diff : diffs)
            for (uint32_t c : diff.gone)
                drop(diff.where.first, c);
        for (const Diff& diff : diffs) {
            WatchedDrive& w = *m_drives[diff.where.first];
            if (!w.nodes[diff.where.second].alive)
                continue; // it went with a folder above it
            for (const std::string& name : diff.came)
                walkNew(diff.where.first, diff.where.second, name);
        }
        closeRoots();
    }

    // The folders the change service named: each listed and compared with what the index
    // holds below it. Shallow ones first, as a new folder is walked whole.
    void listServiced() {
        std::vector<std::pair<uint32_t, std::string>> named(m_servicedDirty.begin(), m_servicedDirty.end());
        m_servicedDirty.clear();
        auto depth = [](const std::string& rel) { return std::count(rel.begin(), rel.end(), kSep); };
        std::stable_sort(named.begin(), named.end(),
                         [&](const auto& a, const auto& b) { return depth(a.second) < depth(b.second); });
        std::vector<std::pair<uint32_t, std::string>> walked; // the new folders, with all below them
        std::vector<std::string> known;
        for (const auto& entry : named) {
            const uint32_t d = entry.first; // a plain name: lambdas cannot capture a binding in C++20
            const std::string& rel = entry.second;
            WatchedDrive& w = *m_drives[d];
            const std::string full = fullPath(w, rel);
            if (w.away || std::any_of(walked.begin(), walked.end(), [&](const auto& x) {
                    return x.first == d && full.starts_with(x.second);
                }))
                continue;
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
                if (!onDisk.count(name))
                    m_pending.removedTrees.push_back({w.drive.letter, full + name + kSep});
            for (const std::string& name : l.names)
                if (!inIndex.count(name)) {
                    walked.emplace_back(d, full + name + kSep);
                    addTree(w, rel.empty() ? name : rel + kSep + name);
                }
        }
        closeRoots();
    }

    // A new folder on a drive the service follows, and every folder below it.
    void addTree(WatchedDrive& w, const std::string& rel) {
        std::vector<std::string> stack{rel};
        while (!stack.empty()) {
            const std::string r = std::move(stack.back());
            stack.pop_back();
            m_pending.added.push_back({w.drive.letter, fullPath(w, r)});
            for (const std::string& name : list(w, r).names)
                stack.push_back(r + kSep + name);
        }
    }

    // A folder that went, with everything below it.
    void drop(uint32_t d, uint32_t node) {
        WatchedDrive& w = *m_drives[d];
        if (!w.nodes[node].alive)
            return;
        m_pending.removedTrees.push_back({w.drive.letter, fullPath(w, node)});
        Node& parent = w.nodes[w.nodes[node].parent];
        std::erase(parent.children, node);
        std::vector<uint32_t> stack{node};
        while (!stack.empty()) {
            uint32_t n = stack.back();
            stack.pop_back();
            // The same watch may follow the folder to where it moved: it stays while
            // another node has it.
            unwatch(d, n);
            Node& x = w.nodes[n];
            stack.insert(stack.end(), x.children.begin(), x.children.end());
            x = Node();
            x.alive = false;
            w.freeNodes.push_back(n);
        }
    }

    uint32_t newNode(WatchedDrive& w, uint32_t parent, const std::string& name) {
        uint32_t n;
        if (!w.freeNodes.empty()) {
            n = w.freeNodes.back();
            w.freeNodes.pop_back();
        } else {
            n = static_cast<uint32_t>(w.nodes.size());
            w.nodes.emplace_back();
        }
        Node& x = w.nodes[n];
        x = Node();
        x.parent = parent;
        x.name = name;
        w.nodes[parent].children.push_back(n);
        return n;
    }

    // A folder that came: watched first, then listed, so that nothing made in it in
    // between goes unseen; the same for every folder below it.
    void walkNew(uint32_t d, uint32_t parent, const std::string& name) {
        WatchedDrive& w = *m_drives[d];
        std::vector<uint32_t> stack{newNode(w, parent, name)};
        while (!stack.empty()) {
            uint32_t n = stack.back();
            stack.pop_back();
            m_pending.added.push_back({w.drive.letter, fullPath(w, n)});
            if (!platform::FolderNotifier::watchesSubtree())
                watch(d, n);
            Listed l = list(w, n);
            w.nodes[n].time = l.error == 0 ? l.time : 0;
            for (const std::string& child : l.names)
                stack.push_back(newNode(w, n, child));
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
    std::unordered_map<int, std::vector<NodeRef>> m_byWatch; // most hold one
    std::set<NodeRef> m_dirty;
    std::set<std::pair<uint32_t, std::string>> m_servicedDirty; // drive, path below the root
    std::vector<NodeRef> m_unwatched;                           // the sweep's, in turn from m_sweepAt
    size_t m_sweepAt = 0;
    int64_t m_budget = INT64_MAX; // the watches this watcher may hold
    IndexChanges m_pending;
    std::vector<char> m_buffer;
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
