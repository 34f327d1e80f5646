#include "app/Scaling.h"

#include <cstdint>

namespace tessara {

int ScaleToDpi(int value, int dpi) {
    if (dpi <= 0 || dpi == kLayoutDpi) return value;
    // Round to nearest, halves away from zero; 64 bits: no product of two ints overflows.
    const int64_t product = static_cast<int64_t>(value) * dpi;
    const int64_t half = kLayoutDpi / 2;
    const int64_t scaled = product >= 0 ? (product + half) / kLayoutDpi : (product - half) / kLayoutDpi;
    return static_cast<int>(scaled);
}

TLayoutRect ScaleToDpi(const TLayoutRect& rect, int dpi) {
    return {ScaleToDpi(rect.Left, dpi), ScaleToDpi(rect.Top, dpi), ScaleToDpi(rect.Width, dpi),
            ScaleToDpi(rect.Height, dpi)};
}

int ScaleOuterWidthToDpi(int layoutOuterWidth, int frameAtLayoutDpi, int frameAtDpi, int dpi) {
    if (dpi <= 0 || dpi == kLayoutDpi) return layoutOuterWidth;
    return ScaleToDpi(layoutOuterWidth - frameAtLayoutDpi, dpi) + frameAtDpi;
}

}  // namespace tessara
