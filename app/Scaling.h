// Scaling of the window's laid-out pixel sizes to a display's DPI. Every position, size and
// font height of the window is laid out for 96 DPI; at another DPI each is the laid-out value
// times DPI / 96, rounded to the nearest pixel with halves away from zero (as MulDiv rounds),
// so the window and its popups scale by one rule. At 96 DPI every value is unchanged.
#pragma once

namespace tessara {

// The DPI the window's sizes are laid out for.
inline constexpr int kLayoutDpi = 96;

struct TLayoutRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    friend bool operator==(const TLayoutRect&, const TLayoutRect&) = default;
};

// A laid-out value (a coordinate, a size, or a negative font height) at `dpi`. A DPI that is
// not positive (not known) counts as the layout's own.
int ScaleToDpi(int value, int dpi);
// Each of the rectangle's four values scaled alone, by the same rule.
TLayoutRect ScaleToDpi(const TLayoutRect& rect, int dpi);

// The outer width of a window at `dpi` whose outer width at 96 DPI, frame included, is
// `layoutOuterWidth`: the client part is scaled, the frame is the one the system draws at
// that DPI. `frameAtLayoutDpi` and `frameAtDpi` are the frame's left and right edges together.
int ScaleOuterWidthToDpi(int layoutOuterWidth, int frameAtLayoutDpi, int frameAtDpi, int dpi);

}  // namespace tessara
