// The application object: a hidden window of its own carries the taskbar button (the main
// window is owned by it and so has none), minimizing hides the program into the tray, and
// the message loop runs here.
#pragma once

#include <windows.h>

#include <functional>

#include "app/Ports.h"

namespace tessara::win32 {

inline constexpr wchar_t kApplicationClass[] = L"TessaraApplication";

class TWinApplication final : public IApplication {
public:
    TWinApplication() = default;
    TWinApplication(const TWinApplication&) = delete;
    TWinApplication& operator=(const TWinApplication&) = delete;
    ~TWinApplication();

    void Create(HINSTANCE instance, HICON icon, const std::wstring& title);
    HWND Handle() const { return Window; }
    void SetMainWindow(HWND mainWindow) { MainWindow = mainWindow; }
    // Run after the program was minimized: the handler of the application's minimize event.
    void SetMinimizeHandler(std::function<void()> handler) { OnMinimize = std::move(handler); }
    // Sees every message before it is dispatched (the tooltips' mouse relay).
    void SetMessageObserver(std::function<void(const MSG&)> observer) {
        OnMessage = std::move(observer);
    }

    // Sees every key down in the main window or one of its controls before anything else
    // does; true when it took the key (the window's own commands, wherever the focus is).
    void SetKeyHandler(std::function<bool(const MSG&)> handler) { OnKey = std::move(handler); }

    // The main window's minimize box or system menu, or the taskbar button: hides the main
    // window and fires the minimize event.
    void Minimize();

    // Runs until Terminate; returns the exit code.
    int Run();

    void HideTaskbarButton() override;
    bool IsMinimized() const override { return Minimized; }
    void Restore() override;
    void BringMainWindowToFront() override;
    void Terminate() override;
    std::string Title() const override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Tab and Shift+Tab move the focus through the main window's controls in tab order;
    // Enter on a focused push button presses it. True when the message was taken.
    bool TranslateKeys(const MSG& message);

    HWND Window = nullptr;
    HWND MainWindow = nullptr;
    bool Minimized = false;
    std::function<void()> OnMinimize;
    std::function<void(const MSG&)> OnMessage;
    std::function<bool(const MSG&)> OnKey;
};

}  // namespace tessara::win32
