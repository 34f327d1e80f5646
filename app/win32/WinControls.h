// Thin wrappers of the standard controls behind the control ports. Each holds its control's
// window handle and only translates between 1251 bytes and the wide API.
#pragma once

#include <windows.h>

#include <string>

#include "app/ListEntries.h"
#include "app/Ports.h"

namespace tessara::win32 {

// The width at which a hint's line breaks at 96 DPI; a limit makes the tooltip keep the
// hints' own line breaks.
inline constexpr int kHintsMaxWidth = 600;

// The tooltips of the main window: one tool per control that has a hint, hooked into the
// control's messages. The window's own mouse messages over a disabled control (which gets
// none) are passed on by Relay.
class THints {
public:
    void Create(HWND owner, HFONT font);
    void Add(HWND control, const std::string& hint);
    void Update(HWND control, const std::string& hint);
    // A tool that hooks nothing of its control: the control's own code passes its mouse
    // messages on (RelayFrom) and gives the text (Renew).
    void AddRelayed(HWND control, const std::string& hint);
    // A relayed control's tool with a new text, started over as if the mouse had just come
    // onto the control: a shown tip goes, and the new text shows when the mouse rests there
    // (an empty text shows nothing).
    void Renew(HWND control, const std::string& hint);
    void RelayFrom(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
    bool Showing() const { return Tooltip != nullptr && ::IsWindowVisible(Tooltip); }
    // Sees every message before it is dispatched: passes the window's own mouse messages over
    // a disabled control on to the tooltip, and reminds it of a control the mouse rests on.
    void Relay(const MSG& message);
    HWND Handle() const { return Tooltip; }

private:
    void AddTool(HWND control, const std::string& hint, UINT flags);

    HWND Owner = nullptr;
    HWND Tooltip = nullptr;
};

// The template list: an owner-data list box (LBS_NODATA | LBS_OWNERDRAWFIXED) that holds only
// a count. The entries are links into the document, each drawn from its template's name when
// it is painted; filling the list costs one message however many templates there are.
class TWinListBox final : public IListBox {
public:
    TWinListBox() = default;
    TWinListBox(const TWinListBox&) = delete;
    TWinListBox& operator=(const TWinListBox&) = delete;

    // Takes over the list's text messages (LB_GETTEXT, LB_GETTEXTLEN), answered from the
    // entries, so that other programs read the list as a list of strings.
    void Attach(HWND list);
    HWND Handle() const { return List; }

    int Count() const override;
    std::string ItemText(int index) const override;
    TXmlDElement* ItemObject(int index) const override;
    int ItemIndex() const override;
    void SetItemIndex(int index) override;
    void Add(std::string_view text, TXmlDElement* object) override;
    void Delete(int index) override;
    void Clear() override;
    void SetItemText(int index, const std::string& text) override;
    void BeginUpdate() override;
    void EndUpdate() override;
    TScreenPoint ItemScreenPoint(int index) const override;

    // WM_DRAWITEM: one entry as the standard list box draws its items.
    void DrawItem(const DRAWITEMSTRUCT& item) const;
    // WM_CHARTOITEM: the entry a typed character jumps to, or -2 (nothing to do).
    LRESULT CharToItem(wchar_t typed, int focused) const;

private:
    static LRESULT CALLBACK TextProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR self);
    // Brings the control's count to the entries' after a fill: the entries it kept from the
    // top, then the rest appended (or it is emptied first when none was kept).
    void Sync() const;

    HWND List = nullptr;
    TListEntries Entries;
    int UpdateDepth = 0;
    mutable int Shown = 0;  // the control's count
    mutable int Kept = 0;   // during a fill: the entries from the top the control still has
};

class TWinEditBox final : public IEditBox {
public:
    void Attach(HWND edit) { Edit = edit; }
    std::string Text() const override;
    void SetText(const std::string& text) override;
    void SelectAll() override;

private:
    HWND Edit = nullptr;
};

class TWinButton final : public IButton {
public:
    void Attach(HWND button, THints* hints) { Button = button, Hints = hints; }
    void SetEnabled(bool enabled) override;
    void SetCaption(const std::string& caption) override;
    void SetHint(const std::string& hint) override;

private:
    HWND Button = nullptr;
    THints* Hints = nullptr;
};

// A status bar in simple mode: its one text is both what it shows and its window text, so
// another process can read it with WM_GETTEXT.
class TWinStatusBar final : public IStatusBar {
public:
    void Attach(HWND bar) { Bar = bar; }
    void SetText(const std::string& text) override;

private:
    HWND Bar = nullptr;
};

}  // namespace tessara::win32
