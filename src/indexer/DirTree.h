#pragma once
// The folders found on one drive, held compactly while a run walks, then listed in index
// order (see text::comparePathKeys) to be written. The children of a folder are
// stored together and already sorted, so listing the tree depth-first gives index order.

#include "platform/Platform.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvl::indexer {

struct DirNode {
    uint32_t nameOffset = 0, foldedOffset = 0;
    uint16_t nameLength = 0, foldedLength = 0;
    uint32_t firstChild = 0, childCount = 0;
};

struct DirTree {
    char driveLetter = 'C';
    std::string rootPath;       // ends in the separator
    std::vector<DirNode> nodes; // nodes[0] is the root, which is never a row
    std::string names;          // every name, then its folded form where that differs
    // Per node, when the walk read the folder (WalkRoot::folderTime); 0 when unknown.
    // An update lists again only the folders whose time moved.
    std::vector<int64_t> times;
    int64_t walkStarted = 0; // wall clock, nanoseconds
    uint64_t leaveOut = 0;   // the rules it was walked by (FolderRules::fingerprint)
    // Per node, after a walk given the previous tree: the same folder there, or kNew.
    std::vector<uint32_t> previous;
    static constexpr uint32_t kNew = UINT32_MAX;

    std::string_view name(const DirNode& n) const { return {names.data() + n.nameOffset, n.nameLength}; }
    std::string_view folded(const DirNode& n) const {
        return {names.data() + n.foldedOffset, n.foldedLength};
    }
    int64_t rows() const { return static_cast<int64_t>(nodes.size()) - 1; }
};

// Depth-first over a tree, handing each node's full path to `fn`; false from it ends
// the descent below that node.
template <typename Fn> void eachPath(const DirTree& tree, Fn&& fn) {
    struct Frame {
        uint32_t node, next;
        size_t length;
    };
    std::string path = tree.rootPath;
    std::vector<Frame> stack{{0, 0, path.size()}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const DirNode& parent = tree.nodes[f.node];
        if (f.next == parent.childCount) {
            stack.pop_back();
            continue;
        }
        uint32_t c = parent.firstChild + f.next++;
        path.resize(f.length);
        path.append(tree.name(tree.nodes[c])) += platform::kSeparator;
        if (fn(c, std::as_const(path)))
            stack.push_back({c, 0, path.size()});
    }
}

// The folders of one drive as a full index run walks them, kept in a scratch file
// instead of memory: ten million folders held in a DirTree take most of a gigabyte, here
// eight bytes each. Each folder listed is one record of the file (its time and its
// subfolders' names, in order), appended as the walk publishes it. The walk goes
// roughly depth first, like index order, so reading the records back for writing is
// close to sequential and a window of a few megabytes serves nearly every read.
// Not thread-safe; the walk adds records under its own lock.
class SpilledTree {
public:
    SpilledTree();
    ~SpilledTree(); // closes and removes the scratch file
    SpilledTree(SpilledTree&&) noexcept;
    SpilledTree& operator=(SpilledTree&&) noexcept;

    char driveLetter = 'C';
    std::string rootPath; // ends in the separator
    int64_t walkStarted = 0;
    uint64_t leaveOut = 0;

    // Creates the scratch file, which must not exist, and the root. "" or why not.
    std::string open(const std::filesystem::path& file);
    // The record of folder `node`: when it was listed (0: unknown) and `count`
    // subfolders given by child() in index order. Returns the node the first gets.
    uint32_t beginListing(uint32_t node, int64_t time, uint32_t count);
    void child(std::string_view name, std::string_view folded);
    void endListing();
    // The first write that failed, as a message naming the file; "" while all went well.
    const std::string& error() const { return m_error; }
    int64_t rows() const { return static_cast<int64_t>(m_nodes) - 1; }

    // A folder's record read back: valid until the next read.
    struct Listing {
        int64_t time = 0;
        uint32_t firstChild = 0;
        std::vector<std::string_view> names, folded; // per subfolder
    };
    // False for a folder that was never listed (a walk stopped before it): no time, no
    // subfolders; and for a record that cannot be read back (then error() says why).
    bool read(uint32_t node, Listing& listing);
    // Lets go of the records and the memory; rows() stays.
    void release();

private:
    bool flush();
    bool fill(uint64_t offset, size_t bytes);
    bool damaged();
    void close();
    uint32_t addNodes(uint32_t count); // not listed yet; returns the first

    std::FILE* m_file = nullptr;
    std::filesystem::path m_path;
    std::string m_error;
    uint64_t m_written = 0; // bytes in the file
    std::string m_out;      // records not yet in the file
    size_t m_recordStart = 0;
    // Per node, where its record starts; in chunks, so that growing never copies.
    std::vector<std::unique_ptr<uint64_t[]>> m_at;
    uint32_t m_nodes = 0;
    uint64_t& at(uint32_t node) { return m_at[node >> kChunkBits][node & (kChunk - 1)]; }
    static constexpr unsigned kChunkBits = 16;
    static constexpr uint32_t kChunk = 1u << kChunkBits;
    // the read window
    std::string m_window;
    uint64_t m_windowAt = 0;
};

// One row as it is written: views valid until the cursor moves.
struct IndexRow {
    char driveLetter;
    std::string_view fullDirectory, directory, foldedDirectory;
    int64_t time;      // when the folder was listed; 0 when unknown
    size_t tree;       // which of the trees it is from
    size_t rootLength; // of that tree's root path
};

// Lists the folders of several trees merged into one index order.
class IndexOrder {
public:
    explicit IndexOrder(const std::vector<DirTree>& trees);
    explicit IndexOrder(std::vector<SpilledTree>& trees);
    ~IndexOrder();
    // Moves to the next row; false at the end.
    bool next(IndexRow& row);
    // Per tree: its drive, its root's time, its walk's start and its rows.
    struct Root {
        char driveLetter;
        int64_t time, walkStarted, rows;
        uint64_t leaveOut;
    };
    const std::vector<Root>& roots() const { return m_roots; }
    // Calls `fn` with the tree and the path below the root (no separator at the end, ""
    // for the root) of every folder whose rows are not all listed yet: the last row
    // given and the folders above it, in each tree.
    template <typename Fn> void eachOpenFolder(Fn&& fn) const;
    // Why reading a tree failed; "" while all went well.
    std::string error() const;

private:
    class TreeCursor;
    class MemoryCursor;
    class SpilledCursor;
    std::vector<std::unique_ptr<TreeCursor>> m_cursors;
    std::vector<Root> m_roots;
    std::vector<bool> m_live;
    int m_current = -1;
};

class IndexOrder::TreeCursor {
public:
    virtual ~TreeCursor() = default;
    virtual bool advance() = 0;
    virtual IndexRow row() const = 0;
    virtual std::string error() const { return {}; }
    std::string_view path() const { return m_path; }
    std::string_view foldedPath() const { return m_folded; }
    // The path lengths of the folders on the way down to the current row.
    std::vector<size_t> openLengths() const {
        std::vector<size_t> lengths;
        for (const Frame& f : m_stack)
            lengths.push_back(f.pathLength);
        return lengths;
    }
    size_t rootLength = 0;

protected:
    struct Frame {
        uint32_t node, nextChild;
        size_t pathLength, foldedLength;
    };
    std::string m_path, m_folded;
    std::vector<Frame> m_stack;
};

template <typename Fn> void IndexOrder::eachOpenFolder(Fn&& fn) const {
    for (size_t i = 0; i < m_cursors.size(); ++i) {
        const TreeCursor& c = *m_cursors[i];
        for (size_t length : c.openLengths()) {
            std::string_view path = c.path().substr(0, length);
            fn(i, length > c.rootLength ? path.substr(c.rootLength, length - c.rootLength - 1)
                                        : std::string_view());
        }
    }
}

} // namespace qvl::indexer
