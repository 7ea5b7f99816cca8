#include "ui/kit/WindowChrome.h"

#include "ui/kit/Twips.h"

namespace qvl::ui {

QRect FrameBorderRect(int windowWidth, int windowHeight, int stripHeight) {
    return QRect(1, stripHeight + 5, windowWidth, windowHeight - stripHeight - 1);
}

void FrameBorder(QWidget* window) {
    auto* shape = window ? window->findChild<QWidget*>("Shape1") : nullptr;
    auto* strip = window ? window->findChild<QWidget*>("ARGradient1") : nullptr;
    if (!shape || !strip)
        return;
    QRect tw = FrameBorderRect(window->width() * kTwipsPerPixel, window->height() * kTwipsPerPixel,
                               strip->height() * kTwipsPerPixel);
    shape->setGeometry(tw.x() / kTwipsPerPixel, px(tw.y()), px(tw.width()), px(tw.height()));
}

} // namespace qvl::ui
