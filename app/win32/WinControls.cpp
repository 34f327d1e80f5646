#include "app/win32/WinControls.h"

#include <commctrl.h>

#include <algorithm>

#include "app/win32/WinListRows.h"
#include "app/win32/WinText.h"
#include "platform/Charset.h"
#include "platform/Exceptions.h"

namespace tessara::win32 {
namespace {

constexpr UINT_PTR kListTextId = 4;  // the list's keys and mouse subclasses are 2 and 3

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

void TWinListBox::Attach(HWND list) {
    List = list;
    Shown = Kept = static_cast<int>(::SendMessageW(List, LB_GETCOUNT, 0, 0));
    ::SetWindowSubclass(List, TextProc, kListTextId, reinterpret_cast<DWORD_PTR>(this));
    // The system carries LB_GETTEXT from another process as a string only for a list whose
    // style says it holds strings (otherwise as one item-data word). The control took its
    // kind from the style it was created with; the bit added now only tells the system.
    ::SetWindowLongPtrW(List, GWL_STYLE, ::GetWindowLongPtrW(List, GWL_STYLE) | LBS_HASSTRINGS);
}

LRESULT CALLBACK TWinListBox::TextProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR selfData) {
    const auto* self = reinterpret_cast<const TWinListBox*>(selfData);
    switch (message) {
    case LB_GETTEXTLEN:
    case LB_GETTEXT: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= self->Entries.Count()) return LB_ERR;
        const std::wstring text = Wide(self->Entries.Text(index));
        if (message == LB_GETTEXT) {
            if (lParam == 0) return LB_ERR;
            std::copy(text.c_str(), text.c_str() + text.size() + 1, reinterpret_cast<wchar_t*>(lParam));
        }
        return static_cast<LRESULT>(text.size());
    }
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(list, TextProc, kListTextId);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(list, message, wParam, lParam);
}

void TWinListBox::Sync() const {
    if (Kept < Shown) {
        ::SendMessageW(List, Kept == 0 ? LB_RESETCONTENT : LB_SETCOUNT, static_cast<WPARAM>(Kept), 0);
        Shown = Kept;
    }
    if (Entries.Count() != Shown) {
        const LRESULT result = ::SendMessageW(List, LB_SETCOUNT, static_cast<WPARAM>(Entries.Count()), 0);
        if (result == LB_ERR || result == LB_ERRSPACE) throw Exception("Out of memory");
        Shown = Entries.Count();
    }
    Kept = Shown;
}

int TWinListBox::Count() const { return Entries.Count(); }

std::string TWinListBox::ItemText(int index) const {
    if (index < 0 || index >= Entries.Count()) return std::string();
    return std::string(Entries.Text(index));
}

TXmlDElement* TWinListBox::ItemObject(int index) const { return Entries.Object(index); }

int TWinListBox::ItemIndex() const {
    Sync();
    return static_cast<int>(::SendMessageW(List, LB_GETCURSEL, 0, 0));  // LB_ERR is -1
}

void TWinListBox::SetItemIndex(int index) {
    Sync();
    ::SendMessageW(List, LB_SETCURSEL, index, 0);
}

void TWinListBox::Add(std::string_view text, TXmlDElement* object) {
    Entries.Add(text, object);
    if (UpdateDepth != 0) return;  // counted in at the end of the fill
    const LRESULT index = ::SendMessageW(List, LB_ADDSTRING, 0, 0);
    if (index == LB_ERR || index == LB_ERRSPACE) {
        Entries.Delete(Entries.Count() - 1);
        throw Exception("Out of memory");
    }
    Shown = Kept = Entries.Count();
}

void TWinListBox::Delete(int index) {
    if (index < 0 || index >= Entries.Count()) return;
    Sync();
    Entries.Delete(index);
    ::SendMessageW(List, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    Shown = Kept = Entries.Count();
}

void TWinListBox::Clear() {
    Entries.Clear();
    Kept = 0;
    if (UpdateDepth != 0) return;  // the control loses them all at the end of the fill
    ::SendMessageW(List, LB_RESETCONTENT, 0, 0);
    Shown = 0;
}

void TWinListBox::SetItemText(int index, const std::string& text) {
    if (index < 0 || index >= Entries.Count()) return;
    Entries.SetText(index, text);
    RECT item;
    if (UpdateDepth == 0 && index < Shown &&
        ::SendMessageW(List, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) != LB_ERR)
        ::InvalidateRect(List, &item, TRUE);
}

void TWinListBox::BeginUpdate() {
    if (UpdateDepth++ == 0) ::SendMessageW(List, WM_SETREDRAW, FALSE, 0);
}

void TWinListBox::EndUpdate() {
    if (UpdateDepth == 0 || --UpdateDepth != 0) return;
    try {
        Sync();
    } catch (...) {
        ::SendMessageW(List, WM_SETREDRAW, TRUE, 0);
        throw;
    }
    ::SendMessageW(List, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(List, nullptr, TRUE);
}

void TWinListBox::DrawItem(const DRAWITEMSTRUCT& item) const {
    const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(List, WM_GETFONT, 0, 0));
    const HGDIOBJ old = font != nullptr ? ::SelectObject(item.hDC, font) : nullptr;
    SetRowColours(item);
    const int index = static_cast<int>(item.itemID);
    // The standard list box puts its text one pixel in from the item's left edge.
    DrawRowText(item, index >= 0 && index < Entries.Count() ? Wide(Entries.Text(index)) : std::wstring(), 1);
    DrawRowFocus(item);
    if (old != nullptr) ::SelectObject(item.hDC, old);
}

LRESULT TWinListBox::CharToItem(wchar_t typed, int focused) const {
    size_t replaced = 0;
    const std::string letter = Utf16ToCp1251(std::u16string(1, static_cast<char16_t>(typed)), &replaced);
    if (replaced != 0 || letter.size() != 1) return -2;
    const int index = Entries.NextStartingWith(static_cast<unsigned char>(letter[0]), focused);
    return index >= 0 ? index : -2;
}

TScreenPoint TWinListBox::ItemScreenPoint(int index) const {
    Sync();
    RECT item = {0, 0, 0, 0};
    POINT at = {0, 0};
    if (index >= 0 && ::SendMessageW(List, LB_GETITEMRECT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&item)) != LB_ERR)
        at = {item.left, item.bottom};
    ::ClientToScreen(List, &at);
    return {at.x, at.y};
}

std::string TWinEditBox::Text() const { return GetWindowText1251(Edit); }

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
