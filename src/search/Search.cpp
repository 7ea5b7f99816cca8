#include "search/Search.h"

#include "platform/Platform.h"
#include "store/SearchIndex.h"
#include "store/Sqlite.h"
#include "text/TextFold.h"

#include <bitset>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <vector>

namespace qvl::search {

using store::Db;
using store::Stmt;

struct SearchCursor::Impl {
    explicit Impl(const SearchQuery& query)
        : matcher(query.text, query.mode) {}

    NameMatcher matcher;
    std::bitset<256> drives;
    bool allDrives = true;
    Db db;
    // The stored blocks in order: an exact search reads each block's filter, any other
    // its names; the rest of a block is read only when it can match. SQLite copies every
    // blob it returns, so what is not read is not paid for: on a million folders,
    // reading whole blocks took half of an exact search.
    std::unique_ptr<Stmt> blocks, details;
    bool byFilter = false;
    uint64_t exactHash = 0;
    std::vector<store::Block> rebuilt; // or blocks built here when none are stored
    size_t rebuiltNext = 0;

    store::BlockView block;     // the block being searched
    std::vector<uint32_t> ends; // its name ends, aligned
    store::PathDecoder paths;
    size_t nextRow = 0, decodedRows = 0; // rows searched / paths decoded in this block
    bool haveBlock = false;

    std::string dbConnect;
    const std::atomic<bool>* cancel = nullptr;
    bool canceled = false;
    SearchError error = SearchError::None;
    std::string message;

    SearchError fail(SearchError e, std::string why) {
        error = e;
        message = std::move(why);
        return e;
    }

    // At the end the statements and the connection go, so that the reader holds no lock
    // on the file while its caller writes to it (the history).
    void release() {
        blocks.reset();
        details.reset();
        db.close();
    }

    bool stopped() {
        if (!canceled && cancel && cancel->load(std::memory_order_relaxed)) {
            canceled = true;
            release();
        }
        return canceled;
    }

    // Damage found while reading: the search ends with an error that names it. The
    // message says what is damaged; callers add what to do about it.
    bool damaged(const std::string& detail) {
        fail(SearchError::Damaged, "The index " + dbConnect + " is damaged (" + detail + ")");
        release();
        return false;
    }

    // Moves to the next block whose names can match; false at the end or on damage.
    // Every blob is checked against its checksum before it is used, and the block's
    // structure before anything is read through its offsets.
    bool loadBlock() {
        while (true) {
            if (stopped())
                return false;
            if (blocks) {
                int rc = blocks->step();
                if (rc != SQLITE_ROW) {
                    if (rc != SQLITE_DONE)
                        return damaged(blocks->error());
                    release();
                    return false;
                }
                std::string_view first = blocks->blob(1); // the filter or the names
                if (static_cast<uint64_t>(blocks->integer(2)) != store::blobSum(first))
                    return damaged(std::string(byFilter ? "a filter" : "a block's names") +
                                   " does not match its checksum");
                if (byFilter ? !store::filterMayContain(first, exactHash)
                             : !matcher.mayMatch(first.data(), first.size()))
                    continue;
                details->reset();
                details->bind(1, blocks->integer(0));
                if (details->step() != SQLITE_ROW)
                    return damaged(details->error().empty() ? "a block is missing" : details->error());
                block = {details->blob(0), details->blob(1), details->blob(2), details->blob(3), {}};
                if ((byFilter && static_cast<uint64_t>(details->integer(4)) != store::blobSum(block.names)) ||
                    static_cast<uint64_t>(details->integer(5)) != store::rowsSum(block))
                    return damaged("a block does not match its checksum");
            } else {
                if (rebuiltNext == rebuilt.size())
                    return false;
                block = rebuilt[rebuiltNext++].view();
            }
            if (!store::blockIsWellFormed(block))
                return damaged("a block is malformed");
            bool namesChecked = blocks && !byFilter;
            if (namesChecked || matcher.mayMatch(block.names.data(), block.names.size()))
                break;
        }
        ends.resize(block.count());
        if (!ends.empty()) // memcpy is not to be given the null of an empty vector
            std::memcpy(ends.data(), block.ends.data(), block.ends.size());
        paths = store::PathDecoder(block.paths);
        nextRow = decodedRows = 0;
        return true;
    }

    // Builds the blocks from tblDirs when the stored ones are missing or older than it.
    std::string rebuildBlocks() {
        Stmt rows(db, "SELECT DriveLetter, FullDirectory, Directory FROM tblDirs"
                      " ORDER BY FullDirectory COLLATE QVLPATH");
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
                rebuilt.push_back(builder.take());
        }
        if (!builder.empty())
            rebuilt.push_back(builder.take());
        return rc == SQLITE_DONE ? std::string() : rows.error();
    }
};

SearchCursor::SearchCursor() = default;
SearchCursor::~SearchCursor() = default;
SearchCursor::SearchCursor(SearchCursor&&) noexcept = default;
SearchCursor& SearchCursor::operator=(SearchCursor&&) noexcept = default;

SearchError SearchCursor::open(const std::string& dbConnect, const SearchQuery& query) {
    m = std::make_unique<Impl>(query);
    m->dbConnect = dbConnect;
    m->allDrives = query.allDrives;
    for (char c : query.drives)
        m->drives.set(static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c))));
    if (!query.allDrives && m->drives.none())
        return m->fail(SearchError::WrongCriteria, "Wrong Criteria");

    std::error_code ec;
    if (!std::filesystem::exists(dbConnect, ec))
        return m->fail(SearchError::NoIndex,
                       "There is no index yet (" + dbConnect + "): index the drives first.");
    std::string err = m->db.open(dbConnect, Db::Mode::ReadOnly);
    // Reading the mapped file saves a system call per page.
    if (err.empty())
        err = m->db.exec("PRAGMA mmap_size = 4294967296");
    // Stored blocks serve when they were built from the rows there are now and carry
    // checksums (version 2); otherwise they are built here from tblDirs.
    Stmt fresh(m->db, store::kBlocksFresh);
    if (err.empty() && !fresh.ok())
        err = fresh.error();
    if (err.empty()) {
        int rc = fresh.step();
        if (rc != SQLITE_ROW)
            err = fresh.error();
        else if (fresh.integer(0) == 1) {
            m->byFilter = !m->matcher.exactName().empty();
            m->exactHash = store::nameHash(m->matcher.exactName());
            m->blocks = std::make_unique<Stmt>(
                m->db, m->byFilter ? "SELECT Block, Filter, Sum FROM qvlFilters ORDER BY Block"
                                   : "SELECT Block, Names, NamesSum FROM qvlBlocks ORDER BY Block");
            m->details = std::make_unique<Stmt>(
                m->db, "SELECT Names, Ends, Drives, Paths, NamesSum, RowsSum FROM qvlBlocks WHERE Block = ?");
        } else
            err = m->rebuildBlocks();
    }
    if (err.empty() && m->blocks && !m->blocks->ok())
        err = m->blocks->error();
    if (err.empty() && m->details && !m->details->ok())
        err = m->details->error();
    if (!err.empty())
        return m->fail(SearchError::Damaged, "The index " + dbConnect + " is damaged (" + err + ")");
    m->haveBlock = m->loadBlock();
    return m->error;
}

bool SearchCursor::next(SearchHit& hit) {
    if (!m)
        return false;
    Impl& s = *m;
    while (s.haveBlock) {
        if (s.stopped())
            return s.haveBlock = false;
        size_t count = s.block.count();
        size_t i =
            s.matcher.findNext(s.block.names.data(), s.block.names.size(), s.ends.data(), count, s.nextRow);
        while (i < count && !s.allDrives && !s.drives.test(static_cast<unsigned char>(s.block.drives[i])))
            i = s.matcher.findNext(s.block.names.data(), s.block.names.size(), s.ends.data(), count, i + 1);
        if (i == count) {
            s.haveBlock = s.loadBlock();
            continue;
        }
        std::string_view path;
        while (s.decodedRows <= i) {
            if (!s.paths.next(path)) {
                s.haveBlock = s.damaged("a block's paths are malformed");
                return false;
            }
            ++s.decodedRows;
        }
        if (path.size() < 2 || path.back() != platform::kSeparator) {
            s.haveBlock = s.damaged("a block's paths are malformed");
            return false;
        }
        s.nextRow = i + 1;
        size_t nameEnd = path.size() - 1;
        size_t sep = path.rfind(platform::kSeparator, nameEnd - 1);
        hit.driveLetter = s.block.drives[i];
        hit.fullDirectory = path;
        hit.directory = path.substr(sep + 1, nameEnd - sep - 1);
        return true;
    }
    return false;
}

void SearchCursor::setCancel(const std::atomic<bool>* token) {
    if (m)
        m->cancel = token;
}

bool SearchCursor::canceled() const {
    return m && m->canceled;
}

SearchError SearchCursor::error() const {
    return m ? m->error : SearchError::None;
}

const std::string& SearchCursor::message() const {
    static const std::string none;
    return m ? m->message : none;
}

} // namespace qvl::search
