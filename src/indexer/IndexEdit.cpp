#include "indexer/IndexEdit.h"

#include "platform/Platform.h"
#include "store/IndexStore.h"
#include "store/SearchIndex.h"
#include "store/Sqlite.h"
#include "store/Statements.h"
#include "text/TextFold.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <utility>

namespace qvl::indexer {

namespace fs = std::filesystem;
using store::Db;
using store::Stmt;

namespace {

constexpr char kSep = platform::kSeparator;

// A row as the blocks hold it.
struct Row {
    char drive;
    std::string path, folded; // the full path; its folded form
    std::string name;         // the folded last component
};

int compareRows(const Row& a, const Row& b) {
    return text::comparePathKeys(a.folded, a.path, b.folded, b.path);
}

// Paths are folded only where a comparison needs them: a block takes a few binary
// searches, not a fold of every row.
Row& folded(Row& r) {
    if (r.folded.empty())
        r.folded = text::fold(r.path);
    return r;
}

// The first row of a block not before `key`.
size_t firstNotBefore(std::vector<Row>& rows, const Row& key) {
    size_t lo = 0, hi = rows.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (compareRows(folded(rows[mid]), key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::string_view lastComponent(std::string_view fullDirectory) {
    std::string_view p = fullDirectory.substr(0, fullDirectory.size() - 1);
    size_t sep = p.rfind(kSep);
    return sep == std::string_view::npos ? p : p.substr(sep + 1);
}

const char* const kDamaged =
    "the index is damaged (a block does not match its checksum); 'qvl index' rebuilds it";

// Checks a block's sums and structure and hands over its rows in order, paths not yet folded.
std::string decodeBlock(const Stmt& s, int first, std::vector<Row>& rows) {
    store::BlockView block{s.blob(first), s.blob(first + 1), s.blob(first + 2), s.blob(first + 3)};
    if (!store::blockIsWellFormed(block) ||
        static_cast<uint64_t>(s.integer(first + 4)) != store::blobSum(block.names) ||
        static_cast<uint64_t>(s.integer(first + 5)) != store::rowsSum(block))
        return kDamaged;
    store::PathDecoder paths(block.paths);
    uint32_t begin = 0;
    for (size_t i = 0; i < block.count(); ++i) {
        uint32_t end;
        std::memcpy(&end, block.ends.data() + 4 * i, 4);
        std::string_view path;
        if (!paths.next(path) || path.empty() || path.back() != kSep)
            return kDamaged;
        Row row{block.drives[i],
                std::string(path),
                {},
                std::string(block.names.substr(begin + 1, end - begin - 1))};
        rows.push_back(std::move(row));
        begin = end;
    }
    return {};
}

} // namespace

void IndexChanges::append(IndexChanges&& more) {
    auto moveAll = [](auto& to, auto& from) {
        to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    };
    moveAll(removedTrees, more.removedTrees);
    moveAll(added, more.added);
    moveAll(drives, more.drives);
}

uint64_t DriveTimes::pathKey(std::string_view relPath) {
    return store::nameHash(relPath) * 0x9E3779B97F4A7C15ull + relPath.size();
}

int64_t DriveTimes::find(std::string_view relPath) const {
    uint64_t key = pathKey(relPath);
    auto it = std::lower_bound(entries.begin(), entries.end(), std::pair<uint64_t, int64_t>(key, INT64_MIN));
    return it != entries.end() && it->first == key ? it->second : 0;
}

struct IndexEditor::Impl {
    Db db;
    struct BlockRef {
        int64_t id;
        Row first;
    };
    std::vector<BlockRef> blocks; // in order, as of `generation`
    int64_t generation = -1;
    int64_t added = 0, removed = 0;

    static constexpr int64_t kGap = 65536; // between block numbers after a renumbering

    std::string loadBlocks() {
        blocks.clear();
        Stmt s(db, store::sql::kAllBlocksNumbered);
        int rc;
        std::vector<Row> rows;
        while ((rc = s.step()) == SQLITE_ROW) {
            rows.clear();
            std::string err = decodeBlock(s, 1, rows);
            if (!err.empty())
                return err;
            if (!rows.empty()) {
                rows.front().folded = text::fold(rows.front().path);
                blocks.push_back({s.integer(0), std::move(rows.front())});
            }
        }
        if (rc != SQLITE_DONE)
            return s.error();
        generation = store::generation(db);
        return {};
    }

    // The block a row belongs in: the last one starting at or before it.
    size_t blockFor(const Row& row) const {
        auto it = std::upper_bound(blocks.begin(), blocks.end(), row, [](const Row& r, const BlockRef& b) {
            return compareRows(r, b.first) < 0;
        });
        return it == blocks.begin() ? 0 : static_cast<size_t>(it - blocks.begin()) - 1;
    }

    std::string readBlock(int64_t id, std::vector<Row>& rows) {
        Stmt s(db, store::sql::kOneBlock);
        s.bind(1, id);
        if (s.step() != SQLITE_ROW)
            return s.ok() && s.error().empty() ? std::string(kDamaged) : s.error();
        return decodeBlock(s, 0, rows);
    }

    std::string writeBlock(int64_t id, const store::Block& block) {
        Stmt n(db, store::sql::kPutNames);
        n.bind(1, id).bindBlob(2, block.names).bind(3, static_cast<int64_t>(store::blobSum(block.names)));
        if (n.step() != SQLITE_DONE)
            return n.error();
        Stmt b(db, store::sql::kPutBlock);
        b.bind(1, id)
            .bindBlob(2, block.ends)
            .bindBlob(3, block.drives)
            .bindBlob(4, block.paths)
            .bind(5, static_cast<int64_t>(store::rowsSum(block.view())));
        if (b.step() != SQLITE_DONE)
            return b.error();
        Stmt f(db, store::sql::kPutPart);
        return store::putParts(f, id, block);
    }

    std::string deleteBlock(int64_t id) {
        for (const char* statement : {store::sql::kDeleteNames, store::sql::kDeleteBlock}) {
            Stmt s(db, statement);
            s.bind(1, id);
            if (s.step() != SQLITE_DONE)
                return s.error();
        }
        Stmt parts(db, store::sql::kDeletePart);
        for (unsigned p = 0; p < store::kStoredParts; ++p) {
            parts.reset();
            parts.bind(1, store::partKey(p, id));
            if (parts.step() != SQLITE_DONE)
                return parts.error();
        }
        return {};
    }

    // Spreads the block numbers kGap apart, keeping their order, so that a block that
    // splits has room for the numbers of its new neighbours.
    std::string renumber() {
        if (static_cast<int64_t>(blocks.size()) > store::kMaxBlockNumber / kGap)
            return "block number out of range";
        std::vector<std::pair<int64_t, int64_t>> moves;
        for (size_t i = 0; i < blocks.size(); ++i)
            moves.emplace_back(blocks[i].id, static_cast<int64_t>(i + 1) * kGap);
        if (std::string err = store::renumberBlocks(db, moves); !err.empty())
            return err;
        for (size_t i = 0; i < blocks.size(); ++i)
            blocks[i].id = moves[i].second;
        return {};
    }

    // What one edit works out, phase by phase (see apply).
    struct Edit {
        std::vector<Row> adds;                            // the new folders, sorted, once each
        std::vector<size_t> addBlock;                     // per new folder, the block it goes in
        std::vector<Row> removals;                        // the removed trees' roots
        std::map<size_t, std::vector<size_t>> removalsIn; // per block, the removals that reach into it
        std::vector<size_t> touched;                      // the blocks that change, in order
        std::vector<std::vector<store::Block>> rebuilt;   // per touched block, what it becomes
        std::vector<Row> firsts;                          // per touched block, its first row now
        std::vector<std::pair<char, std::string>> removedRows;
        std::vector<const Row*> addedRows;
        bool needRoom = false; // a block splits into more blocks than numbers before the next
    };

    std::string apply(const IndexChanges& changes, const std::vector<DriveTimes>& times);
    void sortAdds(const IndexChanges& changes, Edit& edit);
    std::string findTouched(const IndexChanges& changes, Edit& edit);
    std::string cutTouched(Edit& edit);
    std::string writeBlocks(Edit& edit);
    std::string editRows(const IndexChanges& changes, const std::vector<DriveTimes>& times, const Edit& edit);
    std::string children(char drive, std::string_view dir, std::vector<std::string>& names, bool& isRow);
    std::string rowsBelow(char drive, std::string_view root, std::string_view after, size_t count,
                          std::vector<std::string>& paths, bool& end);
    std::string removeRows(const std::vector<std::pair<char, std::string>>& removed);
    bool findSorted(const Row& key, int64_t sorted, Stmt& probe, std::vector<int64_t>& rowids);
};

IndexEditor::IndexEditor()
    : m(std::make_unique<Impl>()) {}
IndexEditor::~IndexEditor() = default;

std::string IndexEditor::open(const fs::path& file) {
    m->generation = -1;
    std::string err = m->db.open(file.string(), Db::Mode::ReadWrite);
    if (!err.empty())
        return err;
    err = m->db.exec((std::string(store::kCreateTimes) + store::sql::kCreateDrives).c_str());
    if (err.empty())
        err = store::upgradeBlocks(m->db); // a file of the last version is edited on
    if (!err.empty())
        return err;
    Stmt fresh(m->db, store::kBlocksFresh);
    if (fresh.step() != SQLITE_ROW || fresh.integer(0) == 0)
        return "the index was written by an older version or is damaged; 'qvl index' rebuilds it";
    return {};
}

std::string IndexEditor::readRows(const RowFn& fn) {
    Stmt s(m->db, store::sql::kAllBlocks);
    std::vector<Row> rows;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        rows.clear();
        std::string err = decodeBlock(s, 0, rows);
        if (!err.empty())
            return err;
        for (const Row& r : rows)
            fn(r.drive, r.path, r.name);
    }
    return rc == SQLITE_DONE ? std::string() : s.error();
}

DriveTimes IndexEditor::readTimes(char drive) {
    DriveTimes times;
    times.drive = drive;
    Stmt s(m->db, store::sql::kDriveTimes);
    s.bind(1, std::string_view(&drive, 1));
    if (s.step() != SQLITE_ROW)
        return times;
    std::string_view blob = s.blob(1);
    // Damaged times would only make the update trust the wrong folders: none is better.
    if (blob.size() % 16 != 0 || static_cast<uint64_t>(s.integer(2)) != store::blobSum(blob))
        return times;
    times.started = s.integer(0);
    times.leaveOut = static_cast<uint64_t>(s.integer(3));
    times.entries.resize(blob.size() / 16);
    for (size_t i = 0; i < times.entries.size(); ++i) {
        std::memcpy(&times.entries[i].first, blob.data() + 16 * i, 8);
        std::memcpy(&times.entries[i].second, blob.data() + 16 * i + 8, 8);
    }
    if (!std::is_sorted(times.entries.begin(), times.entries.end()))
        times.entries.clear();
    return times;
}

std::string IndexEditor::prepare() {
    return m->generation == store::generation(m->db) ? std::string() : m->loadBlocks();
}

std::string IndexEditor::children(char drive, std::string_view fullDirectory, std::vector<std::string>& names,
                                  bool& isRow) {
    names.clear();
    isRow = false;
    // One read transaction: the blocks cannot change between two of them.
    std::string err = m->db.exec("BEGIN");
    if (err.empty())
        err = m->children(drive, fullDirectory, names, isRow);
    m->db.exec("COMMIT");
    return err;
}

// Below a folder, its rows follow it in index order, each subfolder's right after it.
std::string IndexEditor::Impl::children(char drive, std::string_view dir, std::vector<std::string>& names,
                                        bool& isRow) {
    std::string err;
    if (generation != store::generation(db) && !(err = loadBlocks()).empty())
        return err;
    if (blocks.empty())
        return {};
    const Row key{drive, std::string(dir), text::fold(dir), {}};
    size_t b = blockFor(key);
    std::vector<Row> rows;
    if (!(err = readBlock(blocks[b].id, rows)).empty())
        return err;
    size_t i = firstNotBefore(rows, key);
    std::string child; // the last subfolder found: the rows below it are passed over
    while (true) {
        for (; i < rows.size(); ++i) {
            const Row& r = rows[i];
            if (!r.path.starts_with(key.path))
                return {};
            if (r.drive != drive || (!child.empty() && r.path.starts_with(child)))
                continue;
            const std::string_view rest = std::string_view(r.path).substr(key.path.size());
            if (rest.empty()) {
                isRow = true;
            } else if (rest.find(kSep) == rest.size() - 1) {
                names.emplace_back(rest.substr(0, rest.size() - 1));
                child = r.path;
            }
        }
        size_t next = b + 1;
        while (!child.empty() && next + 1 < blocks.size() && blocks[next + 1].first.path.starts_with(child))
            ++next;
        if (next >= blocks.size())
            return {};
        b = next;
        rows.clear();
        if (!(err = readBlock(blocks[b].id, rows)).empty())
            return err;
        i = 0;
    }
}

std::string IndexEditor::rowsBelow(char drive, std::string_view root, std::string_view after, size_t count,
                                   std::vector<std::string>& paths, bool& end) {
    paths.clear();
    end = false;
    std::string err = m->db.exec("BEGIN");
    if (err.empty())
        err = m->rowsBelow(drive, root, after, count, paths, end);
    m->db.exec("COMMIT");
    return err;
}

std::string IndexEditor::Impl::rowsBelow(char drive, std::string_view root, std::string_view after,
                                         size_t count, std::vector<std::string>& paths, bool& end) {
    std::string err;
    if (generation != store::generation(db) && !(err = loadBlocks()).empty())
        return err;
    const std::string from(after.empty() ? root : after);
    const Row key{drive, from, text::fold(from), {}};
    const std::string foldedRoot = text::fold(root);
    size_t b = blocks.empty() ? 0 : blockFor(key);
    std::vector<Row> rows;
    if (b < blocks.size() && !(err = readBlock(blocks[b].id, rows)).empty())
        return err;
    size_t i = firstNotBefore(rows, key);
    while (b < blocks.size()) {
        for (; i < rows.size(); ++i) {
            Row& r = rows[i];
            // Past the rows below the root; a row of another drive may still fall among them.
            if (!r.path.starts_with(root) && !folded(r).folded.starts_with(foldedRoot)) {
                end = true;
                return {};
            }
            if (r.drive != drive || r.path == after || !r.path.starts_with(root))
                continue;
            paths.push_back(std::move(r.path));
            if (paths.size() >= count)
                return {};
        }
        if (++b < blocks.size()) {
            rows.clear();
            if (!(err = readBlock(blocks[b].id, rows)).empty())
                return err;
            i = 0;
        }
    }
    end = true;
    return {};
}

std::string IndexEditor::apply(const IndexChanges& changes, const std::vector<DriveTimes>& times) {
    m->added = m->removed = 0;
    std::string err = m->db.exec(store::sql::kBeginEdit);
    if (!err.empty())
        return err;
    err = m->apply(changes, times);
    if (err.empty())
        err = m->db.exec(store::sql::kCommit);
    if (!err.empty()) {
        m->db.exec(store::sql::kRollback);
        m->generation = -1; // what is cached may be ahead of the file now
        m->added = m->removed = 0;
    }
    return err;
}

// An edit in five phases: the new folders sorted (sortAdds), the blocks they and the
// removed trees reach found (findTouched), each of those blocks cut again with its
// changes (cutTouched), the blocks written back under their numbers (writeBlocks), and
// the same changes made to the rows, drives and times (editRows).
std::string IndexEditor::Impl::apply(const IndexChanges& changes, const std::vector<DriveTimes>& times) {
    std::string err;
    if (generation != store::generation(db) && !(err = loadBlocks()).empty())
        return err;
    Edit edit;
    sortAdds(changes, edit);
    if (!(err = findTouched(changes, edit)).empty() || !(err = cutTouched(edit)).empty() ||
        !(err = writeBlocks(edit)).empty() || !(err = editRows(changes, times, edit)).empty())
        return err;
    generation = store::generation(db);
    added = static_cast<int64_t>(edit.addedRows.size());
    removed = static_cast<int64_t>(edit.removedRows.size());
    return {};
}

void IndexEditor::Impl::sortAdds(const IndexChanges& changes, Edit& edit) {
    std::vector<Row>& adds = edit.adds;
    adds.reserve(changes.added.size());
    for (const IndexChanges::Folder& f : changes.added) {
        if (f.fullDirectory.empty() || f.fullDirectory.back() != kSep)
            continue;
        Row r{f.drive, f.fullDirectory, text::fold(f.fullDirectory), {}};
        r.name = text::fold(lastComponent(f.fullDirectory));
        adds.push_back(std::move(r));
    }
    std::sort(adds.begin(), adds.end(), [](const Row& a, const Row& b) {
        int c = compareRows(a, b);
        return c != 0 ? c < 0 : a.drive < b.drive;
    });
    adds.erase(std::unique(adds.begin(), adds.end(),
                           [](const Row& a, const Row& b) { return a.drive == b.drive && a.path == b.path; }),
               adds.end());
}

// The blocks that change: where a removed folder starts and every block that starts
// inside it, and where each new folder goes.
std::string IndexEditor::Impl::findTouched(const IndexChanges& changes, Edit& edit) {
    edit.addBlock.assign(edit.adds.size(), 0);
    if (!blocks.empty()) {
        for (const IndexChanges::Folder& f : changes.removedTrees) {
            edit.removals.push_back({f.drive, f.fullDirectory, text::fold(f.fullDirectory), {}});
            size_t i = blockFor(edit.removals.back());
            do {
                edit.touched.push_back(i);
                edit.removalsIn[i].push_back(edit.removals.size() - 1);
            } while (++i < blocks.size() && blocks[i].first.path.starts_with(f.fullDirectory));
        }
        for (size_t a = 0; a < edit.adds.size(); ++a)
            edit.touched.push_back(edit.addBlock[a] = blockFor(edit.adds[a]));
    } else if (!edit.adds.empty()) {
        blocks.push_back({kGap, edit.adds.front()});
        if (std::string err = writeBlock(kGap, store::BlockBuilder().take()); !err.empty())
            return err;
        edit.touched.push_back(0);
    }
    std::sort(edit.touched.begin(), edit.touched.end());
    edit.touched.erase(std::unique(edit.touched.begin(), edit.touched.end()), edit.touched.end());
    return {};
}

// Each changed block is decoded, edited and cut again; it keeps its number and the blocks
// split off it take numbers before the next one's.
std::string IndexEditor::Impl::cutTouched(Edit& edit) {
    const std::vector<size_t>& touched = edit.touched;
    const std::vector<Row>& adds = edit.adds;
    edit.rebuilt.resize(touched.size());
    edit.firsts.resize(touched.size());
    for (size_t t = 0; t < touched.size(); ++t) {
        const size_t b = touched[t];
        std::vector<Row> rows;
        if (std::string err = readBlock(blocks[b].id, rows); !err.empty())
            return err;
        auto position = [&](const Row& key) { return firstNotBefore(rows, key); };
        // A removed folder and everything below it are one run of rows.
        std::vector<bool> gone(rows.size(), false);
        for (size_t k : edit.removalsIn[b]) {
            const Row& rem = edit.removals[k];
            for (size_t i = position(rem); i < rows.size() && rows[i].path.starts_with(rem.path); ++i)
                if (rows[i].drive == rem.drive)
                    gone[i] = true;
        }
        auto from = static_cast<size_t>(std::lower_bound(edit.addBlock.begin(), edit.addBlock.end(), b) -
                                        edit.addBlock.begin());
        auto to = static_cast<size_t>(std::upper_bound(edit.addBlock.begin(), edit.addBlock.end(), b) -
                                      edit.addBlock.begin());
        std::vector<size_t> at(to - from);
        for (size_t a = from; a < to; ++a)
            at[a - from] = position(adds[a]);

        store::BlockBuilder builder;
        std::vector<store::Block>& out = edit.rebuilt[t];
        bool haveFirst = false;
        auto put = [&](Row& r) {
            if (!haveFirst) {
                edit.firsts[t] = folded(r);
                haveFirst = true;
            }
            builder.add(r.drive, r.path, r.name);
            if (builder.full())
                out.push_back(builder.take());
        };
        size_t a = from;
        for (size_t i = 0; i <= rows.size(); ++i) {
            for (; a < to && at[a - from] == i; ++a) {
                // A new folder that is there already is passed over.
                if (i < rows.size() && !gone[i] && rows[i].drive == adds[a].drive &&
                    compareRows(folded(rows[i]), adds[a]) == 0)
                    continue;
                put(edit.adds[a]);
                edit.addedRows.push_back(&adds[a]);
            }
            if (i == rows.size())
                break;
            if (gone[i])
                edit.removedRows.emplace_back(rows[i].drive, rows[i].path);
            else
                put(rows[i]);
        }
        if (!builder.empty())
            out.push_back(builder.take());
        int64_t next = b + 1 < blocks.size() ? blocks[b + 1].id : INT64_MAX / 2;
        if (out.size() > 1 && next - blocks[b].id < static_cast<int64_t>(out.size()))
            edit.needRoom = true;
    }
    return {};
}

// The cut blocks go back under their numbers, those split off into the room after them
// (the numbers are spread out first when there is none), and the picture of the blocks
// follows.
std::string IndexEditor::Impl::writeBlocks(Edit& edit) {
    std::string err;
    if (edit.needRoom && !(err = renumber()).empty())
        return err;
    std::vector<BlockRef> kept;
    std::vector<bool> isTouched(blocks.size(), false);
    for (size_t b : edit.touched)
        isTouched[b] = true;
    size_t t = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (!isTouched[b]) {
            kept.push_back(std::move(blocks[b]));
            continue;
        }
        const std::vector<store::Block>& out = edit.rebuilt[t];
        int64_t id = blocks[b].id;
        int64_t next =
            b + 1 < blocks.size() ? blocks[b + 1].id : id + kGap * static_cast<int64_t>(out.size() + 1);
        int64_t step = out.empty() ? 0 : (next - id) / static_cast<int64_t>(out.size());
        if (out.empty() && !(err = deleteBlock(id)).empty())
            return err;
        for (size_t k = 0; k < out.size(); ++k) {
            int64_t number = id + step * static_cast<int64_t>(k);
            if (!(err = writeBlock(number, out[k])).empty())
                return err;
            Row first;
            if (k == 0) {
                first = std::move(edit.firsts[t]);
            } else {
                // The first row of a split-off block: its first path is stored whole.
                store::PathDecoder paths(out[k].paths);
                std::string_view path;
                paths.next(path);
                first = {out[k].drives[0], std::string(path), text::fold(path), {}};
            }
            kept.push_back({number, std::move(first)});
        }
        ++t;
    }
    blocks = std::move(kept);
    return {};
}

// The same changes in tblDirs (one pass over it for all removals), then the drives, the
// times and the blocks' freshness: they stay fresh for the rows there are now, and every
// edit is a new generation, so that another editor knows its picture of the blocks is old.
std::string IndexEditor::Impl::editRows(const IndexChanges& changes, const std::vector<DriveTimes>& times,
                                        const Edit& edit) {
    std::string err;
    if (!edit.removedRows.empty() && !(err = removeRows(edit.removedRows)).empty())
        return err;
    Stmt insert(db, store::sql::kInsertRow);
    for (const Row* r : edit.addedRows) {
        insert.reset();
        insert.bind(1, std::string_view(&r->drive, 1)).bind(2, r->path).bind(3, lastComponent(r->path));
        if (insert.step() != SQLITE_DONE)
            return insert.error();
    }
    for (const store::IndexedDrive& d : changes.drives)
        if (!(err = store::putDrive(db, d)).empty())
            return err;
    for (const DriveTimes& dt : times)
        if (!(err = store::putDriveTimes(db, dt.drive, dt.started, dt.blob(), dt.leaveOut)).empty())
            return err;
    err = db.exec(store::sql::kRowsCounted);
    return err.empty() ? db.exec(store::kNextGeneration) : err;
}

// tblDirs has no index of its own (a file with one is not an index). The rows a full index
// wrote lie in index order up to the rowid qvlMeta's 'sorted' gives: a removed row among
// them is found by a binary search over rowids, a few pages read where a scan reads every
// row (two seconds at ten million). The rows added since lie after them and go by a scan
// of those alone; a row found in neither place (a file some other program edited) goes by
// a scan of the whole table. A large removal is one scan from the start.
std::string IndexEditor::Impl::removeRows(const std::vector<std::pair<char, std::string>>& removed) {
    constexpr size_t kSearchedAtMost = 4096; // about as many pages as a scan of a million rows
    int64_t sorted = 0;
    {
        Stmt s(db, store::sql::kSortedRows);
        if (s.step() == SQLITE_ROW)
            sorted = s.integer(0);
    }
    std::vector<int64_t> rowids;
    std::vector<const std::pair<char, std::string>*> rest;
    if (removed.size() > kSearchedAtMost || sorted <= 0) {
        for (const auto& r : removed)
            rest.push_back(&r);
    } else {
        Stmt probe(db, store::sql::kRowAtOrAfter);
        for (const auto& r : removed) {
            const size_t before = rowids.size();
            Row key{r.first, r.second, text::fold(r.second), {}};
            if (!findSorted(key, sorted, probe, rowids))
                return probe.error();
            if (rowids.size() == before)
                rest.push_back(&r);
        }
    }
    std::string err;
    if (!rowids.empty()) {
        Stmt del(db, store::sql::kDeleteRowid);
        for (int64_t id : rowids) {
            del.reset();
            del.bind(1, id);
            if (del.step() != SQLITE_DONE)
                return del.error();
        }
    }
    if (!rest.empty()) {
        if (!(err = db.exec(store::sql::kGatherGone)).empty())
            return err;
        Stmt put(db, store::sql::kPutGone);
        for (const auto* r : rest) {
            put.reset();
            put.bind(1, r->second).bind(2, std::string_view(&r->first, 1));
            if (put.step() != SQLITE_DONE)
                return put.error();
        }
        Stmt after(db, store::sql::kDeleteGoneAfter);
        after.bind(1, sorted);
        if (after.step() != SQLITE_DONE)
            return after.error();
        if (sqlite3_changes(db.get()) < static_cast<int>(rest.size()) &&
            !(err = db.exec(store::sql::kDeleteGone)).empty())
            return err;
        if (!(err = db.exec(store::sql::kForgetGone)).empty())
            return err;
    }
    // A row added now takes the rowid after the last one: where rows at the end of the
    // sorted ones went, it would land among them.
    return db.exec(store::sql::kSortedShrunk);
}

// Appends the rowids at or below `sorted` that hold `key` (its drive and path) to `rowids`.
// False on an error (probe.error() says it).
bool IndexEditor::Impl::findSorted(const Row& key, int64_t sorted, Stmt& probe,
                                   std::vector<int64_t>& rowids) {
    std::string folded;
    // The first row at or after `from`, or none: its rowid (0 for none) and its order
    // against the key.
    auto at = [&](int64_t from, int& order) -> int64_t {
        probe.reset();
        probe.bind(1, from).bind(2, sorted);
        int rc = probe.step();
        if (rc != SQLITE_ROW)
            return rc == SQLITE_DONE ? 0 : -1;
        const std::string_view path = probe.text(2);
        folded = text::fold(path);
        order = text::comparePathKeys(folded, path, key.folded, key.path);
        return probe.integer(0);
    };
    // The first rowid whose row is not before the key.
    int64_t lo = 1, hi = sorted + 1;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        int order = 0;
        const int64_t id = at(mid, order);
        if (id < 0)
            return false;
        if (id > 0 && order < 0)
            lo = id + 1;
        else
            hi = mid;
    }
    // Rows of the same path (two drives on one root) lie together.
    for (int order = 0;;) {
        const int64_t id = at(lo, order);
        if (id < 0)
            return false;
        if (id == 0 || order != 0)
            return true;
        if (probe.text(1) == std::string_view(&key.drive, 1))
            rowids.push_back(id);
        lo = id + 1;
    }
}

int64_t IndexEditor::rowsAdded() const {
    return m->added;
}
int64_t IndexEditor::rowsRemoved() const {
    return m->removed;
}

TreeLoader::TreeLoader(std::string rootPath, const DriveTimes& times)
    : m_root(std::move(rootPath))
    , m_times(times) {
    m_rows.push_back({0, 0, 0, 0, 0});
    m_rowTimes.push_back(times.find(""));
    m_stack.push_back(0);
    m_last = m_root;
}

void TreeLoader::add(std::string_view path, std::string_view folded) {
    if (!m_ok)
        return;
    // A row must lie below the root, right below a folder listed before it.
    if (path.size() <= m_root.size() || !path.starts_with(m_root) || path.back() != kSep) {
        m_ok = false;
        return;
    }
    std::string_view rel = path.substr(m_root.size(), path.size() - m_root.size() - 1);
    size_t depth = static_cast<size_t>(std::count(rel.begin(), rel.end(), kSep)) + 1;
    std::string_view raw = lastComponent(path);
    std::string_view parentPath = path.substr(0, path.size() - raw.size() - 1);
    if (depth > m_stack.size() || !std::string_view(m_last).starts_with(parentPath) || raw.empty()) {
        m_ok = false;
        return;
    }
    m_stack.resize(depth);
    Row r{m_stack.back(), static_cast<uint32_t>(m_names.size()), static_cast<uint32_t>(raw.size()), 0,
          static_cast<uint32_t>(folded.size())};
    m_names.append(raw);
    r.foldedOffset = r.nameOffset;
    if (folded != raw) {
        r.foldedOffset = static_cast<uint32_t>(m_names.size());
        m_names.append(folded);
    }
    m_stack.push_back(static_cast<uint32_t>(m_rows.size()));
    m_rows.push_back(r);
    m_rowTimes.push_back(m_times.find(rel));
    m_last.assign(path);
}

bool TreeLoader::finish(DirTree& tree) {
    if (!m_ok)
        return false;
    tree = DirTree();
    tree.rootPath = m_root;
    const size_t n = m_rows.size();
    // Children of each row, in row order (which is their sorted order).
    std::vector<uint32_t> count(n + 1, 0), child(n > 0 ? n - 1 : 0);
    for (size_t i = 1; i < n; ++i)
        ++count[m_rows[i].parent + 1];
    for (size_t i = 1; i <= n; ++i)
        count[i] += count[i - 1];
    std::vector<uint32_t> fill(count.begin(), count.end() - 1);
    for (size_t i = 1; i < n; ++i)
        child[fill[m_rows[i].parent]++] = static_cast<uint32_t>(i);
    // Laid out breadth-first, so that the children of a node are next to each other.
    std::vector<uint32_t> order{0};
    order.reserve(n);
    tree.nodes.resize(n);
    tree.times.resize(n);
    for (size_t t = 0; t < order.size(); ++t) {
        uint32_t row = order[t];
        DirNode& node = tree.nodes[t];
        const Row& r = m_rows[row];
        node.nameOffset = r.nameOffset;
        node.nameLength = static_cast<uint16_t>(r.nameLength);
        node.foldedOffset = r.foldedOffset;
        node.foldedLength = static_cast<uint16_t>(r.foldedLength);
        node.firstChild = static_cast<uint32_t>(order.size());
        node.childCount = count[row + 1] - count[row];
        tree.times[t] = m_rowTimes[row];
        for (uint32_t k = count[row]; k < count[row + 1]; ++k)
            order.push_back(child[k]);
    }
    tree.names = std::move(m_names);
    return true;
}

DriveTimes treeTimes(const DirTree& tree) {
    DriveTimes times;
    times.drive = tree.driveLetter;
    times.started = tree.walkStarted;
    times.leaveOut = tree.leaveOut;
    // A folder changed within the clock's granularity of being listed may have changed
    // again unseen at the same time: only times clearly before the walk are trusted.
    const int64_t trusted = tree.walkStarted - 2'000'000'000;
    auto keep = [&](uint32_t node, std::string_view rel) {
        int64_t t = node < tree.times.size() ? tree.times[node] : 0;
        if (t != 0 && t < trusted)
            times.entries.emplace_back(DriveTimes::pathKey(rel), t);
    };
    if (tree.nodes.empty())
        return times;
    keep(0, "");
    const size_t root = tree.rootPath.size();
    eachPath(tree, [&](uint32_t node, const std::string& path) {
        keep(node, std::string_view(path).substr(root, path.size() - root - 1));
        return true;
    });
    std::sort(times.entries.begin(), times.entries.end());
    return times;
}

int64_t wallClockNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

IndexChanges treeChanges(const DirTree& before, const DirTree& after) {
    IndexChanges changes;
    std::vector<bool> kept(before.nodes.size(), false);
    eachPath(after, [&](uint32_t node, const std::string& path) {
        uint32_t old = node < after.previous.size() ? after.previous[node] : DirTree::kNew;
        if (old == DirTree::kNew || old >= kept.size())
            changes.added.push_back({after.driveLetter, path});
        else
            kept[old] = true;
        return true;
    });
    // A folder the new walk did not meet goes with everything below it.
    eachPath(before, [&](uint32_t node, const std::string& path) {
        if (kept[node])
            return true;
        changes.removedTrees.push_back({after.driveLetter, path});
        return false;
    });
    return changes;
}

} // namespace qvl::indexer
