#include "app/win32/WinMainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>

#include "app/ClipUnit.h"
#include "app/Scaling.h"
#include "app/Texts.h"
#include "app/win32/WinApplication.h"
#include "app/win32/WinDpi.h"
#include "app/win32/WinDropFiles.h"
#include "app/win32/WinListKeys.h"
#include "app/win32/WinListMouse.h"
#include "app/win32/WinOneWriter.h"
#include "app/win32/WinText.h"
#include "app/win32/WinTrayIcon.h"
#include "app/win32/WinWindowOwner.h"

namespace tessara::win32 {
namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr DWORD kMainStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;

struct TControlLayout {
    int Id;
    const wchar_t* Class;
    DWORD Style;
    DWORD ExStyle;
    int Left, Top, Width, Height;
    std::string TTexts::*Caption;  // null: no caption
    std::string TTexts::*Hint;     // null: no hint
};

// Messages of newer Windows than the headers of Windows 7 declare.
constexpr UINT kWmGetDpiScaledSize = 0x02E4;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = kChild | SS_LEFT;

// In tab order first (Button1 0 ... ButtonMore 9), then the controls that take no focus.
const TControlLayout kLayout[] = {
    {idButton1, L"BUTTON", kButton, 0, 9, 211, 65, 22, &TTexts::Button1Caption, &TTexts::Button1Hint},
    {idDlgForms, L"LISTBOX",
     kChild | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_NODATA |
         LBS_OWNERDRAWFIXED | LBS_WANTKEYBOARDINPUT,
     WS_EX_CLIENTEDGE, 8, 56, 249, 121, nullptr, &TTexts::DlgFormsHint},
    {idEdtName, L"EDIT", kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 62, 184,
     195, 21, nullptr, nullptr},
    {idButton2, L"BUTTON", kButton | WS_DISABLED, 0, 75, 211, 92, 22, &TTexts::Button2Caption,
     &TTexts::Button2Hint},
    {idButton3, L"BUTTON", kButton | WS_DISABLED, 0, 168, 211, 65, 22, &TTexts::Button3Caption,
     &TTexts::Button3Hint},
    {idButton4, L"BUTTON", kButton, 0, 128, 8, 89, 22, &TTexts::Button4Caption, &TTexts::Button4Hint},
    {idButton5, L"BUTTON", kButton, 0, 8, 8, 89, 22, &TTexts::Button5Caption, &TTexts::Button5Hint},
    {idMemoOfHints, L"EDIT", kChild | WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_READONLY,
     WS_EX_CLIENTEDGE, 264, 8, 345, 241, &TTexts::MemoOfHints, nullptr},
    {idButtonMore, L"BUTTON", kButton, 0, 240, 8, 17, 25, &TTexts::ButtonMoreShow,
     &TTexts::ButtonMoreShowHint},
    {idLabel3, L"STATIC", kLabel, 0, 8, 40, 93, 13, &TTexts::Label3Caption, nullptr},
    {idLabel1, L"STATIC", kLabel, 0, 8, 182, 53, 26, &TTexts::Label1Caption, nullptr},
    {idLabel2, L"STATIC", kLabel | SS_NOTIFY, 0, 8, 240, 209, 13, &TTexts::Label2Caption,
     &TTexts::Label2Hint},
};

constexpr int kListItemHeight = 13;
constexpr int kFontHeight = -11;

// The main window's frame at a DPI; the system's where Windows cannot tell it at another.
SIZE MainFrame(int dpi) {
    const std::optional<SIZE> frame = FrameAtDpi(kMainStyle, 0, dpi);
    return frame ? *frame : SystemFrame(kMainStyle, 0);
}

TLayoutRect RectOf(const TControlLayout& layout) {
    return {layout.Left, layout.Top, layout.Width, layout.Height};
}

HFONT MakeFont(int dpi) {
    return ::CreateFontW(ScaleToDpi(kFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
}

// A label grows to its text when the font that the system gives for "MS Sans Serif" is wider
// than the one it was laid out with (another code page's substitute): it is never cut off.
void FitLabelToText(HWND label, HFONT font) {
    const int length = ::GetWindowTextLengthW(label);
    if (length <= 0) return;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(label, text.data(), length + 1);
    const HDC dc = ::GetDC(label);
    const HGDIOBJ old = ::SelectObject(dc, font);
    RECT need = {0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    RECT has;
    ::GetClientRect(label, &has);
    if (need.right <= has.right && need.bottom <= has.bottom) return;
    ::SetWindowPos(label, nullptr, 0, 0, std::max(need.right, has.right),
                   std::max(need.bottom, has.bottom), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
constexpr int kStatusBarHeight = 19;

}  // namespace

TWinMainWindow::~TWinMainWindow() {
    if (Window != nullptr) ::DestroyWindow(Window);
    if (Font != nullptr) ::DeleteObject(Font);
}

void TWinMainWindow::Create(HINSTANCE instance, HICON icon, TWinApplication& application) {
    Application = &application;
    TaskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");

    RegisterWindowClass(instance, icon, WindowProc, kMainWindowClass, DialogBackground());

    // Created on the primary display, at its DPI; the display the window lands on may have
    // another, which the window then takes with its size.
    LayoutDpi = SystemDpi();
    SIZE size = OuterSize(LayoutDpi);
    Window = ::CreateWindowExW(0, kMainWindowClass, Wide(Texts().MainCaption).c_str(), kMainStyle,
                               0, 0, size.cx, size.cy, application.Handle(), nullptr, instance, this);
    if (Window == nullptr) throw Exception("Cannot create the main window");
    if (const int dpi = WindowDpi(Window); dpi != LayoutDpi) {
        LayoutDpi = dpi;
        FitOuterSize(nullptr);
    }
    CreateControls(instance);
    // Repository files of others dropped on the window are taken in.
    ::DragAcceptFiles(Window, TRUE);
}

SIZE TWinMainWindow::OuterSize(int dpi) const {
    const SIZE frame = MainFrame(dpi);
    const int height = ScaleToDpi(kClientHeight, dpi) + frame.cy;
    if (LayoutOuterWidth == 0) return {ScaleToDpi(kClientWidth, dpi) + frame.cx, height};
    // Without the frame at 96 DPI the frame counts as scaling with the rest.
    const std::optional<SIZE> frameAtLayoutDpi = FrameAtDpi(kMainStyle, 0, kLayoutDpi);
    if (!frameAtLayoutDpi) return {ScaleToDpi(LayoutOuterWidth, dpi), height};
    return {ScaleOuterWidthToDpi(LayoutOuterWidth, frameAtLayoutDpi->cx, frame.cx, dpi), height};
}

void TWinMainWindow::FitOuterSize(const POINT* at) {
    const SIZE size = OuterSize(LayoutDpi);
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (at == nullptr ? SWP_NOMOVE : 0);
    ::SetWindowPos(Window, nullptr, at != nullptr ? at->x : 0, at != nullptr ? at->y : 0, size.cx,
                   size.cy, flags);
    if (LayoutDpi == kLayoutDpi) return;
    // The frame the window draws may not be the one Windows gives for its DPI (per-monitor
    // awareness of the first version draws it at the system's DPI, and so does Wine): the
    // client area is what keeps the laid-out size.
    const SIZE frame = MainFrame(LayoutDpi);
    RECT client;
    ::GetClientRect(Window, &client);
    const int dx = size.cx - frame.cx - client.right, dy = size.cy - frame.cy - client.bottom;
    if (dx != 0 || dy != 0)
        ::SetWindowPos(Window, nullptr, 0, 0, size.cx + dx, size.cy + dy, SWP_NOMOVE | flags);
}

int TWinMainWindow::StatusBarHeight() const { return ScaleToDpi(kStatusBarHeight, LayoutDpi); }

void TWinMainWindow::CreateControls(HINSTANCE instance) {
    Hints.Create(Window, nullptr);
    const TTexts& texts = Texts();
    for (const TControlLayout& layout : kLayout) {
        const std::wstring caption = layout.Caption != nullptr ? Wide(texts.*layout.Caption) : L"";
        const TLayoutRect at = ScaleToDpi(RectOf(layout), LayoutDpi);
        const HWND control = ::CreateWindowExW(
            layout.ExStyle, layout.Class, caption.c_str(), layout.Style, at.Left, at.Top, at.Width,
            at.Height, Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.Id)), instance,
            nullptr);
        if (control == nullptr) throw Exception("Cannot create the main window");
        // The list's tooltip has a text for each entry: the list's mouse gives it (below).
        if (layout.Id == idDlgForms) Hints.AddRelayed(control, texts.*layout.Hint);
        else if (layout.Hint != nullptr) Hints.Add(control, texts.*layout.Hint);
    }
    // Along the bottom edge at the laid-out height, with one simple-mode text and no size
    // grip; placed by the window (not by itself), so its height is the same on every system.
    const int clientHeight = ScaleToDpi(kClientHeight, LayoutDpi);
    const HWND status = ::CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", kChild | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
        clientHeight - StatusBarHeight(), ScaleToDpi(kClientWidth, LayoutDpi), StatusBarHeight(),
        Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(idStatusBar1)), instance, nullptr);
    if (status == nullptr) throw Exception("Cannot create the main window");
    ::SendMessageW(status, SB_SIMPLE, TRUE, 0);
    LayOutControls();

    const HWND list = Control(idDlgForms);
    DlgForms.Attach(list);
    HookListKeys(list, [this](unsigned virtualKey, unsigned modifiers) {
        bool taken = false;
        Guard([&] { taken = Form->DlgFormsKeyDown(virtualKey, modifiers); });
        return taken;
    });
    HookListMouse(list, Hints, {[this](int index) {
                                    std::string hint;
                                    Guard([&] { hint = Form->DlgFormsHintAt(index); });
                                    return hint;
                                },
                                [this](int from, int to) { Guard([&] { Form->DlgFormsDragged(from, to); }); }});
    edtName.Attach(Control(idEdtName));
    Button2.Attach(Control(idButton2), &Hints);
    Button3.Attach(Control(idButton3), &Hints);
    ButtonMore.Attach(Control(idButtonMore), &Hints);
    StatusBar1.Attach(status);
    PopupMenu.Create(Window, Control(idButton4));
    FocusedControl = Control(idEdtName);
}

void TWinMainWindow::LayOutControls() {
    const HFONT old = Font;
    Font = MakeFont(LayoutDpi);
    const BOOL redraw = old != nullptr ? TRUE : FALSE;  // a new window paints itself anyway
    for (const TControlLayout& layout : kLayout) {
        const HWND control = Control(layout.Id);
        const TLayoutRect at = ScaleToDpi(RectOf(layout), LayoutDpi);
        ::SetWindowPos(control, nullptr, at.Left, at.Top, at.Width, at.Height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font), redraw);
        if (std::wstring_view(layout.Class) == L"STATIC") FitLabelToText(control, Font);
    }
    const HWND status = Control(idStatusBar1);
    ::SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(Font), redraw);
    RECT client;
    ::GetClientRect(Window, &client);
    ::MoveWindow(status, 0, client.bottom - StatusBarHeight(), client.right, StatusBarHeight(), redraw);
    ::SendMessageW(Control(idDlgForms), LB_SETITEMHEIGHT, 0, ScaleToDpi(kListItemHeight, LayoutDpi));
    if (Hints.Handle() != nullptr)
        ::SendMessageW(Hints.Handle(), TTM_SETMAXTIPWIDTH, 0, ScaleToDpi(kHintsMaxWidth, LayoutDpi));
    if (old != nullptr) ::DeleteObject(old);
}

void TWinMainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    LayoutDpi = dpi > 0 ? dpi : kLayoutDpi;
    // The window's own size at the new DPI: where the system did not ask for it first
    // (WM_GETDPISCALEDSIZE), the suggested size is the old one scaled, rounded otherwise.
    const POINT at = {suggested.left, suggested.top};
    FitOuterSize(&at);
    LayOutControls();
    ::InvalidateRect(Window, nullptr, TRUE);
}

void TWinMainWindow::SetForm(TmForm* form) { Form = form; }

void TWinMainWindow::CenterOnScreen() {
    RECT r;
    ::GetWindowRect(Window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    ::SetWindowPos(Window, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinMainWindow::SetOuterWidth(int width) {
    LayoutOuterWidth = width;
    if (LayoutDpi != kLayoutDpi) {
        FitOuterSize(nullptr);
        return;
    }
    RECT r;
    ::GetWindowRect(Window, &r);
    ::SetWindowPos(Window, nullptr, 0, 0, width, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinMainWindow::FocusNameBox() {
    FocusedControl = Control(idEdtName);
    if (::GetActiveWindow() == Window) ::SetFocus(FocusedControl);
}

std::string TWinMainWindow::Caption() const { return GetWindowText1251(Window); }

bool TWinMainWindow::KeyDown(const MSG& message) {
    if (message.message != WM_KEYDOWN || Form == nullptr) return false;
    bool taken = false;
    Guard([&] {
        taken = Form->MainWindowKeyDown(static_cast<unsigned>(message.wParam), HeldModifiers(),
                                        message.hwnd == Control(idEdtName));
    });
    return taken;
}

void TWinMainWindow::ShowError(const std::exception& error) {
    if (Form != nullptr) {
        Form->ShowException(error);
        return;
    }
    ::MessageBoxW(Window, Wide(error.what()).c_str(), L"Tessara", MB_OK | MB_ICONERROR);
}

void TWinMainWindow::OnCommand(int id, int code) {
    switch (id) {
    case idButton1: if (code == BN_CLICKED) Guard([&] { Form->Button1Click(); }); break;
    case idButton2: if (code == BN_CLICKED) Guard([&] { Form->Button2Click(); }); break;
    case idButton3: if (code == BN_CLICKED) Guard([&] { Form->Button3Click(); }); break;
    case idButton4: if (code == BN_CLICKED) Guard([&] { Form->Button4Click(); }); break;
    case idButton5: if (code == BN_CLICKED) Guard([&] { Form->DlgFormsDblClick(); }); break;
    case idButtonMore: if (code == BN_CLICKED) Guard([&] { Form->MemoOfHintsShowOrHide(); }); break;
    case idDlgForms:
        if (code == LBN_SELCHANGE) Guard([&] { Form->DlgFormsClick(); });
        else if (code == LBN_DBLCLK) Guard([&] { Form->DlgFormsDblClick(); });
        break;
    case idLabel2: if (code == STN_CLICKED) Guard([&] { Form->Label2Click(); }); break;
    case kInsControlsId:
    case kInsModuleId:
        // The menu's commands sent to the window (by another program: the menu itself
        // reports its choice to the handler that opened it).
        Guard([&] { Form->PasteMenuCommand(PasteItemOf(static_cast<UINT>(id))); });
        break;
    default: break;
    }
}

LRESULT TWinMainWindow::OnColorStatic(HDC dc, HWND control) {
    if (control == Control(idLabel2)) {
        ::SetTextColor(dc, kNavy);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    if (control == Control(idMemoOfHints)) {
        // Read-only, but with the background of an edit box.
        ::SetTextColor(dc, kNavy);
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
    }
    return ::DefWindowProcW(Window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                            reinterpret_cast<LPARAM>(control));
}

void TWinMainWindow::OnActivate(bool active) {
    if (active) {
        RestoreFocus();
        // Another program may have changed the repository file meanwhile.
        Guard([&] { Form->FormActivate(); });
        return;
    }
    // Leaving: remember which control had the focus, to give it back on return.
    const HWND focus = ::GetFocus();
    if (focus != nullptr && ::IsChild(Window, focus)) FocusedControl = focus;
}

void TWinMainWindow::RestoreFocus() {
    if (FocusedControl != nullptr && ::IsWindowEnabled(FocusedControl)) ::SetFocus(FocusedControl);
}

void TWinMainWindow::OnSize(int clientWidth, int clientHeight) {
    // The status bar keeps to the bottom edge across the client width. It is repainted
    // whole: a move that widens it repaints only the new part, and the border it drew at
    // its old right edge would stay in the middle of the bar.
    const HWND status = Control(idStatusBar1);
    ::MoveWindow(status, 0, clientHeight - StatusBarHeight(), clientWidth, StatusBarHeight(), TRUE);
    ::InvalidateRect(status, nullptr, TRUE);
}

void TWinMainWindow::OnContextMenu(HWND target, LPARAM position) {
    if (target != Control(idDlgForms)) return;
    if (position == -1) {  // from the keyboard: at the selected entry
        Guard([&] { Form->DlgFormsKeyMenu(); });
        return;
    }
    const POINT at = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    Guard([&] { Form->DlgFormsContextMenu(at.x, at.y); });
}

LRESULT CALLBACK TWinMainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* self = WindowOwner<TWinMainWindow>(window, message, lParam);
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT TWinMainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TaskbarCreatedMessage && message != 0) {
        Guard([&] { Form->TaskbarCreated(); });
        return 0;
    }
    if (message == AnotherStartMessage() && message != 0) {
        Guard([&] { Form->AnotherStart(); });
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        if (wParam == static_cast<WPARAM>(idDlgForms)) {
            DlgForms.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_CHARTOITEM:
        // The list holds no strings to find the typed letter in: the entries find it.
        if (reinterpret_cast<HWND>(lParam) == DlgForms.Handle())
            return DlgForms.CharToItem(static_cast<wchar_t>(LOWORD(wParam)), static_cast<short>(HIWORD(wParam)));
        break;
    case WM_CTLCOLORSTATIC:
        return OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CONTEXTMENU:
        OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
        return 0;
    case WM_DROPFILES: {
        const std::vector<std::string> names = TakeDroppedFileNames(reinterpret_cast<HDROP>(wParam));
        Guard([&] { Form->FilesDropped(names); });
        return 0;
    }
    case kTrayCallbackMessage:
        Guard([&] { Form->TrayIconMessage(TrayEventOf(lParam)); });
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            Application->Minimize();
            return 0;
        }
        break;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case kWmGetDpiScaledSize: {
        // Asked before a move to a display of another DPI (Windows 10 1703 on): the size the
        // window will take there, so that the system's suggested rectangle already has it.
        auto* size = reinterpret_cast<SIZE*>(lParam);
        *size = OuterSize(static_cast<int>(wParam));
        return TRUE;
    }
    case kWmDpiChanged:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        // A failed save leaves the window open; the user may close it again.
        if (Guard([&] { Form->FormClose(); })) ::DestroyWindow(Window);
        return 0;
    case WM_DESTROY:
        Guard([&] { Form->FormDestroy(); });
        return 0;
    case WM_NCDESTROY: {
        const HWND window = Window;
        Window = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        Guard([&] { Form->FormEndSession(wParam != FALSE); });
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(Window, message, wParam, lParam);
}

}  // namespace tessara::win32
