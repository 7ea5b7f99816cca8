#include "indexer/DirTree.h"

#include "platform/Platform.h"
#include "text/TextFold.h"

namespace qvl::indexer {

// Depth-first, pre-order walk over one tree, keeping the current full path and its
// folded form in two buffers that grow and shrink with the depth.
class IndexOrder::TreeCursor {
public:
    explicit TreeCursor(const DirTree& tree)
        : m_tree(&tree)
        , m_path(tree.rootPath)
        , m_folded(text::fold(tree.rootPath)) {
        if (!tree.nodes.empty())
            m_stack.push_back({0, 0, m_path.size(), m_folded.size()});
    }

    bool advance() {
        while (!m_stack.empty()) {
            Frame& f = m_stack.back();
            const DirNode& parent = m_tree->nodes[f.node];
            if (f.nextChild == parent.childCount) {
                m_stack.pop_back();
                continue;
            }
            uint32_t child = parent.firstChild + f.nextChild++;
            const DirNode& n = m_tree->nodes[child];
            m_path.resize(f.pathLength);
            m_folded.resize(f.foldedLength);
            m_path.append(m_tree->name(n)) += platform::kSeparator;
            m_folded.append(m_tree->folded(n)) += platform::kSeparator;
            m_node = child;
            m_stack.push_back({child, 0, m_path.size(), m_folded.size()});
            return true;
        }
        return false;
    }

    IndexRow row() const {
        const DirNode& n = m_tree->nodes[m_node];
        return {m_tree->driveLetter, m_path, m_tree->name(n), m_tree->folded(n)};
    }
    std::string_view path() const { return m_path; }
    std::string_view foldedPath() const { return m_folded; }

private:
    struct Frame {
        uint32_t node, nextChild;
        size_t pathLength, foldedLength;
    };
    const DirTree* m_tree;
    std::string m_path, m_folded;
    std::vector<Frame> m_stack;
    uint32_t m_node = 0;
};

IndexOrder::IndexOrder(const std::vector<DirTree>& trees) {
    for (const DirTree& t : trees)
        m_cursors.emplace_back(t);
    for (TreeCursor& c : m_cursors)
        m_live.push_back(c.advance());
}

IndexOrder::~IndexOrder() = default;

bool IndexOrder::next(IndexRow& row) {
    // The cursor that gave the last row moves on; then the smallest current path wins.
    // Trees are few (one per drive), so a linear pick beats a heap.
    if (m_current >= 0)
        m_live[m_current] = m_cursors[m_current].advance();
    m_current = -1;
    for (size_t i = 0; i < m_cursors.size(); ++i) {
        if (!m_live[i])
            continue;
        if (m_current < 0 ||
            text::comparePathKeys(m_cursors[i].foldedPath(), m_cursors[i].path(),
                                  m_cursors[m_current].foldedPath(), m_cursors[m_current].path()) < 0)
            m_current = static_cast<int>(i);
    }
    if (m_current < 0)
        return false;
    row = m_cursors[m_current].row();
    return true;
}

} // namespace qvl::indexer
