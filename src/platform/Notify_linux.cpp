#include "platform/ChangeService.h"
#include "platform/Notify.h"
#include "platform/Platform.h"

namespace qvl::platform {
struct FolderNotifier::Watch {};
} // namespace qvl::platform

#include <cerrno>
#include <fstream>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace qvl::platform {

namespace {

constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                           IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

} // namespace

FolderNotifier::FolderNotifier()
    : m_buffer(256 * 1024) {
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        m_error = errno;
}

FolderNotifier::~FolderNotifier() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int FolderNotifier::add(const std::string& path, int& id, const WalkRoot* root, std::string_view relPath) {
    id = ::inotify_add_watch(m_fd, path.c_str(), kMask);
    if (id >= 0)
        return 0;
    if (errno != ENAMETOOLONG || !root)
        return errno;
    int fd = -1;
    if (int err = root->openFolder(relPath, fd); err != 0)
        return err;
    // The handle's name is a link to the folder that was opened without following any.
    const std::string handle = "/proc/self/fd/" + std::to_string(fd);
    id = ::inotify_add_watch(m_fd, handle.c_str(), kMask & ~IN_DONT_FOLLOW);
    const int err = id < 0 ? errno : 0;
    ::close(fd);
    return err;
}

void FolderNotifier::remove(int id) {
    ::inotify_rm_watch(m_fd, id);
}

bool FolderNotifier::watchesSubtree() {
    return false;
}

bool FolderNotifier::limitReached(int error) {
    return error == ENOSPC;
}

bool FolderNotifier::isDenied(int error) {
    return error == EACCES || error == EPERM;
}

int64_t FolderNotifier::watchLimit() {
    // The system's limit, and the one of the user namespace the program runs in (a
    // container's may be lower): the lower of the two holds.
    int64_t limit = 0;
    for (const char* file : {"/proc/sys/fs/inotify/max_user_watches", "/proc/sys/user/max_inotify_watches"}) {
        std::ifstream in(file);
        int64_t value = 0;
        if (in >> value && value > 0 && (limit == 0 || value < limit))
            limit = value;
    }
    return limit;
}

bool FolderNotifier::followService(const std::string& socket) {
    auto feed = std::make_unique<ChangeFeed>();
    if (!feed->connect(socket))
        return false;
    m_feed = std::move(feed);
    return true;
}

bool FolderNotifier::serviceFollows(const std::string& root) const {
    return m_feed && m_feed->follows(root);
}

bool FolderNotifier::wait(int timeoutMs, std::vector<Event>& events) {
    pollfd p[2] = {{m_fd, POLLIN, 0}, {m_feed ? m_feed->fd() : -1, POLLIN, 0}};
    int ready = ::poll(p, 2, timeoutMs);
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;
    if (p[1].revents) {
        std::vector<std::string> folders;
        bool lost = false;
        const bool open = m_feed->read(folders, lost);
        if (lost)
            events.push_back({Event::Lost, -1, false, {}});
        for (std::string& folder : folders)
            events.push_back({Event::Reported, -1, true, std::move(folder)});
        if (!open) {
            events.push_back({Event::ServiceGone, -1, false, {}});
            m_feed.reset();
        }
    }
    if (!(p[0].revents & POLLIN))
        return true;
    while (true) {
        ssize_t n = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (n <= 0)
            return n == 0 || errno == EAGAIN || errno == EINTR;
        for (ssize_t off = 0; off < n;) {
            auto* e = reinterpret_cast<const inotify_event*>(m_buffer.data() + off);
            off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW)
                events.push_back({Event::Lost, -1, false, {}});
            else if (e->mask & (IN_UNMOUNT | IN_DELETE_SELF | IN_MOVE_SELF))
                events.push_back({Event::Away, e->wd, true, {}});
            else if (e->mask & IN_IGNORED)
                events.push_back({Event::Unwatched, e->wd, false, {}});
            else if (e->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))
                events.push_back({Event::Changed, e->wd, (e->mask & IN_ISDIR) != 0, {}});
        }
    }
}

} // namespace qvl::platform
