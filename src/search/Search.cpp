#include "search/Search.h"

#include "platform/Platform.h"
#include "store/SearchIndex.h"
#include "store/Sqlite.h"
#include "store/Statements.h"
#include "text/TextFold.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace qvl::search {

using store::Db;
using store::Stmt;

namespace {

// A part of the index is searched as one piece of work: this many blocks (stored
// blocks: the numbers of this many, as the index writer spaces them). Small enough that
// the first piece, and the hits of a piece held back for the ones before it, cost little;
// an exact search, which mostly reads filter parts of a few dozen bytes, takes more at a
// time so that handing pieces over does not cost more than reading them.
constexpr int64_t kBlocksPerPiece = 8;
constexpr int64_t kFiltersPerPiece = 256;
// A search that checks the blocks' grams first reads a few rows of each gram part it
// needs for every piece: pieces of more blocks make fewer reads.
constexpr int64_t kGramBlocksPerPiece = 32;
// No more gram parts read than this: any of a needle's grams may go unchecked.
constexpr size_t kMaxGramParts = 8;
constexpr int64_t kBlockNumberGap = 65536;
// No more pieces than this, however the block numbers of a file are spread.
constexpr int64_t kMaxPieces = int64_t{1} << 20;
// Below this many stored blocks one thread scans: a thread and a connection more cost
// more than they save.
constexpr int64_t kParallelBlocks = 256;

// The hits of one piece, in index order, and how its scan ended.
struct Piece {
    std::string paths;          // the hits' full paths, one after the other
    std::vector<uint32_t> ends; // where each hit's path ends in `paths`
    std::string drives;         // one letter per hit
    SearchError error = SearchError::None;
    std::string message;
    void clear() {
        paths.clear();
        ends.clear();
        drives.clear();
        error = SearchError::None;
        message.clear();
    }
};

// What every scanner of one search shares; read-only once the scan starts.
struct Plan {
    explicit Plan(const SearchQuery& query)
        : matcher(query.text, query.mode)
        , shorterThan(query.shorterThan)
        , wholeName(query.shorterThan ? text::fold(query.text) : std::string()) {}
    NameMatcher matcher;
    const std::atomic<size_t>* shorterThan; // see SearchQuery
    std::string wholeName;                  // the folded text, which passes any length
    std::bitset<256> drives;
    bool allDrives = true;
    // An exact search reads the one part of each block's filter that the name's hash
    // falls in, any other search the names; the rest of a block is read only when it can
    // match. SQLite copies every blob it returns, so what is not read is not paid for.
    bool byFilter = false;
    uint64_t exactHash = 0;
    unsigned exactPart = 0;
    // A containing search whose text (or a pattern's run) has three bytes or more first
    // reads the gram parts of its grams, and the names only of blocks that have them all:
    // each stored part, with the hashes of the grams that fall in it.
    std::vector<std::pair<unsigned, std::vector<uint64_t>>> grams;
    std::vector<store::Block> rebuilt; // blocks built here when none are stored
    std::string dbConnect;
};

// Searches pieces of the index: one per thread, each with a connection of its own.
class Scanner {
public:
    explicit Scanner(const Plan& plan)
        : m_plan(plan) {}

    Db db;

    // Prepares the statements on `db`; "" or the error.
    std::string prepare() {
        m_blocks =
            std::make_unique<Stmt>(db, m_plan.byFilter ? store::sql::kParts : store::sql::kNamesOfBlocks);
        // A containing search has the names from the first statement already, and its
        // blob stays valid while this one reads the rest.
        m_details = std::make_unique<Stmt>(db, m_plan.byFilter ? store::sql::kBlockDetailsWithNames
                                                               : store::sql::kBlockDetails);
        if (!m_plan.grams.empty())
            m_parts = std::make_unique<Stmt>(db, store::sql::kParts);
        if (!m_blocks->ok())
            return m_blocks->error();
        if (m_parts && !m_parts->ok())
            return m_parts->error();
        return m_details->ok() ? std::string() : m_details->error();
    }

    void release() {
        m_blocks.reset();
        m_details.reset();
        m_parts.reset();
        db.close();
    }

    // Scans the stored blocks numbered first..last, or the rebuilt ones of those indexes,
    // into `out`; ends early on damage (out.error) or once `stop` is set.
    void scan(int64_t first, int64_t last, Piece& out, const std::atomic<bool>& stop) {
        if (!m_blocks) {
            for (int64_t i = first; i <= last && static_cast<size_t>(i) < m_plan.rebuilt.size(); ++i) {
                if (stop.load(std::memory_order_relaxed))
                    return;
                store::BlockView block = m_plan.rebuilt[static_cast<size_t>(i)].view();
                if (!store::blockIsWellFormed(block)) {
                    damaged(out, "a block is malformed");
                    return;
                }
                if (m_plan.matcher.mayMatch(block.names.data(), block.names.size()) && !scanBlock(block, out))
                    return;
            }
            return;
        }
        // Stored blocks are numbered 0..kMaxBlockNumber, the most a part's key has room for.
        first = std::max<int64_t>(first, 0);
        last = std::min(last, store::kMaxBlockNumber);
        if (first > last)
            return;
        if (m_plan.byFilter) {
            scanStored(store::partKey(m_plan.exactPart, first), store::partKey(m_plan.exactPart, last), out,
                       stop);
            return;
        }
        if (m_plan.grams.empty() || !passingBlocks(first, last, out)) {
            if (out.error == SearchError::None)
                scanStored(first, last, out, stop);
            return;
        }
        // The names of each run of blocks that have the grams, in one read.
        for (size_t i = 0; i < m_seen.size(); ++i) {
            if (!m_pass[i])
                continue;
            size_t j = i;
            while (j + 1 < m_seen.size() && m_pass[j + 1])
                ++j;
            if (!scanStored(m_seen[i], m_seen[j], out, stop))
                return;
            i = j;
        }
    }

private:
    // Which blocks numbered first..last have every gram of the search (m_seen, the blocks
    // of the first gram part read, and m_pass). False when the parts cannot tell, with
    // out.error set where they are damaged.
    bool passingBlocks(int64_t first, int64_t last, Piece& out) {
        m_seen.clear();
        m_pass.clear();
        Stmt& parts = *m_parts;
        for (size_t k = 0; k < m_plan.grams.size(); ++k) {
            const auto& [part, hashes] = m_plan.grams[k];
            parts.reset();
            parts.bind(1, store::partKey(part, first)).bind(2, store::partKey(part, last));
            size_t at = 0;
            int rc;
            while ((rc = parts.step()) == SQLITE_ROW) {
                std::string_view bits = parts.blob(1);
                if (static_cast<uint64_t>(parts.integer(2)) != store::blobSum(bits))
                    return damaged(out, "a filter does not match its checksum");
                const int64_t block = parts.integer(0) & store::kMaxBlockNumber;
                const bool pass = std::all_of(hashes.begin(), hashes.end(),
                                              [&](uint64_t h) { return store::partMayContain(bits, h); });
                if (k == 0) {
                    m_seen.push_back(block);
                    m_pass.push_back(pass);
                    continue;
                }
                // Every part lists the same blocks in the same order; one it lacks passes.
                while (at < m_seen.size() && m_seen[at] < block)
                    ++at;
                if (at < m_seen.size() && m_seen[at] == block && !pass)
                    m_pass[at] = false;
            }
            if (rc != SQLITE_DONE)
                return damaged(out, parts.error());
            if (m_seen.empty())
                return false; // no parts stored here: the names decide
        }
        return true;
    }

    // Reads the stored rows keyed first..last through m_blocks (filter parts or names,
    // then the rest of each block that may match) and scans them. False once damaged or
    // stopped.
    bool scanStored(int64_t first, int64_t last, Piece& out, const std::atomic<bool>& stop) {
        Stmt& blocks = *m_blocks;
        blocks.reset();
        blocks.bind(1, first).bind(2, last);
        int rc;
        while ((rc = blocks.step()) == SQLITE_ROW) {
            if (stop.load(std::memory_order_relaxed))
                return false;
            // Every blob is checked against its checksum before it is used, and the
            // block's structure before anything is read through its offsets.
            std::string_view head = blocks.blob(1); // the filter part or the names
            if (static_cast<uint64_t>(blocks.integer(2)) != store::blobSum(head))
                return damaged(out, std::string(m_plan.byFilter ? "a filter" : "a block's names") +
                                        " does not match its checksum");
            if (m_plan.byFilter ? !store::partMayContain(head, m_plan.exactHash)
                                : !m_plan.matcher.mayMatch(head.data(), head.size()))
                continue;
            Stmt& details = *m_details;
            details.reset();
            details.bind(1, m_plan.byFilter ? blocks.integer(0) & store::kMaxBlockNumber : blocks.integer(0));
            if (details.step() != SQLITE_ROW)
                return damaged(out, details.error().empty() ? "a block is missing" : details.error());
            std::string_view names = m_plan.byFilter ? details.blob(4) : head;
            store::BlockView block = {names, details.blob(0), details.blob(1), details.blob(2)};
            if ((m_plan.byFilter &&
                 static_cast<uint64_t>(details.integer(5)) != store::blobSum(block.names)) ||
                static_cast<uint64_t>(details.integer(3)) != store::rowsSum(block))
                return damaged(out, "a block does not match its checksum");
            if (!store::blockIsWellFormed(block))
                return damaged(out, "a block is malformed");
            if (m_plan.byFilter && !m_plan.matcher.mayMatch(block.names.data(), block.names.size()))
                continue;
            if (!scanBlock(block, out))
                return false;
        }
        return rc == SQLITE_DONE || damaged(out, blocks.error());
    }

    // The message says what is damaged; callers add what to do about it. Gives false, to
    // end the scan.
    bool damaged(Piece& out, const std::string& detail) const {
        out.error = SearchError::Damaged;
        out.message = "The index " + m_plan.dbConnect + " is damaged (" + detail + ")";
        return false;
    }

    bool scanBlock(const store::BlockView& block, Piece& out) {
        const size_t count = block.count();
        m_ends.resize(count);
        if (count > 0) // memcpy is not to be given the null of an empty vector
            std::memcpy(m_ends.data(), block.ends.data(), block.ends.size());
        m_paths.reset(block.paths);
        const NameMatcher& matcher = m_plan.matcher;
        const char* names = block.names.data();
        for (size_t i = matcher.findNext(names, block.names.size(), m_ends.data(), count, 0); i < count;
             i = matcher.findNext(names, block.names.size(), m_ends.data(), count, i + 1)) {
            char drive = block.drives[i];
            if (!m_plan.allDrives && !m_plan.drives.test(static_cast<unsigned char>(drive)))
                continue;
            if (m_plan.shorterThan) {
                // The length alone is read; the path is spelt out only for a hit that
                // may still be among the shortest.
                size_t length;
                if (!m_paths.lengthAt(i, length)) {
                    damaged(out, "a block's paths are malformed");
                    return false;
                }
                size_t begin = i == 0 ? 1 : m_ends[i - 1] + 1;
                if (length >= m_plan.shorterThan->load(std::memory_order_relaxed) &&
                    std::string_view(names + begin, m_ends[i] - begin) != m_plan.wholeName)
                    continue;
            }
            std::string_view path;
            if (!m_paths.at(i, path) || path.size() < 2 || path.back() != platform::kSeparator) {
                damaged(out, "a block's paths are malformed");
                return false;
            }
            out.paths.append(path);
            out.ends.push_back(static_cast<uint32_t>(out.paths.size()));
            out.drives += drive;
        }
        return true;
    }

    const Plan& m_plan;
    std::unique_ptr<Stmt> m_blocks, m_details; // none: the blocks were rebuilt
    std::unique_ptr<Stmt> m_parts;             // the gram parts, when the search checks them
    std::vector<int64_t> m_seen;               // passingBlocks: the blocks of a piece
    std::vector<bool> m_pass;
    std::vector<uint32_t> m_ends; // the block's name ends, aligned
    store::PathDecoder m_paths;
};

} // namespace

// The pieces are searched by one scanner per thread, each taking the next piece not yet
// taken, no further ahead of the one being read than there are slots to hold them (three
// per scanner, so that the hits held back stay a few MB at most); the reader takes them in
// order, so the hits come in index order whatever thread found them. With one scanner
// there is no thread: the reader scans each piece when it gets to it.
struct SearchCursor::Impl {
    explicit Impl(const SearchQuery& query)
        : plan(query) {}
    ~Impl() { release(); }

    Plan plan;
    int64_t mapBytes = 0; // how much of the file the scanners' connections read mapped
    std::vector<std::unique_ptr<Scanner>> scanners;
    bool stored = false;    // stored blocks, else rebuilt ones
    int64_t firstBlock = 0; // the number of the first stored block
    uint64_t piece = 0;     // the span of block numbers a piece covers
    size_t pieceCount = 0;

    std::vector<Piece> slots; // piece k is in slots[k % size]
    std::vector<char> ready;
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable changed;
    size_t claimed = 0; // pieces handed to scanners
    size_t current = 0; // the piece being read
    bool haveCurrent = false;
    size_t hitInPiece = 0;
    std::atomic<bool> stop{false};

    const std::atomic<bool>* cancel = nullptr;
    bool canceled = false;
    bool over = false;
    SearchError error = SearchError::None;
    std::string message;

    SearchError fail(SearchError e, std::string why) {
        error = e;
        message = std::move(why);
        return e;
    }

    void range(size_t k, int64_t& first, int64_t& last) const {
        if (!stored) { // rebuilt blocks, by index
            first = static_cast<int64_t>(k) * kBlocksPerPiece;
            last = first + kBlocksPerPiece - 1;
            return;
        }
        // Unsigned, wrapping into range: a damaged file's numbers may span all of int64.
        uint64_t from = static_cast<uint64_t>(firstBlock) + k * piece;
        first = static_cast<int64_t>(from);
        last = k + 1 == pieceCount ? INT64_MAX : static_cast<int64_t>(from + piece - 1);
    }

    void work(Scanner& scanner) {
        while (true) {
            size_t k;
            {
                std::unique_lock lock(mutex);
                changed.wait(
                    lock, [&] { return stop || claimed >= pieceCount || claimed < current + slots.size(); });
                if (stop || claimed >= pieceCount)
                    return;
                k = claimed++;
            }
            Piece& out = slots[k % slots.size()];
            out.clear();
            int64_t first, last;
            range(k, first, last);
            scanner.scan(first, last, out, stop);
            {
                std::lock_guard lock(mutex);
                ready[k % slots.size()] = 1;
            }
            changed.notify_all();
        }
    }

    // Starts the threads, when there are more scanners than one.
    void start() {
        size_t n = scanners.size();
        slots.resize(n == 1 ? 1 : 3 * n);
        ready.assign(slots.size(), 0);
        if (n > 1)
            for (auto& scanner : scanners) {
                try {
                    threads.emplace_back([this, s = scanner.get()] { work(*s); });
                } catch (const std::system_error&) {
                    break; // the threads there are take every piece; with none, the reader does
                }
            }
    }

    // At the end the threads stop and the connections go, so that the reader holds no
    // lock on the file while its caller writes to it (the history).
    void release() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
            t.join();
        threads.clear();
        for (auto& scanner : scanners)
            scanner->release();
        over = true;
    }

    bool stopped() {
        if (!canceled && !over && cancel && cancel->load(std::memory_order_relaxed)) {
            canceled = true;
            release();
        }
        return canceled;
    }

    // Moves to the next piece with hits; false at the end, on damage or once canceled.
    bool nextPiece() {
        while (true) {
            if (haveCurrent) {
                // The damage a piece ended on is told once the hits before it are given.
                const Piece& done = slots[current % slots.size()];
                if (done.error != SearchError::None) {
                    fail(done.error, done.message);
                    release();
                    return false;
                }
                std::lock_guard lock(mutex);
                ready[current % slots.size()] = 0;
                ++current;
                haveCurrent = false;
            }
            changed.notify_all();
            if (current >= pieceCount) {
                release();
                return false;
            }
            Piece& p = slots[current % slots.size()];
            if (threads.empty()) {
                p.clear();
                int64_t first, last;
                range(current, first, last);
                scanners.front()->scan(first, last, p, stop);
            } else {
                std::unique_lock lock(mutex);
                // A cancel from another thread does not wake this wait; a piece is done
                // within a millisecond or so, and the token is looked at every few.
                while (!ready[current % slots.size()]) {
                    lock.unlock();
                    if (stopped())
                        return false;
                    lock.lock();
                    changed.wait_for(lock, std::chrono::milliseconds(2),
                                     [&] { return ready[current % slots.size()] != 0; });
                }
            }
            haveCurrent = true;
            hitInPiece = 0;
            if (stopped())
                return false;
            if (!p.ends.empty())
                return true;
        }
    }

    // Builds the blocks from tblDirs when the stored ones are missing or older than it.
    std::string rebuildBlocks(Db& db) {
        Stmt rows(db, store::sql::kRowsInOrder);
        if (!rows.ok())
            return rows.error();
        store::BlockBuilder builder;
        std::string folded;
        int rc;
        while ((rc = rows.step()) == SQLITE_ROW) {
            std::string_view drive = rows.text(0);
            folded.clear();
            text::foldAppend(rows.text(2), folded);
            builder.add(drive.empty() ? '?' : drive[0], rows.text(1), folded);
            if (builder.full())
                plan.rebuilt.push_back(builder.take());
        }
        if (!builder.empty())
            plan.rebuilt.push_back(builder.take());
        return rc == SQLITE_DONE ? std::string() : rows.error();
    }

    // The gram parts a containing search checks: those of the grams of its text or of a
    // pattern's runs, no more than kMaxGramParts of them, in the order the grams come.
    void planGrams() {
        for (std::string_view run : plan.matcher.literals())
            for (size_t i = 0; i + 3 <= run.size(); ++i) {
                const uint64_t hash = store::gramHash(run.substr(i, 3));
                const unsigned part = store::kGramPartBase + store::filterPart(hash);
                auto have = std::find_if(plan.grams.begin(), plan.grams.end(),
                                         [&](const auto& g) { return g.first == part; });
                if (have != plan.grams.end())
                    have->second.push_back(hash);
                else if (plan.grams.size() < kMaxGramParts)
                    plan.grams.push_back({part, {hash}});
            }
    }

    // Opens the stored blocks on the first scanner's connection, inside a read
    // transaction that lasts the search; adds scanners on connections of their own for
    // the other cores when the index is large enough and they see the same version of it.
    std::string openStored() {
        Db& db = scanners.front()->db;
        stored = true;
        Stmt span(db, store::sql::kBlockSpan);
        if (!span.ok() || span.step() != SQLITE_ROW)
            return span.error();
        firstBlock = span.integer(0);
        int64_t lastBlock = span.integer(1);
        if (lastBlock < firstBlock) {
            pieceCount = 0;
            return scanners.front()->prepare();
        }
        // In pieces of a few blocks' worth of numbers, no more than kMaxPieces.
        const int64_t blocks = plan.byFilter        ? kFiltersPerPiece
                               : plan.grams.empty() ? kBlocksPerPiece
                                                    : kGramBlocksPerPiece;
        uint64_t width = static_cast<uint64_t>(lastBlock) - static_cast<uint64_t>(firstBlock);
        uint64_t each = std::max<uint64_t>(blocks * kBlockNumberGap, width / kMaxPieces + 1);
        piece = each;
        pieceCount = static_cast<size_t>(width / each + 1);
        std::string err = scanners.front()->prepare();
        unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        // Scanners whose connections read the same generation of the file read the same rows.
        const int64_t gen = store::generation(db);
        if (!err.empty() || cores == 1 || gen == 0 ||
            static_cast<int64_t>(pieceCount) * blocks < kParallelBlocks)
            return err;
        for (unsigned c = 1; c < cores; ++c) {
            auto scanner = std::make_unique<Scanner>(plan);
            if (!scanner->db.open(plan.dbConnect, Db::Mode::ReadOnly).empty() ||
                !store::beginReading(scanner->db, mapBytes).empty() ||
                store::generation(scanner->db) != gen || !scanner->prepare().empty())
                break; // a changed or unreadable file: the scanners there are do it all
            scanners.push_back(std::move(scanner));
        }
        return {};
    }
};

SearchCursor::SearchCursor() = default;
SearchCursor::~SearchCursor() = default;
SearchCursor::SearchCursor(SearchCursor&&) noexcept = default;
SearchCursor& SearchCursor::operator=(SearchCursor&&) noexcept = default;

SearchError SearchCursor::open(const std::string& dbConnect, const SearchQuery& query) {
    m = std::make_unique<Impl>(query);
    Plan& plan = m->plan;
    plan.dbConnect = dbConnect;
    plan.allDrives = query.allDrives;
    for (char c : query.drives)
        plan.drives.set(static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c))));
    if (!query.allDrives && plan.drives.none())
        return m->fail(SearchError::WrongCriteria, "Wrong Criteria");

    std::error_code ec;
    if (!std::filesystem::exists(dbConnect, ec))
        return m->fail(SearchError::NoIndex,
                       "There is no index yet (" + dbConnect + "): index the drives first.");
    m->scanners.push_back(std::make_unique<Scanner>(plan));
    Db& db = m->scanners.front()->db;
    std::string err = db.open(dbConnect, Db::Mode::ReadOnly);
    // A file of up to 256 MiB is read mapped, which saves a system call per page. A larger
    // one is read page by page by a search that reads most of its names: on ten million
    // folders that was a little faster than mapping (setting up the mapping cost more
    // than the calls), and the pages read do not add up in the program's memory. An exact
    // search reads a few hundred pages of a large file, and mapped it touches only the
    // bytes it needs of each instead of copying the page: 2 ms less of 9 on ten million
    // folders. The read transaction holds the file as it is for the whole search, for
    // this connection and, as no writer can commit meanwhile, for the ones opened after it.
    std::error_code sizeError;
    const bool small =
        std::filesystem::file_size(dbConnect, sizeError) <= (uintmax_t{256} << 20) && !sizeError;
    m->mapBytes = small ? int64_t{256} << 20 : !plan.matcher.exactName().empty() ? int64_t{4} << 30 : 0;
    if (err.empty())
        err = store::beginReading(db, m->mapBytes);
    // Stored blocks serve when they were built from the rows there are now and carry
    // checksums (version 2); otherwise they are built here from tblDirs.
    int64_t stored = -1;
    if (err.empty()) {
        Stmt fresh(db, store::kBlocksFresh);
        if (!fresh.ok() || fresh.step() != SQLITE_ROW)
            err = fresh.error();
        else
            stored = fresh.integer(0);
    }
    if (err.empty()) {
        if (stored == 1) {
            // Files of version 3 keep their filters whole, in a table this one no longer
            // reads, and have no grams: until an update brings them up to date, a search
            // scans names.
            const bool parts = store::schemaVersion(db) >= 4;
            plan.byFilter = !plan.matcher.exactName().empty() && parts;
            plan.exactHash = store::nameHash(plan.matcher.exactName());
            plan.exactPart = store::filterPart(plan.exactHash);
            if (parts && !plan.byFilter)
                m->planGrams();
            err = m->openStored();
        } else {
            err = m->rebuildBlocks(db);
            db.close();
            m->pieceCount = (plan.rebuilt.size() + kBlocksPerPiece - 1) / kBlocksPerPiece;
        }
    }
    if (!err.empty()) {
        const Db::Failure failure = db.failure();
        m->release();
        if (failure == Db::Failure::Refused)
            return m->fail(SearchError::Untrusted, err + ": the index is not read");
        if (failure == Db::Failure::Foreign)
            return m->fail(SearchError::Damaged, dbConnect + " is " + err);
        return m->fail(SearchError::Damaged, "The index " + dbConnect + " is damaged (" + err + ")");
    }
    m->start();
    return SearchError::None;
}

bool SearchCursor::next(SearchHit& hit) {
    if (!m || m->over)
        return false;
    Impl& s = *m;
    if (s.stopped())
        return false;
    if ((!s.haveCurrent || s.hitInPiece == s.slots[s.current % s.slots.size()].ends.size()) && !s.nextPiece())
        return false;
    const Piece& p = s.slots[s.current % s.slots.size()];
    size_t i = s.hitInPiece++;
    size_t begin = i == 0 ? 0 : p.ends[i - 1];
    std::string_view path(p.paths.data() + begin, p.ends[i] - begin);
    size_t nameEnd = path.size() - 1;
    size_t sep = path.rfind(platform::kSeparator, nameEnd - 1);
    hit.driveLetter = p.drives[i];
    hit.fullDirectory = path;
    hit.directory = path.substr(sep + 1, nameEnd - sep - 1);
    return true;
}

void SearchCursor::setCancel(const std::atomic<bool>* token) {
    if (m)
        m->cancel = token;
}

bool SearchCursor::canceled() const {
    return m && m->canceled;
}

size_t SearchCursor::scanners() const {
    return m ? m->scanners.size() : 0;
}

SearchError SearchCursor::error() const {
    return m ? m->error : SearchError::None;
}

const std::string& SearchCursor::message() const {
    static const std::string none;
    return m ? m->message : none;
}

} // namespace qvl::search
