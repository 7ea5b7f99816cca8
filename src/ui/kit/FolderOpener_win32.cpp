#include "platform/FolderOpener.h"

#include "platform/Platform.h"

namespace qvl::platform {

std::string openFolder(const std::string& folder, bool withTree) {
    return startCommandLine(explorerCommandLine(folder, withTree, windowsFolder()));
}

} // namespace qvl::platform
