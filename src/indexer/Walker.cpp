#include "indexer/Walker.h"

#include "indexer/IndexEdit.h"

#include "platform/Platform.h"
#include "text/TextFold.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>

namespace qvl::indexer {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kProgressInterval = std::chrono::milliseconds(40);
constexpr size_t kUnreadableNamed = 5;
// A listing that waited this long for the disk (its wall time less the CPU time it used)
// says the folders are not in memory; when most listings do, the walk adds threads, up
// to kMaxInFlight, so that many listings wait at once. From a cold cache that made a walk
// of 200,000 folders 3 times faster; from a warm one, threads beyond the cores only cost.
// Reading a thread's CPU time is a system call: only every kSampleEvery-th listing is
// timed, and none once the walk has all its threads.
constexpr int64_t kWaitedNanos = 50'000;
constexpr unsigned kMaxInFlight = 32;
constexpr unsigned kSampleEvery = 8;

constexpr uint32_t kNoNode = DirTree::kNew;

enum class Timing { None, Quick, Waited }; // of a listing: not timed, or how it went

struct Task {
    uint32_t node;
    std::string relPath;        // below the root, names joined by the separator; "" for the root
    uint32_t oldNode = kNoNode; // the same folder in the previous tree
};

// What one thread gathers from one folder before it takes the lock once to publish it.
struct Listing {
    std::string raw, folded;
    std::vector<uint32_t> rawEnd, foldedEnd, order;
    std::vector<uint32_t> oldChild; // per entry in `order`: the same folder in the previous tree
    int64_t time = 0;
    const FolderRules* rules = nullptr;
    std::string_view parent; // the folder listed, below the root

    void clear() {
        raw.clear();
        folded.clear();
        rawEnd.clear();
        foldedEnd.clear();
        order.clear();
        oldChild.clear();
        time = 0;
    }
    void add(std::string_view name, std::string_view foldedName) {
        raw.append(name);
        rawEnd.push_back(static_cast<uint32_t>(raw.size()));
        folded.append(foldedName);
        foldedEnd.push_back(static_cast<uint32_t>(folded.size()));
    }
    std::string_view rawName(uint32_t i) const {
        uint32_t b = i ? rawEnd[i - 1] : 0;
        return {raw.data() + b, rawEnd[i] - b};
    }
    std::string_view foldedName(uint32_t i) const {
        uint32_t b = i ? foldedEnd[i - 1] : 0;
        return {folded.data() + b, foldedEnd[i] - b};
    }
    static void onSubdir(void* ctx, std::string_view name) {
        auto* self = static_cast<Listing*>(ctx);
        if (self->rules->leavesOut(self->parent, name))
            return;
        self->raw.append(name);
        self->rawEnd.push_back(static_cast<uint32_t>(self->raw.size()));
        text::foldAppend(name, self->folded);
        self->foldedEnd.push_back(static_cast<uint32_t>(self->folded.size()));
    }
    void sort() {
        order.resize(rawEnd.size());
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
            int c = foldedName(a).compare(foldedName(b));
            return c != 0 ? c < 0 : rawName(a) < rawName(b);
        });
    }
};

class Walk {
public:
    // Into `tree`, or when it is null into `spilled`.
    Walk(const platform::WalkRoot& root, std::string rootPath, DirTree* tree, SpilledTree* spilled,
         const std::atomic<bool>& stop, const ProgressFn& progress, const DirTree* previous,
         const FolderRules& rules)
        : m_root(root)
        , m_rootPath(std::move(rootPath))
        , m_tree(tree)
        , m_spilled(spilled)
        , m_stop(stop)
        , m_progress(progress)
        , m_old(previous)
        , m_rules(rules) {}

    // `threads` to begin with, and up to `most` while listings wait for the disk.
    void run(unsigned threads, unsigned most) {
        m_tasks.push_back({0, {}, m_old && !m_old->nodes.empty() ? 0u : kNoNode});
        m_most = most;
        {
            std::lock_guard lock(m_mutex);
            for (unsigned i = 1; i < threads; ++i)
                addHelper();
            m_growing = m_threads < m_most;
        }
        work();
        // Helpers are added only while a listing is published; none is under way now.
        for (std::thread& t : m_helpers)
            t.join();
    }

    WalkStatus status;

private:
    void work() {
        Listing listing;
        listing.rules = &m_rules;
        std::vector<char> buffer;
        unsigned listed = 0;
        while (true) {
            Task task;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_tasks.empty() || m_busy == 0 || m_halted; });
                if (m_halted || m_tasks.empty())
                    return;
                task = std::move(m_tasks.back());
                m_tasks.pop_back();
                ++m_busy;
            }
            listing.clear();
            listing.parent = task.relPath;
            int err = 0;
            Timing timing = Timing::None;
            // An unchanged folder of an update is only looked at, not listed; that waits
            // for the disk as much, so it is timed all the same.
            const bool timed = ++listed % kSampleEvery == 0 && m_growing.load(std::memory_order_relaxed);
            const int64_t cpu = timed ? platform::threadCpuNanos() : -1;
            const Clock::time_point wall = timed ? Clock::now() : Clock::time_point{};
            const bool reused = reuse(task, listing);
            if (!reused)
                err = m_root.listSubdirs(task.relPath, buffer, &Listing::onSubdir, &listing, &listing.time);
            if (cpu >= 0) {
                const int64_t waited =
                    std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - wall).count() -
                    (platform::threadCpuNanos() - cpu);
                timing = waited > kWaitedNanos ? Timing::Waited : Timing::Quick;
            }
            if (!reused) {
                listing.sort();
                matchOld(task, listing);
            }
            publish(task, listing, err, timing);
            m_wake.notify_all();
            reportProgress(task.relPath);
        }
    }

    // An unchanged folder: its subfolders are the previous tree's, in their order.
    bool reuse(const Task& task, Listing& listing) {
        if (task.oldNode == kNoNode || task.oldNode >= m_old->times.size())
            return false;
        int64_t was = m_old->times[task.oldNode];
        if (was == 0 || m_root.folderTime(task.relPath, listing.time) != 0 || listing.time != was)
            return false;
        const DirNode& old = m_old->nodes[task.oldNode];
        for (uint32_t k = 0; k < old.childCount; ++k) {
            const DirNode& child = m_old->nodes[old.firstChild + k];
            listing.add(m_old->name(child), m_old->folded(child));
            listing.order.push_back(k);
            listing.oldChild.push_back(old.firstChild + k);
        }
        return true;
    }

    // A folder listed again: each subfolder meets its previous self by name. Both lists
    // are in the same order, so one pass pairs them.
    void matchOld(const Task& task, Listing& listing) const {
        if (!m_old)
            return; // a full walk pairs nothing
        listing.oldChild.assign(listing.order.size(), kNoNode);
        if (task.oldNode == kNoNode)
            return;
        const DirNode& old = m_old->nodes[task.oldNode];
        uint32_t k = 0;
        for (size_t i = 0; i < listing.order.size() && k < old.childCount; ++i) {
            uint32_t e = listing.order[i];
            while (k < old.childCount) {
                const DirNode& child = m_old->nodes[old.firstChild + k];
                int c = m_old->folded(child).compare(listing.foldedName(e));
                if (c == 0)
                    c = m_old->name(child).compare(listing.rawName(e));
                if (c > 0)
                    break;
                ++k;
                if (c == 0) {
                    listing.oldChild[i] = old.firstChild + k - 1;
                    break;
                }
            }
        }
    }

    // With m_mutex held.
    void addHelper() {
        try {
            m_helpers.emplace_back([this] { work(); });
            ++m_threads;
        } catch (const std::system_error&) {
            m_most = m_threads; // no more threads to be had: the ones there are go on
        }
    }

    void publish(const Task& task, const Listing& listing, int err, Timing timing) {
        std::lock_guard lock(m_mutex);
        --m_busy;
        // One listing that waited may be a thread put aside by the scheduler; a run of
        // them is the disk.
        if (timing != Timing::None)
            m_waits = timing == Timing::Waited ? m_waits + 1 : std::max(m_waits, 1u) - 1;
        if (m_waits >= 3 && m_threads < m_most && !m_halted) {
            m_waits = 0;
            addHelper();
        }
        m_growing = m_threads < m_most;
        if (platform::WalkRoot::isFatal(err) && status.fatalError.empty()) {
            status.fatalError = "Could not list " + m_rootPath + task.relPath + ": " +
                                platform::WalkRoot::describe(err) + ". Close other programs and index again.";
            m_halted = true;
        } else if (err != 0 && !platform::WalkRoot::isPassedOver(err)) {
            if (status.firstUnreadable.size() < kUnreadableNamed)
                status.firstUnreadable.push_back(m_rootPath + task.relPath + " (" +
                                                 platform::WalkRoot::describe(err) + ")");
            ++status.unreadable;
        }
        const uint32_t first = m_tree ? addTo(*m_tree, task.node, err == 0 ? listing.time : 0, listing)
                                      : addTo(*m_spilled, task.node, err == 0 ? listing.time : 0, listing);
        if (m_spilled && !m_spilled->error().empty() && status.fatalError.empty()) {
            status.fatalError = m_spilled->error();
            m_halted = true;
        }
        status.rows += static_cast<int64_t>(listing.order.size());
        if (m_old)
            m_tree->previous.insert(m_tree->previous.end(), listing.oldChild.begin(), listing.oldChild.end());
        if (m_stop.load(std::memory_order_relaxed)) {
            status.stopped = true;
            m_halted = true;
        }
        if (m_halted)
            return;
        // Last child on top, so the first is listed next: the stack stays about as deep
        // as the tree and the walk goes roughly in index order.
        for (size_t k = listing.order.size(); k-- > 0;) {
            std::string_view name = listing.rawName(listing.order[k]);
            std::string rel;
            rel.reserve(task.relPath.size() + name.size() + 1);
            if (!task.relPath.empty())
                (rel += task.relPath) += platform::kSeparator;
            rel += name;
            m_tasks.push_back({first + static_cast<uint32_t>(k), std::move(rel),
                               listing.oldChild.empty() ? kNoNode : listing.oldChild[k]});
        }
    }

    // The subfolders of `node`, in order; returns the node the first became.
    static uint32_t addTo(DirTree& tree, uint32_t node, int64_t time, const Listing& listing) {
        auto first = static_cast<uint32_t>(tree.nodes.size());
        tree.times[node] = time;
        tree.nodes[node].firstChild = first;
        tree.nodes[node].childCount = static_cast<uint32_t>(listing.order.size());
        for (uint32_t i : listing.order) {
            DirNode n;
            std::string_view raw = listing.rawName(i), folded = listing.foldedName(i);
            n.nameOffset = static_cast<uint32_t>(tree.names.size());
            n.nameLength = static_cast<uint16_t>(raw.size());
            tree.names.append(raw);
            if (folded == raw) {
                n.foldedOffset = n.nameOffset;
            } else {
                n.foldedOffset = static_cast<uint32_t>(tree.names.size());
                tree.names.append(folded);
            }
            n.foldedLength = static_cast<uint16_t>(folded.size());
            tree.nodes.push_back(n);
            tree.times.push_back(0);
        }
        return first;
    }
    static uint32_t addTo(SpilledTree& tree, uint32_t node, int64_t time, const Listing& listing) {
        uint32_t first = tree.beginListing(node, time, static_cast<uint32_t>(listing.order.size()));
        for (uint32_t i : listing.order)
            tree.child(listing.rawName(i), listing.foldedName(i));
        tree.endListing();
        return first;
    }

    void reportProgress(const std::string& relPath) {
        if (!m_progress)
            return;
        auto now = Clock::now().time_since_epoch().count();
        auto due = m_nextProgress.load(std::memory_order_relaxed);
        if (now < due || !m_progressMutex.try_lock())
            return;
        std::lock_guard lock(m_progressMutex, std::adopt_lock);
        if (m_nextProgress.compare_exchange_strong(
                due, now + std::chrono::duration_cast<Clock::duration>(kProgressInterval).count())) {
            int64_t rows;
            {
                std::lock_guard statusLock(m_mutex);
                rows = status.rows;
            }
            m_progress(m_rootPath + relPath, rows);
        }
    }

    const platform::WalkRoot& m_root;
    const std::string m_rootPath;
    DirTree* m_tree; // guarded by m_mutex, like m_spilled
    SpilledTree* m_spilled;
    const std::atomic<bool>& m_stop;
    const ProgressFn& m_progress;
    const DirTree* m_old; // the previous walk's tree, or nullptr
    const FolderRules& m_rules;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Task> m_tasks; // guarded by m_mutex, like status
    unsigned m_busy = 0;
    bool m_halted = false;
    std::vector<std::thread> m_helpers; // guarded by m_mutex until run() joins them
    unsigned m_threads = 1, m_most = 1;
    unsigned m_waits = 0;               // timed listings that waited, less those that did not
    std::atomic<bool> m_growing{false}; // m_threads < m_most

    std::mutex m_progressMutex;
    std::atomic<Clock::rep> m_nextProgress{0};
};

} // namespace

namespace {

// Opens the root and walks it; `tree` or `spilled` is ready for the walk.
WalkStatus walk(const std::string& path, DirTree* tree, SpilledTree* spilled,
                const std::atomic<bool>& StopRequested, const ProgressFn& progress, unsigned threads,
                const DirTree* previous, const FolderRules& rules) {
    platform::WalkRoot root(path);
    if (root.error() != 0) {
        // That is the drive's fault, not an empty drive: the run must not replace what
        // the index knew of it by nothing.
        WalkStatus status;
        status.fatalError =
            "Cannot open the drive's folder " + path + ": " + platform::WalkRoot::describe(root.error());
        return status;
    }
    unsigned most = threads;
    if (threads == 0) {
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        most = std::max(threads, kMaxInFlight);
    }
    Walk walk(root, path, tree, spilled, StopRequested, progress, previous, rules);
    walk.run(threads, most);
    return walk.status;
}

void endInSeparator(std::string& path) {
    if (path.empty() || path.back() != platform::kSeparator)
        path += platform::kSeparator;
}

} // namespace

WalkStatus ScanDirectory(std::string& path, char driveLetter, DirTree& tree,
                         const std::atomic<bool>& StopRequested, const ProgressFn& progress, unsigned threads,
                         const DirTree* previous, const FolderRules& rules) {
    endInSeparator(path);
    tree = DirTree();
    tree.driveLetter = driveLetter;
    tree.rootPath = path;
    tree.nodes.emplace_back();
    tree.times.push_back(0);
    tree.walkStarted = wallClockNow();
    tree.leaveOut = rules.fingerprint();
    if (previous)
        tree.previous.push_back(previous->nodes.empty() ? DirTree::kNew : 0);
    return walk(path, &tree, nullptr, StopRequested, progress, threads, previous, rules);
}

WalkStatus ScanDirectory(std::string& path, char driveLetter, SpilledTree& tree,
                         const std::atomic<bool>& StopRequested, const ProgressFn& progress, unsigned threads,
                         const FolderRules& rules) {
    endInSeparator(path);
    tree.driveLetter = driveLetter;
    tree.rootPath = path;
    tree.walkStarted = wallClockNow();
    tree.leaveOut = rules.fingerprint();
    if (!tree.error().empty()) {
        WalkStatus status;
        status.fatalError = tree.error();
        return status;
    }
    return walk(path, nullptr, &tree, StopRequested, progress, threads, nullptr, rules);
}

} // namespace qvl::indexer
