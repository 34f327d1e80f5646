// The object a window belongs to, for window procedures that hand each message on to it.
#pragma once

#include <windows.h>

namespace tessara::win32 {

// The object comes in CreateWindowExW's last parameter and is kept in the window's
// GWLP_USERDATA from WM_NCCREATE on. Null before that, and for a window that is not the
// object's own (T::Handle() names the window the object holds).
template <class T>
T* WindowOwner(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owner = reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return owner != nullptr && owner->Handle() == window ? owner : nullptr;
}

// The dialog background colour, for a window class's background brush.
inline HBRUSH DialogBackground() { return reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1); }

// Registers a class of the program's windows: its procedure, icon and background (null: the
// window paints its own), the arrow cursor.
inline void RegisterWindowClass(HINSTANCE instance, HICON icon, WNDPROC procedure, const wchar_t* name,
                                HBRUSH background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = icon;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    ::RegisterClassExW(&windowClass);
}

}  // namespace tessara::win32
