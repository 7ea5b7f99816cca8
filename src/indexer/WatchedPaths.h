#pragma once
// The folders a watcher has a watch on: each by its drive and its path below the drive's
// root, with the watch's number. One watch may serve two paths (a bind mount, the same
// folder reached twice). The paths sit end to end in one block of bytes under an
// open-addressed table: at ten million folders a watcher holds a hundred thousand long
// paths, and a map node, a string and a list for each cost three times the paths.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvl::indexer {

class WatchedPaths {
public:
    // Gives the path the watch `id`; returns the watch it had before, or -1.
    int add(uint32_t drive, std::string_view rel, int id);
    // The path's watch, or -1.
    int find(uint32_t drive, std::string_view rel) const;
    // Takes the path away; returns the watch it had, or -1.
    int remove(uint32_t drive, std::string_view rel);
    // The paths the watch serves.
    std::vector<std::pair<uint32_t, std::string>> paths(int id) const;
    // The paths of `drive` at or below `rel` ("" for all of the drive's). A pass over every
    // path: it is asked for once per folder that went.
    std::vector<std::string> below(uint32_t drive, std::string_view rel) const;
    bool serves(int id) const;                   // some path still has the watch
    size_t watches() const { return m_watches; } // different watches
    size_t size() const { return m_live; }       // paths
    size_t size(uint32_t drive) const { return drive < m_perDrive.size() ? m_perDrive[drive] : 0; }
    void clear();

private:
    static constexpr uint32_t kGone = UINT32_MAX; // the drive of a path taken away
    struct Path {
        uint64_t offset; // the bytes may pass 4 GB where the system allows millions of watches
        uint32_t length, drive;
        int id;
    };
    std::string_view text(const Path& p) const {
        return std::string_view(m_bytes).substr(p.offset, p.length);
    }
    static size_t hash(uint32_t drive, std::string_view rel);
    size_t slotOf(uint32_t drive, std::string_view rel) const; // its slot, or one that is empty
    void rebuild();                                            // without the paths taken away

    std::string m_bytes;
    std::vector<Path> m_paths;
    // 0 empty, kTaken a path taken away, else a number in m_paths plus one.
    static constexpr uint32_t kTaken = UINT32_MAX;
    std::vector<uint32_t> m_slots;
    size_t m_takenSlots = 0;
    // (watch, number in m_paths), by watch: watches are numbered upwards, so most adds
    // append. Entries of paths taken away stay until the next rebuild.
    std::vector<std::pair<int, uint32_t>> m_byWatch;
    std::vector<size_t> m_perDrive;
    size_t m_live = 0, m_watches = 0;
};

} // namespace qvl::indexer
