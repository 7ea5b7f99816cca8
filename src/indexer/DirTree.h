#pragma once
// The folders found on one drive, held compactly while a run walks, then listed in index
// order (see text::comparePathKeys) to be written. The children of a folder are
// stored together and already sorted, so listing the tree depth-first gives index order.

#include <cstdint>
#include <string>
#include <string_view>
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
    // Per node, after a walk given the previous tree: the same folder there, or kNew.
    std::vector<uint32_t> previous;
    static constexpr uint32_t kNew = UINT32_MAX;

    std::string_view name(const DirNode& n) const { return {names.data() + n.nameOffset, n.nameLength}; }
    std::string_view folded(const DirNode& n) const {
        return {names.data() + n.foldedOffset, n.foldedLength};
    }
    int64_t rows() const { return static_cast<int64_t>(nodes.size()) - 1; }
};

// One row as it is written: views valid until the cursor moves.
struct IndexRow {
    char driveLetter;
    std::string_view fullDirectory, directory, foldedDirectory;
};

// Lists the folders of several trees merged into one index order.
class IndexOrder {
public:
    explicit IndexOrder(const std::vector<DirTree>& trees);
    ~IndexOrder();
    // Moves to the next row; false at the end.
    bool next(IndexRow& row);

private:
    class TreeCursor;
    std::vector<TreeCursor> m_cursors;
    std::vector<bool> m_live;
    int m_current = -1;
};

} // namespace qvl::indexer
