// The Win32 shell's own pieces against the real window system (under Wine on Linux): the tray
// record, the text edge, the clipboard blocks, the controls' wrappers, the window's tab order
// and layout, and the application's minimize and restore.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/Scaling.h"
#include "app/win32/WinApplication.h"
#include "app/win32/WinClipboard.h"
#include "app/win32/WinDpi.h"
#include "app/win32/WinFindWindow.h"
#include "app/win32/WinMainWindow.h"
#include "app/win32/WinText.h"
#include "app/win32/WinTrayIcon.h"
#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "xml/XXmlDom.h"

using namespace tessara;
using namespace tessara::win32;

namespace {

// A plain hidden top-level window, or null when there is no window system to make one.
HWND MakeHiddenWindow() {
    return ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

// Wine's ntdll exports wine_get_version; Windows' does not.
bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A template element named Name, kept until the end of the run: the list reads its entries'
// texts from their elements.
TXmlDElement* Named(const std::string& name) {
    static std::vector<TRef<TXmlDElement>> kept;
    kept.emplace_back(new TXmlDElement("Groops"));
    kept.back()->SetAttribute("name", name);
    return kept.back().Get();
}

// Template element number N, the same one on every call.
TXmlDElement* Link(int n) {
    static std::map<int, TXmlDElement*> links;
    TXmlDElement*& link = links[n];
    if (link == nullptr) link = Named("link " + std::to_string(n));
    return link;
}

// The client area of a list as it paints itself, one 0xRRGGBB word a pixel.
std::vector<uint32_t> PaintedPixels(HWND list) {
    RECT client;
    ::GetClientRect(list, &client);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint32_t> pixels;
    if (bitmap != nullptr) {
        const HGDIOBJ old = ::SelectObject(dc, bitmap);
        // As a paint does: the background erased first, then the items.
        ::SendMessageW(list, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ::SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        ::GdiFlush();
        const auto* first = static_cast<const uint32_t*>(bits);
        pixels.assign(first, first + static_cast<size_t>(client.right) * static_cast<size_t>(client.bottom));
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(dc);
    return pixels;
}

}  // namespace

TEST(Win32TrayIcon, FirstVersionRecordFromTheHandlersFields) {
    TTrayIconData data;
    data.uID = 1;
    data.szTip = "Tessara v1.0";
    const HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));
    const HICON icon = reinterpret_cast<HICON>(static_cast<intptr_t>(0x5678));
    const NOTIFYICONDATAA record = MakeNotifyIconData(data, window, icon);

    EXPECT_EQ(record.cbSize, sizeof(void*) == 8 ? 104u : 88u);
    EXPECT_EQ(record.hWnd, window);
    EXPECT_EQ(record.uID, 1u);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 0x400u);
    EXPECT_EQ(record.hIcon, icon);
    char expected[64] = "Tessara v1.0";
    EXPECT_EQ(std::memcmp(record.szTip, expected, sizeof expected), 0);
}

TEST(Win32TrayIcon, CallbackMouseMessagesBecomeTheHandlersEvents) {
    const std::pair<LPARAM, TTrayEvent> cases[] = {
        {WM_LBUTTONDBLCLK, TTrayEvent::LeftDoubleClick}, {WM_RBUTTONDOWN, TTrayEvent::RightButtonDown},
        {WM_RBUTTONDBLCLK, TTrayEvent::RightDoubleClick}, {WM_LBUTTONDOWN, TTrayEvent::Other},
        {WM_MOUSEMOVE, TTrayEvent::Other}, {WM_MBUTTONDOWN, TTrayEvent::Other}};
    for (const auto& [message, event] : cases) EXPECT_EQ(TrayEventOf(message), event) << message;
}

TEST(Win32TrayIcon, TipLongerThanTheFieldIsCutToSixtyThreeBytes) {
    TTrayIconData data;
    data.szTip = std::string(80, 'x');
    const NOTIFYICONDATAA record = MakeNotifyIconData(data, nullptr, nullptr);
    EXPECT_EQ(std::string(record.szTip), std::string(63, 'x'));
}

TEST(Win32Text, EveryByteSurvivesTheWideEdge) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Narrow(Wide(all)), all);
    EXPECT_EQ(Wide(Cp1251("Копировать")), std::wstring(L"Копировать"));
    EXPECT_EQ(Narrow(L"Ж\x4E2D"), Cp1251("Ж") + "?");  // what 1251 lacks becomes '?'
}

class Win32Clipboard : public ::testing::Test {
protected:
    void SetUp() override {
        Owner = MakeHiddenWindow();
        if (Owner == nullptr) GTEST_SKIP() << "no window system";
        Clipboard.SetOwner(Owner);
        Format = Clipboard.RegisterFormat("1S DIALOG EDITOR");
        ASSERT_NE(Format, 0u);
    }
    void TearDown() override {
        Clipboard.Close();
        if (Owner != nullptr) ::DestroyWindow(Owner);
    }

    // Puts one block under Format (emptying the clipboard first) and reads it back.
    std::optional<std::string> PutAndRead(const std::string& block, unsigned format) {
        Clipboard.Open();
        Clipboard.Empty();
        Clipboard.SetData(format, Clipboard.Allocate(block));
        Clipboard.Close();
        Clipboard.Open();
        auto data = Clipboard.GetData(format);
        Clipboard.Close();
        return data;
    }

    // Every byte of the block the clipboard holds under a format (its whole GlobalSize), or
    // "<none>" when it holds none.
    std::string BlockBytes(unsigned format) {
        Clipboard.Open();
        std::string bytes = "<none>";
        if (const HANDLE block = ::GetClipboardData(format)) {
            const size_t size = ::GlobalSize(block);
            const void* data = ::GlobalLock(block);
            bytes.assign(static_cast<const char*>(data), data != nullptr ? size : 0);
            ::GlobalUnlock(block);
        }
        Clipboard.Close();
        return bytes;
    }

    HWND Owner = nullptr;
    TWinClipboard Clipboard;
    unsigned Format = 0;
};

TEST_F(Win32Clipboard, BlocksReadBackUpToTheFirstZeroByte) {
    struct Case {
        std::string Put;
        std::string Read;
    };
    const Case cases[] = {
        {"ab", "ab"},
        {std::string("a\0b", 3), "a"},
        {std::string("\0xyz", 4), ""},
        {Cp1251("{\"Форма\",1}\r\n"), Cp1251("{\"Форма\",1}\r\n")},
        {std::string(100000, 'q'), std::string(100000, 'q')},
    };
    for (const Case& c : cases) {
        const auto read = PutAndRead(c.Put, Format);
        ASSERT_TRUE(read.has_value()) << c.Put.size();
        EXPECT_EQ(*read, c.Read) << c.Put.size();
    }
}

TEST_F(Win32Clipboard, UnicodeTextReadsUpToTheFirstZeroCharacter) {
    struct Case {
        std::string Put;  // UTF-16LE bytes
        std::u16string Read;
    };
    const Case cases[] = {
        {std::string("x\0\0\0", 4), u"x"},
        // A zero high byte is no terminator; only a whole zero character is.
        {std::string("\x1F\x04\x00\x04\0\0", 6), u"\u041F\u0400"},
        {std::string("\0\0a\0", 4), u""},
        // A block without its terminating zero is read to its end on Windows, while Wine
        // writes a zero over its last character when it is put: no case here depends on it.
    };
    for (const Case& c : cases) {
        Clipboard.Open();
        Clipboard.Empty();
        Clipboard.SetData(kCfUnicodeText, Clipboard.Allocate(c.Put));
        Clipboard.Close();
        Clipboard.Open();
        const auto read = Clipboard.GetUnicodeText();
        Clipboard.Close();
        ASSERT_TRUE(read.has_value()) << c.Put.size();
        EXPECT_EQ(*read, c.Read) << c.Put.size();
    }
}

TEST_F(Win32Clipboard, ControlsBlockHasExactlyTheStringsLength) {
    PutAndRead("ab", Format);
    EXPECT_EQ(BlockBytes(Format), "ab");
}

TEST_F(Win32Clipboard, EmptyControlsAreAnnouncedAndReadAsEmpty) {
    const auto read = PutAndRead("", Format);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, "");
    // Windows keeps a zero-length block; Wine refuses one, and a single zero byte stands in.
    EXPECT_EQ(BlockBytes(Format), RunningUnderWine() ? std::string(1, '\0') : std::string());
}

TEST_F(Win32Clipboard, TextWithItsZeroByteAndEmptyingRemovesOtherFormats) {
    const unsigned other = Clipboard.RegisterFormat("Tessara unit test other format");
    PutAndRead("other", other);
    Clipboard.Open();
    EXPECT_TRUE(Clipboard.HasData(other));
    Clipboard.Empty();
    Clipboard.SetData(kCfText, Clipboard.Allocate(std::string("x\0", 2)));
    Clipboard.Close();

    EXPECT_TRUE(Clipboard.IsFormatAvailable(kCfText));
    EXPECT_FALSE(Clipboard.IsFormatAvailable(other));
    Clipboard.Open();
    EXPECT_EQ(Clipboard.GetData(kCfText).value_or("none"), "x");
    EXPECT_FALSE(Clipboard.HasData(other));
    EXPECT_FALSE(Clipboard.GetData(other).has_value());
    Clipboard.Close();
}

// Another thread holds the clipboard for a while, as another program would.
static void HoldClipboard(std::chrono::milliseconds hold, HANDLE opened) {
    const HWND window = MakeHiddenWindow();
    // Signal only once the clipboard is really ours: another program may hold it a moment.
    for (int i = 0; i < 500 && !::OpenClipboard(window); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::SetEvent(opened);
    std::this_thread::sleep_for(hold);
    ::CloseClipboard();
    ::DestroyWindow(window);
}

TEST_F(Win32Clipboard, BriefHoldByAnotherProgramIsWaitedFor) {
    const HANDLE opened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder(HoldClipboard, std::chrono::milliseconds(30), opened);
    ::WaitForSingleObject(opened, 5000);
    EXPECT_NO_THROW(Clipboard.Open());
    Clipboard.Close();
    holder.join();
    ::CloseHandle(opened);
}

TEST_F(Win32Clipboard, LongHoldFailsWithCannotOpenClipboardAfterBoundedTries) {
    const HANDLE opened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder(HoldClipboard, std::chrono::milliseconds(1500), opened);
    ::WaitForSingleObject(opened, 5000);
    const auto start = std::chrono::steady_clock::now();
    try {
        Clipboard.Open();
        ADD_FAILURE() << "opened a clipboard that another thread holds";
        Clipboard.Close();
    } catch (const EClipboardException& error) {
        EXPECT_STREQ(error.what(), "Cannot open clipboard");
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    holder.join();
    ::CloseHandle(opened);
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        const HWND probe = MakeHiddenWindow();
        if (probe == nullptr) GTEST_SKIP() << "no window system";
        ::DestroyWindow(probe);
        Application.Create(::GetModuleHandleW(nullptr), nullptr, L"Tessara");
        Window.Create(::GetModuleHandleW(nullptr), nullptr, Application);
        Application.SetMainWindow(Window.Handle());
    }

    RECT ClientRectOf(int id) {
        RECT r;
        ::GetWindowRect(Window.Control(id), &r);
        ::MapWindowPoints(nullptr, Window.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    TWinApplication Application;
    TWinMainWindow Window;
};

TEST_F(Win32Window, MainWindowIsOwnedByTheApplicationWindowWithTheAgreedNames) {
    wchar_t name[64];
    ::GetClassNameW(Window.Handle(), name, 64);
    EXPECT_STREQ(name, L"TmForm");
    ::GetClassNameW(Application.Handle(), name, 64);
    EXPECT_STREQ(name, L"TessaraApplication");
    EXPECT_EQ(::GetWindow(Window.Handle(), GW_OWNER), Application.Handle());
    EXPECT_EQ(Window.Caption(), "Tessara");
    RECT client;
    ::GetClientRect(Window.Handle(), &client);
    EXPECT_EQ(client.right, kClientWidth);
    EXPECT_EQ(client.bottom, kClientHeight);
}

TEST_F(Win32Window, TabOrderSkipsDisabledButtonsAndLabels) {
    const int expected[] = {idDlgForms, idEdtName, idButton4, idButton5, idMemoOfHints,
                            idButtonMore, idButton1};
    HWND at = Window.Control(idButton1);
    for (int id : expected) {
        at = ::GetNextDlgTabItem(Window.Handle(), at, FALSE);
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(::GetDlgCtrlID(at), id);
    }
    EXPECT_FALSE(::IsWindowEnabled(Window.Control(idButton2)));
    EXPECT_FALSE(::IsWindowEnabled(Window.Control(idButton3)));
}

TEST_F(Win32Window, NarrowingKeepsLeftEdgeHeightAndTheStatusBarAlongTheBottom) {
    RECT before;
    ::GetWindowRect(Window.Handle(), &before);
    Window.SetOuterWidth(268);
    RECT after;
    ::GetWindowRect(Window.Handle(), &after);
    EXPECT_EQ(after.right - after.left, 268);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

    RECT client;
    ::GetClientRect(Window.Handle(), &client);
    const RECT status = ClientRectOf(idStatusBar1);
    EXPECT_EQ(status.left, 0);
    EXPECT_EQ(status.right, client.right);
    EXPECT_EQ(status.bottom, kClientHeight);
    EXPECT_EQ(status.bottom - status.top, 19);
    // The memo keeps its place and size beyond the narrow client area.
    const RECT memo = ClientRectOf(idMemoOfHints);
    EXPECT_EQ(memo.left, 264);
    EXPECT_EQ(memo.right - memo.left, 345);
}

TEST_F(Win32Window, ListItemsKeepLinksAndSelectionThroughRenameAndDelete) {
    TWinListBox& list = Window.DlgForms;
    list.BeginUpdate();
    list.Add(Cp1251("Форма"), Link(1));
    list.Add("", Link(2));
    list.Add("c", Link(3));
    list.EndUpdate();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.ItemIndex(), -1);
    list.SetItemIndex(1);
    list.Add("d", Link(4));
    EXPECT_EQ(list.ItemIndex(), 1);

    list.SetItemText(1, Cp1251("Новое имя"));
    EXPECT_EQ(list.ItemText(1), Cp1251("Новое имя"));
    EXPECT_EQ(list.ItemObject(1), Link(2));
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(list.Count(), 4);

    list.SetItemText(0, "x");  // not selected: the selection stays on the other item
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(list.ItemObject(0), Link(1));

    list.Delete(1);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.ItemText(1), "c");
    EXPECT_EQ(list.ItemObject(1), Link(3));
}

TEST_F(Win32Window, OwnerDataListPaintsAsTheStandardListWithTheSameTexts) {
    const HWND owned = Window.Control(idDlgForms);
    RECT at;
    ::GetWindowRect(owned, &at);
    const HWND standard = ::CreateWindowExW(
        WS_EX_CLIENTEDGE, L"LISTBOX", L"", WS_CHILD | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS, 0, 0,
        at.right - at.left, at.bottom - at.top, Window.Handle(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(standard, nullptr);
    ::SendMessageW(standard, WM_SETFONT, ::SendMessageW(owned, WM_GETFONT, 0, 0), FALSE);
    ::SendMessageW(standard, LB_SETITEMHEIGHT, 0, ::SendMessageW(owned, LB_GETITEMHEIGHT, 0, 0));
    const char* names[] = {"Форма", "", "a&b", "Таб\tназвание", "W", "Очень длинное название шаблона, которое не помещается"};
    Window.DlgForms.BeginUpdate();
    for (const char* name : names) {
        Window.DlgForms.Add(Cp1251(name), Named(Cp1251(name)));
        ::SendMessageW(standard, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(Cp1251(name)).c_str()));
    }
    Window.DlgForms.EndUpdate();
    for (const int selected : {-1, 0, 3, 5}) {
        SCOPED_TRACE(selected);
        Window.DlgForms.SetItemIndex(selected);
        ::SendMessageW(standard, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
        const std::vector<uint32_t> expected = PaintedPixels(standard), got = PaintedPixels(owned);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(got.size(), expected.size());
        size_t differing = 0;
        for (size_t i = 0; i < got.size(); ++i) differing += (got[i] & 0xFFFFFF) != (expected[i] & 0xFFFFFF);
        EXPECT_EQ(differing, 0u);
    }
    ::DestroyWindow(standard);
}

TEST_F(Win32Window, OwnerDataListCountsAndReadsItsEntriesAndJumpsToTheTypedLetter) {
    TWinListBox& list = Window.DlgForms;
    const HWND control = list.Handle();
    EXPECT_NE(::GetWindowLongPtrW(control, GWL_STYLE) & LBS_NODATA, 0);
    auto text = [&](int index) {
        wchar_t buffer[64] = L"unchanged";
        const LRESULT length = ::SendMessageW(control, LB_GETTEXT, static_cast<WPARAM>(index),
                                              reinterpret_cast<LPARAM>(buffer));
        return length == LB_ERR ? std::wstring(L"error") : std::wstring(buffer, static_cast<size_t>(length));
    };
    list.BeginUpdate();
    for (const char* name : {"Alpha", "beta", "Альфа", "Бета"}) list.Add(Cp1251(name), Named(Cp1251(name)));
    list.EndUpdate();
    EXPECT_EQ(::SendMessageW(control, LB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(::SendMessageW(control, LB_GETTEXTLEN, 2, 0), 5);
    EXPECT_EQ(text(2), L"Альфа");
    EXPECT_EQ(text(4), L"error");

    // Filled again as the form fills it (emptied from the bottom, then appended), with the
    // selection set before the fill ends.
    list.SetItemIndex(3);
    list.BeginUpdate();
    for (int i = list.Count() - 1; i >= 0; --i) list.Delete(i);
    for (const char* name : {"beta", "Alpha", "Бета"}) list.Add(Cp1251(name), Named(Cp1251(name)));
    EXPECT_EQ(list.ItemIndex(), -1);
    list.SetItemIndex(1);
    list.EndUpdate();
    EXPECT_EQ(::SendMessageW(control, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(text(0), L"beta");

    // Typed letters move the selection through the list's own key handling.
    struct {
        wchar_t Typed;
        int Selected;
    } const steps[] = {{L'b', 0}, {L'B', 0}, {L'a', 1}, {L'б', 2}, {L'Б', 2}, {L'q', 2}, {L'\x4E2D', 2}};
    for (const auto& step : steps) {
        ::SendMessageW(control, WM_CHAR, step.Typed, 1);
        EXPECT_EQ(list.ItemIndex(), step.Selected) << static_cast<int>(step.Typed);
    }

    list.Delete(0);  // outside a fill: the entries below move up, the selection with them
    EXPECT_EQ(::SendMessageW(control, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(text(1), L"Бета");
}

TEST_F(Win32Window, TextsOfEditStatusAndButtonsCrossTheWideEdge) {
    Window.edtName.SetText(Cp1251("Имя шаблона"));
    EXPECT_EQ(Window.edtName.Text(), Cp1251("Имя шаблона"));
    wchar_t text[128] = {};
    ::GetWindowTextW(Window.Control(idEdtName), text, 128);
    EXPECT_STREQ(text, L"Имя шаблона");

    Window.StatusBar1.SetText(Cp1251("Скопировано Форма!"));
    ::SendMessageW(Window.Control(idStatusBar1), WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"Скопировано Форма!");

    Window.ButtonMore.SetCaption("<<");
    ::GetWindowTextW(Window.Control(idButtonMore), text, 128);
    EXPECT_STREQ(text, L"<<");
    Window.Button2.SetEnabled(true);
    EXPECT_TRUE(::IsWindowEnabled(Window.Control(idButton2)));
}

TEST_F(Win32Window, MinimizeHidesIntoTheTrayAndRestoreBringsBackTheTaskbarButton) {
    int minimized = 0;
    Application.SetMinimizeHandler([&] {
        ++minimized;
        Application.HideTaskbarButton();
    });
    ::ShowWindow(Application.Handle(), SW_SHOWNA);
    ::ShowWindow(Window.Handle(), SW_SHOW);

    Application.Minimize();
    EXPECT_TRUE(Application.IsMinimized());
    EXPECT_FALSE(::IsWindowVisible(Window.Handle()));
    EXPECT_FALSE(::IsWindowVisible(Application.Handle()));
    Application.Minimize();
    EXPECT_EQ(minimized, 1);

    Application.Restore();
    EXPECT_FALSE(Application.IsMinimized());
    EXPECT_TRUE(::IsWindowVisible(Window.Handle()));
    EXPECT_TRUE(::IsWindowVisible(Application.Handle()));

    ::ShowWindow(Window.Handle(), SW_HIDE);
    Application.Restore();  // not minimized: nothing happens
    EXPECT_FALSE(::IsWindowVisible(Window.Handle()));
}

namespace {

// The window's messages of a move to a display of another DPI, as the system sends them.
constexpr UINT kDpiChanged = kWmDpiChanged;

LONG FontHeightOf(HWND control) {
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW face{};
    ::GetObjectW(font, sizeof face, &face);
    return face.lfHeight;
}

// The window made per-monitor DPI aware, as the program's manifest makes it: only such a
// window gets its frame drawn at the DPI it is moved to.
class Win32WindowPerMonitor : public Win32Window {
protected:
    using TSetThreadDpiAwarenessContext = HANDLE(WINAPI*)(HANDLE context);

    void SetUp() override {
        SetAwareness = reinterpret_cast<TSetThreadDpiAwarenessContext>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
        if (SetAwareness == nullptr) GTEST_SKIP() << "no per-monitor DPI awareness here";
        Previous = SetAwareness(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
        Win32Window::SetUp();
    }
    void TearDown() override {
        if (SetAwareness != nullptr && Previous != nullptr) SetAwareness(Previous);
    }

    TSetThreadDpiAwarenessContext SetAwareness = nullptr;
    HANDLE Previous = nullptr;
};

}  // namespace

TEST_F(Win32WindowPerMonitor, DpiChangeLaysOutAtTheNewScaleAndBackExactlyKeepingWidthAndSelection) {
    Window.SetOuterWidth(268);
    Window.DlgForms.Add("a", Link(1));
    Window.DlgForms.Add("b", Link(2));
    Window.DlgForms.SetItemIndex(1);
    RECT outer, client;
    ::GetWindowRect(Window.Handle(), &outer);
    ::GetClientRect(Window.Handle(), &client);
    const int frameAt96 = (outer.right - outer.left) - client.right;
    const HWND list = Window.Control(idDlgForms);
    struct {
        int Dpi;
        RECT Suggested;
        int ClientWidth, ClientHeight;
        RECT List, Memo, Button1, Status;  // left, top, right, bottom in the client area
        LONG Font, ItemHeight;
    } const steps[] = {
        {144, {100, 50, 500, 550}, ScaleToDpi(268 - frameAt96, 144), 423, {12, 84, 386, 266},
         {396, 12, 914, 374}, {14, 317, 112, 350}, {0, 394, ScaleToDpi(268 - frameAt96, 144), 423}, -17, 20},
        {96, {outer.left, outer.top, outer.left + 1, outer.top + 1}, client.right, 282, {8, 56, 257, 177},
         {264, 8, 609, 249}, {9, 211, 74, 233}, {0, 263, client.right, 282}, -11, 13},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Dpi);
        ::SendMessageW(Window.Handle(), kDpiChanged, MAKEWPARAM(step.Dpi, step.Dpi),
                       reinterpret_cast<LPARAM>(&step.Suggested));
        EXPECT_EQ(Window.Dpi(), step.Dpi);
        RECT at;
        ::GetWindowRect(Window.Handle(), &at);
        EXPECT_EQ(at.left, step.Suggested.left);  // the place the system suggests, our own size
        EXPECT_EQ(at.top, step.Suggested.top);
        ::GetClientRect(Window.Handle(), &at);
        EXPECT_EQ(at.right, step.ClientWidth);
        EXPECT_EQ(at.bottom, step.ClientHeight);
        const auto same = [](const RECT& a, const RECT& b) {
            return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
        };
        EXPECT_TRUE(same(ClientRectOf(idDlgForms), step.List));
        EXPECT_TRUE(same(ClientRectOf(idMemoOfHints), step.Memo));
        EXPECT_TRUE(same(ClientRectOf(idButton1), step.Button1));
        EXPECT_TRUE(same(ClientRectOf(idStatusBar1), step.Status));
        EXPECT_EQ(FontHeightOf(list), step.Font);
        EXPECT_EQ(FontHeightOf(Window.Control(idStatusBar1)), step.Font);
        EXPECT_EQ(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), step.ItemHeight);
        EXPECT_EQ(Window.DlgForms.ItemIndex(), 1);
        EXPECT_EQ(Window.DlgForms.ItemObject(1), Link(2));
    }
    ::GetWindowRect(Window.Handle(), &client);
    EXPECT_EQ(client.right - client.left, 268);
    EXPECT_EQ(client.bottom - client.top, outer.bottom - outer.top);
}

// The find window at the DPI of a display it is moved to while it shows, and back: its size, the
// layout of its two controls, its font and its row height are those of each scale.
TEST_F(Win32WindowPerMonitor, FindWindowTakesTheScaleOfTheDisplayItIsMovedTo) {
    TWinFindWindow find;
    find.Create(::GetModuleHandleW(nullptr), nullptr);
    const HWND search = ::GetDlgItem(find.Handle(), idFindSearch);
    const HWND list = ::GetDlgItem(find.Handle(), idFindList);
    const auto rectOf = [&](HWND control) {
        RECT r;
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(nullptr, find.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    std::map<int, std::pair<LONG, LRESULT>> looks;  // DPI -> font height, row height
    for (const int dpi : {96, 144, 192, 96}) {
        SCOPED_TRACE(dpi);
        const RECT suggested = {30, 40, 31, 41};
        ::SendMessageW(find.Handle(), kDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        RECT outer, client;
        ::GetWindowRect(find.Handle(), &outer);
        ::GetClientRect(find.Handle(), &client);
        EXPECT_EQ(outer.left, 30);
        EXPECT_EQ(outer.top, 40);
        EXPECT_EQ(outer.right - outer.left, ScaleToDpi(480, dpi));
        EXPECT_EQ(outer.bottom - outer.top, ScaleToDpi(300, dpi));
        const int margin = ScaleToDpi(4, dpi), box = ScaleToDpi(22, dpi);
        const RECT s = rectOf(search), l = rectOf(list);
        EXPECT_EQ(s.left, margin);
        EXPECT_EQ(s.top, margin);
        EXPECT_EQ(s.right, client.right - margin);
        EXPECT_EQ(s.bottom, margin + box);
        EXPECT_EQ(l.left, margin);
        EXPECT_EQ(l.top, margin + box + margin);
        EXPECT_EQ(l.right, client.right - margin);
        EXPECT_EQ(l.bottom, client.bottom - margin);
        const LONG font = FontHeightOf(list);
        EXPECT_EQ(FontHeightOf(search), font);
        const LRESULT row = ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
        EXPECT_GE(row, ScaleToDpi(16, dpi));
        if (const auto seen = looks.find(dpi); seen != looks.end()) {
            EXPECT_EQ(font, seen->second.first);  // back at a scale: exactly as it was
            EXPECT_EQ(row, seen->second.second);
        }
        looks[dpi] = {font, row};
    }
    // A larger scale, a larger font and row; the font in proportion to the scale.
    EXPECT_LT(looks[96].first, 0);
    EXPECT_NEAR(static_cast<double>(looks[144].first) / looks[96].first, 1.5, 0.15);
    EXPECT_NEAR(static_cast<double>(looks[192].first) / looks[96].first, 2.0, 0.2);
    EXPECT_GT(looks[144].second, looks[96].second);
    EXPECT_GT(looks[192].second, looks[144].second);
}

#endif  // _WIN32
