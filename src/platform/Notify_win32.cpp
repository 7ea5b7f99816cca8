#include "platform/Notify.h"

#include <windows.h>

namespace qvl::platform {

// Not yet on Windows: the watcher says so and ends.
FolderNotifier::FolderNotifier()
    : m_error(ERROR_NOT_SUPPORTED) {}
FolderNotifier::~FolderNotifier() = default;

int FolderNotifier::add(const std::string&, int& id) {
    id = -1;
    return ERROR_NOT_SUPPORTED;
}
void FolderNotifier::remove(int) {}
bool FolderNotifier::limitReached(int) {
    return false;
}
int64_t FolderNotifier::watchLimit() {
    return 0;
}
bool FolderNotifier::wait(int timeoutMs, std::vector<Event>&) {
    Sleep(static_cast<DWORD>(timeoutMs));
    return true;
}

} // namespace qvl::platform
