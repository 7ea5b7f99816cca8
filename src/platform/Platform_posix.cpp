#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#define QVL_HAVE_OPENAT2 1
#endif

namespace qvl::platform {

std::filesystem::path executableDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

namespace {

// The home folder /etc/passwd gives the user (getpwuid would need the C library's
// shared parts at run time, which a statically linked qvl lacks); "" when none.
std::string homeOfUser(uid_t uid) {
    std::ifstream passwd("/etc/passwd");
    for (std::string line; std::getline(passwd, line);) {
        // name:password:uid:gid:comment:home:shell
        size_t f[6], at = 0;
        int n = 0;
        for (; n < 6 && (at = line.find(':', at)) != std::string::npos; ++n)
            f[n] = at++;
        if (n < 6)
            continue;
        const std::string id = line.substr(f[1] + 1, f[2] - f[1] - 1);
        if (id == std::to_string(uid)) {
            std::string home = line.substr(f[4] + 1, f[5] - f[4] - 1);
            return !home.empty() && home[0] == '/' ? home : std::string();
        }
    }
    return {};
}

} // namespace

std::filesystem::path userDataDir() {
    // A relative XDG_DATA_HOME is to be ignored, and without HOME the system's record of
    // the user says where the home is; without either there is no data folder (never a
    // shared one such as /tmp, where another user could have made it first).
    std::string base = getEnv("XDG_DATA_HOME");
    if (base.empty() || base[0] != '/') {
        std::string home = getEnv("HOME");
        if (home.empty() || home[0] != '/')
            home = homeOfUser(::geteuid());
        if (home.empty())
            return {};
        base = home + "/.local/share";
    }
    return std::filesystem::path(base) / "quorvel";
}

namespace {

// File systems without Unix rights: whatever chmod is told, their mount options decide.
bool keepsModes(const char* path) {
    struct statfs fs;
    if (::statfs(path, &fs) != 0)
        return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44:     // FAT
    case 0x2011BAB0: // exFAT
    case 0x5346544e: // NTFS (ntfs)
    case 0x7366746e: // NTFS (ntfs3)
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x517B:     // SMB
        return false;
    default:
        return true;
    }
}

} // namespace

Ownership ownership(const std::filesystem::path& path) {
    Ownership o;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return o;
    o.exists = true;
    o.folder = S_ISDIR(st.st_mode);
    o.regular = S_ISREG(st.st_mode);
    o.mine = st.st_uid == ::geteuid();
    o.othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    o.othersRead = (st.st_mode & (S_IRGRP | S_IROTH | S_IXGRP | S_IXOTH)) != 0;
    o.keepsModes = keepsModes(path.c_str());
    o.mode = st.st_mode & 07777;
    return o;
}

bool makePrivate(const std::filesystem::path& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    const mode_t want = S_ISDIR(st.st_mode) ? 0700 : 0600;
    if ((st.st_mode & 07777) == want)
        return true;
    return ::chmod(path.c_str(), want) == 0 && ::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == want;
}

int createPrivateFolder(const std::filesystem::path& path) {
    std::error_code ec;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ec);
    if (::mkdir(path.c_str(), 0700) != 0)
        return errno;
    ::chmod(path.c_str(), 0700); // whatever the umask took away
    return 0;
}

std::FILE* openPrivateFile(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "w+b");
    if (!file) {
        int err = errno;
        ::close(fd);
        errno = err;
    }
    return file;
}

bool isWritableDir(const std::filesystem::path& dir) {
    return !dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::string fileIdentity(const std::filesystem::path& file) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0)
        return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string getEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

int64_t threadCpuNanos() {
    timespec t;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0)
        return -1;
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void giveBackMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void setIdleIo(bool idle) {
    // ioprio_set(IOPRIO_WHO_PROCESS, this thread, class << 13), idle being class 3; the
    // priority it had (an ionice of the user's) is given back.
    constexpr int kWhoProcess = 1, kClassShift = 13, kIdle = 3;
    thread_local long saved = -1;
    if (idle && saved < 0) {
        saved = ::syscall(SYS_ioprio_get, kWhoProcess, 0);
        ::syscall(SYS_ioprio_set, kWhoProcess, 0, kIdle << kClassShift);
    } else if (!idle && saved >= 0) {
        ::syscall(SYS_ioprio_set, kWhoProcess, 0, saved);
        saved = -1;
    }
}

std::string startDetached(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workingDir) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // A pipe closed on exec tells whether the program started: on failure the child
    // writes its errno. The intermediate child exits at once, so nothing is left to reap.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return std::strerror(errno);
    pid_t middle = ::fork();
    if (middle < 0) {
        int err = errno;
        ::close(report[0]);
        ::close(report[1]);
        return std::strerror(err);
    }
    if (middle == 0) {
        ::close(report[0]);
        if (::fork() == 0) {
            ::setsid();
            if (workingDir.empty() || ::chdir(workingDir.c_str()) == 0)
                ::execvp(argv[0], argv.data());
            int err = errno;
            ssize_t ignored = ::write(report[1], &err, sizeof err);
            (void)ignored;
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    ::waitpid(middle, &status, 0);
    int childErr = 0;
    ssize_t n = ::read(report[0], &childErr, sizeof childErr);
    ::close(report[0]);
    return n == sizeof childErr ? program + ": " + std::strerror(childErr) : std::string();
}

std::string windowsFolder() {
    return {};
}

std::string systemVersionText() {
    struct utsname u;
    if (::uname(&u) != 0)
        return "Unknown system";
    // "6.1.0-18-amd64": major 6, minor 1, build 0, the rest after it.
    unsigned major = 0, minor = 0, build = 0;
    int used = 0;
    std::sscanf(u.release, "%u.%u.%u%n", &major, &minor, &build, &used);
    std::string rest = std::string(u.release + used) + " " + u.version;
    return std::string(u.sysname) + " (" + std::to_string(major) + "." + std::to_string(minor) + ") Build " +
           std::to_string(build) + " " + rest;
}

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string unescapeMountField(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        auto octal = [&](size_t k) { return s[k] >= '0' && s[k] <= '7'; };
        if (s[i] == '\\' && i + 3 < s.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            int v = (s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0');
            out += static_cast<char>(v);
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

std::vector<Mount> parseMountTable(std::string_view table) {
    std::vector<Mount> mounts;
    while (!table.empty()) {
        size_t eol = table.find('\n');
        std::string_view line = table.substr(0, eol);
        table = eol == std::string_view::npos ? std::string_view() : table.substr(eol + 1);
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        std::vector<std::string_view> f;
        std::string_view rest(line);
        while (!rest.empty()) {
            size_t sp = rest.find(' ');
            f.push_back(rest.substr(0, sp));
            rest = sp == std::string_view::npos ? std::string_view() : rest.substr(sp + 1);
        }
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (f.size() < 5 || dash + 1 >= f.size())
            continue;
        std::string source = dash + 2 < f.size() ? unescapeMountField(f[dash + 2]) : std::string();
        mounts.push_back(
            {unescapeMountField(f[4]), std::string(f[dash + 1]), std::string(f[2]), std::move(source)});
    }
    return mounts;
}

namespace {

// The mounted file systems in mount-table order.
std::vector<Mount> mountedFileSystems() {
    std::ifstream in("/proc/self/mountinfo");
    std::string table{std::istreambuf_iterator<char>(in), {}};
    return parseMountTable(table);
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// File systems that hold no user folders, and system plumbing mounted at fixed places.
bool isVirtual(const Mount& m) {
    static constexpr std::string_view kVirtual[] = {
        "proc",        "sysfs",    "cgroup",     "cgroup2", "devpts",   "devtmpfs", "mqueue",    "debugfs",
        "tracefs",     "pstore",   "securityfs", "bpf",     "configfs", "fusectl",  "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",    "overlay",  "squashfs", "ramfs"};
    if (std::find(std::begin(kVirtual), std::end(kVirtual), m.fsType) != std::end(kVirtual))
        return true;
    for (std::string_view sys : {"/proc", "/sys", "/dev", "/run", "/boot/efi", "/snap"})
        if (m.root == sys || startsWith(m.root, std::string(sys) + "/"))
            return !startsWith(m.root, "/run/media/");
    return false;
}

int32_t typeOf(const Mount& m) {
    static constexpr std::string_view kNetwork[] = {"nfs",   "nfs4", "cifs",       "smb3",
                                                    "smbfs", "9p",   "fuse.sshfs", "sshfs",
                                                    "afs",   "ceph", "davfs",      "fuse.rclone"};
    if (std::find(std::begin(kNetwork), std::end(kNetwork), m.fsType) != std::end(kNetwork))
        return 4;
    if (m.fsType == "iso9660" || m.fsType == "udf")
        return 5;
    if (m.fsType == "tmpfs")
        return 6;
    if (startsWith(m.root, "/media/") || startsWith(m.root, "/run/media/"))
        return 2;
    return 3;
}

// A block device's file-system UUID from udev's /dev/disk/by-uuid links, which survives
// the device being renamed (sdb today, sdc after the next boot); "" when there is none.
std::string uuidOf(const std::string& source) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (source.rfind("/dev/", 0) != 0)
        return {};
    fs::path device = fs::canonical(source, ec);
    if (ec)
        return {};
    for (const fs::directory_entry& link : fs::directory_iterator("/dev/disk/by-uuid", ec))
        if (fs::canonical(link.path(), ec) == device && !ec)
            return link.path().filename().string();
    return {};
}

} // namespace

std::vector<SystemDrive> systemDrives() {
    std::vector<SystemDrive> drives{{'C', 3, "/", {}}};
    std::vector<std::string> taken{"/"};
    char next = 'D';
    for (const Mount& m : mountedFileSystems()) {
        if (next > 'Z')
            break;
        if (isVirtual(m) || std::find(taken.begin(), taken.end(), m.root) != taken.end())
            continue;
        taken.push_back(m.root);
        std::string uuid = uuidOf(m.source);
        drives.push_back(
            {next++, typeOf(m), m.root, m.fsType + " " + (uuid.empty() ? m.source : "UUID=" + uuid)});
    }
    return drives;
}

std::string fileSystemType(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0)
        return {};
    // The mount table names each file system by its device: a bind mount is its source's.
    const std::string device = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    for (const Mount& m : mountedFileSystems())
        if (m.device == device)
            return m.fsType;
    return {};
}

namespace {

// Opens a folder below `dirFd` without following any link and without crossing into
// another file system. openat2() does both in the kernel (Linux 5.6+). Elsewhere each
// component is opened relative to its parent with O_NOFOLLOW and its device compared:
// opening the whole path at once would follow a link that a concurrent rename put in
// the middle of it, and O_NOFOLLOW guards only the last component.
int openBelow(int dirFd, const char* rel, dev_t rootDev, bool kernelResolve) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#ifdef QVL_HAVE_OPENAT2
    static std::atomic<bool> noOpenat2{false}; // walking threads read it at once
    if (kernelResolve && !noOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = flags;
        how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        long fd = ::syscall(SYS_openat2, dirFd, rel, &how, sizeof how);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
            return static_cast<int>(fd);
        noOpenat2.store(true, std::memory_order_relaxed);
    }
#else
    (void)kernelResolve;
#endif
    int fd = dirFd;
    std::string_view path(rel);
    while (!path.empty()) {
        size_t slash = path.find('/');
        std::string part(path.substr(0, slash));
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (part.empty())
            continue;
        int next = ::openat(fd, part.c_str(), flags);
        int err = errno;
        struct stat st;
        if (next >= 0 && (::fstat(next, &st) != 0 || st.st_dev != rootDev)) {
            ::close(next);
            next = -1;
            err = EXDEV;
        }
        if (fd != dirFd)
            ::close(fd);
        if (next < 0) {
            errno = err;
            return -1;
        }
        fd = next;
    }
    if (fd == dirFd) { // "." or an empty path: the folder itself, as a handle of its own
        fd = ::openat(dirFd, ".", flags);
    }
    return fd;
}

// Linux's getdents64 record; glibc 2.36 has no wrapper for the call.
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    // the NUL-terminated name follows at offsetof(d_type) + 1
};

dev_t deviceOf(intptr_t fd) {
    struct stat st;
    return ::fstat(static_cast<int>(fd), &st) == 0 ? st.st_dev : 0;
}

} // namespace

WalkRoot::WalkRoot(const std::string& rootPath, bool kernelResolve)
    : m_kernelResolve(kernelResolve) {
    int fd = ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        m_error = errno;
    else
        m_device = deviceOf(fd);
    m_handle = fd;
}

WalkRoot::~WalkRoot() {
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

int WalkRoot::openFolder(std::string_view relPath, int& fd) const {
    if (m_handle < 0)
        return m_error;
    const auto rootDev = static_cast<dev_t>(m_device);

    // A path longer than the system accepts in one call is opened piece by piece,
    // holding at most two handles at a time.
    constexpr size_t kPiece = 3072;
    std::string rel(relPath.empty() ? std::string_view(".") : relPath);
    fd = static_cast<int>(m_handle);
    bool ownFd = false;
    size_t pos = 0;
    while (true) {
        size_t end = rel.size();
        if (end - pos > kPiece) {
            end = rel.rfind('/', pos + kPiece);
            if (end == std::string::npos || end <= pos)
                end = rel.find('/', pos + 1);
            if (end == std::string::npos)
                end = rel.size();
        }
        std::string piece = rel.substr(pos, end - pos);
        int next = openBelow(fd, piece.c_str(), rootDev, m_kernelResolve);
        int err = errno;
        if (ownFd)
            ::close(fd);
        if (next < 0)
            return err;
        fd = next;
        ownFd = true;
        if (end >= rel.size())
            break;
        pos = end + 1;
    }
    return 0;
}

namespace {

// The later of the folder's modification and change times, in nanoseconds: creating,
// removing or renaming an entry sets both, and setting the modification time back by
// hand still moves the change time.
int64_t changeTimeOf(int fd, int64_t& time) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    auto ns = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    time = std::max(ns(st.st_mtim), ns(st.st_ctim));
    return 0;
}

} // namespace

int WalkRoot::folderTime(std::string_view relPath, int64_t& time) const {
    if (m_handle < 0)
        return m_error;
    // One call for the common case: a folder on the drive, not a link. Anything else
    // goes the careful way the listing goes.
    struct stat st;
    if (!relPath.empty() && relPath.size() < 3072 &&
        ::fstatat(static_cast<int>(m_handle), std::string(relPath).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(st.st_mode) && st.st_dev == static_cast<dev_t>(m_device)) {
        auto ns = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
        time = std::max(ns(st.st_mtim), ns(st.st_ctim));
        return 0;
    }
    int fd = -1;
    int err = openFolder(relPath, fd);
    if (err != 0)
        return err;
    err = static_cast<int>(changeTimeOf(fd, time));
    ::close(fd);
    return err;
}

int WalkRoot::listSubdirs(std::string_view relPath, std::vector<char>& buffer, SubdirFn onSubdir, void* ctx,
                          int64_t* time) const {
    int fd = -1;
    int openError = openFolder(relPath, fd);
    if (openError != 0)
        return openError;
    // Read before the entries, so a change during the listing makes the time newer
    // than what was listed, and the next update reads the folder again.
    if (time && changeTimeOf(fd, *time) != 0)
        *time = 0;

    if (buffer.size() < 32768)
        buffer.resize(32768);
    int result = 0;
    while (true) {
        long n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
        if (n <= 0) {
            if (n < 0)
                result = errno;
            break;
        }
        for (long off = 0; off < n;) {
            auto* d = reinterpret_cast<LinuxDirent64*>(buffer.data() + off);
            off += d->d_reclen;
            const char* name = reinterpret_cast<const char*>(&d->d_type) + 1;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            bool isDir = d->d_type == DT_DIR;
            if (d->d_type == DT_UNKNOWN) {
                // Some file systems do not say the type; ask, without following links.
                struct stat st;
                isDir = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            if (isDir)
                onSubdir(ctx, std::string_view(name));
        }
    }
    ::close(fd);
    return result;
}

bool WalkRoot::isFatal(int error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

bool WalkRoot::isPassedOver(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP || error == EXDEV;
}

std::string WalkRoot::describe(int error) {
    return std::strerror(error);
}

int FileLock::tryLock(const std::filesystem::path& file) {
    unlock();
    // Never through a link: one planted at the lock's name would have this user (or root)
    // create or open any file. O_NONBLOCK: a FIFO there must not hang the open.
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return errno;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ELOOP;
    }
    if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::fchmod(fd, 0600); // a lock file of an earlier version
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return err;
    }
    m_handle = fd;
    return 0;
}

void FileLock::unlock() {
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle)); // closing the last descriptor lets go of the lock
    m_handle = -1;
}

bool FileLock::isBusy(int error) {
    return error == EWOULDBLOCK || error == EAGAIN;
}

bool FileLock::isNotPlainFile(int error) {
    return error == ELOOP;
}

} // namespace qvl::platform
