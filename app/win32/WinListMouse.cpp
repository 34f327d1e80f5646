#include "app/win32/WinListMouse.h"

#include <commctrl.h>

#include <cstdlib>

namespace tessara::win32 {
namespace {

constexpr UINT_PTR kListMouseId = 3;
constexpr int kNoEntry = -1;
constexpr int kNoTip = -2;  // the tool's text is of no entry's (none yet, or the press's)

struct TListMouse {
    THints& Hints;
    TListMouseHandlers On;
    int TipEntry = kNoTip;     // the entry whose text the tool holds
    int Pressed = kNoEntry;    // the entry the left button went down on
    POINT PressedAt = {0, 0};
    bool Dragging = false;     // since then the mouse left the drag rectangle
};

POINT PointOf(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

// The entry under a point of the list's client area; every entry is one item height high,
// counted from the top one shown.
int EntryAt(HWND list, POINT at) {
    RECT client;
    ::GetClientRect(list, &client);
    if (!::PtInRect(&client, at)) return kNoEntry;
    const LRESULT height = ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    const LRESULT top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    if (height <= 0 || height == LB_ERR || top == LB_ERR) return kNoEntry;
    const LRESULT entry = top + at.y / height;
    return entry < ::SendMessageW(list, LB_GETCOUNT, 0, 0) ? static_cast<int>(entry) : kNoEntry;
}

bool OutsideDragRect(POINT from, POINT to) {
    return std::abs(to.x - from.x) > ::GetSystemMetrics(SM_CXDRAG) / 2 ||
           std::abs(to.y - from.y) > ::GetSystemMetrics(SM_CYDRAG) / 2;
}

void OnMove(TListMouse& mouse, HWND list, POINT at) {
    if (mouse.Pressed != kNoEntry) {
        if (OutsideDragRect(mouse.PressedAt, at)) mouse.Dragging = true;
        return;
    }
    // While no tip shows, the tool starts over at every move with the text of the entry
    // under the mouse: the tip that shows when the mouse rests is that entry's as it is now.
    // A shown tip stays while the mouse is on its entry.
    const int entry = EntryAt(list, at);
    if (mouse.Hints.Showing() && entry == mouse.TipEntry) return;
    mouse.TipEntry = entry;
    mouse.Hints.Renew(list, mouse.On.HintAt(entry));
}

LRESULT CALLBACK ListMouseProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) {
    auto& mouse = *reinterpret_cast<TListMouse*>(data);
    switch (message) {
    case WM_MOUSEMOVE:
        OnMove(mouse, list, PointOf(lParam));
        break;
    case WM_LBUTTONDOWN:
        // No tip while the button is down: the press is a click or the start of a drag.
        mouse.TipEntry = kNoTip;
        mouse.Hints.Renew(list, std::string());
        mouse.PressedAt = PointOf(lParam);
        mouse.Pressed = EntryAt(list, mouse.PressedAt);
        mouse.Dragging = false;
        break;
    case WM_LBUTTONUP: {
        const int from = mouse.Pressed;
        const bool dragged = mouse.Dragging && from != kNoEntry;
        mouse.Pressed = kNoEntry;
        mouse.Dragging = false;
        // The list ends its tracking first and reports the entry its selection ended on.
        const LRESULT result = ::DefSubclassProc(list, message, wParam, lParam);
        if (dragged) mouse.On.Dragged(from, static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)));
        return result;
    }
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        // Another window took the mouse (a message box, a switch of programs): no drop.
        mouse.Pressed = kNoEntry;
        mouse.Dragging = false;
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(list, ListMouseProc, kListMouseId);
        delete &mouse;
        return ::DefSubclassProc(list, message, wParam, lParam);
    default:
        break;
    }
    if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK) mouse.Hints.RelayFrom(list, message, wParam, lParam);
    return ::DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace

void HookListMouse(HWND list, THints& hints, TListMouseHandlers handlers) {
    auto* mouse = new TListMouse{hints, std::move(handlers)};
    if (!::SetWindowSubclass(list, ListMouseProc, kListMouseId, reinterpret_cast<DWORD_PTR>(mouse)))
        delete mouse;
}

}  // namespace tessara::win32
