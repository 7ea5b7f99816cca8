#include "ui/kit/FolderOpener.h"

#include "platform/Platform.h"

namespace qvl::ui {

std::string openFolder(const std::string& folder, bool withTree) {
    return platform::startCommandLine(
        platform::explorerCommandLine(folder, withTree, platform::windowsFolder()));
}

} // namespace qvl::ui
