#include "ui/kit/Display.h"

namespace qvl::ui {

// A Windows session always has a desktop to open windows on.
bool displayAvailable(std::string&) {
    return true;
}

} // namespace qvl::ui
