#pragma once
// The units of the window descriptions: twips (15 to a logical pixel) and colours as
// integers with red in the low byte (0x00BBGGRR).

#include <QColor>
#include <QRect>

#include <cmath>
#include <cstdint>

namespace qvl::ui {

inline constexpr int kTwipsPerPixel = 15;

inline int px(int twips) {
    return static_cast<int>(std::lround(twips / double(kTwipsPerPixel)));
}
inline QRect pxRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

inline QColor colorFromBgr(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}
inline uint32_t bgr(int red, int green, int blue) {
    return static_cast<uint32_t>(red) | (static_cast<uint32_t>(green) << 8) |
           (static_cast<uint32_t>(blue) << 16);
}

} // namespace qvl::ui
