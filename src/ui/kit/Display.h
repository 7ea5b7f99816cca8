#pragma once
// Whether the program can open a window at all; used before the toolkit starts, since
// the toolkit aborts when it finds no display.

#include <string>

namespace qvl::ui {

// True when a display can be reached; else false with the reason in `why`.
bool displayAvailable(std::string& why);

} // namespace qvl::ui
