#include "app/win32/WinListRows.h"

namespace tessara::win32 {

TRowColours SetRowColours(const DRAWITEMSTRUCT& item) {
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const TRowColours colours = {
        ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW),
        ::GetSysColor(selected                              ? COLOR_HIGHLIGHTTEXT
                      : (item.itemState & ODS_DISABLED) != 0 ? COLOR_GRAYTEXT
                                                             : COLOR_WINDOWTEXT)};
    ::SetBkColor(item.hDC, colours.Back);
    ::SetTextColor(item.hDC, colours.Fore);
    return colours;
}

void DrawRowText(const DRAWITEMSTRUCT& item, std::wstring_view text, int indent) {
    ::ExtTextOutW(item.hDC, item.rcItem.left + indent, item.rcItem.top, ETO_OPAQUE | ETO_CLIPPED,
                  &item.rcItem, text.data(), static_cast<UINT>(text.size()), nullptr);
}

void DrawRowFocus(const DRAWITEMSTRUCT& item) {
    if ((item.itemState & ODS_FOCUS) != 0) ::DrawFocusRect(item.hDC, &item.rcItem);
}

}  // namespace tessara::win32
