#include "indexer/DirTree.h"

#include "platform/Platform.h"
#include "text/TextFold.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>

namespace qvl::indexer {

namespace {

// A record: its length, the first child's node, the number of children, the folder's
// time; then per child the length of its name and of its folded name (0 when the
// folded name is the name), then the bytes of each, the folded one after the name.
constexpr size_t kHeader = 4 + 4 + 4 + 8;
constexpr uint64_t kUnlisted = UINT64_MAX;
constexpr size_t kFlushAt = 1 << 20;
constexpr size_t kWindow = 4 << 20;

template <typename T> void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
template <typename T> T get(const char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

bool seekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

} // namespace

SpilledTree::SpilledTree() = default;

SpilledTree::~SpilledTree() {
    close();
}

void SpilledTree::close() {
    if (m_file) {
        std::fclose(std::exchange(m_file, nullptr));
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
    }
}

SpilledTree::SpilledTree(SpilledTree&& other) noexcept {
    *this = std::move(other);
}

SpilledTree& SpilledTree::operator=(SpilledTree&& other) noexcept {
    if (this != &other) {
        close();
        driveLetter = other.driveLetter;
        rootPath = std::move(other.rootPath);
        walkStarted = other.walkStarted;
        leaveOut = other.leaveOut;
        m_file = std::exchange(other.m_file, nullptr);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
        m_written = other.m_written;
        m_out = std::move(other.m_out);
        m_recordStart = other.m_recordStart;
        m_at = std::move(other.m_at);
        m_nodes = std::exchange(other.m_nodes, 0);
        m_window = std::move(other.m_window);
        m_windowAt = other.m_windowAt;
    }
    return *this;
}

std::string SpilledTree::open(const std::filesystem::path& file) {
    m_path = file;
    m_file = platform::openPrivateFile(file); // it names every folder, like the index
    if (!m_file)
        return m_error =
                   "Cannot create the index in " + file.parent_path().string() + ": " + std::strerror(errno);
    addNodes(1); // the root, not listed yet
    return {};
}

uint32_t SpilledTree::beginListing(uint32_t node, int64_t time, uint32_t count) {
    const uint32_t first = addNodes(count);
    at(node) = m_written + m_out.size();
    m_recordStart = m_out.size();
    put<uint32_t>(m_out, 0);
    put<uint32_t>(m_out, first);
    put<uint32_t>(m_out, count);
    put<int64_t>(m_out, time);
    return first;
}

uint32_t SpilledTree::addNodes(uint32_t count) {
    const uint32_t first = m_nodes;
    for (; m_nodes - first < count; ++m_nodes) {
        if ((m_nodes & (kChunk - 1)) == 0)
            m_at.emplace_back(new uint64_t[kChunk]);
        at(m_nodes) = kUnlisted;
    }
    return first;
}

void SpilledTree::child(std::string_view name, std::string_view folded) {
    put<uint16_t>(m_out, static_cast<uint16_t>(name.size()));
    put<uint16_t>(m_out, static_cast<uint16_t>(folded == name ? 0 : folded.size()));
    m_out.append(name);
    if (folded != name)
        m_out.append(folded);
}

void SpilledTree::endListing() {
    const auto length = static_cast<uint32_t>(m_out.size() - m_recordStart);
    std::memcpy(m_out.data() + m_recordStart, &length, sizeof length);
    if (m_out.size() >= kFlushAt)
        flush();
}

void SpilledTree::release() {
    close();
    decltype(m_at)().swap(m_at);
    std::string().swap(m_out);
    std::string().swap(m_window);
}

bool SpilledTree::flush() {
    if (m_out.empty() || !m_error.empty())
        return m_error.empty();
    if (!m_file || !seekTo(m_file, m_written) ||
        std::fwrite(m_out.data(), 1, m_out.size(), m_file) != m_out.size() || std::fflush(m_file) != 0) {
        m_error = "Cannot write the index in " + m_path.parent_path().string() + ": " + std::strerror(errno);
        return false;
    }
    m_written += m_out.size();
    m_out.clear();
    m_window.clear();
    return true;
}

bool SpilledTree::fill(uint64_t offset, size_t bytes) {
    if (offset >= m_windowAt && offset + bytes <= m_windowAt + m_window.size())
        return true;
    if (!flush())
        return false;
    // Reads wander back a little where threads published out of order: keep some of
    // what comes before.
    const uint64_t start = offset - std::min<uint64_t>(offset, 64 * 1024);
    const size_t want = static_cast<size_t>(
        std::min<uint64_t>(std::max(kWindow, bytes + (offset - start)), m_written - start));
    m_window.resize(want);
    if (offset + bytes > m_written || !seekTo(m_file, start) ||
        std::fread(m_window.data(), 1, want, m_file) != want) {
        m_window.clear();
        m_error = "Cannot read " + m_path.string() + ": " +
                  (std::ferror(m_file) ? std::strerror(errno) : "cut short");
        return false;
    }
    m_windowAt = start;
    return true;
}

bool SpilledTree::damaged() {
    if (m_error.empty())
        m_error = "Cannot read " + m_path.string() + ": it was changed while the index was written";
    return false;
}

bool SpilledTree::read(uint32_t node, Listing& listing) {
    listing.time = 0;
    listing.names.clear();
    listing.folded.clear();
    const uint64_t offset = node < m_nodes && !m_at.empty() ? at(node) : kUnlisted;
    if (offset == kUnlisted || !fill(offset, kHeader))
        return false;
    const uint32_t length = get<uint32_t>(m_window.data() + (offset - m_windowAt));
    if (length < kHeader)
        return damaged();
    if (!fill(offset, length))
        return false;
    const char* p = m_window.data() + (offset - m_windowAt);
    const char* end = p + length;
    listing.firstChild = get<uint32_t>(p + 4);
    const uint32_t count = get<uint32_t>(p + 8);
    listing.time = get<int64_t>(p + 12);
    p += kHeader;
    for (uint32_t i = 0; i < count; ++i) {
        if (end - p < 4)
            return damaged();
        const size_t name = get<uint16_t>(p), folded = get<uint16_t>(p + 2);
        p += 4;
        if (static_cast<size_t>(end - p) < name + folded)
            return damaged();
        listing.names.emplace_back(p, name);
        listing.folded.emplace_back(folded ? p + name : p, folded ? folded : name);
        p += name + folded;
    }
    return true;
}

// Depth-first, pre-order walk over one tree, keeping the current full path and its
// folded form in two buffers that grow and shrink with the depth.
class IndexOrder::MemoryCursor : public TreeCursor {
public:
    explicit MemoryCursor(const DirTree& tree)
        : m_tree(&tree) {
        m_path = tree.rootPath;
        m_folded = text::fold(tree.rootPath);
        rootLength = m_path.size();
        if (!tree.nodes.empty())
            m_stack.push_back({0, 0, m_path.size(), m_folded.size()});
    }

    bool advance() override {
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

    IndexRow row() const override {
        const DirNode& n = m_tree->nodes[m_node];
        return {m_tree->driveLetter,
                m_path,
                m_tree->name(n),
                m_tree->folded(n),
                m_node < m_tree->times.size() ? m_tree->times[m_node] : 0,
                0,
                0};
    }

private:
    const DirTree* m_tree;
    uint32_t m_node = 0;
};

// The same walk over a spilled tree: each frame holds its folder's record, read as the
// walk comes down to it.
class IndexOrder::SpilledCursor : public TreeCursor {
public:
    explicit SpilledCursor(SpilledTree& tree)
        : m_tree(&tree) {
        m_path = tree.rootPath;
        m_folded = text::fold(tree.rootPath);
        rootLength = m_path.size();
        if (tree.rows() >= 0)
            descend(0);
    }

    int64_t rootTime() const { return m_listings.empty() ? 0 : m_listings[0].time; }

    bool advance() override {
        while (!m_stack.empty()) {
            Frame& f = m_stack.back();
            const SpilledTree::Listing& parent = m_listings[m_stack.size() - 1];
            if (f.nextChild == parent.names.size()) {
                m_stack.pop_back();
                continue;
            }
            const uint32_t k = f.nextChild++;
            m_path.resize(f.pathLength);
            m_folded.resize(f.foldedLength);
            m_name = parent.names[k];
            m_foldedName = parent.folded[k];
            m_path.append(m_name) += platform::kSeparator;
            m_folded.append(m_foldedName) += platform::kSeparator;
            descend(parent.firstChild + k);
            return true;
        }
        return false;
    }

    IndexRow row() const override {
        return {m_tree->driveLetter, m_path, m_name, m_foldedName, m_listings[m_stack.size() - 1].time, 0, 0};
    }
    std::string error() const override { return m_tree->error(); }

private:
    // Pushes the frame of `node`, the folder of the current path, with its record.
    void descend(uint32_t node) {
        if (m_listings.size() <= m_stack.size())
            m_listings.emplace_back();
        if (m_names.size() <= m_stack.size())
            m_names.emplace_back();
        SpilledTree::Listing& listing = m_listings[m_stack.size()];
        std::string& bytes = m_names[m_stack.size()];
        m_stack.push_back({node, 0, m_path.size(), m_folded.size()});
        if (!m_tree->read(node, listing))
            return; // never listed: no subfolders
        // The window moves on as the walk reads below: the frame keeps its own copy.
        size_t total = 0;
        for (size_t i = 0; i < listing.names.size(); ++i)
            total += listing.names[i].size() + listing.folded[i].size();
        bytes.clear();
        bytes.reserve(total);
        for (size_t i = 0; i < listing.names.size(); ++i) {
            const size_t at = bytes.size();
            bytes.append(listing.names[i]).append(listing.folded[i]);
            listing.names[i] = std::string_view(bytes).substr(at, listing.names[i].size());
            listing.folded[i] =
                std::string_view(bytes).substr(at + listing.names[i].size(), listing.folded[i].size());
        }
    }

    SpilledTree* m_tree;
    // Per depth; a deque, so that growing moves nothing the views point into.
    std::deque<SpilledTree::Listing> m_listings;
    std::deque<std::string> m_names; // the bytes of the listing's names
    std::string_view m_name, m_foldedName;
};

IndexOrder::IndexOrder(const std::vector<DirTree>& trees) {
    for (const DirTree& t : trees) {
        m_cursors.push_back(std::make_unique<MemoryCursor>(t));
        m_roots.push_back(
            {t.driveLetter, t.times.empty() ? 0 : t.times[0], t.walkStarted, t.rows(), t.leaveOut});
    }
    for (auto& c : m_cursors)
        m_live.push_back(c->advance());
}

IndexOrder::IndexOrder(std::vector<SpilledTree>& trees) {
    for (SpilledTree& t : trees) {
        auto cursor = std::make_unique<SpilledCursor>(t);
        m_roots.push_back({t.driveLetter, cursor->rootTime(), t.walkStarted, t.rows(), t.leaveOut});
        m_cursors.push_back(std::move(cursor));
    }
    for (auto& c : m_cursors)
        m_live.push_back(c->advance());
}

IndexOrder::~IndexOrder() = default;

std::string IndexOrder::error() const {
    for (const auto& c : m_cursors)
        if (std::string e = c->error(); !e.empty())
            return e;
    return {};
}

bool IndexOrder::next(IndexRow& row) {
    // The cursor that gave the last row moves on; then the smallest current path wins.
    // Trees are few (one per drive), so a linear pick beats a heap.
    if (m_current >= 0)
        m_live[m_current] = m_cursors[m_current]->advance();
    m_current = -1;
    for (size_t i = 0; i < m_cursors.size(); ++i) {
        if (!m_live[i])
            continue;
        if (m_current < 0 ||
            text::comparePathKeys(m_cursors[i]->foldedPath(), m_cursors[i]->path(),
                                  m_cursors[m_current]->foldedPath(), m_cursors[m_current]->path()) < 0)
            m_current = static_cast<int>(i);
    }
    if (m_current < 0)
        return false;
    row = m_cursors[m_current]->row();
    row.tree = static_cast<size_t>(m_current);
    row.rootLength = m_cursors[m_current]->rootLength;
    return true;
}

} // namespace qvl::indexer
