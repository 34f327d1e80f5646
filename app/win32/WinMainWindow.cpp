#include "app/win32/WinMainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>

#include "app/ClipUnit.h"
#include "app/Texts.h"
#include "app/win32/WinApplication.h"
#include "app/win32/WinDropFiles.h"
#include "app/win32/WinListKeys.h"
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

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = kChild | SS_LEFT;

// In tab order first (Button1 0 ... ButtonMore 9), then the controls that take no focus.
const TControlLayout kLayout[] = {
    {idButton1, L"BUTTON", kButton, 0, 9, 211, 65, 22, &TTexts::Button1Caption, &TTexts::Button1Hint},
    {idDlgForms, L"LISTBOX",
     kChild | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,
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

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = icon;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    ::RegisterClassExW(&windowClass);

    RECT frame = {0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kMainStyle, FALSE, 0);
    Window = ::CreateWindowExW(0, kMainWindowClass, Wide(Texts().MainCaption).c_str(), kMainStyle,
                               0, 0, frame.right - frame.left, frame.bottom - frame.top,
                               application.Handle(), nullptr, instance, this);
    if (Window == nullptr) throw Exception("Cannot create the main window");
    CreateControls(instance);
    // Repository files of others dropped on the window are taken in.
    ::DragAcceptFiles(Window, TRUE);
}

void TWinMainWindow::CreateControls(HINSTANCE instance) {
    Font = ::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
    Hints.Create(Window, nullptr);
    const TTexts& texts = Texts();
    for (const TControlLayout& layout : kLayout) {
        const std::wstring caption = layout.Caption != nullptr ? Wide(texts.*layout.Caption) : L"";
        const HWND control = ::CreateWindowExW(
            layout.ExStyle, layout.Class, caption.c_str(), layout.Style, layout.Left, layout.Top,
            layout.Width, layout.Height, Window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.Id)), instance, nullptr);
        if (control == nullptr) throw Exception("Cannot create the main window");
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
        if (std::wstring_view(layout.Class) == L"STATIC") FitLabelToText(control, Font);
        // The list's hint hooks every message the list gets, which under Wine costs a server
        // round trip each: it comes after the first fill (AddListHint).
        if (layout.Hint != nullptr && layout.Id != idDlgForms) Hints.Add(control, texts.*layout.Hint);
    }
    // Along the bottom edge at the laid-out height, with one simple-mode text and no size
    // grip; placed by the window (not by itself), so its height is the same on every system.
    const HWND status = ::CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", kChild | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
        kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight, Window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(idStatusBar1)), instance, nullptr);
    if (status == nullptr) throw Exception("Cannot create the main window");
    ::SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
    ::SendMessageW(status, SB_SIMPLE, TRUE, 0);

    const HWND list = Control(idDlgForms);
    ::SendMessageW(list, LB_SETITEMHEIGHT, 0, kListItemHeight);
    DlgForms.Attach(list);
    HookListKeys(list, [this](unsigned virtualKey, unsigned modifiers) {
        bool taken = false;
        Guard([&] { taken = Form->DlgFormsKeyDown(virtualKey, modifiers); });
        return taken;
    });
    edtName.Attach(Control(idEdtName));
    Button2.Attach(Control(idButton2), &Hints);
    Button3.Attach(Control(idButton3), &Hints);
    ButtonMore.Attach(Control(idButtonMore), &Hints);
    StatusBar1.Attach(status);
    PopupMenu.Create(Window, Control(idButton4));
    FocusedControl = Control(idEdtName);
}

void TWinMainWindow::AddListHint() { Hints.Add(Control(idDlgForms), Texts().DlgFormsHint); }

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
    ::MoveWindow(status, 0, clientHeight - kStatusBarHeight, clientWidth, kStatusBarHeight, TRUE);
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
        Guard([&] { Form->TrayIconMessage(static_cast<intptr_t>(lParam)); });
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
