#pragma once
// Whole-window opacity and the fades built on it. Opacity is a percentage; the window
// system takes a byte. Every operation does nothing while visual effects are off,
// unless forced.

#include <QWidget>

#include <cstdint>
#include <functional>

namespace qvl::ui {

// What the fades need of the platform; tests replace the members to drive a fade step
// by step and to see every opacity applied.
struct LayeredPlatform {
    // A millisecond clock that may wrap around.
    std::function<uint32_t()> tickCount;
    // Applies alpha 0..255 to the window; 0, or a non-zero error number where the
    // window system cannot show opacity (the window then stays as it was).
    std::function<int32_t(QWidget*, int alpha)> applyAlpha;
};
LayeredPlatform& layeredPlatform();

// percent * 255 / 100, rounded to the nearest integer, ties to even.
int alphaForPercent(int16_t percent);

// Sets (flag -1) or clears (any other flag) the window's layered state.
void SetLayeredStyle(QWidget* window, int16_t flag);
// Applies the opacity (outside 0..100 counts as 100). Returns 0 when it worked or when
// nothing was tried (effects off, not forced), else the platform's error number.
int32_t SetTransparency(int16_t visualEffects, QWidget* window, int16_t percent, bool force);
// Fade from invisible up to `target` / from `start` down to invisible. The step is
// measured once, from how long the first opacity change took. With `pump`, pending
// events are handled once per step. FadeOut leaves the window open.
void FadeIn(int16_t visualEffects, QWidget* window, int16_t target, bool pump);
void FadeOut(int16_t visualEffects, QWidget* window, int16_t start, bool pump);

} // namespace qvl::ui
