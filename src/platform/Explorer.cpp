#include "platform/Platform.h"

namespace qvl::platform {

std::string explorerCommandLine(const std::string& folder, bool withTree, const std::string& windowsDir) {
    // The browser of the Windows folder, never an explorer.exe that the search path
    // (the current folder first) happens to find. The folder in quotes, so that a comma
    // in its name does not end it; without its last backslash, which would escape the
    // closing quote. A drive root ("C:\") has neither a comma nor room to cut, and
    // stays bare.
    std::string exe = windowsDir.empty() ? "explorer.exe" : "\"" + windowsDir + "\\explorer.exe\"";
    std::string target = folder;
    if (target.size() > 3) {
        if (target.back() == '\\')
            target.pop_back();
        target = "\"" + target + "\"";
    }
    return exe + (withTree ? " /e,  " : " ") + target;
}

} // namespace qvl::platform
