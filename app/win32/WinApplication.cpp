#include "app/win32/WinApplication.h"

#include "app/win32/WinWindowOwner.h"
#include "platform/Charset.h"

namespace tessara::win32 {

TWinApplication::~TWinApplication() {
    if (Window != nullptr) ::DestroyWindow(Window);
}

void TWinApplication::Create(HINSTANCE instance, HICON icon, const std::wstring& title) {
    RegisterWindowClass(instance, icon, WindowProc, kApplicationClass, nullptr);
    // Zero-sized in the middle of the screen: only its taskbar button is ever seen.
    const int x = ::GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = ::GetSystemMetrics(SM_CYSCREEN) / 2;
    Window = ::CreateWindowExW(0, kApplicationClass, title.c_str(),
                               WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                               x, y, 0, 0, nullptr, nullptr, instance, this);
}

void TWinApplication::Minimize() {
    if (Minimized || MainWindow == nullptr) return;
    Minimized = true;
    ::ShowWindow(MainWindow, SW_HIDE);
    if (OnMinimize) OnMinimize();
}

void TWinApplication::HideTaskbarButton() {
    if (Window != nullptr) ::ShowWindow(Window, SW_HIDE);
}

void TWinApplication::Restore() {
    if (!Minimized) return;
    Minimized = false;
    ::ShowWindow(Window, ::IsIconic(Window) ? SW_RESTORE : SW_SHOWNA);  // the taskbar button
    // Showing activates the main window, which gives the focus back to its control.
    ::ShowWindow(MainWindow, SW_SHOW);
}

void TWinApplication::BringMainWindowToFront() { ::SetForegroundWindow(MainWindow); }

void TWinApplication::Terminate() { ::PostQuitMessage(0); }

std::string TWinApplication::Title() const {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string name(path, path + n);
    const size_t slash = name.find_last_of(u"\\/");
    if (slash != std::u16string::npos) name.erase(0, slash + 1);
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos && dot != 0) name.erase(dot);
    return Utf16ToCp1251(name);
}

bool TWinApplication::TranslateKeys(const MSG& message) {
    if (message.message != WM_KEYDOWN || MainWindow == nullptr) return false;
    if (message.hwnd != MainWindow && !::IsChild(MainWindow, message.hwnd)) return false;
    if (OnKey && OnKey(message)) return true;
    if (::GetKeyState(VK_CONTROL) < 0 || ::GetKeyState(VK_MENU) < 0) return false;
    if (message.wParam == VK_TAB) {
        const bool back = ::GetKeyState(VK_SHIFT) < 0;
        const HWND next = ::GetNextDlgTabItem(MainWindow, ::GetFocus(), back ? TRUE : FALSE);
        if (next != nullptr) {
            ::SetFocus(next);
            // A one-line edit box entered by Tab has its text selected, ready to be typed over.
            if ((::SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0 &&
                (::GetWindowLongW(next, GWL_STYLE) & ES_MULTILINE) == 0)
                ::SendMessageW(next, EM_SETSEL, 0, -1);
        }
        return true;
    }
    if (message.wParam == VK_RETURN &&
        (::SendMessageW(message.hwnd, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) != 0) {
        ::SendMessageW(message.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

int TWinApplication::Run() {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (OnMessage) OnMessage(message);
        if (TranslateKeys(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK TWinApplication::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = WindowOwner<TWinApplication>(window, message, lParam);
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT TWinApplication::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            Minimize();
            return 0;
        }
        if ((wParam & 0xFFF0) == SC_RESTORE && Minimized) {
            Restore();
            return 0;
        }
        break;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) Minimize();
        return 0;
    case WM_ACTIVATE:
        // The taskbar button activates this window: hand the activation to the main window.
        if (LOWORD(wParam) != WA_INACTIVE && MainWindow != nullptr &&
            ::IsWindowVisible(MainWindow) && ::IsWindowEnabled(MainWindow)) {
            ::SetActiveWindow(MainWindow);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (MainWindow != nullptr) ::PostMessageW(MainWindow, WM_CLOSE, 0, 0);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    default:
        break;
    }
    return ::DefWindowProcW(Window, message, wParam, lParam);
}

}  // namespace tessara::win32
