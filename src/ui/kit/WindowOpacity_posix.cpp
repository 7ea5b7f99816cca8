#include "ui/kit/WindowOpacity.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

namespace qvl::ui {

bool windowOpacitySupported() {
    if (QGuiApplication::platformName() != "xcb")
        return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    // A compositing manager owns the selection _NET_WM_CM_S<screen>; it is asked each
    // time, because one can start or stop while the program runs.
    int screen = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        std::string d(display);
        size_t dot = d.rfind('.');
        if (dot != std::string::npos && dot > d.rfind(':'))
            screen = std::atoi(d.c_str() + dot + 1);
    }
    std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.c_str()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    bool running = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return running;
}

} // namespace qvl::ui
