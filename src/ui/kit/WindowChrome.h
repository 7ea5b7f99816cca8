#pragma once
// Window chrome shared by the borderless windows.

#include <QRect>
#include <QWidget>

namespace qvl::ui {

// The border rectangle under a title strip, in twips: left 1, top the strip's height + 5,
// the window's width, the window's height less the strip's height less 1.
QRect FrameBorderRect(int windowWidth, int windowHeight, int stripHeight);
// Sizes the child `Shape1` of `window` under its child `ARGradient1` (both looked up by
// name); does nothing when either is missing.
void FrameBorder(QWidget* window);

} // namespace qvl::ui
