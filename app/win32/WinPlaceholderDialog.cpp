#include "app/win32/WinPlaceholderDialog.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "app/Scaling.h"
#include "app/Texts.h"
#include "app/win32/WinDpi.h"
#include "app/win32/WinText.h"
#include "platform/Exceptions.h"

namespace tessara::win32 {
namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

// The layout at 96 DPI, in the measures of the main window's controls.
constexpr int kMargin = 8;
constexpr int kLabelGap = 8;          // between a label and its field
constexpr int kRowHeight = 21;        // an edit box, as the name box
constexpr int kRowGap = 6;
constexpr int kLeastLabelWidth = 40;
constexpr int kMostLabelWidth = 240;  // a longer label ends in an ellipsis
constexpr int kFieldWidth = 220;
constexpr int kButtonWidth = 89;      // as "Копировать" in the main window
constexpr int kButtonHeight = 22;
constexpr int kButtonGap = 6;
constexpr int kButtonsGap = 12;       // above the buttons
constexpr int kDropHeight = 160;      // the open list of a drop-down list
constexpr int kFontHeight = -11;      // the main window's font

HFONT MakeFont(int dpi) {
    return ::CreateFontW(ScaleToDpi(kFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
}

// Windows 10 1703 and later scale a per-monitor dialog by themselves when its DPI changes;
// this one lays itself out at WM_DPICHANGED, so that scaling is turned off where it exists.
void TurnOffDialogScaling(HWND dialog) {
    using TSetDialogDpiChangeBehavior = BOOL(WINAPI*)(HWND dialog, int mask, int values);
    constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    const auto set = user32 != nullptr ? reinterpret_cast<TSetDialogDpiChangeBehavior>(reinterpret_cast<void*>(
                                             ::GetProcAddress(user32, "SetDialogDpiChangeBehavior")))
                                       : nullptr;
    if (set != nullptr) set(dialog, kDisableAll, kDisableAll);
}

// An empty dialog: the controls are made at WM_INITDIALOG, in pixels of the display's DPI.
struct alignas(DWORD) TEmptyDialogTemplate {
    DLGTEMPLATE Header;
    WORD Menu = 0, Class = 0, Title = 0;
};

// One showing of the dialog.
class TPlaceholderWindow {
public:
    TPlaceholderWindow(const std::vector<TPlaceholderField>& fields, const std::string& title, HWND owner)
        : Fields(fields), Title(Wide(title)), Owner(owner) {}
    TPlaceholderWindow(const TPlaceholderWindow&) = delete;
    TPlaceholderWindow& operator=(const TPlaceholderWindow&) = delete;
    ~TPlaceholderWindow() {
        if (Font != nullptr) ::DeleteObject(Font);
    }

    TPlaceholderReply Run(HINSTANCE instance);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs a step of the dialog's own; what it raises ends the dialog and is raised again by Run.
    template <class F>
    void Guard(F&& step);
    void Initialize();
    HWND AddControl(DWORD exStyle, const wchar_t* windowClass, const std::wstring& text, DWORD style, int id);
    // Takes Dpi as the dialog's: the font made for it, the controls laid out, the client size.
    void ApplyDpi(int dpi);
    // Gives the dialog its client size at a place, with the frame the window draws.
    void FitOuterSize(int x, int y);
    // Over the middle of the owner, inside the work area of its display, at that display's DPI.
    void PlaceOverOwner();
    void CollectValues();
    int Scaled(int value) const { return ScaleToDpi(value, Dpi); }

    const std::vector<TPlaceholderField>& Fields;
    std::wstring Title;
    HWND Owner;
    HWND Dialog = nullptr;
    std::vector<HWND> Labels, Inputs, Buttons;
    std::vector<std::wstring> LabelTexts;
    HFONT Font = nullptr;
    int Dpi = kLayoutDpi;
    SIZE Client = {0, 0};
    TPlaceholderReply Reply;
    std::exception_ptr Error;
};

TPlaceholderReply TPlaceholderWindow::Run(HINSTANCE instance) {
    TEmptyDialogTemplate empty{};
    empty.Header.style = kDialogStyle;
    const INT_PTR result = ::DialogBoxIndirectParamW(instance, &empty.Header, Owner, DialogProc,
                                                     reinterpret_cast<LPARAM>(this));
    if (Error) std::rethrow_exception(Error);
    if (result == -1) throw Exception("Cannot create the placeholder dialog");
    Reply.Answer = result == IDOK                ? TPlaceholderAnswer::Fill
                   : result == idPlaceholderAsIs ? TPlaceholderAnswer::AsIs
                                                 : TPlaceholderAnswer::Cancel;
    if (Reply.Answer != TPlaceholderAnswer::Fill) Reply.Values.clear();
    return Reply;
}

INT_PTR CALLBACK TPlaceholderWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<TPlaceholderWindow*>(lParam)->Dialog = dialog;
    }
    auto* self = reinterpret_cast<TPlaceholderWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

template <class F>
void TPlaceholderWindow::Guard(F&& step) {
    try {
        step();
    } catch (...) {
        Error = std::current_exception();
        ::EndDialog(Dialog, IDCANCEL);
    }
}

INT_PTR TPlaceholderWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        Guard([&] { Initialize(); });
        return FALSE;  // the focus is set: the first field's
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case IDOK:
            Guard([&] { CollectValues(); });
            ::EndDialog(Dialog, IDOK);
            return TRUE;
        case idPlaceholderAsIs:
        case IDCANCEL:  // Esc and the close box too
            ::EndDialog(Dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
        }
    case kWmDpiChanged:
        // Moved to a display of another scale: the font and sizes of that scale, at the place
        // the system suggests.
        Guard([&] {
            ApplyDpi(LOWORD(wParam));
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            FitOuterSize(suggested.left, suggested.top);
            ::InvalidateRect(Dialog, nullptr, TRUE);
        });
        return TRUE;
    default:
        return FALSE;
    }
}

HWND TPlaceholderWindow::AddControl(DWORD exStyle, const wchar_t* windowClass, const std::wstring& text,
                                    DWORD style, int id) {
    const HWND control =
        ::CreateWindowExW(exStyle, windowClass, text.c_str(), style, 0, 0, 0, 0, Dialog,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(Dialog, GWLP_HINSTANCE)), nullptr);
    if (control == nullptr) throw Exception("Cannot create the placeholder dialog");
    return control;
}

void TPlaceholderWindow::Initialize() {
    TurnOffDialogScaling(Dialog);
    ::SetWindowTextW(Dialog, Title.c_str());
    // In tab order: the fields from the first, then the buttons.
    for (size_t i = 0; i < Fields.size(); ++i) {
        const TPlaceholderField& field = Fields[i];
        const int at = static_cast<int>(i);
        LabelTexts.push_back(Wide(field.Label));
        Labels.push_back(AddControl(0, L"STATIC", LabelTexts.back(),
                                    kChild | SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS,
                                    idPlaceholderFirstLabel + at));
        if (field.Type == TFieldType::Choice) {
            const HWND list = AddControl(0, L"COMBOBOX", L"", kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                                         idPlaceholderFirstField + at);
            for (const TChoiceOption& option : field.Options)
                ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(option.Label).c_str()));
            ::SendMessageW(list, CB_SETCURSEL, field.Initial.Choice, 0);
            Inputs.push_back(list);
        } else {
            Inputs.push_back(AddControl(WS_EX_CLIENTEDGE, L"EDIT", Wide(field.Initial.Text),
                                        kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL,
                                        idPlaceholderFirstField + at));
        }
    }
    const TTexts& t = Texts();
    Buttons.push_back(AddControl(0, L"BUTTON", Wide(t.PlaceholderCopy), kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK));
    Buttons.push_back(AddControl(0, L"BUTTON", Wide(t.PlaceholderAsIs), kChild | WS_TABSTOP | BS_PUSHBUTTON,
                                 idPlaceholderAsIs));
    Buttons.push_back(AddControl(0, L"BUTTON", Wide(t.PlaceholderCancel), kChild | WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL));
    PlaceOverOwner();
    const HWND first = Inputs.empty() ? Buttons.front() : Inputs.front();
    ::SetFocus(first);
    // A date offered as now is typed over whole.
    ::SendMessageW(first, EM_SETSEL, 0, -1);
}

void TPlaceholderWindow::ApplyDpi(int dpi) {
    Dpi = dpi > 0 ? dpi : kLayoutDpi;
    if (const HFONT font = MakeFont(Dpi)) {
        for (const auto* controls : {&Labels, &Inputs, &Buttons})
            for (const HWND control : *controls)
                ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (Font != nullptr) ::DeleteObject(Font);
        Font = font;
    }
    // The labels' column is as wide as the widest label in this font, within limits.
    int labelWidth = Scaled(kLeastLabelWidth);
    const HDC dc = ::GetDC(Dialog);
    const HGDIOBJ old = ::SelectObject(dc, Font != nullptr ? Font : ::GetStockObject(DEFAULT_GUI_FONT));
    for (const std::wstring& text : LabelTexts) {
        RECT need = {0, 0, 0, 0};
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        labelWidth = std::max<int>(labelWidth, need.right);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(Dialog, dc);
    labelWidth = std::min(labelWidth, Scaled(kMostLabelWidth));

    const int margin = Scaled(kMargin), row = Scaled(kRowHeight), step = row + Scaled(kRowGap);
    const int buttonWidth = Scaled(kButtonWidth), buttonGap = Scaled(kButtonGap);
    const int buttonsWidth = 3 * buttonWidth + 2 * buttonGap;
    const int fieldLeft = margin + labelWidth + Scaled(kLabelGap);
    const int width = std::max(fieldLeft + Scaled(kFieldWidth), margin + buttonsWidth) + margin;
    for (size_t i = 0; i < Inputs.size(); ++i) {
        const int top = margin + static_cast<int>(i) * step;
        ::MoveWindow(Labels[i], margin, top, labelWidth, row, TRUE);
        if (Fields[i].Type != TFieldType::Choice) {
            ::MoveWindow(Inputs[i], fieldLeft, top, width - margin - fieldLeft, row, TRUE);
            continue;
        }
        // A drop-down list's height holds its open list; closed, it is as high as an edit box.
        const HWND list = Inputs[i];
        ::MoveWindow(list, fieldLeft, top, width - margin - fieldLeft, row + Scaled(kDropHeight), TRUE);
        RECT closed;
        ::GetWindowRect(list, &closed);
        const LRESULT item = ::SendMessageW(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        if (item > 0 && closed.bottom - closed.top != row)
            ::SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                           item + row - (closed.bottom - closed.top));
    }
    const int buttonsTop = margin + static_cast<int>(Inputs.size()) * step - Scaled(kRowGap) + Scaled(kButtonsGap);
    int left = width - margin - buttonsWidth;
    for (const HWND button : Buttons) {
        ::MoveWindow(button, left, buttonsTop, buttonWidth, Scaled(kButtonHeight), TRUE);
        left += buttonWidth + buttonGap;
    }
    Client = {width, buttonsTop + Scaled(kButtonHeight) + margin};
}

void TPlaceholderWindow::FitOuterSize(int x, int y) {
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(Dialog, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(Dialog, GWL_EXSTYLE));
    const std::optional<SIZE> atDpi = FrameAtDpi(style, exStyle, Dpi);
    const SIZE frame = atDpi ? *atDpi : SystemFrame(style, exStyle);
    const int width = Client.cx + frame.cx, height = Client.cy + frame.cy;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    ::SetWindowPos(Dialog, nullptr, x, y, width, height, flags);
    // The frame the window draws may not be the one Windows gives for its DPI (Wine draws it
    // at the system's): the client area is what keeps the laid-out size.
    RECT client;
    ::GetClientRect(Dialog, &client);
    const int dx = Client.cx - client.right, dy = Client.cy - client.bottom;
    if (dx != 0 || dy != 0) ::SetWindowPos(Dialog, nullptr, 0, 0, width + dx, height + dy, SWP_NOMOVE | flags);
}

void TPlaceholderWindow::PlaceOverOwner() {
    RECT owner = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (Owner != nullptr) ::GetWindowRect(Owner, &owner);
    const POINT middle = {(owner.left + owner.right) / 2, (owner.top + owner.bottom) / 2};
    // Moved there first, the dialog takes the DPI of that display, and is laid out for it.
    ::SetWindowPos(Dialog, nullptr, middle.x, middle.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDpi(WindowDpi(Dialog));
    FitOuterSize(middle.x, middle.y);
    RECT r;
    ::GetWindowRect(Dialog, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    RECT work = owner;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromPoint(middle, MONITOR_DEFAULTTONEAREST), &monitor)) work = monitor.rcWork;
    const int x = std::max<int>(work.left, std::min<int>(middle.x - width / 2, work.right - width));
    const int y = std::max<int>(work.top, std::min<int>(middle.y - height / 2, work.bottom - height));
    // Over a topmost owner (the find window) it is topmost too.
    const bool topmost = Owner != nullptr && (::GetWindowLongPtrW(Owner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    ::SetWindowPos(Dialog, topmost ? HWND_TOPMOST : nullptr, x, y, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE | (topmost ? 0 : SWP_NOZORDER));
}

void TPlaceholderWindow::CollectValues() {
    Reply.Values.clear();
    for (size_t i = 0; i < Inputs.size(); ++i) {
        TTypedValue value;
        if (Fields[i].Type == TFieldType::Choice) {
            const LRESULT chosen = ::SendMessageW(Inputs[i], CB_GETCURSEL, 0, 0);
            value.Choice = chosen >= 0 ? static_cast<size_t>(chosen) : Fields[i].Initial.Choice;
        } else {
            const int length = ::GetWindowTextLengthW(Inputs[i]);
            std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
            const int got = ::GetWindowTextW(Inputs[i], text.data(), length + 1);
            text.resize(got > 0 ? static_cast<size_t>(got) : 0);
            value.Text.assign(text.begin(), text.end());
        }
        Reply.Values.push_back(std::move(value));
    }
}

}  // namespace

void TWinPlaceholderDialog::SetOwners(HINSTANCE instance, HWND mainWindow, HWND findWindow) {
    Instance = instance;
    MainWindow = mainWindow;
    FindWindow = findWindow;
}

TPlaceholderReply TWinPlaceholderDialog::Ask(const std::vector<TPlaceholderField>& fields, TDialogOwner owner,
                                             const std::string& title) {
    const HWND over = owner == TDialogOwner::FindWindow && FindWindow != nullptr && ::IsWindowVisible(FindWindow)
                          ? FindWindow
                          : MainWindow;
    TPlaceholderWindow window(fields, title, over);
    return window.Run(Instance);
}

}  // namespace tessara::win32
