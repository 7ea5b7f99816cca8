#include "platform/Platform.h"

#include "platform/Win32Text.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cwchar>

namespace qvl::platform {

std::filesystem::path executableDir() {
    std::wstring buffer(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    buffer.resize(n);
    return std::filesystem::path(buffer).parent_path();
}

std::filesystem::path userDataDir() {
    std::string base = getEnv("LOCALAPPDATA");
    if (base.empty())
        base = getEnv("APPDATA");
    return std::filesystem::path(toWide(base)) / L"Quorvel";
}

Ownership ownership(const std::filesystem::path& path) {
    // The per-user folder's ACL (the user, the system and administrators) is passed on
    // to everything made in it; nothing here reads the ACLs themselves.
    Ownership o;
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    o.exists = !ec && std::filesystem::exists(st);
    o.folder = std::filesystem::is_directory(st);
    o.regular = std::filesystem::is_regular_file(st);
    return o;
}

bool makePrivate(const std::filesystem::path&) {
    return true; // see ownership()
}

int createPrivateFolder(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
        return EEXIST;
    std::filesystem::create_directories(path, ec);
    return ec ? ec.value() : 0;
}

std::FILE* openPrivateFile(const std::filesystem::path& path) {
    return _wfopen(longPath(path.wstring()).c_str(), L"w+b");
}

bool isWritableDir(const std::filesystem::path& dir) {
    // Access rights on Windows are ACLs: trying is the only sure test. The probe is a new
    // file of a name no other process uses; one that a crash left behind (even read-only,
    // even under this process's number) only makes the next name be tried.
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::filesystem::path probe =
            dir / (L"qvl-write-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(serial.fetch_add(1)) + L".tmp");
        HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

std::string fileIdentity(const std::filesystem::path& file) {
    HANDLE h = CreateFileW(longPath(file.wstring()).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok)
        return {};
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
           std::to_string(info.nFileIndexLow);
}

std::string getEnv(const char* name) {
    std::wstring key = toWide(name);
    DWORD n = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (n == 0)
        return {};
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(key.c_str(), value.data(), n);
    value.resize(n);
    return toUtf8(value);
}

int64_t threadCpuNanos() {
    return -1; // GetThreadTimes counts in scheduler ticks of about 15 ms: too coarse
}

void setIdleIo(bool) {}
void giveBackMemory() {}

std::string startDetached(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workingDir) {
    std::string line = program;
    for (const std::string& a : args)
        line += " " + a;
    return startCommandLine(line, workingDir);
}

std::string windowsFolder() {
    wchar_t buffer[MAX_PATH];
    UINT n = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? toUtf8(std::wstring(buffer, n)) : std::string();
}

std::string startCommandLine(const std::string& commandLine, const std::string& workingDir, bool console) {
    std::wstring line = toWide(commandLine);
    std::wstring dir = toWide(workingDir);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        console ? CREATE_NEW_CONSOLE : DETACHED_PROCESS, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &startup, &process))
        return "cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {};
}

std::string systemVersionText() {
    // GetVersionEx reports Windows 8 on every later version; RtlGetVersion tells the truth.
    RTL_OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    using RtlGetVersionFn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                                     reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                               : nullptr;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0)
        return "Windows";
    std::string name = info.dwMajorVersion == 5 && info.dwMinorVersion == 0 ? "Windows 2000" : "Windows";
    return name + " (" + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
           ") Build " + std::to_string(info.dwBuildNumber) + " " +
           toUtf8(info.szCSDVersion, wcslen(info.szCSDVersion));
}

std::vector<SystemDrive> systemDrives() {
    std::vector<SystemDrive> drives;
    wchar_t buffer[256];
    DWORD n = GetLogicalDriveStringsW(255, buffer);
    for (const wchar_t* root = buffer; n > 0 && root < buffer + n && *root; root += wcslen(root) + 1) {
        wchar_t letter = root[0];
        if (letter < L'A' || letter > L'Z')
            continue;
        drives.push_back({static_cast<char>(letter),
                          static_cast<int32_t>(GetDriveTypeW(root)),
                          toUtf8(root, wcslen(root)),
                          {}});
    }
    return drives;
}

std::string fileSystemType(const std::string& folder) {
    // The volume that holds the folder: C:\ for C:\Users, the share for a folder on one.
    std::wstring path = toWide(folder);
    wchar_t volume[MAX_PATH + 1];
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1))
        return {};
    wchar_t type[MAX_PATH + 1];
    if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, type, MAX_PATH + 1))
        return {};
    return toUtf8(type, wcslen(type));
}

WalkRoot::WalkRoot(const std::string& rootPath, bool kernelResolve)
    : m_kernelResolve(kernelResolve) {
    std::wstring root = toWide(rootPath);
    DWORD attributes = GetFileAttributesW(longPath(root).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_error = static_cast<int>(GetLastError() ? GetLastError() : ERROR_DIRECTORY);
        return;
    }
    // The handle is the root's text, kept for the walk; nothing stays open.
    m_handle = reinterpret_cast<intptr_t>(new std::wstring(root));
}

WalkRoot::~WalkRoot() {
    delete reinterpret_cast<std::wstring*>(m_handle == -1 ? 0 : m_handle);
}

namespace {

// A folder's last-write time in nanoseconds; it moves when an entry is
// created, removed or renamed in it.
int timeOf(const std::wstring& dir, int64_t& time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(longPath(dir).c_str(), GetFileExInfoStandard, &data))
        return static_cast<int>(GetLastError());
    // 100 ns ticks since 1601, made nanoseconds since 1970 like the other systems' times.
    constexpr int64_t kTicksTo1970 = 116444736000000000;
    auto ticks = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                      data.ftLastWriteTime.dwLowDateTime);
    time = (ticks - kTicksTo1970) * 100;
    return 0;
}

std::wstring folderOf(intptr_t handle, std::string_view relPath) {
    std::wstring dir = *reinterpret_cast<const std::wstring*>(handle);
    if (!dir.empty() && dir.back() != L'\\')
        dir += L'\\';
    dir += toWide(relPath);
    if (!relPath.empty())
        dir += L'\\';
    return dir;
}

} // namespace

int WalkRoot::folderTime(std::string_view relPath, int64_t& time) const {
    if (m_handle == -1)
        return m_error;
    return timeOf(folderOf(m_handle, relPath), time);
}

int WalkRoot::listSubdirs(std::string_view relPath, std::vector<char>&, SubdirFn onSubdir, void* ctx,
                          int64_t* time) const {
    if (m_handle == -1)
        return m_error;
    std::wstring dir = folderOf(m_handle, relPath);
    if (time && timeOf(dir, *time) != 0)
        *time = 0;
    std::wstring pattern = longPath(dir + L"*");
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(err);
    }
    do {
        const wchar_t* name = entry.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))
            continue;
        // Junctions, symbolic links and mount points are reparse points: never followed.
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            std::string n = toUtf8(name, wcslen(name));
            onSubdir(ctx, n);
        }
    } while (FindNextFileW(find, &entry));
    DWORD err = GetLastError();
    FindClose(find);
    return err == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(err);
}

bool WalkRoot::isFatal(int error) {
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
           error == ERROR_TOO_MANY_OPEN_FILES;
}

bool WalkRoot::isPassedOver(int error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY;
}

int FileLock::tryLock(const std::filesystem::path& file) {
    unlock();
    HANDLE h = CreateFileW(longPath(file.wstring()).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    OVERLAPPED at{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        int err = static_cast<int>(GetLastError());
        CloseHandle(h);
        return err;
    }
    m_handle = reinterpret_cast<intptr_t>(h);
    return 0;
}

void FileLock::unlock() {
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle)); // closing the handle lets go of the lock
    m_handle = -1;
}

bool FileLock::isBusy(int error) {
    return error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION;
}

bool FileLock::isNotPlainFile(int) {
    return false;
}

std::string WalkRoot::describe(int error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = text ? toUtf8(text, wcslen(text)) : "error " + std::to_string(error);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
        out.pop_back();
    return out;
}

} // namespace qvl::platform
