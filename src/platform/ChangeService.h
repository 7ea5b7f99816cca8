#pragma once
// The system's change service: one process with the administrator's rights hears of every
// folder created, removed or renamed on whole file systems (Linux's fanotify with
// file-system marks and directory entries' names: one mark per file system, whatever the
// number of folders) and tells each connected watcher which folders changed: only those
// its user may list, as a process of the service with that user's rights finds by opening
// them. A watcher that has it needs no watch of the system's per folder.
//
// What a watcher reads from the socket: records ending in NUL. First "F" and the id of
// each file system followed, then "R"; then "C" and the full path of a folder an entry of
// which was created, removed or renamed, or "L" when changes were dropped (then any folder
// may have changed).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qvl::platform {

// Where the service listens: QVL_CHANGES_SOCKET when set, else this.
inline constexpr const char* kChangesSocket = "/run/quorvel/changes.sock";
std::string changesSocketPath();

// Runs the service until `stop`: marks the file systems that hold `folders` (every local
// one mounted when none is given) and listens on `socket`. "" once stopped, else why it
// could not run. `log` gets one line per note.
std::string serveChanges(const std::string& socket, const std::vector<std::string>& folders,
                         std::atomic<bool>& stop, const std::function<void(const std::string&)>& log);

// A watcher's end of the service.
class ChangeFeed {
public:
    ChangeFeed() = default;
    ~ChangeFeed();
    ChangeFeed(const ChangeFeed&) = delete;
    ChangeFeed& operator=(const ChangeFeed&) = delete;

    // False when no service listens there.
    bool connect(const std::string& socket);
    int fd() const { return m_fd; }
    // Whether the service follows the file system that holds `folder`.
    bool follows(const std::string& folder) const { return m_fileSystems.count(fileSystemOf(folder)) > 0; }
    // Takes what has come: the full paths of changed folders; `lost` when the service
    // dropped changes. False once the service is gone.
    bool read(std::vector<std::string>& folders, bool& lost);

private:
    static uint64_t fileSystemOf(const std::string& folder);
    int m_fd = -1;
    bool m_ready = false;
    std::set<uint64_t> m_fileSystems;
    std::string m_partial; // a record not yet whole
};

} // namespace qvl::platform
