#include "ui/kit/Display.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace qvl::ui {

bool displayAvailable(std::string& why) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if ((platform && *platform) || std::getenv("WAYLAND_DISPLAY"))
        return true; // the chosen platform answers for itself
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        why = "there is no display (DISPLAY is not set)";
        return false;
    }
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!ok)
        why = std::string("the display ") + display + " cannot be reached";
    return ok;
}

} // namespace qvl::ui
