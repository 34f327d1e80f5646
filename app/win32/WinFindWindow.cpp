#include "app/win32/WinFindWindow.h"

#include <commctrl.h>

#include <algorithm>

#include "app/Scaling.h"
#include "app/Texts.h"
#include "app/win32/WinDpi.h"
#include "app/win32/WinListRows.h"
#include "app/win32/WinText.h"
#include "app/win32/WinWindowOwner.h"
#include "platform/Exceptions.h"

namespace tessara::win32 {
namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 300;
constexpr int kMargin = 4;
constexpr int kSearchHeight = 22;
constexpr int kGap = 12;  // between a row's name and its module line

constexpr int kLeastRowHeight = 16;

// The font of message boxes, which the system picks to show the user's language, at a DPI.
HFONT CreateMessageFont(int dpi) {
    NONCLIENTMETRICSW metrics;
    if (!NonClientMetricsAtDpi(metrics, dpi)) return nullptr;
    return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

// The colour halfway between two, for the dimmed module line.
COLORREF Between(COLORREF a, COLORREF b) {
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
               (GetBValue(a) + GetBValue(b)) / 2);
}

}  // namespace

TWinFindWindow::~TWinFindWindow() {
    UnregisterHotkey();
    if (Window != nullptr) ::DestroyWindow(Window);
    if (Font != nullptr) ::DeleteObject(Font);
}

void TWinFindWindow::Create(HINSTANCE instance, HICON icon) {
    RegisterWindowClass(instance, icon, WindowProc, kFindWindowClass, DialogBackground());

    // A tool window: no taskbar button, no caption; topmost while shown.
    Window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kFindWindowClass,
                               Wide(Texts().MainCaption).c_str(), WS_POPUP | WS_BORDER | WS_CLIPCHILDREN,
                               0, 0, kWidth, kHeight, nullptr, nullptr, instance, this);
    if (Window == nullptr) throw Exception("Cannot create the find window");
    Search = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, 0, 0, 0,
                               0, Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(idFindSearch)),
                               instance, nullptr);
    // Owner data: the list holds no strings, only a count; each visible row is drawn from
    // the form when it is painted.
    List = ::CreateWindowExW(
        WS_EX_CLIENTEDGE, L"LISTBOX", L"",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NODATA | LBS_OWNERDRAWFIXED |
            LBS_NOINTEGRALHEIGHT,
        0, 0, 0, 0, Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(idFindList)), instance,
        nullptr);
    if (Search == nullptr || List == nullptr) throw Exception("Cannot create the find window");
    ::SetWindowSubclass(Search, SearchBoxProc, 1, reinterpret_cast<DWORD_PTR>(this));
    ApplyDpi(WindowDpi(Window));
    Layout();
}

void TWinFindWindow::ApplyDpi(int dpi) {
    Dpi = dpi;
    if (Font != nullptr && FontDpi == dpi) return;
    if (const HFONT font = CreateMessageFont(dpi)) {
        ::SendMessageW(Search, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ::SendMessageW(List, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (Font != nullptr) ::DeleteObject(Font);
        Font = font;
        FontDpi = dpi;
    }
    const HDC dc = ::GetDC(List);
    const HGDIOBJ old = ::SelectObject(dc, Font != nullptr ? Font : ::GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(List, dc);
    RowHeight = std::max<int>(Scaled(kLeastRowHeight), metrics.tmHeight + 4);
    ::SendMessageW(List, LB_SETITEMHEIGHT, 0, RowHeight);
}

void TWinFindWindow::SetForm(TFindForm* form, std::function<void(const std::exception&)> onError) {
    Form = form;
    OnError = std::move(onError);
}

bool TWinFindWindow::RegisterHotkey() {
    // Held down, the keys repeat; one opening is enough.
    HotkeyRegistered =
        ::RegisterHotKey(Window, kFindHotkeyId, kFindHotkeyModifiers | MOD_NOREPEAT, kFindHotkeyKey) != FALSE;
    return HotkeyRegistered;
}

void TWinFindWindow::UnregisterHotkey() {
    if (!HotkeyRegistered) return;
    ::UnregisterHotKey(Window, kFindHotkeyId);
    HotkeyRegistered = false;
}

template <class F>
void TWinFindWindow::Guard(F&& handler) {
    if (Form == nullptr) return;
    try {
        handler();
    } catch (const std::exception& error) {
        if (OnError) OnError(error);
    }
}

int TWinFindWindow::Scaled(int value) const { return ScaleToDpi(value, Dpi); }

void TWinFindWindow::Layout() {
    RECT client;
    ::GetClientRect(Window, &client);
    const int margin = Scaled(kMargin);
    const int width = client.right - 2 * margin;
    // Repainted as they move: the window may be on the screen (a resize, a new scale).
    ::MoveWindow(Search, margin, margin, width, Scaled(kSearchHeight), TRUE);
    const int top = margin + Scaled(kSearchHeight) + margin;
    ::MoveWindow(List, margin, top, width, client.bottom - top - margin, TRUE);
}

void TWinFindWindow::Show() {
    Previous = ::GetForegroundWindow();
    // Beside the mouse pointer, kept inside the work area of the screen that holds it.
    POINT pointer{};
    ::GetCursorPos(&pointer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoW(::MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &monitor))
        work = monitor.rcWork;
    // Sized for the display it opens on: moved there first, it takes that display's DPI, and
    // its font is made for it.
    ::SetWindowPos(Window, nullptr, pointer.x, pointer.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDpi(WindowDpi(Window));
    const int windowWidth = Scaled(kWidth);
    const int windowHeight = Scaled(kHeight);
    const int x = std::max<int>(work.left, std::min<int>(pointer.x, work.right - windowWidth));
    const int y = std::max<int>(work.top, std::min<int>(pointer.y, work.bottom - windowHeight));
    ::SetWindowPos(Window, HWND_TOPMOST, x, y, windowWidth, windowHeight, SWP_SHOWWINDOW);
    ::SetForegroundWindow(Window);
    ::SetFocus(Search);
}

void TWinFindWindow::Hide() { ::ShowWindow(Window, SW_HIDE); }

void TWinFindWindow::RestorePreviousWindow() {
    if (Previous != nullptr && Previous != Window && ::IsWindow(Previous)) ::SetForegroundWindow(Previous);
    Previous = nullptr;
}

std::string TWinFindWindow::SearchText() const { return GetWindowText1251(Search); }

void TWinFindWindow::SetSearchText(const std::string& text) {
    SettingText = true;
    SetWindowText1251(Search, text);
    SettingText = false;
}

void TWinFindWindow::SetRows(int count, int selected) {
    ::SendMessageW(List, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(List, LB_SETCOUNT, static_cast<WPARAM>(count), 0);
    ::SendMessageW(List, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    ::SendMessageW(List, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(List, nullptr, TRUE);
}

void TWinFindWindow::SetSelectedRow(int row) { ::SendMessageW(List, LB_SETCURSEL, static_cast<WPARAM>(row), 0); }

int TWinFindWindow::VisibleRows() const {
    RECT r;
    ::GetClientRect(List, &r);
    return std::max(1, static_cast<int>(r.bottom / RowHeight));
}

void TWinFindWindow::DrawRow(const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const auto [back, fore] = SetRowColours(item);
    DrawRowText(item, {}, 0);
    if (item.itemID == static_cast<UINT>(-1) || Form == nullptr) return;
    const int row = static_cast<int>(item.itemID);
    RECT text = item.rcItem;
    text.left += 3;
    text.right -= 3;
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    // The name, at most two thirds of the row, then the module's first line, dimmed.
    const std::wstring name = Wide(Form->RowName(row));
    RECT need = text;
    ::DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &need, format | DT_CALCRECT);
    RECT nameRect = text;
    nameRect.right = std::min<LONG>(need.right, text.left + (text.right - text.left) * 2 / 3);
    ::DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &nameRect, format);
    RECT lineRect = text;
    lineRect.left = nameRect.right + Scaled(kGap);
    if (lineRect.left < lineRect.right) {
        const std::wstring line = Wide(Form->RowFirstLine(row));
        ::SetTextColor(dc, selected ? Between(fore, back) : ::GetSysColor(COLOR_GRAYTEXT));
        ::DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &lineRect, format | DT_EXPANDTABS);
    }
    DrawRowFocus(item);
}

void TWinFindWindow::OnCommand(int id, int code) {
    if (id == idFindSearch && code == EN_CHANGE && !SettingText) {
        Guard([&] { Form->SearchChanged(); });
    } else if (id == idFindList && (code == LBN_SELCHANGE || code == LBN_DBLCLK)) {
        const int row = static_cast<int>(::SendMessageW(List, LB_GETCURSEL, 0, 0));
        // Typing goes on in the search box after a click in the list.
        ::SetFocus(Search);
        if (code == LBN_SELCHANGE) Guard([&] { Form->RowClicked(row); });
        else Guard([&] { Form->RowDoubleClicked(row); });
    }
}

LRESULT CALLBACK TWinFindWindow::SearchBoxProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR, DWORD_PTR selfData) {
    auto* self = reinterpret_cast<TWinFindWindow*>(selfData);
    if (message == WM_KEYDOWN) {
        const bool control = ::GetKeyState(VK_CONTROL) < 0;
        TFindKey key;
        switch (wParam) {
        case VK_UP: key = TFindKey::Up; break;
        case VK_DOWN: key = TFindKey::Down; break;
        case VK_PRIOR: key = TFindKey::PageUp; break;
        case VK_NEXT: key = TFindKey::PageDown; break;
        case VK_RETURN: key = TFindKey::Enter; break;
        case VK_ESCAPE: key = TFindKey::Escape; break;
        case 'E':
            if (!control) return ::DefSubclassProc(edit, message, wParam, lParam);
            key = TFindKey::Edit;
            break;
        default: return ::DefSubclassProc(edit, message, wParam, lParam);
        }
        if (control && key != TFindKey::Enter && key != TFindKey::Edit)
            return ::DefSubclassProc(edit, message, wParam, lParam);
        self->Guard([&] { self->Form->Key(key); });
        return 0;
    }
    // Enter and Esc come as characters too: the edit box would only beep at them.
    if (message == WM_CHAR && (wParam == '\r' || wParam == 0x1B)) return 0;
    return ::DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK TWinFindWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowOwner<TWinFindWindow>(window, message, lParam);
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT TWinFindWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_HOTKEY:
        if (static_cast<int>(wParam) == kFindHotkeyId) Guard([&] { Form->Hotkey(); });
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        if (wParam == static_cast<WPARAM>(idFindList)) {
            DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_SIZE:
        Layout();
        return 0;
    case kWmDpiChanged: {
        // Moved to a display of another scale while it shows: the font and sizes of that
        // scale, at the place the system suggests (the new size lays the controls out).
        ApplyDpi(LOWORD(wParam));
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(Window, nullptr, suggested.left, suggested.top, Scaled(kWidth), Scaled(kHeight),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::InvalidateRect(Window, nullptr, TRUE);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) Guard([&] { Form->Deactivated(); });
        else ::SetFocus(Search);
        return 0;
    case WM_CLOSE:  // Alt+F4: as Esc
        Guard([&] { Form->Key(TFindKey::Escape); });
        return 0;
    case WM_NCDESTROY: {
        const HWND window = Window;
        Window = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    default:
        break;
    }
    return ::DefWindowProcW(Window, message, wParam, lParam);
}

}  // namespace tessara::win32
