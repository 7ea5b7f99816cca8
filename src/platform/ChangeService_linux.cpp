#include "platform/ChangeService.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/openat2.h>
#include <map>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/fanotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qvl::platform {

namespace {

// Every entry of a folder created, removed or moved in or out, for folders only
// (FAN_ONDIR: the events of files are dropped as they are read).
constexpr uint64_t kMask = FAN_CREATE | FAN_DELETE | FAN_MOVED_FROM | FAN_MOVED_TO | FAN_ONDIR;

// File systems that hold no user's folders.
const std::set<std::string> kVirtual = {
    "proc",    "sysfs",       "cgroup", "cgroup2",  "devpts",     "mqueue",    "debugfs",
    "tracefs", "securityfs",  "pstore", "bpf",      "configfs",   "fusectl",   "hugetlbfs",
    "autofs",  "binfmt_misc", "nsfs",   "efivarfs", "rpc_pipefs", "selinuxfs", "devtmpfs"};

// What a client holds: its checker (a process with the user's rights), the pipe to it,
// and what waits to go down that pipe.
struct Client {
    uid_t uid = 0;
    int pipe = -1;
    std::string backlog;
};

// A checker has no more than this waiting for it; past it the changes are dropped and
// the client is told so, and it starts over from the disk.
constexpr size_t kMostBacklog = 4 << 20;
// Connections a user may hold at once (each has a process and a backlog of its own).
constexpr int kMostPerUser = 8;

// Opens `path` as a folder for listing without following any link on the way: the paths
// the service sends are the kernel's own, with none in them, so a link there would be
// one put in since, to make a folder the user may not list look like one the user may.
int openFolderNoLinks(const std::string& path) {
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) // before Linux 5.6: at least the folder itself
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    return static_cast<int>(fd);
}

bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The fields of each line of a colon-separated system file (/etc/passwd, /etc/group).
std::vector<std::vector<std::string>> records(const char* file) {
    std::vector<std::vector<std::string>> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream parts(line);
        for (std::string field; std::getline(parts, field, ':');)
            fields.push_back(field);
        lines.push_back(std::move(fields));
    }
    return lines;
}

// The user's groups as the system files list them (read by hand: a statically linked
// program has no name service); a user they do not name keeps only the primary group.
std::vector<gid_t> groupsOf(uid_t uid, gid_t gid) {
    std::vector<gid_t> groups{gid};
    std::string name;
    for (const auto& f : records("/etc/passwd"))
        if (f.size() > 2 && f[2] == std::to_string(uid))
            name = f[0];
    for (const auto& f : records("/etc/group")) {
        if (name.empty() || f.size() < 4)
            continue;
        std::stringstream members(f[3]);
        for (std::string m; std::getline(members, m, ',');)
            if (m == name)
                groups.push_back(static_cast<gid_t>(std::strtoul(f[2].c_str(), nullptr, 10)));
    }
    return groups;
}

// The checker: takes the user's rights for good (its user, group and groups, no
// capability, no way back), then passes on only the folders it can open for listing.
[[noreturn]] void runChecker(int from, int client, uid_t uid, gid_t gid) {
    const std::vector<gid_t> groups = groupsOf(uid, gid);
    bool dropped = ::setgroups(groups.size(), groups.data()) == 0 && ::setgid(gid) == 0 &&
                   ::setuid(uid) == 0 && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                   ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    if (!dropped || (uid != 0 && (::setuid(0) == 0 || ::geteuid() == 0)))
        ::_exit(1);
    std::string buffer;
    char chunk[65536];
    for (ssize_t n; (n = ::read(from, chunk, sizeof chunk)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        buffer.append(chunk, static_cast<size_t>(n));
        size_t start = 0;
        std::string out;
        for (size_t end; (end = buffer.find('\0', start)) != std::string::npos; start = end + 1) {
            const std::string_view record(buffer.data() + start, end - start + 1);
            if (record[0] == 'C') {
                const std::string path(record.substr(1, record.size() - 2));
                int fd = openFolderNoLinks(path);
                if (fd < 0)
                    continue;
                ::close(fd);
            }
            out.append(record);
        }
        buffer.erase(0, start);
        if (!out.empty() && !sendAll(client, out.data(), out.size()))
            break;
    }
    ::_exit(0);
}

class Service {
public:
    Service(const std::function<void(const std::string&)>& log)
        : m_log(log) {}
    ~Service() {
        for (Client& c : m_clients)
            end(c);
        if (m_fan >= 0)
            ::close(m_fan);
        if (m_listen >= 0)
            ::close(m_listen);
    }

    std::string run(const std::string& socket, const std::vector<std::string>& folders,
                    std::atomic<bool>& stop) {
        ::signal(SIGPIPE, SIG_IGN); // a checker that went is seen by its pipe's error
        m_fan = ::fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_DFID_NAME | FAN_CLOEXEC | FAN_NONBLOCK,
                                O_RDONLY | O_LARGEFILE | O_CLOEXEC);
        if (m_fan < 0)
            return "fanotify cannot be had (" + std::string(std::strerror(errno)) +
                   "): the service needs Linux 5.9 or later and the administrator's rights (CAP_SYS_ADMIN)";
        std::vector<std::string> places = folders;
        if (places.empty()) {
            std::ifstream in("/proc/self/mountinfo");
            std::stringstream table;
            table << in.rdbuf();
            for (const Mount& m : parseMountTable(table.str()))
                if (!kVirtual.count(m.fsType))
                    places.push_back(m.root);
        }
        for (const std::string& place : places)
            mark(place);
        if (m_mounts.empty())
            return "no file system could be marked (marking a whole file system needs the administrator's "
                   "rights, CAP_SYS_ADMIN: run it as root)";
        if (std::string err = listen(socket); !err.empty())
            return err;
        m_log("telling of the folders changed on " + std::to_string(m_mounts.size()) +
              " file systems; listening on " + socket);
        while (!stop.load())
            if (!step())
                return "waiting for changes failed: " + std::string(std::strerror(errno));
        ::unlink(socket.c_str());
        return {};
    }

private:
    void mark(const std::string& place) {
        int fd = ::open(place.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct statfs fs {};
        if (fd < 0 || ::fstatfs(fd, &fs) != 0) {
            m_log("not followed: " + place + " (" + std::strerror(errno) + ")");
            if (fd >= 0)
                ::close(fd);
            return;
        }
        const uint64_t fsid = fsidOf(fs.f_fsid);
        if (!m_mounts.count(fsid)) {
            if (::fanotify_mark(m_fan, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kMask, fd, nullptr) == 0)
                m_mounts[fsid] = place; // the mark stays with the file system, not with this handle
            else if (!folderless(errno))
                m_log("not followed: " + place + " (" + std::strerror(errno) + ")");
        }
        ::close(fd);
    }
    // A file system without handles for its files (no fanotify marks on it): a virtual one.
    static bool folderless(int error) { return error == ENODEV || error == EOPNOTSUPP || error == EXDEV; }
    static uint64_t fsidOf(const __kernel_fsid_t& id) {
        uint64_t v = 0;
        std::memcpy(&v, &id, sizeof v);
        return v;
    }
    static uint64_t fsidOf(const fsid_t& id) {
        uint64_t v = 0;
        std::memcpy(&v, &id, sizeof v);
        return v;
    }

    std::string listen(const std::string& socket) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (socket.size() >= sizeof addr.sun_path)
            return "the socket's path is too long: " + socket;
        std::memcpy(addr.sun_path, socket.c_str(), socket.size() + 1);
        const std::string folder = socket.substr(0, socket.rfind('/'));
        if (!folder.empty() && ::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
            return "cannot make " + folder + ": " + std::strerror(errno);
        struct stat st {};
        if (::lstat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            ::unlink(socket.c_str()); // left by a service that ended without a word
        m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::chmod(socket.c_str(), 0666) != 0 || ::listen(m_listen, 64) != 0)
            return "cannot listen on " + socket + ": " + std::strerror(errno);
        return {};
    }

    // One round: waits for changes, connections and room in the checkers' pipes.
    bool step() {
        std::vector<pollfd> polled{{m_fan, POLLIN, 0}, {m_listen, POLLIN, 0}};
        for (const Client& c : m_clients)
            polled.push_back({c.pipe, static_cast<short>(c.backlog.empty() ? 0 : POLLOUT), 0});
        if (::poll(polled.data(), polled.size(), 500) < 0)
            return errno == EINTR;
        if (polled[0].revents & POLLIN && !readChanges())
            return false;
        if (polled[1].revents & POLLIN)
            accept();
        for (size_t i = 0; i < m_clients.size(); ++i)
            if (polled.size() > i + 2 && polled[i + 2].revents & (POLLERR | POLLHUP))
                end(m_clients[i]);
        for (Client& c : m_clients)
            flush(c);
        std::erase_if(m_clients, [](const Client& c) { return c.pipe < 0; });
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        return true;
    }

    bool readChanges() {
        char buffer[64 * 1024];
        std::set<std::string> changed;
        // A folder of each file system the events name, opened for this round only: one
        // held open would keep a drive from being unmounted.
        std::map<uint64_t, int> opened;
        bool lost = false;
        while (true) {
            ssize_t n = ::read(m_fan, buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                break;
            if (n <= 0)
                return false;
            // Events are aligned to 4 bytes only: each part is copied out before it is read.
            for (size_t at = 0; at + sizeof(fanotify_event_metadata) <= static_cast<size_t>(n);) {
                fanotify_event_metadata meta;
                std::memcpy(&meta, buffer + at, sizeof meta);
                if (meta.event_len < sizeof meta || at + meta.event_len > static_cast<size_t>(n))
                    break;
                const char* event = buffer + at;
                at += meta.event_len;
                if (meta.mask & FAN_Q_OVERFLOW)
                    lost = true;
                const size_t infoAt = meta.metadata_len;
                if (!(meta.mask & FAN_ONDIR) || meta.event_len < infoAt + sizeof(fanotify_event_info_fid))
                    continue;
                fanotify_event_info_fid info;
                std::memcpy(&info, event + infoAt, sizeof info);
                if (info.hdr.info_type != FAN_EVENT_INFO_TYPE_DFID_NAME &&
                    info.hdr.info_type != FAN_EVENT_INFO_TYPE_DFID)
                    continue;
                const size_t handleAt = infoAt + offsetof(fanotify_event_info_fid, handle);
                alignas(file_handle) unsigned char handleBytes[sizeof(file_handle) + MAX_HANDLE_SZ];
                auto* handle = reinterpret_cast<file_handle*>(handleBytes);
                std::memcpy(handleBytes, event + handleAt, sizeof(file_handle));
                if (handle->handle_bytes > MAX_HANDLE_SZ ||
                    handleAt + sizeof(file_handle) + handle->handle_bytes > meta.event_len)
                    continue;
                std::memcpy(handleBytes + sizeof(file_handle), event + handleAt + sizeof(file_handle),
                            handle->handle_bytes);
                const uint64_t fsid = fsidOf(info.fsid);
                auto mount = opened.find(fsid);
                if (mount == opened.end())
                    mount = opened.emplace(fsid, openMount(fsid)).first;
                if (mount->second < 0)
                    continue;
                // The folder the entry was made, removed or renamed in, by its handle; one
                // gone meanwhile is its own parent's change.
                int dir = ::open_by_handle_at(mount->second, handle, O_PATH | O_CLOEXEC);
                if (dir < 0)
                    continue;
                char path[4096];
                const std::string link = "/proc/self/fd/" + std::to_string(dir);
                ssize_t len = ::readlink(link.c_str(), path, sizeof path);
                ::close(dir);
                if (len > 0 && static_cast<size_t>(len) < sizeof path && path[0] == '/')
                    changed.emplace(path, static_cast<size_t>(len));
            }
        }
        for (auto& [fsid, fd] : opened)
            if (fd >= 0)
                ::close(fd);
        std::string records = lost ? std::string("L", 2) : std::string();
        for (const std::string& p : changed)
            records.append("C").append(p).push_back('\0');
        for (Client& c : m_clients) {
            if (c.backlog.size() + records.size() > kMostBacklog)
                c.backlog.assign("L", 2); // the checker fell behind: the client starts over
            else
                c.backlog += records;
        }
        return true;
    }

    // A folder of the file system `fsid` where it was marked, if it is still that one.
    int openMount(uint64_t fsid) const {
        auto it = m_mounts.find(fsid);
        int fd = it == m_mounts.end() ? -1 : ::open(it->second.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct statfs fs {};
        if (fd >= 0 && (::fstatfs(fd, &fs) != 0 || fsidOf(fs.f_fsid) != fsid)) {
            ::close(fd);
            fd = -1;
        }
        return fd;
    }

    void accept() {
        while (true) {
            int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            ucred who{};
            socklen_t size = sizeof who;
            int pipes[2];
            if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &who, &size) != 0 ||
                std::count_if(m_clients.begin(), m_clients.end(),
                              [&](const Client& c) { return c.uid == who.uid; }) >= kMostPerUser ||
                ::pipe2(pipes, O_CLOEXEC) != 0) {
                ::close(client);
                continue;
            }
            ::fcntl(pipes[1], F_SETPIPE_SZ, 1 << 20);
            pid_t checker = ::fork();
            if (checker == 0) {
                // Nothing of the service's goes with it: not the file systems' events, not
                // the other users' pipes.
                ::close(pipes[1]);
                ::close(m_fan);
                ::close(m_listen);
                for (const Client& c : m_clients)
                    ::close(c.pipe);
                runChecker(pipes[0], client, who.uid, who.gid);
            }
            ::close(pipes[0]);
            ::close(client);
            if (checker < 0) {
                ::close(pipes[1]);
                continue;
            }
            ::fcntl(pipes[1], F_SETFL, O_NONBLOCK);
            // First the file systems followed, then the word that the list is whole.
            std::string hello;
            for (const auto& [fsid, place] : m_mounts)
                hello.append("F").append(std::to_string(fsid)).push_back('\0');
            hello.append("R", 2);
            m_clients.push_back({who.uid, pipes[1], std::move(hello)});
        }
    }

    void flush(Client& c) {
        while (c.pipe >= 0 && !c.backlog.empty()) {
            ssize_t n = ::write(c.pipe, c.backlog.data(), c.backlog.size());
            if (n > 0)
                c.backlog.erase(0, static_cast<size_t>(n));
            else if (n < 0 && errno == EINTR)
                continue;
            else if (n < 0 && errno == EAGAIN)
                return;
            else
                end(c);
        }
    }

    static void end(Client& c) {
        if (c.pipe >= 0)
            ::close(c.pipe); // the checker reads its end and goes
        c.pipe = -1;
    }

    const std::function<void(const std::string&)>& m_log;
    int m_fan = -1;
    int m_listen = -1;
    std::map<uint64_t, std::string> m_mounts; // file system id: where it was marked
    std::vector<Client> m_clients;
};

} // namespace

std::string changesSocketPath() {
    std::string path = getEnv("QVL_CHANGES_SOCKET");
    return path.empty() ? kChangesSocket : path;
}

std::string serveChanges(const std::string& socket, const std::vector<std::string>& folders,
                         std::atomic<bool>& stop, const std::function<void(const std::string&)>& log) {
    Service service(log);
    return service.run(socket, folders, stop);
}

ChangeFeed::~ChangeFeed() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ChangeFeed::connect(const std::string& socket) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socket.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, socket.c_str(), socket.size() + 1);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ucred server{};
    socklen_t size = sizeof server;
    // Only the system's own service is relied on: one of another user's could keep changes back.
    if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockopt(m_fd, SOL_SOCKET, SO_PEERCRED, &server, &size) == 0 && server.uid == 0) {
        // The list of file systems comes first; a service that does not give it within
        // a few seconds is not one to rely on.
        std::vector<std::string> folders;
        bool lost = false;
        for (int waited = 0; !m_ready && waited < 5000 && read(folders, lost); waited += 50) {
            pollfd p{m_fd, POLLIN, 0};
            ::poll(&p, 1, 50);
        }
        if (m_ready)
            return true;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return false;
}

uint64_t ChangeFeed::fileSystemOf(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0)
        return 0;
    uint64_t v = 0;
    std::memcpy(&v, &fs.f_fsid, sizeof v);
    return v;
}

bool ChangeFeed::read(std::vector<std::string>& folders, bool& lost) {
    char chunk[65536];
    while (true) {
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        m_partial.append(chunk, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t end; (end = m_partial.find('\0', start)) != std::string::npos; start = end + 1) {
            if (m_partial[start] == 'L')
                lost = true;
            else if (m_partial[start] == 'R')
                m_ready = true;
            else if (m_partial[start] == 'F')
                m_fileSystems.insert(std::strtoull(m_partial.c_str() + start + 1, nullptr, 10));
            else if (m_partial[start] == 'C')
                folders.emplace_back(m_partial, start + 1, end - start - 1);
        }
        m_partial.erase(0, start);
    }
}

} // namespace qvl::platform
