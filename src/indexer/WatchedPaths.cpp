#include "indexer/WatchedPaths.h"

#include "platform/Platform.h"

#include <algorithm>
#include <functional>

namespace qvl::indexer {

size_t WatchedPaths::hash(uint32_t drive, std::string_view rel) {
    return std::hash<std::string_view>{}(rel) ^ (drive * size_t{0x9E3779B97F4A7C15});
}

size_t WatchedPaths::slotOf(uint32_t drive, std::string_view rel) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t s = hash(drive, rel) & mask;; s = (s + 1) & mask) {
        const uint32_t at = m_slots[s];
        if (at == 0)
            return s;
        if (at != kTaken && m_paths[at - 1].drive == drive && text(m_paths[at - 1]) == rel)
            return s;
    }
}

int WatchedPaths::find(uint32_t drive, std::string_view rel) const {
    if (m_slots.empty())
        return -1;
    const uint32_t at = m_slots[slotOf(drive, rel)];
    return at == 0 ? -1 : m_paths[at - 1].id;
}

bool WatchedPaths::serves(int id) const {
    auto [from, to] = std::equal_range(m_byWatch.begin(), m_byWatch.end(), std::pair<int, uint32_t>{id, 0},
                                       [](const auto& a, const auto& b) { return a.first < b.first; });
    return std::any_of(from, to, [&](const auto& e) { return m_paths[e.second].drive != kGone; });
}

int WatchedPaths::add(uint32_t drive, std::string_view rel, int id) {
    const int before = remove(drive, rel);
    if ((m_live + m_takenSlots + 1) * 2 > m_slots.size())
        rebuild();
    const bool newWatch = !serves(id);
    const auto number = static_cast<uint32_t>(m_paths.size());
    m_paths.push_back({m_bytes.size(), static_cast<uint32_t>(rel.size()), drive, id});
    m_bytes.append(rel);
    m_slots[slotOf(drive, rel)] = number + 1;
    if (m_byWatch.empty() || m_byWatch.back().first <= id)
        m_byWatch.emplace_back(id, number);
    else
        m_byWatch.insert(
            std::upper_bound(m_byWatch.begin(), m_byWatch.end(), std::pair<int, uint32_t>{id, number}),
            {id, number});
    if (drive >= m_perDrive.size())
        m_perDrive.resize(drive + 1);
    ++m_perDrive[drive];
    ++m_live;
    m_watches += newWatch;
    return before;
}

int WatchedPaths::remove(uint32_t drive, std::string_view rel) {
    if (m_slots.empty())
        return -1;
    const size_t s = slotOf(drive, rel);
    if (m_slots[s] == 0)
        return -1;
    Path& p = m_paths[m_slots[s] - 1];
    const int id = p.id;
    p.drive = kGone;
    m_slots[s] = kTaken;
    ++m_takenSlots;
    --m_perDrive[drive];
    --m_live;
    if (!serves(id))
        --m_watches;
    if (const size_t gone = m_paths.size() - m_live; gone > 4096 && gone > m_live)
        rebuild();
    return id;
}

std::vector<std::pair<uint32_t, std::string>> WatchedPaths::paths(int id) const {
    std::vector<std::pair<uint32_t, std::string>> out;
    auto [from, to] = std::equal_range(m_byWatch.begin(), m_byWatch.end(), std::pair<int, uint32_t>{id, 0},
                                       [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = from; it != to; ++it)
        if (const Path& p = m_paths[it->second]; p.drive != kGone)
            out.emplace_back(p.drive, std::string(text(p)));
    return out;
}

std::vector<std::string> WatchedPaths::below(uint32_t drive, std::string_view rel) const {
    std::vector<std::string> out;
    for (const Path& p : m_paths) {
        if (p.drive != drive)
            continue;
        const std::string_view t = text(p);
        if (rel.empty() ||
            (t.starts_with(rel) && (t.size() == rel.size() || t[rel.size()] == platform::kSeparator)))
            out.emplace_back(t);
    }
    return out;
}

void WatchedPaths::clear() {
    *this = WatchedPaths();
}

void WatchedPaths::rebuild() {
    std::string bytes;
    std::vector<Path> kept;
    kept.reserve(m_live);
    for (const Path& p : m_paths)
        if (p.drive != kGone) {
            kept.push_back({bytes.size(), p.length, p.drive, p.id});
            bytes.append(text(p));
        }
    m_bytes = std::move(bytes);
    m_paths = std::move(kept);
    size_t slots = 64;
    while (slots < 4 * (m_live + 1))
        slots *= 2;
    m_slots.assign(slots, 0);
    m_takenSlots = 0;
    m_byWatch.clear();
    m_byWatch.reserve(m_live);
    for (uint32_t n = 0; n < m_paths.size(); ++n) {
        m_slots[slotOf(m_paths[n].drive, text(m_paths[n]))] = n + 1;
        m_byWatch.emplace_back(m_paths[n].id, n);
    }
    std::sort(m_byWatch.begin(), m_byWatch.end());
}

} // namespace qvl::indexer
