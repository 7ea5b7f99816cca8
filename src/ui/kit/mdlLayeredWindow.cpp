#include "ui/kit/mdlLayeredWindow.h"

#include "ui/kit/WindowOpacity.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cmath>

namespace qvl::ui {

namespace {

constexpr char kLayeredProperty[] = "qvlLayered";
constexpr int32_t kNotSupported = 120; // the platform's "call not implemented"

// Qt hands opacity to the compositor and returns at once, where the first platform
// redrew the window before returning. Waiting this long after each change gives fades
// about the length they had there (a fade-in to 90 % in about a third of a second).
constexpr unsigned long kDrawMilliseconds = 4;

int32_t applyAlphaToWindow(QWidget* window, int alpha) {
    if (!ui::windowOpacitySupported())
        return kNotSupported;
    window->setWindowOpacity(alpha / 255.0);
    QThread::msleep(kDrawMilliseconds);
    return 0;
}

uint32_t steadyTicks() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<uint32_t>(clock.elapsed());
}

int16_t roundedStep(uint32_t elapsed, double divisor) {
    auto step = static_cast<int16_t>(std::nearbyint(elapsed / divisor)); // ties to even
    return step == 0 ? 1 : step;
}

// Shows one level of a fade and handles events when asked; on the first pass (step 0)
// fixes the step from how long the change took, divided by `divisor`.
void fadeStep(int16_t visualEffects, QWidget* window, int16_t level, bool pump, double divisor,
              int16_t& step) {
    uint32_t t1 = layeredPlatform().tickCount();
    SetTransparency(visualEffects, window, level, false);
    uint32_t t2 = layeredPlatform().tickCount(); // unsigned: right across a wrap-around
    if (pump)
        QCoreApplication::processEvents();
    if (step == 0)
        step = roundedStep(t2 - t1, divisor);
}

} // namespace

LayeredPlatform& layeredPlatform() {
    static LayeredPlatform platform{steadyTicks, applyAlphaToWindow};
    return platform;
}

int alphaForPercent(int16_t percent) {
    if (percent < 0 || percent > 100)
        percent = 100;
    return static_cast<int>(std::nearbyint(percent * 255.0 / 100.0));
}

void SetLayeredStyle(QWidget* window, int16_t flag) {
    if (window)
        window->setProperty(kLayeredProperty, flag == -1);
}

int32_t SetTransparency(int16_t visualEffects, QWidget* window, int16_t percent, bool force) {
    if (visualEffects == 0 && !force)
        return 0;
    if (!window)
        return kNotSupported;
    SetLayeredStyle(window, -1);
    return layeredPlatform().applyAlpha(window, alphaForPercent(percent));
}

void FadeOut(int16_t visualEffects, QWidget* window, int16_t start, bool pump) {
    if (visualEffects == 0)
        return;
    int16_t level = start;
    int16_t step = 0;
    while (level >= 0) {
        fadeStep(visualEffects, window, level, pump, 1.0, step);
        level = static_cast<int16_t>(level - step);
    }
    SetTransparency(visualEffects, window, 0, false);
}

void FadeIn(int16_t visualEffects, QWidget* window, int16_t target, bool pump) {
    if (visualEffects == 0)
        return;
    if (target < 0) {
        SetTransparency(visualEffects, window, target, false);
        return;
    }
    int16_t level = 0;
    int16_t step = 0;
    while (level <= target) {
        fadeStep(visualEffects, window, level, pump, 5.0, step);
        level = static_cast<int16_t>(level + step);
    }
    SetTransparency(visualEffects, window, target, false);
}

} // namespace qvl::ui
