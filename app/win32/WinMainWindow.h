// The main window "TmForm": its controls as laid out, their font, colours and hints, and the
// window procedure, which only turns messages into calls of the form's handlers.
#pragma once

#include <windows.h>

#include <string>

#include "app/Ports.h"
#include "app/win32/WinControls.h"
#include "app/win32/WinPasteMenu.h"

namespace tessara {
class TmForm;
}

namespace tessara::win32 {

class TWinApplication;

inline constexpr wchar_t kMainWindowClass[] = L"TmForm";

// Control identifiers, as other programs find the controls with GetDlgItem.
enum TControlId : int {
    idButton1 = 101,
    idButton2 = 102,
    idButton3 = 103,
    idButton4 = 104,
    idButton5 = 105,
    idButtonMore = 106,
    idDlgForms = 110,
    idEdtName = 111,
    idLabel1 = 121,
    idLabel2 = 122,
    idLabel3 = 123,
    idMemoOfHints = 130,
    idStatusBar1 = 140,
};

// The client area as laid out; the outer width is set afterwards by the memo toggle.
inline constexpr int kClientWidth = 618;
inline constexpr int kClientHeight = 282;

class TWinMainWindow final : public IMainWindow {
public:
    TWinMainWindow() = default;
    TWinMainWindow(const TWinMainWindow&) = delete;
    TWinMainWindow& operator=(const TWinMainWindow&) = delete;
    ~TWinMainWindow();

    // Creates the window, hidden, with all its controls, owned by the application's window.
    void Create(HINSTANCE instance, HICON icon, TWinApplication& application);
    // The form whose handlers the window's events run, and whose error box shows failures.
    void SetForm(TmForm* form);
    HWND Handle() const { return Window; }
    HWND Control(int id) const { return ::GetDlgItem(Window, id); }
    THints& ControlHints() { return Hints; }

    // Centres the window on the screen with its current size.
    void CenterOnScreen();
    // Runs a handler of the form; an exception it raises is shown in the standard error box.
    // True when the handler ended normally (or there is no form to run it).
    template <class F>
    bool Guard(F&& handler) {
        if (Form == nullptr) return true;
        try {
            handler();
            return true;
        } catch (const std::exception& error) {
            ShowError(error);
            return false;
        }
    }

    // The DPI the window is laid out for: its display's.
    int Dpi() const { return LayoutDpi; }

    void SetOuterWidth(int width) override;
    void FocusNameBox() override;
    std::string Caption() const override;

    // A key down in the window or one of its controls, before the control sees it: the form's
    // window-wide commands. True when the form took it.
    bool KeyDown(const MSG& message);

    TWinListBox DlgForms;
    TWinEditBox edtName;
    TWinButton Button2;
    TWinButton Button3;
    TWinButton ButtonMore;
    TWinStatusBar StatusBar1;
    TWinPasteMenu PopupMenu;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(HINSTANCE instance);
    // Places and sizes the controls for the window's DPI and gives them a font made for it.
    void LayOutControls();
    // The window's outer size at a DPI: the outer width the form set last (or the laid-out
    // client width) and the laid-out client height, each scaled, with the frame at that DPI.
    SIZE OuterSize(int dpi) const;
    // Gives the window its outer size at its DPI, at a new place or where it is.
    void FitOuterSize(const POINT* at);
    int StatusBarHeight() const;
    // WM_DPICHANGED: the window moves to where the system suggests, at its own size there.
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnCommand(int id, int code);
    LRESULT OnColorStatic(HDC dc, HWND control);
    void OnContextMenu(HWND target, LPARAM position);
    // WM_ACTIVATE: keeps the focused control across a switch to another window and back.
    void OnActivate(bool active);
    // Gives the focus back to the remembered control, when it can take it.
    void RestoreFocus();
    // WM_SIZE with the new client size.
    void OnSize(int clientWidth, int clientHeight);
    void ShowError(const std::exception& error);

    HWND Window = nullptr;
    TWinApplication* Application = nullptr;
    TmForm* Form = nullptr;
    HFONT Font = nullptr;
    int LayoutDpi = 96;
    // The outer width at 96 DPI the form set last; 0: the laid-out client area's.
    int LayoutOuterWidth = 0;
    THints Hints;
    // The control that has (or is to get) the focus while the window is active.
    HWND FocusedControl = nullptr;
    UINT TaskbarCreatedMessage = 0;
};

}  // namespace tessara::win32
