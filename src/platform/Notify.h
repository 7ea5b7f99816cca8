#pragma once
// Change notifications for folders: the system tells which watched folder had an
// entry created, removed or renamed in it. Linux: inotify, one watch per folder.
// Windows: ReadDirectoryChangesW, one watch per drive root for everything below it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::platform {

class WalkRoot;
class ChangeFeed;

class FolderNotifier {
public:
    FolderNotifier();
    ~FolderNotifier();
    FolderNotifier(const FolderNotifier&) = delete;
    FolderNotifier& operator=(const FolderNotifier&) = delete;

    // 0, or why notifications cannot be had at all.
    int error() const { return m_error; }

    // Watches the folder at `path` (never following a link). 0 and its id, or the error
    // number; limitReached(it) when the user's watch limit stops it. Watching a folder
    // that is watched already gives the id it has, whatever the path it is reached by (a
    // bind mount, a drive in another's folder). A path longer than the system takes is
    // watched through the folder's handle, opened as `relPath` below `root`.
    int add(const std::string& path, int& id, const WalkRoot* root = nullptr, std::string_view relPath = {});
    void remove(int id);
    static bool limitReached(int error);
    // Whether it means this user may not read the folder.
    static bool isDenied(int error);
    // Whether a watch covers the folders below its folder too (then only roots are watched).
    static bool watchesSubtree();
    // The user's watch limit, or 0 when it is not known.
    static int64_t watchLimit();
    // Also hears the system's change service (ChangeService.h) when one listens at
    // `socket`; its news comes as Reported events. False when there is none.
    bool followService(const std::string& socket);
    // Whether the service tells of every folder below `root` (then they need no watch).
    bool serviceFollows(const std::string& root) const;

    struct Event {
        // Changed: an entry of the folder was created, removed or renamed; Lost: events
        // were dropped and any folder may have changed; Unwatched: the watch is gone;
        // Away: the folder itself was removed, moved or unmounted; Reported: the change
        // service says an entry of the folder `relative` (a full path) changed;
        // ServiceGone: the service went away.
        enum Kind { Changed, Lost, Unwatched, Away, Reported, ServiceGone } kind;
        int id;               // the watched folder (-1 for Lost)
        bool folder;          // Changed: the entry is a folder
        std::string relative; // with watchesSubtree: the folder below the watched one that changed
    };
    // Waits up to timeoutMs for events and appends them. False when waiting failed.
    bool wait(int timeoutMs, std::vector<Event>& events);

private:
    int m_fd = -1;
    int m_error = 0;
    std::unique_ptr<ChangeFeed> m_feed;
    std::vector<char> m_buffer;
    struct Watch;
    std::vector<std::unique_ptr<Watch>> m_watches;
};

} // namespace qvl::platform
