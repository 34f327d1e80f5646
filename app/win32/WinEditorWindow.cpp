#include "app/win32/WinEditorWindow.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "app/ClipUnit.h"
#include "app/ListKeys.h"
#include "app/Scaling.h"
#include "app/Texts.h"
#include "app/win32/WinDpi.h"
#include "app/win32/WinListKeys.h"
#include "app/win32/WinText.h"
#include "app/win32/WinWindowOwner.h"
#include "platform/Exceptions.h"

namespace tessara::win32 {
namespace {

constexpr DWORD kEditorStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr UINT_PTR kSubclassId = 3;

// Laid out for 96 DPI.
constexpr int kMargin = 4;
constexpr int kRowHeight = 22;
constexpr int kLabelWidth = 72;
constexpr int kLeastWidth = 320, kLeastHeight = 200;
// The text: its font's size, and how much of it the window opens with.
constexpr int kFontPoints = 10;
constexpr int kColumns = 100, kLines = 30;
constexpr int kTabColumns = 4;

// The rich edit control's class: the newest library there is (Msftedit), else riched20's.
const wchar_t* RichEditClass() {
    static const wchar_t* const name = []() -> const wchar_t* {
        if (::LoadLibraryW(L"Msftedit.dll") != nullptr) return MSFTEDIT_CLASS;
        if (::LoadLibraryW(L"Riched20.dll") != nullptr) return RICHEDIT_CLASSW;
        return nullptr;
    }();
    return name;
}

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// Consolas where the system has it, else Courier New.
const wchar_t* FixedFace() {
    static const wchar_t* const face = [] {
        LOGFONTW wanted{};
        wanted.lfCharSet = DEFAULT_CHARSET;
        std::wcscpy(wanted.lfFaceName, L"Consolas");
        bool found = false;
        const HDC screen = ::GetDC(nullptr);
        ::EnumFontFamiliesExW(screen, &wanted, FontFound, reinterpret_cast<LPARAM>(&found), 0);
        ::ReleaseDC(nullptr, screen);
        return found ? L"Consolas" : L"Courier New";
    }();
    return face;
}

COLORREF ColourRef(TRgb colour) { return RGB(colour.Red, colour.Green, colour.Blue); }

}  // namespace

// ---------------------------------------------------------------------------------------
// TEditorTimes

TEditorTimes::TEditorTimes() {
    wchar_t name[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"TESSARA_EDITOR_TIMES", name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    FileName = name;
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    Frequency = static_cast<double>(frequency.QuadPart);
}

double TEditorTimes::Now() const {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / Frequency;
}

void TEditorTimes::Arm(const char* what, double since) {
    if (!On()) return;
    What = what;
    Since = since;
}

void TEditorTimes::Painted() {
    if (What == nullptr) return;
    Write(std::string(What) + " until drawn: " + std::to_string(Now() - Since) + " ms");
    What = nullptr;
    // Written only now, so that writing the file is in no measure.
    const HANDLE file = ::CreateFileW(FileName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, Lines.data(), static_cast<DWORD>(Lines.size()), &written, nullptr);
    ::CloseHandle(file);
    Lines.clear();
}

void TEditorTimes::Write(const std::string& line) {
    if (On()) Lines += line + "\r\n";
}

// ---------------------------------------------------------------------------------------
// TWinEditorWindow

TWinEditorWindow::TWinEditorWindow(HINSTANCE instance, HICON icon, HWND owner, TEditorForm& form)
    : Form(form), Owner(owner) {
    Times.Arm("opening", Times.Now());
    const wchar_t* richEdit = RichEditClass();
    if (richEdit == nullptr) throw Exception("Cannot load the rich edit control");
    RegisterWindowClass(instance, icon, WindowProc, kEditorWindowClass, DialogBackground());
    Window = ::CreateWindowExW(0, kEditorWindowClass, L"", kEditorStyle, 0, 0, 0, 0, owner, nullptr,
                               instance, this);
    if (Window == nullptr) throw Exception("Cannot create the editor's window");
    try {
        CreateControls(instance);
    } catch (...) {
        ::DestroyWindow(Window);
        throw;
    }
    Focused = TextBox;
}

void TWinEditorWindow::CreateControls(HINSTANCE instance) {
    auto child = [&](DWORD exStyle, const wchar_t* windowClass, const std::string& text, DWORD style, int id) {
        const HWND control = ::CreateWindowExW(exStyle, windowClass, Wide(text).c_str(), WS_CHILD | style, 0, 0, 0,
                                               0, Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                               instance, nullptr);
        if (control == nullptr) throw Exception("Cannot create the editor's window");
        return control;
    };
    const TTexts& t = Texts();
    NameLabel = child(0, L"STATIC", t.EditorNameLabel, WS_VISIBLE | SS_LEFT, idEditorNameLabel);
    NameBox = child(WS_EX_CLIENTEDGE, L"EDIT", "", WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, idEditorName);
    // Both scroll bars always, no wrapping; dragging text about is off, so that every edit
    // comes from the keyboard, the clipboard or the editor itself.
    TextBox = child(WS_EX_CLIENTEDGE, RichEditClass(), "",
                    WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                        ES_AUTOHSCROLL | ES_NOHIDESEL | ES_WANTRETURN | ES_DISABLENOSCROLL | ES_NOOLEDRAGDROP,
                    idEditorText);
    FindLabel = child(0, L"STATIC", t.EditorFindLabel, SS_LEFT, idEditorFindLabel);
    FindBox = child(WS_EX_CLIENTEDGE, L"EDIT", "", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, idEditorFind);
    StatusBar = child(0, STATUSCLASSNAMEW, "", WS_VISIBLE | SBARS_SIZEGRIP, idEditorStatus);
    ::SendMessageW(StatusBar, SB_SIMPLE, TRUE, 0);
    Status.Attach(StatusBar);

    ::SendMessageW(TextBox, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    // The editor keeps its own undo: the control's would take every colour painted as a step.
    ::SendMessageW(TextBox, EM_SETUNDOLIMIT, 0, 0);
    ::SendMessageW(TextBox, EM_SETTARGETDEVICE, 0, 1);  // no wrapping
    ::SendMessageW(TextBox, EM_AUTOURLDETECT, FALSE, 0);
    ::SendMessageW(TextBox, EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE);
    ::SetWindowSubclass(TextBox, TextProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    ::SetWindowSubclass(NameBox, BoxProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    ::SetWindowSubclass(FindBox, BoxProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    // Placed and sized before it has a text: the control then lays its lines out once.
    Place();
}

TWinEditorWindow::~TWinEditorWindow() {
    if (Window != nullptr) ::DestroyWindow(Window);
    if (Font != nullptr) ::DeleteObject(Font);
}

template <class F>
void TWinEditorWindow::Guard(F&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowStandardError(*this, error, Texts().MainCaption);
    }
}

int TWinEditorWindow::Scaled(int value) const { return ScaleToDpi(value, Dpi); }

// ---------------------------------------------------------------------------------------
// What the form asks

bool TWinEditorWindow::AskOkCancel(const std::string& text, const std::string& title) {
    return ::MessageBoxW(Window, Wide(text).c_str(), Wide(title).c_str(), MB_OKCANCEL | MB_DEFBUTTON1) == IDOK;
}

void TWinEditorWindow::ShowError(const std::string& text, const std::string& title) {
    ::MessageBoxW(Window, Wide(text).c_str(), Wide(title).c_str(), MB_OK | MB_ICONERROR);
}

TAnswer TWinEditorWindow::AskYesNoCancel(const std::string& text, const std::string& title) {
    switch (::MessageBoxW(Window, Wide(text).c_str(), Wide(title).c_str(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES: return TAnswer::Yes;
    case IDNO: return TAnswer::No;
    default: return TAnswer::Cancel;
    }
}

void TWinEditorWindow::SetCaption(const std::string& caption) { SetWindowText1251(Window, caption); }

std::string TWinEditorWindow::NameText() const { return GetWindowText1251(NameBox); }

void TWinEditorWindow::SetNameText(const std::string& name) {
    ++Quiet;
    SetWindowText1251(NameBox, name);
    --Quiet;
}

void TWinEditorWindow::SetText(const std::u16string& text) {
    ++Quiet;
    const double began = Times.Now();
    SETTEXTEX how{ST_DEFAULT, 1200};
    const std::wstring wide(text.begin(), text.end());
    ::SendMessageW(TextBox, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(wide.c_str()));
    const double set = Times.Now();
    SetTabStops();
    ::SendMessageW(TextBox, EM_SETSEL, 0, 0);
    if (Times.On())
        Times.Write("text of " + std::to_string(text.size()) + " characters set: " + std::to_string(set - began) +
                    " ms, tab stops: " + std::to_string(Times.Now() - set) + " ms");
    --Quiet;
}

LONG TWinEditorWindow::Length() const {
    GETTEXTLENGTHEX how{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(::SendMessageW(TextBox, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
}

std::u16string TWinEditorWindow::Text() const {
    const double began = Times.Now();
    const LONG length = Length();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX how{static_cast<DWORD>((length + 1) * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
    const LRESULT got =
        ::SendMessageW(TextBox, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, length)));
    if (Times.On()) Times.Write("whole text read: " + std::to_string(Times.Now() - began) + " ms");
    return std::u16string(text.begin(), text.end());
}

std::u16string TWinEditorWindow::Range(LONG begin, LONG end) const {
    if (end <= begin) return std::u16string();
    std::wstring text(static_cast<size_t>(end - begin) + 1, L'\0');
    TEXTRANGEW range{{begin, end}, text.data()};
    const LRESULT got = ::SendMessageW(TextBox, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, end - begin)));
    return std::u16string(text.begin(), text.end());
}

CHARRANGE TWinEditorWindow::Selection() const {
    CHARRANGE range{0, 0};
    ::SendMessageW(TextBox, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

void TWinEditorWindow::ReplaceText(size_t begin, size_t end, const std::u16string& text) {
    ++Quiet;
    CHARRANGE range{static_cast<LONG>(begin), static_cast<LONG>(end)};
    ::SendMessageW(TextBox, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    const std::wstring wide(text.begin(), text.end());
    ::SendMessageW(TextBox, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
    --Quiet;
}

void TWinEditorWindow::Select(size_t begin, size_t end) {
    ++Quiet;
    CHARRANGE range{static_cast<LONG>(begin), static_cast<LONG>(end)};
    ::SendMessageW(TextBox, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    ::SendMessageW(TextBox, EM_SCROLLCARET, 0, 0);
    --Quiet;
}

void TWinEditorWindow::HoldRedraw() {
    if (RedrawHeld++ == 0) ::SendMessageW(TextBox, WM_SETREDRAW, FALSE, 0);
}

void TWinEditorWindow::ReleaseRedraw() {
    if (--RedrawHeld != 0) return;
    ::SendMessageW(TextBox, WM_SETREDRAW, TRUE, 0);
    if (!::IsRectEmpty(&Dirty)) ::InvalidateRect(TextBox, &Dirty, FALSE);
    Dirty = RECT{};
}

void TWinEditorWindow::InvalidateRows(LONG from, LONG to) {
    RECT client;
    ::GetClientRect(TextBox, &client);
    POINTL top{}, bottom{};
    ::SendMessageW(TextBox, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&top), from);
    ::SendMessageW(TextBox, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&bottom), to);
    RECT rows{client.left, std::max<LONG>(client.top, top.y), client.right,
              std::min<LONG>(client.bottom, bottom.y + LineHeight)};
    if (rows.top >= rows.bottom) return;
    if (RedrawHeld == 0) ::InvalidateRect(TextBox, &rows, FALSE);
    else ::UnionRect(&Dirty, &Dirty, &rows);
}

void TWinEditorWindow::PaintRuns(const std::vector<TColourRun>& runs) {
    if (runs.empty()) return;
    ++Quiet;
    // Which end of the selection the caret is at, so that Shift with the arrows goes on
    // from there after the selection is put back.
    const CHARRANGE selection = Selection();
    bool caretAtStart = false;
    if (selection.cpMin != selection.cpMax && ::GetFocus() == TextBox) {
        POINT caret{};
        POINTL start{};
        ::GetCaretPos(&caret);
        ::SendMessageW(TextBox, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&start), selection.cpMin);
        caretAtStart = caret.y == start.y && std::abs(caret.x - start.x) <= 1;
    }
    POINT scrolled{};
    ::SendMessageW(TextBox, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrolled));
    HoldRedraw();
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    for (const TColourRun& run : runs) {
        CHARRANGE range{static_cast<LONG>(run.Begin), static_cast<LONG>(run.Begin + run.Length)};
        ::SendMessageW(TextBox, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        format.crTextColor = ColourRef(run.Colour);
        ::SendMessageW(TextBox, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    if (caretAtStart) ::SendMessageW(TextBox, EM_SETSEL, static_cast<WPARAM>(selection.cpMax), selection.cpMin);
    else ::SendMessageW(TextBox, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    // Putting the selection back may have scrolled to it; the view goes back where it was.
    POINT now{};
    ::SendMessageW(TextBox, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&now));
    if (now.x != scrolled.x || now.y != scrolled.y)
        ::SendMessageW(TextBox, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrolled));
    // The rows of the painted lines are drawn again.
    InvalidateRows(static_cast<LONG>(runs.front().Begin), static_cast<LONG>(runs.back().Begin + runs.back().Length));
    ReleaseRedraw();
    --Quiet;
}

void TWinEditorWindow::SetStatus(const std::string& text) { Status.SetText(text); }

void TWinEditorWindow::Place() {
    // Moved onto the main window's display first, it takes that display's DPI and is sized
    // for it; then centred on the main window inside the work area.
    RECT owner{};
    ::GetWindowRect(Owner, &owner);
    ::SetWindowPos(Window, nullptr, owner.left, owner.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDpi(WindowDpi(Window));
    const SIZE size = OpeningSize();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoW(::MonitorFromWindow(Owner, MONITOR_DEFAULTTONEAREST), &monitor)) work = monitor.rcWork;
    const int x = std::clamp<int>((owner.left + owner.right - size.cx) / 2, work.left,
                                  std::max<int>(work.left, work.right - size.cx));
    const int y = std::clamp<int>((owner.top + owner.bottom - size.cy) / 2, work.top,
                                  std::max<int>(work.top, work.bottom - size.cy));
    ::SetWindowPos(Window, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinEditorWindow::BringForward() {
    if (Window == nullptr) return;
    if (!Shown) {
        Shown = true;
        ::ShowWindow(Window, SW_SHOW);
    }
    if (::IsIconic(Window)) ::ShowWindow(Window, SW_RESTORE);
    ::SetForegroundWindow(Window);
    ::SetFocus(Focused != nullptr ? Focused : TextBox);
}

void TWinEditorWindow::Close() {
    if (Window != nullptr) ::DestroyWindow(Window);
}

// ---------------------------------------------------------------------------------------
// Sizes and the display's scale

SIZE TWinEditorWindow::OpeningSize() const {
    const std::optional<SIZE> atDpi = FrameAtDpi(kEditorStyle, 0, Dpi);
    const SIZE frame = atDpi ? *atDpi : SystemFrame(kEditorStyle, 0);
    RECT status{};
    ::GetWindowRect(StatusBar, &status);
    const int scrollBar = Scaled(::GetSystemMetrics(SM_CXVSCROLL) * kLayoutDpi / SystemDpi());
    // The text's edges and the control's own inner margin, a few pixels on each side.
    const int edges = Scaled(2 * kMargin + 8);
    const int width = kColumns * CharWidth + scrollBar + edges + frame.cx;
    const int height = Scaled(3 * kMargin + kRowHeight) + kLines * LineHeight + scrollBar + edges +
                       (status.bottom - status.top) + frame.cy;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoW(::MonitorFromWindow(Owner, MONITOR_DEFAULTTONEAREST), &monitor)) work = monitor.rcWork;
    return {std::min<LONG>(width, work.right - work.left), std::min<LONG>(height, work.bottom - work.top)};
}

void TWinEditorWindow::ApplyDpi(int dpi) {
    Dpi = dpi > 0 ? dpi : kLayoutDpi;
    NONCLIENTMETRICSW metrics;
    if (NonClientMetricsAtDpi(metrics, Dpi)) {
        if (const HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont)) {
            for (const HWND control : {NameLabel, NameBox, FindLabel, FindBox, StatusBar})
                ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
            if (Font != nullptr) ::DeleteObject(Font);
            Font = font;
        }
    }
    // The text's font, 10 points at the display's DPI: its character size lays the window out.
    const HFONT fixed = ::CreateFontW(-::MulDiv(kFontPoints, Dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      FIXED_PITCH | FF_MODERN, FixedFace());
    const HDC dc = ::GetDC(Window);
    const HGDIOBJ old = ::SelectObject(dc, fixed);
    TEXTMETRICW measures{};
    ::GetTextMetricsW(dc, &measures);
    SIZE ten{};
    ::GetTextExtentPoint32W(dc, L"0000000000", 10, &ten);
    ::SelectObject(dc, old);
    ::ReleaseDC(Window, dc);
    ::DeleteObject(fixed);
    CharWidth = std::max<int>(1, ten.cx / 10);
    LineHeight = std::max<int>(1, measures.tmHeight + measures.tmExternalLeading);

    // The control measures twips at the system's DPI: a font for this display is that much
    // larger or smaller.
    ++Quiet;
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE;
    format.yHeight = ::MulDiv(kFontPoints * 20, Dpi, SystemDpi());
    format.bCharSet = RUSSIAN_CHARSET;
    format.bPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::wcscpy(format.szFaceName, FixedFace());
    ::SendMessageW(TextBox, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(TextBox, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SetTabStops();
    --Quiet;
    Layout();
}

void TWinEditorWindow::SetTabStops() {
    ++Quiet;
    PARAFORMAT2 format{};
    format.cbSize = sizeof format;
    format.dwMask = PFM_TABSTOPS;
    format.cTabCount = MAX_TAB_STOPS;
    const int stop = ::MulDiv(kTabColumns * CharWidth, 1440, SystemDpi());  // twips
    for (int i = 0; i < MAX_TAB_STOPS; ++i) format.rgxTabs[i] = (i + 1) * stop;
    const CHARRANGE selection = Selection();
    POINT scrolled{};
    ::SendMessageW(TextBox, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrolled));
    ::SendMessageW(TextBox, EM_SETSEL, 0, -1);
    ::SendMessageW(TextBox, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(TextBox, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    ::SendMessageW(TextBox, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrolled));
    --Quiet;
}

void TWinEditorWindow::Layout() {
    if (Window == nullptr) return;
    RECT client;
    ::GetClientRect(Window, &client);
    ::SendMessageW(StatusBar, WM_SIZE, 0, 0);  // keeps itself along the bottom edge
    RECT status{};
    ::GetWindowRect(StatusBar, &status);
    const int margin = Scaled(kMargin), row = Scaled(kRowHeight), label = Scaled(kLabelWidth);
    const int width = std::max<int>(0, client.right - 2 * margin);
    const int labelTop = margin + Scaled(3);
    ::MoveWindow(NameLabel, margin, labelTop, label, row - Scaled(3), TRUE);
    ::MoveWindow(NameBox, margin + label, margin, std::max(0, width - label), row, TRUE);
    const int bottom = client.bottom - (status.bottom - status.top);
    const int findHeight = FindShown ? row + margin : 0;
    const int top = 2 * margin + row;
    ::MoveWindow(TextBox, margin, top, width, std::max(0, bottom - findHeight - margin - top), TRUE);
    if (FindShown) {
        const int findTop = bottom - margin - row;
        ::MoveWindow(FindLabel, margin, findTop + Scaled(3), label, row - Scaled(3), TRUE);
        ::MoveWindow(FindBox, margin + label, findTop, std::max(0, width - label), row, TRUE);
    }
}

// ---------------------------------------------------------------------------------------
// What the user does

void TWinEditorWindow::PaintInView() {
    if (Window == nullptr || Painting || Quiet != 0 || !Form.IsOpen()) return;
    Painting = true;
    RECT client;
    ::GetClientRect(TextBox, &client);
    POINTL topLeft{0, 0}, bottomRight{client.right - 1, client.bottom - 1};
    const LRESULT first = ::SendMessageW(TextBox, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&topLeft));
    const LRESULT last = ::SendMessageW(TextBox, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&bottomRight));
    Guard([&] { Form.Paint(static_cast<size_t>(std::max<LRESULT>(0, first)), static_cast<size_t>(std::max<LRESULT>(0, last))); });
    Painting = false;
}

LRESULT TWinEditorWindow::Tracked(UINT message, WPARAM wParam, LPARAM lParam) {
    if (Quiet != 0 || Tracking) return ::DefSubclassProc(TextBox, message, wParam, lParam);
    const CHARRANGE before = Selection();
    const LONG length = Length();
    // An edit is drawn once, with its colours: the control does not draw it first in the
    // colours around it. Other keys (the arrows, Shift with them) draw as ever.
    const bool edits = message == WM_CHAR || message == EM_REPLACESEL || message == WM_CUT || message == WM_CLEAR ||
                       (message == WM_KEYDOWN && (wParam == VK_DELETE || wParam == VK_BACK));
    POINT scrolled{};
    ::SendMessageW(TextBox, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrolled));
    if (edits) HoldRedraw();
    Tracking = true;
    Changed = false;
    const double began = Times.Now();
    const LRESULT result = ::DefSubclassProc(TextBox, message, wParam, lParam);
    Tracking = false;
    TLineEdit edit{};
    if (Changed) {
        const double edited = Times.Now();
        edit = ReportEdit(before, length, message == WM_CHAR ? static_cast<wchar_t>(wParam) : L'\0');
        if (Times.On())
            Times.Write("  the control's edit: " + std::to_string(edited - began) +
                        " ms, reported: " + std::to_string(Times.Now() - edited) + " ms");
    }
    if (edits) {
        ReleaseRedraw();
        // What the control did not draw: the edited line, or everything when lines came or
        // went or the view moved. The colours are painted before it is drawn (WM_PAINT).
        POINT now{};
        ::SendMessageW(TextBox, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&now));
        RECT rows;
        ::GetClientRect(TextBox, &rows);
        POINT caret{};
        if (now.x == scrolled.x && now.y == scrolled.y && edit.Removed == 1 && edit.Inserted == 1 &&
            ::GetFocus() == TextBox && ::GetCaretPos(&caret)) {
            rows.top = caret.y;
            rows.bottom = caret.y + LineHeight;
        }
        const CHARRANGE after = Selection();
        if (Changed || after.cpMin != before.cpMin || after.cpMax != before.cpMax)
            ::InvalidateRect(TextBox, &rows, FALSE);
    }
    return result;
}

TLineEdit TWinEditorWindow::ReportEdit(const CHARRANGE& before, LONG lengthBefore, wchar_t typed) {
    // Every edit the keys and the clipboard make replaces the text around the selection and
    // leaves the caret after what it put there: what went lies between where the selection or
    // the caret began and where the caret is now, with the change of length after it.
    const CHARRANGE after = Selection();
    const LONG begin = std::min(before.cpMin, after.cpMin);
    const LONG end = after.cpMin - (Length() - lengthBefore);
    TLineEdit edit{};
    if (after.cpMin == after.cpMax && begin <= after.cpMin && begin <= end && end <= lengthBefore) {
        // A character typed is what came; anything else is read back from the control.
        const std::u16string inserted = typed != L'\0' && after.cpMin == begin + 1
                                            ? std::u16string(1, static_cast<char16_t>(typed))
                                            : Range(begin, after.cpMin);
        Guard([&] { edit = Form.TextReplaced(static_cast<size_t>(begin), static_cast<size_t>(end), inserted); });
    } else {
        Guard([&] { edit = Form.TextChanged(); });
    }
    Guard([&] { Form.SelectionChanged(static_cast<size_t>(after.cpMin), static_cast<size_t>(after.cpMax)); });
    return edit;
}

void TWinEditorWindow::PastePlain() {
    if (!::IsClipboardFormatAvailable(CF_UNICODETEXT) || !::OpenClipboard(Window)) return;
    std::wstring text;
    if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            const size_t most = ::GlobalSize(data) / sizeof(wchar_t);
            text.assign(chars, std::find(chars, chars + most, L'\0'));
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    // Line breaks as the control keeps them: one '\r' each.
    std::wstring lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        lines += text[i] == L'\n' ? L'\r' : text[i];
    }
    Tracked(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(lines.c_str()));
}

void TWinEditorWindow::ShowFind(bool shown) {
    FindShown = shown;
    ::ShowWindow(FindLabel, shown ? SW_SHOW : SW_HIDE);
    ::ShowWindow(FindBox, shown ? SW_SHOW : SW_HIDE);
    Layout();
    if (shown) {
        ::SetFocus(FindBox);
        ::SendMessageW(FindBox, EM_SETSEL, 0, -1);
    } else {
        ::SetFocus(TextBox);
    }
}

void TWinEditorWindow::FindNext(bool down) {
    const int length = ::GetWindowTextLengthW(FindBox);
    std::wstring what(static_cast<size_t>(std::max(0, length)) + 1, L'\0');
    what.resize(static_cast<size_t>(std::max(0, ::GetWindowTextW(FindBox, what.data(), length + 1))));
    if (what.empty()) {
        // Nothing to find yet: the find box asks for it.
        ShowFind(true);
        return;
    }
    Guard([&] { Form.FindNext(std::u16string(what.begin(), what.end()), down); });
}

bool TWinEditorWindow::EditorKey(UINT virtualKey, bool inText) {
    const unsigned modifiers = HeldModifiers();
    const TEditorCommand command = EditorKeyCommand(virtualKey, modifiers);
    switch (command) {
    case TEditorCommand::Save: Guard([&] { Form.Save(); }); return true;
    case TEditorCommand::Close: Guard([&] { Form.Close(); }); return true;
    case TEditorCommand::Find: ShowFind(true); return true;
    case TEditorCommand::FindNext: FindNext(true); return true;
    case TEditorCommand::FindPrevious: FindNext(false); return true;
    case TEditorCommand::Undo:
    case TEditorCommand::Redo:
        // In the name and find boxes the keys are the box's own undo of typing.
        if (!inText) return false;
        if (command == TEditorCommand::Undo) Guard([&] { Form.Undo(); });
        else Guard([&] { Form.Redo(); });
        return true;
    case TEditorCommand::None: break;
    }
    if (!inText) return false;
    if ((virtualKey == 'V' && modifiers == kModCtrl) || (virtualKey == VK_INSERT && modifiers == kModShift)) {
        PastePlain();
        return true;
    }
    // Shift+Enter and Ctrl+Enter would put a line break of another kind: a line break is Enter's.
    if (virtualKey == VK_RETURN && modifiers != 0 && (modifiers & kModAlt) == 0) {
        ::SendMessageW(TextBox, WM_CHAR, L'\r', 0);
        return true;
    }
    // The control's formatting keys (bold, alignment, line spacing...) do nothing in a module
    // text; Ctrl+A, Ctrl+C and Ctrl+X stay the control's.
    if ((modifiers & kModCtrl) != 0 && (modifiers & kModAlt) == 0) {
        const bool letterOrDigit = (virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z');
        const bool punctuation = virtualKey >= VK_OEM_1 && virtualKey <= VK_OEM_102;
        if ((letterOrDigit && virtualKey != 'A' && virtualKey != 'C' && virtualKey != 'X') || punctuation) return true;
    }
    return false;
}

LRESULT TWinEditorWindow::TextMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        SwallowChar = false;
        if (EditorKey(static_cast<UINT>(wParam), true)) {
            SwallowChar = true;
            return 0;
        }
        return Tracked(message, wParam, lParam);
    case WM_CHAR: {
        if (SwallowChar) {
            SwallowChar = false;
            return 0;
        }
        // Other control characters would go into the text as they are.
        if ((wParam < 0x20 && wParam != '\t' && wParam != '\r' && wParam != '\b') || wParam == 0x7F) return 0;
        const double began = Times.Now();
        const LRESULT result = Tracked(message, wParam, lParam);
        Times.Arm("a character typed", began);
        return result;
    }
    case WM_SYSCHAR:
        if (SwallowChar) {
            SwallowChar = false;
            return 0;
        }
        break;
    case WM_PASTE:
        PastePlain();
        return 0;
    case WM_CUT:
    case WM_CLEAR:
    case EM_REPLACESEL:
        return Tracked(message, wParam, lParam);
    case WM_UNDO:
    case EM_UNDO:
        Guard([&] { Form.Undo(); });
        return TRUE;
    case EM_REDO:
        Guard([&] { Form.Redo(); });
        return TRUE;
    case WM_PAINT: {
        // The lines that came into view get their colours before they are drawn.
        PaintInView();
        const LRESULT result = ::DefSubclassProc(TextBox, message, wParam, lParam);
        Times.Painted();
        return result;
    }
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(TextBox, TextProc, kSubclassId);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(TextBox, message, wParam, lParam);
}

LRESULT TWinEditorWindow::BoxMessage(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        SwallowChar = false;
        const bool shift = ::GetKeyState(VK_SHIFT) < 0;
        bool taken = true;
        if (box == FindBox && wParam == VK_RETURN) FindNext(!shift);
        else if (box == FindBox && wParam == VK_ESCAPE) ShowFind(false);
        else if (box == NameBox && (wParam == VK_RETURN || (wParam == VK_TAB && !shift))) ::SetFocus(TextBox);
        else taken = EditorKey(static_cast<UINT>(wParam), false);
        if (taken) {
            SwallowChar = true;
            return 0;
        }
        break;
    }
    case WM_CHAR:
    case WM_SYSCHAR:
        if (SwallowChar) {
            SwallowChar = false;
            return 0;
        }
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(box, BoxProc, kSubclassId);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(box, message, wParam, lParam);
}

LRESULT CALLBACK TWinEditorWindow::TextProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR self) {
    return reinterpret_cast<TWinEditorWindow*>(self)->TextMessage(message, wParam, lParam);
}

LRESULT CALLBACK TWinEditorWindow::BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self) {
    return reinterpret_cast<TWinEditorWindow*>(self)->BoxMessage(box, message, wParam, lParam);
}

LRESULT CALLBACK TWinEditorWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowOwner<TWinEditorWindow>(window, message, lParam);
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT TWinEditorWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (Quiet != 0) return 0;
        if (id == idEditorText && code == EN_CHANGE) {
            if (Tracking) {
                Changed = true;
            } else {
                // An edit of none of the messages watched (an input method's, say): the
                // form finds it in the whole text. Its colours are painted before the
                // control draws it.
                Guard([&] { Form.TextChanged(); });
            }
        } else if (id == idEditorName && code == EN_CHANGE) {
            Guard([&] { Form.NameEdited(); });
        }
        return 0;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == TextBox && header->code == EN_SELCHANGE && Quiet == 0 && !Tracking) {
            const CHARRANGE range = reinterpret_cast<const SELCHANGE*>(lParam)->chrg;
            Guard([&] { Form.SelectionChanged(static_cast<size_t>(range.cpMin), static_cast<size_t>(range.cpMax)); });
        }
        return 0;
    }
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {Scaled(kLeastWidth), Scaled(kLeastHeight)};
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            ::SetFocus(Focused != nullptr && ::IsWindowVisible(Focused) ? Focused : TextBox);
        } else if (const HWND focus = ::GetFocus(); focus != nullptr && ::IsChild(Window, focus)) {
            Focused = focus;
        }
        return 0;
    case WM_SETFOCUS:
        ::SetFocus(Focused != nullptr && ::IsWindowVisible(Focused) ? Focused : TextBox);
        return 0;
    case kWmDpiChanged: {
        // Moved to a display of another scale: the fonts and sizes of that scale, at the place
        // and size the system suggests.
        ApplyDpi(LOWORD(wParam));
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(Window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                       suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        ::InvalidateRect(Window, nullptr, TRUE);
        return 0;
    }
    case WM_CLOSE:
        Guard([&] { Form.Close(); });
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
