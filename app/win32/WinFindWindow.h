// The find window: a small topmost popup with a search box over a virtual list, opened by
// the program's system-wide hotkey. It draws and forwards; TFindForm decides.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/FindForm.h"

namespace tessara::win32 {

inline constexpr wchar_t kFindWindowClass[] = L"TessaraFind";

// The hotkey: Ctrl+Shift+Insert, registered for the find window under this identifier (other
// programs may post the find window WM_HOTKEY with it).
inline constexpr int kFindHotkeyId = 1;
inline constexpr UINT kFindHotkeyModifiers = MOD_CONTROL | MOD_SHIFT;
inline constexpr UINT kFindHotkeyKey = VK_INSERT;

// Control identifiers inside the find window.
enum TFindControlId : int {
    idFindSearch = 301,
    idFindList = 302,
};

class TWinFindWindow final : public IFindWindow {
public:
    TWinFindWindow() = default;
    TWinFindWindow(const TWinFindWindow&) = delete;
    TWinFindWindow& operator=(const TWinFindWindow&) = delete;
    ~TWinFindWindow();

    // Creates the window, hidden, with its search box and list.
    void Create(HINSTANCE instance, HICON icon);
    // The form whose handlers the window's events run; failures go to OnError.
    void SetForm(TFindForm* form, std::function<void(const std::exception&)> onError);
    HWND Handle() const { return Window; }

    // RegisterHotKey / UnregisterHotKey for this window. False when another program holds
    // the combination.
    bool RegisterHotkey();
    void UnregisterHotkey();

    void Show() override;
    void Hide() override;
    void RestorePreviousWindow() override;
    std::string SearchText() const override;
    void SetSearchText(const std::string& text) override;
    void SetRows(int count, int selected) override;
    void SetSelectedRow(int row) override;
    int VisibleRows() const override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SearchBoxProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void DrawRow(const DRAWITEMSTRUCT& item);
    void Layout();
    // Takes Dpi as the window's: the font made for it, the row height from that font.
    void ApplyDpi(int dpi);
    // A laid-out pixel size at the window's DPI.
    int Scaled(int value) const;
    template <class F>
    void Guard(F&& handler);

    HWND Window = nullptr;
    HWND Search = nullptr;
    HWND List = nullptr;
    HWND Previous = nullptr;  // the active window before Show
    HFONT Font = nullptr;
    int Dpi = 0;      // the DPI the window is laid out for
    int FontDpi = 0;  // the DPI Font was made for
    int RowHeight = 16;
    bool SettingText = false;
    bool HotkeyRegistered = false;
    TFindForm* Form = nullptr;
    std::function<void(const std::exception&)> OnError;
};

}  // namespace tessara::win32
