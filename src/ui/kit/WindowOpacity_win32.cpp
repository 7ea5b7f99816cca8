#include "platform/WindowOpacity.h"

namespace qvl::platform {

// Layered windows draw their opacity on every Windows version the program runs on.
bool windowOpacitySupported() {
    return true;
}

} // namespace qvl::platform
