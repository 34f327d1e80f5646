#include "app/win32/WinListKeys.h"

#include <commctrl.h>

#include "app/ListKeys.h"

namespace tessara::win32 {
namespace {

constexpr UINT_PTR kListKeysId = 2;

struct TListKeys {
    TListKeyHandler OnKey;
    bool SwallowChar = false;  // the character of the key the form took
    WPARAM SwallowUp = 0;      // and its key up (the context-menu key opens the menu on it)
};

LRESULT CALLBACK ListKeysProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR data) {
    auto& keys = *reinterpret_cast<TListKeys*>(data);
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        keys.SwallowChar = false;
        if (keys.OnKey(static_cast<unsigned>(wParam), HeldModifiers())) {
            keys.SwallowChar = true;
            keys.SwallowUp = wParam;
            return 0;
        }
        break;
    case WM_CHAR:
    case WM_SYSCHAR:
        if (keys.SwallowChar) {
            keys.SwallowChar = false;
            return 0;
        }
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (keys.SwallowUp != 0 && keys.SwallowUp == wParam) {
            keys.SwallowUp = 0;
            return 0;
        }
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(list, ListKeysProc, kListKeysId);
        delete &keys;
        break;
    default:
        break;
    }
    return ::DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace

unsigned HeldModifiers() {
    unsigned modifiers = 0;
    if (::GetKeyState(VK_SHIFT) < 0) modifiers |= kModShift;
    if (::GetKeyState(VK_CONTROL) < 0) modifiers |= kModCtrl;
    if (::GetKeyState(VK_MENU) < 0) modifiers |= kModAlt;
    return modifiers;
}

void HookListKeys(HWND list, TListKeyHandler onKey) {
    auto* keys = new TListKeys{std::move(onKey)};
    if (!::SetWindowSubclass(list, ListKeysProc, kListKeysId, reinterpret_cast<DWORD_PTR>(keys))) delete keys;
}

}  // namespace tessara::win32
