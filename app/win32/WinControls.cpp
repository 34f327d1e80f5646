#include "app/win32/WinControls.h"

#include <commctrl.h>

#include "app/win32/WinText.h"
#include "platform/Exceptions.h"

namespace tessara::win32 {
namespace {

TOOLINFOW ControlTool(HWND owner, HWND control, UINT flags = TTF_SUBCLASS) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // accepted by every comctl32 version
    tool.uFlags = TTF_IDISHWND | flags;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

// The disabled control of the window at a point of its client area, if any: the mouse
// messages over a disabled control reach the window instead.
HWND DisabledControlAt(HWND owner, POINT clientPoint) {
    const HWND control = ::ChildWindowFromPointEx(owner, clientPoint, CWP_SKIPINVISIBLE);
    if (control == nullptr || control == owner || ::IsWindowEnabled(control)) return nullptr;
    return control;
}

// The tooltip asks itself which window is under the mouse; over a disabled control the
// answer is that control, so that its hint shows all the same.
LRESULT CALLBACK TooltipProc(HWND tooltip, UINT message, WPARAM wParam, LPARAM lParam,
                             UINT_PTR, DWORD_PTR ownerData) {
    if (message == TTM_WINDOWFROMPOINT) {
        const HWND owner = reinterpret_cast<HWND>(ownerData);
        POINT at = *reinterpret_cast<const POINT*>(lParam);
        const HWND under = ::WindowFromPoint(at);
        if (under == owner && ::ScreenToClient(owner, &at)) {
            if (const HWND control = DisabledControlAt(owner, at)) return reinterpret_cast<LRESULT>(control);
        }
        return reinterpret_cast<LRESULT>(under);
    }
    return ::DefSubclassProc(tooltip, message, wParam, lParam);
}

}  // namespace

void THints::Create(HWND owner, HFONT font) {
    Owner = owner;
    Tooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                                nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (Tooltip == nullptr) return;
    ::SetWindowSubclass(Tooltip, TooltipProc, 1, reinterpret_cast<DWORD_PTR>(owner));
    ::SendMessageW(Tooltip, TTM_SETMAXTIPWIDTH, 0, kHintsMaxWidth);
    if (font != nullptr) ::SendMessageW(Tooltip, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void THints::Relay(const MSG& message) {
    if (Tooltip == nullptr) return;
    const bool mouse = message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST;
    if (!mouse && message.message != WM_MOUSEHOVER) return;
    if (message.hwnd != Owner && ::GetAncestor(message.hwnd, GA_PARENT) != Owner) return;

    if (message.message == WM_MOUSEMOVE && !::IsWindowVisible(Tooltip)) {
        // A mouse that jumps onto a control sends it one move: the tooltip can miss that one,
        // so the control reports the mouse resting on it, and the tooltip hears of it again.
        TRACKMOUSEEVENT track{sizeof track, TME_HOVER, message.hwnd, HOVER_DEFAULT};
        ::TrackMouseEvent(&track);
    }
    MSG relayed = message;
    if (message.message == WM_MOUSEHOVER) {
        if (::IsWindowVisible(Tooltip)) return;
        relayed.message = WM_MOUSEMOVE;
    }
    if (message.hwnd == Owner) {
        POINT at = {static_cast<short>(LOWORD(message.lParam)),
                    static_cast<short>(HIWORD(message.lParam))};
        const HWND control = DisabledControlAt(Owner, at);
        if (control == nullptr) return;
        ::MapWindowPoints(Owner, control, &at, 1);
        relayed.hwnd = control;
        relayed.lParam = MAKELPARAM(at.x, at.y);
    } else if (message.message != WM_MOUSEHOVER) {
        return;  // the control's tool hooks its messages, or the control relays them
    }
    ::SendMessageW(Tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

void THints::Add(HWND control, const std::string& hint) { AddTool(control, hint, TTF_SUBCLASS); }

void THints::AddRelayed(HWND control, const std::string& hint) { AddTool(control, hint, 0); }

void THints::AddTool(HWND control, const std::string& hint, UINT flags) {
    if (Tooltip == nullptr) return;
    TOOLINFOW tool = ControlTool(Owner, control, flags);
    std::wstring text = Wide(hint);
    tool.lpszText = text.data();
    ::SendMessageW(Tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void THints::Update(HWND control, const std::string& hint) {
    if (Tooltip == nullptr) return;
    TOOLINFOW tool = ControlTool(Owner, control);
    std::wstring text = Wide(hint);
    tool.lpszText = text.data();
    ::SendMessageW(Tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void THints::Renew(HWND control, const std::string& hint) {
    if (Tooltip == nullptr) return;
    // A tool the tooltip no longer has is one the mouse is not on: the relayed moves that
    // follow find it anew.
    TOOLINFOW tool = ControlTool(Owner, control, 0);
    ::SendMessageW(Tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    AddRelayed(control, hint);
}

void THints::RelayFrom(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Tooltip == nullptr) return;
    const DWORD at = ::GetMessagePos();
    MSG relayed{control, message, wParam, lParam, static_cast<DWORD>(::GetMessageTime()),
                {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))}};
    ::SendMessageW(Tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

int TWinListBox::Count() const {
    return static_cast<int>(::SendMessageW(List, LB_GETCOUNT, 0, 0));
}

std::string TWinListBox::ItemText(int index) const {
    const LRESULT length = ::SendMessageW(List, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length <= 0) return std::string();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got =
        ::SendMessageW(List, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return Narrow(text);
}

TXmlDElement* TWinListBox::ItemObject(int index) const {
    const LRESULT data = ::SendMessageW(List, LB_GETITEMDATA, index, 0);
    return data == LB_ERR ? nullptr : reinterpret_cast<TXmlDElement*>(data);
}

int TWinListBox::ItemIndex() const {
    return static_cast<int>(::SendMessageW(List, LB_GETCURSEL, 0, 0));  // LB_ERR is -1
}

void TWinListBox::SetItemIndex(int index) { ::SendMessageW(List, LB_SETCURSEL, index, 0); }

void TWinListBox::Add(const std::string& text, TXmlDElement* object) {
    const std::wstring wide = Wide(text);
    const LRESULT index =
        ::SendMessageW(List, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    if (index == LB_ERR || index == LB_ERRSPACE) throw Exception("Out of memory");
    ::SendMessageW(List, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(object));
}

void TWinListBox::Delete(int index) { ::SendMessageW(List, LB_DELETESTRING, index, 0); }

void TWinListBox::SetItemText(int index, const std::string& text) {
    // A list box cannot change an item's text: put a new item in its place, with the link
    // and the selection of the old one.
    const LRESULT object = ::SendMessageW(List, LB_GETITEMDATA, index, 0);
    const bool selected = ItemIndex() == index;
    const std::wstring wide = Wide(text);
    ::SendMessageW(List, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(List, LB_DELETESTRING, index, 0);
    ::SendMessageW(List, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(wide.c_str()));
    ::SendMessageW(List, LB_SETITEMDATA, index, object);
    if (selected) ::SendMessageW(List, LB_SETCURSEL, index, 0);
    if (UpdateDepth == 0) {
        ::SendMessageW(List, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(List, nullptr, TRUE);
    }
}

void TWinListBox::BeginUpdate() {
    if (UpdateDepth++ == 0) ::SendMessageW(List, WM_SETREDRAW, FALSE, 0);
}

void TWinListBox::EndUpdate() {
    if (UpdateDepth == 0 || --UpdateDepth != 0) return;
    ::SendMessageW(List, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(List, nullptr, TRUE);
}

std::string TWinEditBox::Text() const { return GetWindowText1251(Edit); }

TScreenPoint TWinListBox::ItemScreenPoint(int index) const {
    RECT item = {0, 0, 0, 0};
    POINT at = {0, 0};
    if (index >= 0 && ::SendMessageW(List, LB_GETITEMRECT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&item)) != LB_ERR)
        at = {item.left, item.bottom};
    ::ClientToScreen(List, &at);
    return {at.x, at.y};
}

void TWinEditBox::SetText(const std::string& text) { SetWindowText1251(Edit, text); }

void TWinEditBox::SelectAll() { ::SendMessageW(Edit, EM_SETSEL, 0, -1); }

void TWinButton::SetEnabled(bool enabled) { ::EnableWindow(Button, enabled ? TRUE : FALSE); }

void TWinButton::SetCaption(const std::string& caption) { SetWindowText1251(Button, caption); }

void TWinButton::SetHint(const std::string& hint) {
    if (Hints != nullptr) Hints->Update(Button, hint);
}

void TWinStatusBar::SetText(const std::string& text) {
    const std::wstring wide = Wide(text);
    ::SendMessageW(Bar, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(wide.c_str()));
    ::SetWindowTextW(Bar, wide.c_str());
}

}  // namespace tessara::win32
