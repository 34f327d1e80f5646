// Rows of an owner-drawn list box, drawn as the standard list box draws its items: the
// colours of the row's state, the text, and the focus rectangle.
#pragma once

#include <windows.h>

#include <string_view>

namespace tessara::win32 {

struct TRowColours {
    COLORREF Back;
    COLORREF Fore;
};

// The row's colours, set into its DC: highlighted when selected, the window's otherwise
// (with grey text in a disabled list).
TRowColours SetRowColours(const DRAWITEMSTRUCT& item);
// The row's background in the DC's background colour, with Text at Indent pixels from the
// row's left edge and at its top, clipped to the row.
void DrawRowText(const DRAWITEMSTRUCT& item, std::wstring_view text, int indent);
// The focus rectangle around the row when it has the focus.
void DrawRowFocus(const DRAWITEMSTRUCT& item);

}  // namespace tessara::win32
