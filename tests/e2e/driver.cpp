// The end-to-end driver: drives Tessara's window from another process, as a user and the
// Configurator would, and reports what it sees.
//
// It reads commands, one a line, from stdin (or takes one command from its arguments) and
// answers each with one line on stdout: "ok ..." or "fail ...". Text results are quoted with
// C-style escapes over UTF-8; binary results are hex. Arguments are plain words, quoted strings
// with the same escapes, or "h:" followed by hex bytes (UTF-8 for text, raw for data).
// A command given by arguments sets the exit status: 0 when it succeeded, 1 when it failed.
//
// Every wait is a bounded poll; nothing sleeps for a fixed time to "let things settle".

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t MainClass[] = L"TmForm";
constexpr wchar_t MainCaption[] = L"Tessara";
constexpr wchar_t AppClass[] = L"TessaraApplication";
constexpr wchar_t FindClass[] = L"TessaraFind";
constexpr wchar_t EditorClass[] = L"TessaraEditor";
constexpr int FindSearchId = 301, FindListId = 302;
constexpr int PlaceholderAsIsId = 401;  // the "Как есть" button of the placeholder dialog
constexpr int FindHotkeyId = 1;  // the identifier the program registers its hotkey under
constexpr wchar_t DialogEditorFormatName[] = L"1S DIALOG EDITOR";
constexpr UINT SendTimeoutMs = 5000;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---- text conversions and quoting ---------------------------------------------------------

std::string ToUtf8(const std::wstring& w)
{
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring FromUtf8(const std::string& s)
{
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

std::string Quote(const std::wstring& w)
{
    std::string u = ToUtf8(w), out = "\"";
    for (unsigned char c : u) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::string Hex(const void* data, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    auto p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw Failure("bad hex digit");
}

// A plain word, or "h:" followed by the hex of its bytes.
std::string DecodeWord(const std::string& w)
{
    if (w.size() < 2 || w[0] != 'h' || w[1] != ':') return w;
    if ((w.size() - 2) % 2) throw Failure("odd hex length");
    std::string bytes;
    for (size_t k = 2; k < w.size(); k += 2) bytes += char(HexDigit(w[k]) * 16 + HexDigit(w[k + 1]));
    return bytes;
}

// Splits a command line into words: plain, "quoted with escapes", or h:HEX.
std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        std::string w;
        if (line[i] == '"') {
            ++i;
            while (i < line.size() && line[i] != '"') {
                char c = line[i++];
                if (c != '\\' || i >= line.size()) { w += c; continue; }
                char e = line[i++];
                switch (e) {
                case 'r': w += '\r'; break;
                case 'n': w += '\n'; break;
                case 't': w += '\t'; break;
                case 'x':
                    if (i + 2 > line.size()) throw Failure("short \\x escape");
                    w += char(HexDigit(line[i]) * 16 + HexDigit(line[i + 1]));
                    i += 2;
                    break;
                default: w += e;
                }
            }
            if (i >= line.size()) throw Failure("unterminated quote");
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') w += line[i++];
            w = DecodeWord(w);
        }
        words.push_back(w);
    }
    return words;
}

long ParseNumber(const std::string& s)
{
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 0);
    if (s.empty() || *end) throw Failure("not a number: " + s);
    return v;
}

// ---- windows --------------------------------------------------------------------------------

std::wstring ClassOf(HWND h)
{
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// Reads a window's text by WM_GETTEXT, which Wine marshals across processes.
std::wstring TextOf(HWND h)
{
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs, &len))
        throw Failure("WM_GETTEXTLENGTH timed out");
    // Some controls (Wine's status bar) answer WM_GETTEXTLENGTH short: ask with room to spare
    // and take the text up to its terminating zero.
    std::wstring buf(len + 1024, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, WPARAM(buf.size()), LPARAM(buf.data()), SMTO_ABORTIFHUNG,
                             SendTimeoutMs, &got))
        throw Failure("WM_GETTEXT timed out");
    // An empty text may come back without its terminating zero: trust the count for it.
    buf.resize(got == 0 ? 0 : wcsnlen(buf.c_str(), buf.size()));
    return buf;
}

LRESULT Send(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, SendTimeoutMs, &result))
        throw Failure("SendMessage timed out (message " + std::to_string(msg) + ")");
    return LRESULT(result);
}

// Messages posted since the last sync: each needs one more round trip there.
int PostedSinceSync = 0;

void Post(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    if (!PostMessageW(h, msg, w, l)) throw Failure("PostMessage failed");
    ++PostedSinceSync;
}

HWND FindMain()
{
    return FindWindowW(MainClass, MainCaption);
}

HWND Main()
{
    HWND h = FindMain();
    if (!h) throw Failure("no main window");
    return h;
}

HWND Control(long id)
{
    HWND main = Main();
    if (id == 0) return main;
    HWND h = GetDlgItem(main, int(id));
    if (!h) throw Failure("no control " + std::to_string(id));
    return h;
}

HWND Find()
{
    HWND h = FindWindowW(FindClass, nullptr);
    if (!h) throw Failure("no find window");
    return h;
}

HWND FindControl(int id)
{
    HWND h = GetDlgItem(Find(), id);
    if (!h) throw Failure("no find control " + std::to_string(id));
    return h;
}

DWORD ProcessOf(HWND h)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

// Polls `ready` every few milliseconds until it holds or `timeoutMs` have passed.
bool PollUntil(DWORD timeoutMs, const std::function<bool()>& ready)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (ready()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

struct TopWindow {
    HWND hwnd;
    DWORD pid;
    std::wstring cls, title;
    bool visible;
    RECT rect;
};

BOOL CALLBACK CollectWindow(HWND h, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
    return TRUE;
}

// The child windows of Parent, or the top-level windows when Parent is null.
std::vector<HWND> WindowsUnder(HWND parent)
{
    std::vector<HWND> found;
    if (parent)
        EnumChildWindows(parent, CollectWindow, LPARAM(&found));
    else
        EnumWindows(CollectWindow, LPARAM(&found));
    return found;
}

std::vector<TopWindow> TopWindows()
{
    std::vector<TopWindow> all;
    for (HWND h : WindowsUnder(nullptr)) {
        TopWindow w{h, ProcessOf(h), ClassOf(h), {}, IsWindowVisible(h) != FALSE, {}};
        wchar_t t[512] = {};
        GetWindowTextW(h, t, 512);
        w.title = t;
        GetWindowRect(h, &w.rect);
        all.push_back(w);
    }
    return all;
}

// A visible dialog of the program: its placeholder dialog (the one with the "Как есть"
// button), or any other dialog, a message box.
HWND FindDialog(bool placeholders)
{
    HWND main = FindMain();
    if (!main) return nullptr;
    DWORD pid = ProcessOf(main);
    for (const auto& w : TopWindows())
        if (w.visible && w.pid == pid && w.cls == L"#32770" &&
            (GetDlgItem(w.hwnd, PlaceholderAsIsId) != nullptr) == placeholders)
            return w.hwnd;
    return nullptr;
}

// The visible message box of the program, if one is open.
HWND FindMessageBox()
{
    return FindDialog(false);
}

HWND PlaceholderDialog()
{
    HWND h = FindDialog(true);
    if (!h) throw Failure("no placeholder dialog");
    return h;
}

// The program's tool tip, if one is shown.
HWND FindToolTip()
{
    HWND main = FindMain();
    if (!main) return nullptr;
    DWORD pid = ProcessOf(main);
    for (const auto& w : TopWindows())
        if (w.visible && w.pid == pid && w.cls == L"tooltips_class32") return w.hwnd;
    return nullptr;
}

// The program's visible module editor window, if one is open.
HWND FindEditor()
{
    HWND main = FindMain();
    if (!main) return nullptr;
    DWORD pid = ProcessOf(main);
    for (const auto& w : TopWindows())
        if (w.visible && w.pid == pid && w.cls == EditorClass) return w.hwnd;
    return nullptr;
}

HWND Editor()
{
    HWND h = FindEditor();
    if (!h) throw Failure("no editor window");
    return h;
}

// Key presses typed on the keyboard through SendInput, into whatever window is in front.
void SendKeys(std::vector<INPUT>& inputs)
{
    if (inputs.empty()) return;
    if (SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) throw Failure("SendInput failed");
}

INPUT KeyInput(WORD vk, bool up)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = WORD(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    switch (vk) {
    case VK_UP: case VK_DOWN: case VK_LEFT: case VK_RIGHT: case VK_HOME: case VK_END: case VK_PRIOR:
    case VK_NEXT: case VK_INSERT: case VK_DELETE: case VK_APPS:
        in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
        break;
    default: break;
    }
    return in;
}

HWND FindPopupMenu()
{
    for (const auto& w : TopWindows())
        if (w.visible && w.cls == L"#32768") return w.hwnd;
    return nullptr;
}

std::string RectText(const RECT& r)
{
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
           std::to_string(r.bottom);
}

// The rectangle of a window that was looked for; Missing is the failure when none was found.
std::string WindowRectText(HWND window, const char* missing)
{
    if (!window) throw Failure(missing);
    RECT r;
    GetWindowRect(window, &r);
    return RectText(r);
}

// ---- clipboard ------------------------------------------------------------------------------

HWND OwnerWindow()
{
    static HWND owner = nullptr;
    if (!owner) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TessaraE2EDriver";
        RegisterClassW(&wc);
        owner = CreateWindowExW(0, wc.lpszClassName, L"e2e driver", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, wc.hInstance, nullptr);
        if (!owner) throw Failure("cannot create the driver's window");
    }
    return owner;
}

struct OpenedClipboard {
    OpenedClipboard()
    {
        HWND owner = OwnerWindow();
        if (!PollUntil(2000, [&] { return OpenClipboard(owner) != FALSE; })) throw Failure("cannot open clipboard");
    }
    ~OpenedClipboard() { CloseClipboard(); }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

UINT FormatByName(const std::string& name)
{
    if (name == "dlg") return RegisterClipboardFormatW(DialogEditorFormatName);
    if (name == "text") return CF_TEXT;
    if (name == "utext") return CF_UNICODETEXT;
    if (name == "oemtext") return CF_OEMTEXT;
    if (name == "locale") return CF_LOCALE;
    if (!name.empty() && name[0] >= '0' && name[0] <= '9') return UINT(ParseNumber(name));
    return RegisterClipboardFormatW(FromUtf8(name).c_str());
}

std::string FormatName(UINT f)
{
    switch (f) {
    case CF_TEXT: return "text";
    case CF_UNICODETEXT: return "utext";
    case CF_OEMTEXT: return "oemtext";
    case CF_LOCALE: return "locale";
    default: break;
    }
    wchar_t buf[256] = {};
    if (GetClipboardFormatNameW(f, buf, 256) > 0) {
        if (std::wstring(buf) == DialogEditorFormatName) return "dlg";
        return Quote(buf);
    }
    return std::to_string(f);
}

// ---- the commands ---------------------------------------------------------------------------

using Args = std::vector<std::string>;
using Command = std::function<std::string(const Args&)>;

void NeedArgs(const Args& a, size_t n)
{
    if (a.size() < n + 1) throw Failure("command needs " + std::to_string(n) + " argument(s)");
}

std::map<std::string, Command>& Commands();

std::string Run(const Args& words)
{
    auto& commands = Commands();
    auto it = commands.find(words[0]);
    if (it == commands.end()) throw Failure("unknown command " + words[0]);
    return it->second(words);
}

// A key press posted to a window as the keyboard delivers it: WM_KEYDOWN, WM_CHAR when the
// key types a character, WM_KEYUP. The virtual key is argument First, the character the next.
void PostKey(HWND target, const Args& a, size_t first)
{
    WPARAM vk = WPARAM(ParseNumber(a[first]));
    UINT scan = MapVirtualKeyW(UINT(vk), MAPVK_VK_TO_VSC);
    Post(target, WM_KEYDOWN, vk, LPARAM(1 | (scan << 16)));
    if (a.size() > first + 1) Post(target, WM_CHAR, WPARAM(ParseNumber(a[first + 1])), LPARAM(1 | (scan << 16)));
    Post(target, WM_KEYUP, vk, LPARAM(1 | (scan << 16) | 0xC0000000u));
}

// Appends Item to List, after Separator unless List is empty.
void Join(std::string& list, const char* separator, const std::string& item)
{
    if (!list.empty()) list.append(separator);
    list.append(item);
}

std::string Flag(bool b)
{
    return b ? "1" : "0";
}

std::map<std::string, Command>& Commands()
{
    static std::map<std::string, Command> c;
    if (!c.empty()) return c;

    // wait-main MS [created]: the main window exists and is visible (or only exists), and its
    // thread is idle.
    c["wait-main"] = [](const Args& a) {
        NeedArgs(a, 1);
        bool visible = a.size() < 3 || a[2] != "created";
        HWND h = nullptr;
        if (!PollUntil(DWORD(ParseNumber(a[1])), [&] { return (h = FindMain()) && (!visible || IsWindowVisible(h)); }))
            throw Failure("main window did not appear");
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, ProcessOf(h));
        if (process) {
            WaitForInputIdle(process, 5000);
            CloseHandle(process);
        }
        return std::to_string(ProcessOf(h));
    };
    // gone-main MS: no main window any more.
    c["gone-main"] = [](const Args& a) {
        NeedArgs(a, 1);
        if (!PollUntil(DWORD(ParseNumber(a[1])), [] { return FindMain() == nullptr; }))
            throw Failure("main window still there");
        return std::string();
    };
    c["rect"] = [](const Args& a) {
        NeedArgs(a, 1);
        RECT r;
        GetWindowRect(Control(ParseNumber(a[1])), &r);
        return RectText(r);
    };
    // pos ID: the control's "left top width height" in the main window's client coordinates.
    c["pos"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND h = Control(ParseNumber(a[1]));
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&r), 2);
        return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + " " +
               std::to_string(r.bottom - r.top);
    };
    // clientrect: the main window's client area in screen coordinates.
    c["clientrect"] = [](const Args&) {
        RECT r;
        GetClientRect(Main(), &r);
        MapWindowPoints(Main(), nullptr, reinterpret_cast<POINT*>(&r), 2);
        return RectText(r);
    };
    c["client"] = [](const Args&) {
        RECT r;
        GetClientRect(Main(), &r);
        return std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
    };
    // awareness: the main window's DPI awareness (0 unaware, 1 system, 2 per monitor).
    c["awareness"] = [](const Args&) {
        return std::to_string(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(Main())));
    };
    // itemheight ID: the list box's item height.
    c["itemheight"] = [](const Args& a) {
        NeedArgs(a, 1);
        return std::to_string(long(Send(Control(ParseNumber(a[1])), LB_GETITEMHEIGHT, 0, 0)));
    };
    c["screen"] = [](const Args&) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        return std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " " + std::to_string(GetSystemMetrics(SM_CYSCREEN)) +
               " " + RectText(work);
    };
    c["text"] = [](const Args& a) {
        NeedArgs(a, 1);
        return Quote(TextOf(Control(ParseNumber(a[1]))));
    };
    c["settext"] = [](const Args& a) {
        NeedArgs(a, 2);
        std::wstring w = FromUtf8(a[2]);
        Send(Control(ParseNumber(a[1])), WM_SETTEXT, 0, LPARAM(w.c_str()));
        return std::string();
    };
    c["enabled"] = [](const Args& a) {
        NeedArgs(a, 1);
        return Flag(IsWindowEnabled(Control(ParseNumber(a[1]))));
    };
    c["visible"] = [](const Args& a) {
        NeedArgs(a, 1);
        return Flag(IsWindowVisible(Control(ParseNumber(a[1]))));
    };
    // Synchronous click: returns when the handler has run.
    c["click"] = [](const Args& a) {
        NeedArgs(a, 1);
        Send(Control(ParseNumber(a[1])), BM_CLICK, 0, 0);
        return std::string();
    };
    // Posted click: for handlers that may open a modal box.
    c["postclick"] = [](const Args& a) {
        NeedArgs(a, 1);
        Post(Control(ParseNumber(a[1])), BM_CLICK, 0, 0);
        return std::string();
    };
    // command ID: a menu item's WM_COMMAND, posted to the main window.
    c["command"] = [](const Args& a) {
        NeedArgs(a, 1);
        Post(Main(), WM_COMMAND, MAKEWPARAM(ParseNumber(a[1]), 0), 0);
        return std::string();
    };
    // post MSG WPARAM LPARAM to the main window.
    c["post"] = [](const Args& a) {
        NeedArgs(a, 3);
        Post(Main(), UINT(ParseNumber(a[1])), WPARAM(ParseNumber(a[2])), LPARAM(ParseNumber(a[3])));
        return std::string();
    };
    // send MSG WPARAM LPARAM to the main window (MSG a number or a registered message's name);
    // gives the handler's result.
    c["send"] = [](const Args& a) {
        NeedArgs(a, 3);
        UINT msg = a[1][0] >= '0' && a[1][0] <= '9' ? UINT(ParseNumber(a[1]))
                                                    : RegisterWindowMessageW(FromUtf8(a[1]).c_str());
        return std::to_string(long(Send(Main(), msg, WPARAM(ParseNumber(a[2])), LPARAM(ParseNumber(a[3])))));
    };
    // sync: the messages posted to the program before it have been handled (unless one of
    // them opened a modal box). A sent message is handled at the receiver's next message
    // retrieval, ahead of posted ones; each further round trip waits for one more retrieval,
    // so one round per posted message, and three more for what their handling posted (the
    // character of a key press), bring them all through.
    c["sync"] = [](const Args&) {
        for (int round = 0; round < PostedSinceSync + 3; ++round) Send(Main(), WM_NULL, 0, 0);
        PostedSinceSync = 0;
        return std::string();
    };
    // redraw: the main window and all its controls repaint themselves completely, now.
    c["redraw"] = [](const Args&) {
        RedrawWindow(Main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Send(Main(), WM_NULL, 0, 0);
        return std::string();
    };
    c["focus"] = [](const Args&) {
        HWND main = Main();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) throw Failure("GetGUIThreadInfo failed");
        if (!info.hwndFocus) return std::string("none");
        if (info.hwndFocus == main) return std::string("main");
        return std::to_string(GetDlgCtrlID(info.hwndFocus));
    };
    // key ID|focus VK [CHAR]: a key press posted to a control (or to the focused one), as the
    // keyboard would deliver it: WM_KEYDOWN, WM_CHAR when the key types a character, WM_KEYUP.
    c["key"] = [](const Args& a) {
        NeedArgs(a, 2);
        HWND target = nullptr;
        if (a[1] == "focus") {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(GetWindowThreadProcessId(Main(), nullptr), &info);
            target = info.hwndFocus;
            if (!target) throw Failure("no focused control");
        } else {
            target = Control(ParseNumber(a[1]));
        }
        PostKey(target, a, 2);
        return std::string();
    };
    // The find window: find-wait MS shown|hidden, find-hotkey (WM_HOTKEY as the system posts
    // it), find-rows ("count selected"), find-text (the search box), find-key,
    // find-rect [ID].
    c["find-wait"] = [](const Args& a) {
        NeedArgs(a, 2);
        const bool shown = a[2] == "shown";
        if (!PollUntil(DWORD(ParseNumber(a[1])), [&] { return bool(IsWindowVisible(Find())) == shown; }))
            throw Failure(shown ? "find window not shown" : "find window still shown");
        return std::string();
    };
    c["find-hotkey"] = [](const Args&) {
        Post(Find(), WM_HOTKEY, FindHotkeyId, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, VK_INSERT));
        return std::string();
    };
    c["find-rows"] = [](const Args&) {
        HWND list = FindControl(FindListId);
        return std::to_string(long(Send(list, LB_GETCOUNT, 0, 0))) + " " +
               std::to_string(long(Send(list, LB_GETCURSEL, 0, 0)));
    };
    c["find-text"] = [](const Args&) { return Quote(TextOf(FindControl(FindSearchId))); };
    // find-key VK [CHAR]: a key press posted to the search box: WM_KEYDOWN, WM_CHAR when the
    // key types a character, WM_KEYUP.
    c["find-key"] = [](const Args& a) {
        NeedArgs(a, 1);
        PostKey(FindControl(FindSearchId), a, 1);
        return std::string();
    };
    // find-rect [ID]: the find window's rectangle on the screen, or that of its control ID.
    c["find-rect"] = [](const Args& a) {
        RECT r;
        GetWindowRect(a.size() > 1 ? FindControl(ParseNumber(a[1])) : Find(), &r);
        return RectText(r);
    };
    // The placeholder dialog: ph-wait MS shown|gone (shown: its rectangle), ph-rect [ID] (the
    // dialog's rectangle on the screen, or that of its control ID), ph-text ID (a control's
    // text; 0: the title), ph-focus (the ID of the control that has the focus).
    c["ph-wait"] = [](const Args& a) {
        NeedArgs(a, 2);
        const bool shown = a[2] == "shown";
        HWND dialog = nullptr;
        if (!PollUntil(DWORD(ParseNumber(a[1])), [&] { return ((dialog = FindDialog(true)) != nullptr) == shown; }))
            throw Failure(shown ? "no placeholder dialog" : "the placeholder dialog is still open");
        return shown ? WindowRectText(dialog, "no placeholder dialog") : std::string();
    };
    c["ph-rect"] = [](const Args& a) {
        HWND dialog = PlaceholderDialog();
        return WindowRectText(a.size() > 1 ? GetDlgItem(dialog, int(ParseNumber(a[1]))) : dialog, "no such control");
    };
    c["ph-text"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND dialog = PlaceholderDialog();
        const long id = ParseNumber(a[1]);
        HWND control = id == 0 ? dialog : GetDlgItem(dialog, int(id));
        if (!control) throw Failure("no such control");
        return Quote(TextOf(control));
    };
    c["ph-focus"] = [](const Args&) {
        HWND dialog = PlaceholderDialog();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) throw Failure("GetGUIThreadInfo failed");
        if (!info.hwndFocus || !IsChild(dialog, info.hwndFocus)) return std::string("none");
        return std::to_string(GetDlgCtrlID(info.hwndFocus));
    };
    // input ITEM...: typed on the keyboard through SendInput, into the foreground window, as
    // it is: VK (a key; "ctrl+", "shift+" and "alt+" before it hold those keys down with it,
    // as in "ctrl+shift+90") or text=h:HEX (UTF-8 text, each character typed as a Unicode
    // character).
    c["input"] = [](const Args& a) {
        NeedArgs(a, 1);
        std::vector<INPUT> inputs;
        for (size_t i = 1; i < a.size(); ++i) {
            if (a[i].rfind("text=", 0) == 0) {
                for (wchar_t typed : FromUtf8(DecodeWord(a[i].substr(5))))
                    for (bool up : {false, true}) {
                        INPUT in{};
                        in.type = INPUT_KEYBOARD;
                        in.ki.wScan = WORD(typed);
                        in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
                        inputs.push_back(in);
                    }
                continue;
            }
            std::string item = a[i];
            std::vector<WORD> held;
            for (bool more = true; more;) {
                more = false;
                for (const auto& [prefix, vk] : {std::pair<const char*, WORD>{"ctrl+", VK_CONTROL},
                                                 {"shift+", VK_SHIFT}, {"alt+", VK_MENU}})
                    if (item.rfind(prefix, 0) == 0) {
                        held.push_back(vk);
                        item.erase(0, std::strlen(prefix));
                        more = true;
                    }
            }
            const WORD vk = WORD(ParseNumber(item));
            for (WORD h : held) inputs.push_back(KeyInput(h, false));
            inputs.push_back(KeyInput(vk, false));
            inputs.push_back(KeyInput(vk, true));
            for (auto h = held.rbegin(); h != held.rend(); ++h) inputs.push_back(KeyInput(*h, true));
        }
        SendKeys(inputs);
        return std::string();
    };
    // chord MODS VK: a key typed on the keyboard with modifiers held (MODS: "none" or
    // ctrl, shift, alt joined by "+"), through SendInput into the foreground window, after
    // bringing the main window forward: the program sees the modifiers as the keyboard's.
    c["chord"] = [](const Args& a) {
        NeedArgs(a, 2);
        std::vector<WORD> held;
        for (const auto& [name, vk] : {std::pair<const char*, WORD>{"ctrl", VK_CONTROL}, {"shift", VK_SHIFT},
                                       {"alt", VK_MENU}})
            if (a[1].find(name) != std::string::npos) held.push_back(vk);
        SetForegroundWindow(Main());
        std::vector<INPUT> inputs;
        auto press = [&](WORD vk, bool up) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = vk;
            in.ki.wScan = WORD(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
            in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            if (vk == VK_UP || vk == VK_DOWN || vk == VK_DELETE || vk == VK_APPS) in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
            inputs.push_back(in);
        };
        for (WORD vk : held) press(vk, false);
        const WORD key = WORD(ParseNumber(a[2]));
        press(key, false);
        press(key, true);
        for (auto it = held.rbegin(); it != held.rend(); ++it) press(*it, true);
        if (SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
            throw Failure("SendInput failed");
        return std::string();
    };
    // ---- the module editor ----
    // editor-wait MS [gone]: waits for the program's editor window (or for it to go); gives
    // "caption" and its rectangle.
    c["editor-wait"] = [](const Args& a) {
        NeedArgs(a, 1);
        if (a.size() > 2 && a[2] == "gone") {
            if (!PollUntil(DWORD(ParseNumber(a[1])), [] { return FindEditor() == nullptr; }))
                throw Failure("the editor window is still open");
            return std::string();
        }
        // Shown, and its thread idle again (a large text takes a while).
        HWND editor = nullptr;
        if (!PollUntil(DWORD(ParseNumber(a[1])), [&] {
                DWORD_PTR result = 0;
                return (editor = FindEditor()) != nullptr &&
                       SendMessageTimeoutW(editor, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &result) != 0;
            }))
            throw Failure("no editor window");
        RECT r;
        GetWindowRect(editor, &r);
        return Quote(TextOf(editor)) + " " + RectText(r);
    };
    // editor-text ID: the text of a control of the editor window (WM_GETTEXT: a rich edit
    // control gives its line breaks as CR LF).
    c["editor-text"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND control = GetDlgItem(Editor(), int(ParseNumber(a[1])));
        if (!control) throw Failure("no editor control " + a[1]);
        return Quote(TextOf(control));
    };
    // editor-sel: "start end" of the selection in the editor's text (EM_GETSEL: the first
    // 65535 characters).
    c["editor-sel"] = [](const Args&) {
        HWND text = GetDlgItem(Editor(), 403);
        if (!text) throw Failure("no editor text");
        const DWORD packed = DWORD(Send(text, EM_GETSEL, 0, 0));
        return std::to_string(LOWORD(packed)) + " " + std::to_string(HIWORD(packed));
    };
    // editor-focus: the identifier of the editor's control that has the focus ("none").
    c["editor-focus"] = [](const Args&) {
        HWND editor = Editor();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(editor, nullptr), &info)) throw Failure("GetGUIThreadInfo failed");
        if (!info.hwndFocus || !IsChild(editor, info.hwndFocus)) return std::string("none");
        return std::to_string(GetDlgCtrlID(info.hwndFocus)) + " " + Quote(ClassOf(info.hwndFocus));
    };
    // editor-redraw: the editor's window repaints itself completely, now; gives the caret's
    // rectangle on the screen ("-" when it has none), which blinks and so differs between
    // two pictures.
    c["editor-redraw"] = [](const Args&) {
        HWND editor = Editor();
        RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Send(editor, WM_NULL, 0, 0);
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(editor, nullptr), &info) || !info.hwndCaret) return std::string("-");
        POINT corners[2] = {{info.rcCaret.left, info.rcCaret.top}, {info.rcCaret.right, info.rcCaret.bottom}};
        MapWindowPoints(info.hwndCaret, nullptr, corners, 2);
        return RectText({corners[0].x, corners[0].y, corners[1].x, corners[1].y});
    };
    // drop FILE...: files dropped on the main window, as the shell delivers them: WM_DROPFILES
    // with a DROPFILES block of wide names in the program's own memory.
    c["drop"] = [](const Args& a) {
        NeedArgs(a, 1);
        std::vector<wchar_t> names;
        for (size_t i = 1; i < a.size(); ++i) {
            const std::wstring name = FromUtf8(a[i]);
            names.insert(names.end(), name.begin(), name.end());
            names.push_back(L'\0');
        }
        names.push_back(L'\0');
        std::string block(sizeof(DROPFILES) + names.size() * sizeof(wchar_t), '\0');
        DROPFILES header{};
        header.pFiles = sizeof(DROPFILES);
        header.pt = {20, 20};
        header.fWide = TRUE;
        std::memcpy(block.data(), &header, sizeof header);
        std::memcpy(block.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
        HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, ProcessOf(Main()));
        if (!process) throw Failure("cannot open the program's process");
        void* there = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        const bool written = there && WriteProcessMemory(process, there, block.data(), block.size(), nullptr);
        CloseHandle(process);
        if (!written) throw Failure("cannot write the drop block into the program");
        Post(Main(), WM_DROPFILES, WPARAM(there), 0);
        return std::string();
    };
    c["foreground"] = [](const Args&) {
        HWND fg = GetForegroundWindow();
        if (fg == Main()) return std::string("1");
        char buf[64];
        std::snprintf(buf, sizeof buf, "0 %p ", (void*)fg);
        return buf + Quote(fg ? ClassOf(fg) : L"");
    };
    // state: "visible iconic" of the main window.
    c["state"] = [](const Args&) {
        HWND main = Main();
        return Flag(IsWindowVisible(main)) + " " + Flag(IsIconic(main));
    };
    // appwin: "exists visible" of the window that carries the taskbar button.
    c["appwin"] = [](const Args&) {
        HWND main = Main();
        DWORD pid = ProcessOf(main);
        for (const auto& w : TopWindows())
            if (w.pid == pid && w.cls == AppClass) return "1 " + Flag(w.visible) + " " + Quote(w.title);
        return std::string("0 0");
    };
    // taskbar: how many visible top-level windows of the program would get a taskbar button:
    // unowned, not tool windows, or with WS_EX_APPWINDOW.
    c["taskbar"] = [](const Args&) {
        DWORD pid = ProcessOf(Main());
        int n = 0;
        for (const auto& w : TopWindows()) {
            if (w.pid != pid || !w.visible) continue;
            LONG_PTR ex = GetWindowLongPtrW(w.hwnd, GWL_EXSTYLE);
            bool owned = GetWindow(w.hwnd, GW_OWNER) != nullptr;
            if ((ex & WS_EX_APPWINDOW) || (!owned && !(ex & WS_EX_TOOLWINDOW))) ++n;
        }
        return std::to_string(n);
    };
    c["minimize"] = [](const Args&) {
        Post(Main(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return std::string();
    };
    c["close"] = [](const Args&) {
        Post(Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
        return std::string();
    };

    // ---- the list box ----
    c["lb"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND lb = Control(ParseNumber(a[1]));
        LRESULT count = Send(lb, LB_GETCOUNT, 0, 0);
        std::string out = std::to_string(count) + " " + std::to_string(long(Send(lb, LB_GETCURSEL, 0, 0)));
        for (LRESULT i = 0; i < count; ++i) {
            LRESULT len = Send(lb, LB_GETTEXTLEN, WPARAM(i), 0);
            std::wstring buf(size_t(len < 0 ? 0 : len) + 1, L'\0');
            LRESULT got = Send(lb, LB_GETTEXT, WPARAM(i), LPARAM(buf.data()));
            buf.resize(size_t(got < 0 ? 0 : got));
            Join(out, " ", Quote(buf));
        }
        return out;
    };
    // select ID INDEX: the user's selection, with the notification the list sends for it.
    c["select"] = [](const Args& a) {
        NeedArgs(a, 2);
        long id = ParseNumber(a[1]);
        HWND lb = Control(id);
        Send(lb, LB_SETCURSEL, WPARAM(ParseNumber(a[2])), 0);
        Send(Main(), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), LPARAM(lb));
        return std::string();
    };

    // ---- message boxes and menus ----
    // msgbox MS: waits for the program's message box; "title" "text" buttons icon.
    c["msgbox"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND box = nullptr;
        if (!PollUntil(DWORD(ParseNumber(a[1])), [&] { return (box = FindMessageBox()) != nullptr; }))
            throw Failure("no message box");
        PollUntil(2000, [&] { return GetDlgItem(box, 0xFFFF) != nullptr; });
        HWND text = GetDlgItem(box, 0xFFFF);
        std::string buttons;
        const std::pair<int, const char*> ids[] = {{IDOK, "ok"},     {IDCANCEL, "cancel"}, {IDYES, "yes"},
                                                   {IDNO, "no"},     {IDABORT, "abort"},   {IDRETRY, "retry"},
                                                   {IDIGNORE, "ignore"}};
        for (auto [id, name] : ids) {
            HWND b = GetDlgItem(box, id);
            if (b && IsWindowVisible(b)) Join(buttons, ",", name);
        }
        HWND icon = GetDlgItem(box, 0x0440);
        bool hasIcon = icon && IsWindowVisible(icon) && Send(icon, STM_GETICON, 0, 0) != 0;
        wchar_t title[256] = {};
        GetWindowTextW(box, title, 256);
        return Quote(title) + " " + Quote(text ? TextOf(text) : L"") + " " + (buttons.empty() ? "-" : buttons) +
               " icon=" + Flag(hasIcon);
    };
    // tooltip MS: waits for a tool tip of the program to show and gives its text.
    c["tooltip"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND tip = nullptr;
        if (!PollUntil(DWORD(ParseNumber(a[1])), [&] { return (tip = FindToolTip()) != nullptr; }))
            throw Failure("no tool tip");
        return Quote(TextOf(tip));
    };
    // tooltiprect: the shown tool tip's rectangle.
    c["tooltiprect"] = [](const Args&) { return WindowRectText(FindToolTip(), "no tool tip"); };
    c["notooltip"] = [](const Args& a) {
        NeedArgs(a, 1);
        if (!PollUntil(DWORD(ParseNumber(a[1])), [] { return FindToolTip() == nullptr; }))
            throw Failure("a tool tip is still shown");
        return std::string();
    };
    // msgboxrect: the open message box's rectangle.
    c["msgboxrect"] = [](const Args&) { return WindowRectText(FindMessageBox(), "no message box"); };
    c["nomsgbox"] = [](const Args&) {
        if (FindMessageBox()) throw Failure("a message box is open");
        return std::string();
    };
    // answer ok|cancel: presses the box's button and waits until the box has gone.
    c["answer"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND box = nullptr;
        if (!PollUntil(3000, [&] { return (box = FindMessageBox()) != nullptr; })) throw Failure("no message box");
        int id = a[1] == "ok" ? IDOK : a[1] == "cancel" ? IDCANCEL : int(ParseNumber(a[1]));
        HWND button = GetDlgItem(box, id);
        if (!button) throw Failure("the box has no such button");
        Post(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button));
        if (!PollUntil(3000, [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
            throw Failure("the box did not close");
        return std::string();
    };
    // menu MS: waits for an open pop-up menu and gives its rectangle.
    c["menu"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND menu = nullptr;
        if (!PollUntil(DWORD(ParseNumber(a[1])), [&] { return (menu = FindPopupMenu()) != nullptr; }))
            throw Failure("no pop-up menu");
        RECT r;
        GetWindowRect(menu, &r);
        return RectText(r);
    };
    c["nomenu"] = [](const Args& a) {
        DWORD ms = a.size() > 1 ? DWORD(ParseNumber(a[1])) : 0;
        if (!PollUntil(ms, [] { return FindPopupMenu() == nullptr; })) throw Failure("a pop-up menu is open");
        return std::string();
    };
    // menukey VK...: key presses posted to the open pop-up menu, whose tracking loop reads
    // them. Only key-down messages: the menu acts on those, and the window is gone as soon as
    // a key has closed it (a key-up posted after that would fail, racing the menu).
    c["menukey"] = [](const Args& a) {
        NeedArgs(a, 1);
        HWND menu = FindPopupMenu();
        if (!menu) throw Failure("no pop-up menu");
        for (size_t i = 1; i < a.size(); ++i)
            if (!PostMessageW(menu, WM_KEYDOWN, WPARAM(ParseNumber(a[i])), 1))
                throw Failure("the menu closed before key " + std::to_string(i));
        return std::string();
    };

    // ---- the clipboard ----
    // clip-put FORMAT=HEX ...: empties the clipboard and puts each block with exactly those
    // bytes (FORMAT: dlg, text, utext, locale, a number or a format name). No pairs: just empty.
    c["clip-put"] = [](const Args& a) {
        std::vector<std::pair<UINT, std::string>> blocks;
        for (size_t i = 1; i < a.size(); ++i) {
            size_t eq = a[i].find('=');
            if (eq == std::string::npos) throw Failure("clip-put wants FORMAT=h:HEX");
            std::string value = a[i].substr(eq + 1);
            // The value was not split as its own word, so decode its hex here.
            value = DecodeWord(value);
            blocks.emplace_back(FormatByName(a[i].substr(0, eq)), value);
        }
        OpenedClipboard open;
        if (!EmptyClipboard()) throw Failure("EmptyClipboard failed");
        for (auto& [format, bytes] : blocks) {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
            if (!block) throw Failure("GlobalAlloc failed");
            if (!bytes.empty()) {
                void* p = GlobalLock(block);
                memcpy(p, bytes.data(), bytes.size());
                GlobalUnlock(block);
            }
            if (!SetClipboardData(format, block)) {
                GlobalFree(block);
                throw Failure("SetClipboardData failed for " + FormatName(format));
            }
        }
        return std::string();
    };
    // clip-get FORMAT: "SIZE HEX" of the block (its GlobalSize and every byte), or "none".
    c["clip-get"] = [](const Args& a) {
        NeedArgs(a, 1);
        UINT format = FormatByName(a[1]);
        OpenedClipboard open;
        HANDLE data = GetClipboardData(format);
        if (!data) return std::string("none");
        SIZE_T size = GlobalSize(data);
        const void* p = GlobalLock(data);
        std::string out = std::to_string(size) + " " + (p ? Hex(p, size) : std::string());
        if (p) GlobalUnlock(data);
        if (out.back() == ' ') out += "-";
        return out;
    };
    c["clip-formats"] = [](const Args&) {
        OpenedClipboard open;
        std::string out;
        for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f))
            Join(out, " ", FormatName(f));
        return out.empty() ? std::string("-") : out;
    };
    // clip-busy MS: holds the clipboard open for MS milliseconds.
    c["clip-busy"] = [](const Args& a) {
        NeedArgs(a, 1);
        OpenedClipboard open;
        PollUntil(DWORD(ParseNumber(a[1])), [] { return false; });
        return std::string();
    };

    // ---- the tray ----
    // tray: "ICON COUNT". ICON: whether the shell knows the icon (main window, uID 1), asked by
    // a modification that changes nothing; COUNT: the icons shown in explorer's tray window.
    c["tray"] = [](const Args&) {
        bool known = false;
        if (HWND main = FindMain()) {
            NOTIFYICONDATAW data{};
            data.cbSize = sizeof data;
            data.hWnd = main;
            data.uID = 1;
            known = Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
        }
        int icons = 0;
        if (HWND tray = FindWindowW(nullptr, L"Wine System Tray"))
            for (HWND h : WindowsUnder(tray))
                if (IsWindowVisible(h) && ClassOf(h).find(L"tray_icon") != std::wstring::npos) ++icons;
        return Flag(known) + " " + std::to_string(icons);
    };
    // tray-delete: removes the program's icon (main window, uID 1), as a restarting shell loses it.
    c["tray-delete"] = [](const Args&) {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = Main();
        data.uID = 1;
        if (!Shell_NotifyIconW(NIM_DELETE, &data)) throw Failure("no such icon");
        return std::string();
    };
    // tray-click LPARAM MS: makes a window of the driver the foreground window, posts the tray
    // icon's message with LPARAM to the main window, and waits up to MS for the main window to
    // come to the foreground: "1" when it did, "0" when the driver's window kept it.
    c["tray-click"] = [](const Args& a) {
        NeedArgs(a, 2);
        HWND main = Main();
        HWND own = OwnerWindow();
        SetWindowPos(own, HWND_TOP, 0, 0, 80, 40, SWP_SHOWWINDOW);
        SetForegroundWindow(own);
        // The window system confirms a new foreground window a little later (X focus events);
        // wait until ours has held it for a while, or that late confirmation could undo the
        // program's SetForegroundWindow.
        DWORD heldSince = 0;
        if (!PollUntil(3000, [&] {
                if (GetForegroundWindow() != own) return (heldSince = 0), false;
                if (!heldSince) heldSince = GetTickCount();
                return GetTickCount() - heldSince >= 150;
            }))
            throw Failure("cannot take the foreground");
        Post(main, WM_USER, 0, LPARAM(ParseNumber(a[1])));
        Send(main, WM_NULL, 0, 0);
        bool front = PollUntil(DWORD(ParseNumber(a[2])), [&] { return GetForegroundWindow() == main; });
        ShowWindow(own, SW_HIDE);
        return Flag(front);
    };
    // windows: every top-level window and its children, for finding one's way (one line:
    // windows separated by " | ", children by " ; ").
    c["windows"] = [](const Args&) {
        std::string out;
        for (const auto& w : TopWindows()) {
            char buf[64];
            std::snprintf(buf, sizeof buf, " | %p pid=%lu vis=%d ", (void*)w.hwnd, (unsigned long)w.pid, int(w.visible));
            out += buf + Quote(w.cls) + " " + Quote(w.title) + " " + RectText(w.rect);
            for (HWND h : WindowsUnder(w.hwnd)) {
                std::snprintf(buf, sizeof buf, " ; %p id=%d vis=%d ", (void*)h, GetDlgCtrlID(h),
                              IsWindowVisible(h) ? 1 : 0);
                wchar_t t[256] = {};
                GetWindowTextW(h, t, 256);
                RECT r;
                GetWindowRect(h, &r);
                out += buf + Quote(ClassOf(h)) + " " + Quote(t) + " " + RectText(r);
            }
        }
        return out;
    };

    // ---- files and processes ----
    // hold FILE EVENT MS [alone]: keeps FILE open for reading (others may read, not write; with
    // "alone", nobody else may open it at all) until the named event is set or MS have passed.
    // Prints "ok held" first, then "ok released".
    c["hold"] = [](const Args& a) {
        NeedArgs(a, 3);
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, FromUtf8(a[2]).c_str());
        const DWORD share = a.size() > 4 && a[4] == "alone" ? 0 : FILE_SHARE_READ;
        HANDLE file = CreateFileW(FromUtf8(a[1]).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) throw Failure("cannot open " + a[1]);
        std::fputs("ok held\n", stdout);
        std::fflush(stdout);
        WaitForSingleObject(event, DWORD(ParseNumber(a[3])));
        CloseHandle(file);
        CloseHandle(event);
        return std::string("released");
    };
    c["release"] = [](const Args& a) {
        NeedArgs(a, 1);
        HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, FromUtf8(a[1]).c_str());
        if (!event) throw Failure("no such event");
        SetEvent(event);
        CloseHandle(event);
        return std::string();
    };
    // until MS EXPECTED COMMAND...: repeats COMMAND until its result equals EXPECTED.
    c["until"] = [](const Args& a) {
        NeedArgs(a, 3);
        Args inner(a.begin() + 3, a.end());
        std::string last;
        bool ok = PollUntil(DWORD(ParseNumber(a[1])), [&] {
            try {
                last = Run(inner);
            } catch (const Failure& e) {
                last = std::string("fail ") + e.what();
            }
            return last == a[2];
        });
        if (!ok) throw Failure("still " + last);
        return last;
    };
    return c;
}

void WriteLine(const std::string& s)
{
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// One command: prints "ok RESULT" or "fail WHY"; true when it succeeded.
bool Execute(const Args& words)
{
    try {
        std::string result = Run(words);
        WriteLine(result.empty() ? "ok" : "ok " + result);
        return true;
    } catch (const std::exception& e) {
        WriteLine(std::string("fail ") + words[0] + ": " + e.what());
        return false;
    }
}

// Lines of stdin, handed from the reading thread to the main thread.
class LineQueue {
public:
    LineQueue() : ready_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) { InitializeCriticalSection(&lock_); }
    void Put(std::string line, bool last)
    {
        EnterCriticalSection(&lock_);
        if (!last) lines_.push_back(std::move(line));
        ended_ = ended_ || last;
        LeaveCriticalSection(&lock_);
        SetEvent(ready_);
    }
    // Waits for the next line, answering window messages meanwhile; false at the end of input.
    bool Take(std::string& line)
    {
        for (;;) {
            EnterCriticalSection(&lock_);
            bool have = !lines_.empty(), ended = ended_;
            if (have) {
                line = std::move(lines_.front());
                lines_.erase(lines_.begin());
            }
            LeaveCriticalSection(&lock_);
            if (have) return true;
            if (ended) return false;
            MsgWaitForMultipleObjects(1, &ready_, FALSE, INFINITE, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
    }

private:
    HANDLE ready_;
    CRITICAL_SECTION lock_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};

DWORD WINAPI ReadLines(void* param)
{
    auto* queue = static_cast<LineQueue*>(param);
    std::string line;
    int c;
    for (;;) {
        c = std::fgetc(stdin);
        if (c == EOF) break;
        if (c == '\n') {
            queue->Put(line, false);
            line.clear();
        } else {
            line += char(c);
        }
    }
    if (!line.empty()) queue->Put(line, false);
    queue->Put({}, true);
    return 0;
}

} // namespace

int main()
{
    // Sees every window in physical pixels, whatever the display's DPI.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // Raw bytes out: the results are UTF-8 with "\n" line ends, whatever the console thinks.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc > 1) {
        Args words;
        try {
            for (int i = 1; i < argc; ++i) words.push_back(DecodeWord(ToUtf8(argv[i])));
        } catch (const std::exception& e) {
            WriteLine(std::string("fail parse: ") + e.what());
            return 1;
        }
        LocalFree(argv);
        return Execute(words) ? 0 : 1;
    }
    LocalFree(argv);
    // Lines are read on a thread of their own, so that the main thread keeps answering the
    // messages other programs send it (the clipboard's, for one) while it waits for a command.
    static LineQueue queue;
    HANDLE reader = CreateThread(nullptr, 0, ReadLines, &queue, 0, nullptr);
    if (!reader) return 1;
    for (;;) {
        std::string line;
        bool more = queue.Take(line);
        if (!more) break;
        Args words;
        try {
            words = SplitWords(line);
        } catch (const std::exception& e) {
            WriteLine(std::string("fail parse: ") + e.what());
            return 1;
        }
        // Each command answers one line, also after a failure: the caller decides.
        if (!words.empty()) Execute(words);
    }
    return 0;
}
