#include "platform/Platform.h"

namespace qvl::platform {

std::string explorerCommandLine(const std::string& folder, bool withTree) {
    return (withTree ? "explorer.exe /e,  " : "explorer.exe ") + folder;
}

} // namespace qvl::platform
