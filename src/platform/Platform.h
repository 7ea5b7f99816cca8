#pragma once
// The small operating-system layer of the core: program and data folders, the mount
// table, and listing the subdirectories of one folder below a walk's root.
// Everything here is implemented once per system (Platform_posix.cpp, Platform_win32.cpp).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The folder that holds the running executable; empty when it cannot be found.
std::filesystem::path executableDir();
// The per-user data folder of the program (not created here).
std::filesystem::path userDataDir();
// Whether the folder exists and this process may create files in it.
bool isWritableDir(const std::filesystem::path& dir);
// The value of an environment variable, "" when unset.
std::string getEnv(const char* name);
// The CPU time the calling thread has used, in nanoseconds; -1 where the system cannot
// tell it finely enough.
int64_t threadCpuNanos();
// Sets the calling thread's disk priority to idle (its reads wait while others use the
// disk: Linux's idle I/O class), or back to what it was; nothing where there is none.
void setIdleIo(bool idle);
// Gives the memory freed lately back to the system (the heap keeps it otherwise).
void giveBackMemory();
// What tells one file from another at the same path: a file renamed over it has a new
// identity. "" when the file cannot be read.
std::string fileIdentity(const std::filesystem::path& file);

// Who may use a file or folder, as the system tells it (links followed). On Windows the
// rights are the ACLs a per-user folder passes on to what it holds, readable by its user
// (and the system and administrators) alone: everything reads as private there.
struct Ownership {
    bool exists = false;
    bool folder = false;
    bool regular = false;     // a plain file: not a folder, FIFO, socket or device
    bool mine = true;         // it belongs to the user this process runs as
    bool othersWrite = false; // its group or other users may change it
    bool othersRead = false;  // its group or other users may read it (a folder: list or enter it)
    bool keepsModes = true;   // its file system keeps such rights (FAT, exFAT, NTFS and SMB do not)
    unsigned mode = 0;        // the permission bits, for messages
};
Ownership ownership(const std::filesystem::path& path);
// Makes a file (0600) or folder (0700) its owner's alone; false when that did not take.
bool makePrivate(const std::filesystem::path& path);
// Creates the folder `path` readable by this user alone, its parents as the system makes
// them. 0, or the system's error number (EEXIST when something is there already).
int createPrivateFolder(const std::filesystem::path& path);
// Creates (or empties) a scratch file readable by this user alone, never through a
// symbolic link, open for reading and writing; nullptr with errno set on failure.
std::FILE* openPrivateFile(const std::filesystem::path& path);

// Starts `program` (looked up on PATH) with `args`, passed byte for byte, and does not
// wait for it; in `workingDir` when one is given. Returns "" once it runs, or why it
// could not be started.
std::string startDetached(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workingDir = {});

// The file browser's command line for a folder on Windows: explorer.exe from
// `windowsDir` (the Windows folder), then " /e, " and one more blank before the folder
// with the folder tree, one blank without; the folder quoted.
std::string explorerCommandLine(const std::string& folder, bool withTree, const std::string& windowsDir);
// The Windows folder ("C:\Windows"); "" elsewhere.
std::string windowsFolder();
// Windows: starts a whole command line, shown normally, without waiting; in `workingDir`
// when one is given; with a console window of its own for a console program.
std::string startCommandLine(const std::string& commandLine, const std::string& workingDir = {},
                             bool console = false);

// The running system's name, then " (" major "." minor ")", " Build " build, " " and any
// further release text, as the about window shows it.
std::string systemVersionText();

struct SystemDrive {
    char letter;      // 'A'..'Z'
    int32_t type;     // the drive type codes: 2 removable, 3 fixed, 4 network, 5 CD-ROM, 6 RAM disk
    std::string root; // the folder to walk, native form
    // What file system is there, to tell a mount seen before from a new one at the same
    // place: Linux its type and the file system's UUID where udev names one ("ext4
    // UUID=...") or else the mount source ("nfs4 server:/export"); "" on Windows.
    std::string identity;
};
// The machine's drives in letter order. On Windows the system's drive letters; elsewhere
// C: is "/" and D: onwards the other mounted real file systems in mount-table order
// (virtual ones such as proc or sysfs get no letter); the catalogue keeps those stable.
std::vector<SystemDrive> systemDrives();
// The type of the file system that holds `folder`, as the system names it ("ext4",
// "nfs4", "tmpfs"; "NTFS", "FAT32" on Windows); "" when it cannot be told.
std::string fileSystemType(const std::string& folder);

// One line of Linux's mount table (/proc/self/mountinfo), its fields unescaped.
struct Mount {
    std::string root;   // where it is mounted
    std::string fsType; // the file system's type name ("ext4", "nfs", ...)
    std::string device; // "major:minor" of the file system
    std::string source; // what is mounted ("/dev/sdb1", "server:/export"), "" when not given
};
// The lines of a mount table that can be read, in order; others are passed over.
// Linux only (the Windows drives come from the system).
std::vector<Mount> parseMountTable(std::string_view table);

// A folder whose subtree is being walked. Folders below it are opened by their path
// relative to it, never through a symbolic link or junction and never across a mount
// point, and no handle is kept between calls, so neither depth nor link loops can
// exhaust handles. Thread-safe: several threads may list folders at once.
class WalkRoot {
public:
    // `kernelResolve` false opens every folder one component at a time even where the
    // kernel could resolve the whole path safely (it is the fallback elsewhere).
    explicit WalkRoot(const std::string& rootPath, bool kernelResolve = true);
    ~WalkRoot();
    WalkRoot(const WalkRoot&) = delete;
    WalkRoot& operator=(const WalkRoot&) = delete;

    // 0 when the root could be opened, else the system's error number.
    int error() const { return m_error; }

    // Calls onSubdir(ctx, name) for each entry of the folder at relPath ("" for the root
    // itself, else names joined by kSeparator) that is a folder and not a link; "." and
    // ".." are left out, every other name is passed byte for byte. `buffer` is scratch
    // space the caller reuses. Returns 0, or the error number when the folder could not
    // be opened or read (entries already passed stay passed).
    // With `time`, the folder's change time (see folderTime) is read before its entries,
    // 0 when it cannot be read.
    using SubdirFn = void (*)(void* ctx, std::string_view name);
    int listSubdirs(std::string_view relPath, std::vector<char>& buffer, SubdirFn onSubdir, void* ctx,
                    int64_t* time = nullptr) const;
    // The time the folder at relPath last changed, in nanoseconds of the system's clock:
    // it moves whenever an entry is created, removed or renamed in it. 0 or the error number.
    int folderTime(std::string_view relPath, int64_t& time) const;

    // Whether an error number from listSubdirs means the whole walk cannot go on
    // (out of handles or memory) rather than that one folder is unreadable.
    static bool isFatal(int error);
    // Whether it means the folder went away or was replaced (by a file or a link) since
    // its parent was listed, or is the mount point of another file system, which a walk
    // never enters: nothing was lost that the index should hold.
    static bool isPassedOver(int error);
    static std::string describe(int error);

    // Linux: opens the folder at relPath, at any depth and never through a link, for calls
    // that take a path no longer than the system's limit (as /proc/self/fd/N). The caller
    // closes `fd`. 0 or the error number.
    int openFolder(std::string_view relPath, int& fd) const;

private:
    intptr_t m_handle = -1;
    std::uint64_t m_device = 0;
    int m_error = 0;
    bool m_kernelResolve = true;
};

// An advisory, exclusive lock on a file (created when missing, readable by this user
// alone, never through a symbolic link, and only a plain file), taken without waiting
// and held until unlock() or destruction. The system lets go of it when the process
// dies, so a killed holder never leaves it taken. Two objects conflict even within one
// process. The lock file itself is never removed: removing it would let two writers
// each lock a different file of the same name.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // 0 once taken, else the system's error number; isBusy(it) when another holds it,
    // isNotPlainFile(it) when the name is a link or something other than a file.
    int tryLock(const std::filesystem::path& file);
    static bool isNotPlainFile(int error);
    void unlock();
    static bool isBusy(int error);
    static std::string describe(int error) { return WalkRoot::describe(error); }

private:
    intptr_t m_handle = -1;
};

} // namespace qvl::platform
