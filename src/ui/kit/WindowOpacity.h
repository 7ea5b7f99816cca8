#pragma once
// Whether the windowing system shows whole-window opacity. Uses Qt; part of the
// window library, not of the core.

namespace qvl::ui {

// True where a window's opacity is drawn: on X11 only while a compositing manager runs;
// never on the offscreen and minimal platforms, nor on Wayland, which has no protocol
// for it.
bool windowOpacitySupported();

} // namespace qvl::ui
