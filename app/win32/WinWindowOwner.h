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

}  // namespace tessara::win32
