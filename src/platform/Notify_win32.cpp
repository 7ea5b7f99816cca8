#include "platform/ChangeService.h"
#include "platform/Notify.h"

#include "platform/Win32Text.h"

#include <windows.h>

#include <memory>

namespace qvl::platform {

// One ReadDirectoryChangesW per watched folder, with its subfolders: a drive needs one
// watch, on its root, and every event names the entry below it that changed.
struct FolderNotifier::Watch {
    HANDLE folder = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    alignas(DWORD) char buffer[64 * 1024];
    bool pending = false;

    ~Watch() {
        if (folder != INVALID_HANDLE_VALUE) {
            CancelIo(folder);
            if (pending) {
                DWORD ignored;
                GetOverlappedResult(folder, &overlapped, &ignored, TRUE);
            }
            CloseHandle(folder);
        }
        if (overlapped.hEvent)
            CloseHandle(overlapped.hEvent);
    }
    bool start() {
        ResetEvent(overlapped.hEvent);
        pending = ReadDirectoryChangesW(folder, buffer, sizeof buffer, TRUE, FILE_NOTIFY_CHANGE_DIR_NAME,
                                        nullptr, &overlapped, nullptr) != 0;
        return pending;
    }
};

FolderNotifier::FolderNotifier() = default;
FolderNotifier::~FolderNotifier() = default;

bool FolderNotifier::watchesSubtree() {
    return true;
}

int FolderNotifier::add(const std::string& path, int& id, const WalkRoot*, std::string_view) {
    id = -1;
    auto w = std::make_unique<Watch>();
    w->folder = CreateFileW(longPath(toWide(path)).c_str(), FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (w->folder == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    w->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!w->overlapped.hEvent || !w->start())
        return static_cast<int>(GetLastError());
    id = static_cast<int>(m_watches.size());
    m_watches.push_back(std::move(w));
    return 0;
}

void FolderNotifier::remove(int id) {
    if (id >= 0 && static_cast<size_t>(id) < m_watches.size())
        m_watches[id].reset();
}

bool FolderNotifier::limitReached(int) {
    return false;
}

bool FolderNotifier::isDenied(int error) {
    return error == ERROR_ACCESS_DENIED;
}

int64_t FolderNotifier::watchLimit() {
    return 0;
}

// The change service is Linux's (fanotify); a watch of a drive's root covers it all here.
bool FolderNotifier::followService(const std::string&) {
    return false;
}

bool FolderNotifier::serviceFollows(const std::string&) const {
    return false;
}

std::string changesSocketPath() {
    return kChangesSocket;
}

std::string serveChanges(const std::string&, const std::vector<std::string>&, std::atomic<bool>&,
                         const std::function<void(const std::string&)>&) {
    return "the change service runs on Linux only";
}

ChangeFeed::~ChangeFeed() = default;

bool ChangeFeed::connect(const std::string&) {
    return false;
}

bool ChangeFeed::read(std::vector<std::string>&, bool&) {
    return false;
}

uint64_t ChangeFeed::fileSystemOf(const std::string&) {
    return 0;
}

bool FolderNotifier::wait(int timeoutMs, std::vector<Event>& events) {
    std::vector<HANDLE> handles;
    std::vector<int> ids;
    for (size_t i = 0; i < m_watches.size() && handles.size() < MAXIMUM_WAIT_OBJECTS; ++i)
        if (m_watches[i] && m_watches[i]->pending) {
            handles.push_back(m_watches[i]->overlapped.hEvent);
            ids.push_back(static_cast<int>(i));
        }
    if (handles.empty()) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return true;
    }
    DWORD r = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                     static_cast<DWORD>(timeoutMs));
    if (r == WAIT_TIMEOUT)
        return true;
    if (r >= WAIT_OBJECT_0 + handles.size())
        return false;
    // Every watch that has news, not only the first.
    for (size_t k = 0; k < handles.size(); ++k) {
        if (WaitForSingleObject(handles[k], 0) != WAIT_OBJECT_0)
            continue;
        Watch& w = *m_watches[ids[k]];
        DWORD bytes = 0;
        w.pending = false;
        if (!GetOverlappedResult(w.folder, &w.overlapped, &bytes, FALSE)) {
            DWORD err = GetLastError();
            if (err == ERROR_NOTIFY_ENUM_DIR) {
                events.push_back({Event::Lost, ids[k], false, {}});
            } else {
                events.push_back({Event::Away, ids[k], true, {}}); // the folder went, or its drive
                continue;
            }
        } else if (bytes == 0) {
            events.push_back({Event::Lost, ids[k], false, {}}); // more changes than the buffer held
        } else {
            for (DWORD off = 0;;) {
                auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(w.buffer + off);
                std::string name = toUtf8(info->FileName, info->FileNameLength / sizeof(wchar_t));
                size_t sep = name.find_last_of("\\/");
                events.push_back(
                    {Event::Changed, ids[k], true, sep == std::string::npos ? "" : name.substr(0, sep)});
                if (info->NextEntryOffset == 0)
                    break;
                off += info->NextEntryOffset;
            }
        }
        if (!w.start())
            events.push_back({Event::Away, ids[k], true, {}});
    }
    return true;
}

} // namespace qvl::platform
