#include "ui/kit/WindowOpacity.h"

namespace qvl::ui {

// Layered windows draw their opacity on every Windows version the program runs on.
bool windowOpacitySupported() {
    return true;
}

} // namespace qvl::ui
