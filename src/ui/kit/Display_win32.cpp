#include "platform/Display.h"

namespace qvl::platform {

// A Windows session always has a desktop to open windows on.
bool displayAvailable(std::string&) {
    return true;
}

} // namespace qvl::platform
