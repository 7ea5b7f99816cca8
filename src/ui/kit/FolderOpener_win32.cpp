#include "ui/kit/FolderOpener.h"

#include "platform/Platform.h"

namespace qvl::ui {

std::string openFolder(const std::string& folder, bool withTree) {
    return platform::startCommandLine(
        platform::explorerCommandLine(folder, withTree, platform::windowsFolder()));
}

bool canShowInParent() {
    return true;
}

std::string showInParent(const std::string& folder) {
    std::string item =
        folder.size() > 3 && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
    return platform::startCommandLine(platform::windowsFolder() + "\\explorer.exe /select,\"" + item + "\"");
}

std::string openTerminal(const std::string& folder) {
    return platform::startCommandLine(platform::windowsFolder() + "\\System32\\cmd.exe", folder,
                                      /*console=*/true);
}

} // namespace qvl::ui
