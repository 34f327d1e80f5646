// What the main window's handlers need from the window system, the clipboard, the shell, the
// application and the file system, each as a small interface. The Win32 shell implements them over real
// controls; the unit tests implement them in memory. Every decision (texts, enable states,
// selection, block sizes, what is written where) is taken by the handlers; an implementation
// only carries it out. All strings are Windows-1251 bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/Placeholders.h"

namespace tessara {

class TXmlDElement;
class TXmlDDocument;

// A point in screen coordinates.
struct TScreenPoint {
    int X = 0;
    int Y = 0;
};

// The template list: a single-selection, unsorted list box whose items carry a text and a
// plain, non-owning link to a template element.
class IListBox {
public:
    virtual ~IListBox() = default;

    virtual int Count() const = 0;
    // Index is always in [0, Count()); the handlers check it first.
    virtual std::string ItemText(int index) const = 0;
    virtual TXmlDElement* ItemObject(int index) const = 0;
    // The selected item, or -1 when none is.
    virtual int ItemIndex() const = 0;
    // Selects an item (-1: none) without firing the list's selection event.
    virtual void SetItemIndex(int index) = 0;
    // Appends an item; the selection does not move.
    virtual void Add(std::string_view text, TXmlDElement* object) = 0;
    // Removes an item; the items below move up one place.
    virtual void Delete(int index) = 0;
    // Removes every item.
    virtual void Clear() = 0;
    // Replaces an item's text; its link and position stay.
    virtual void SetItemText(int index, const std::string& text) = 0;
    // Around a fill of many items: the list need not repaint in between.
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    // The bottom-left corner of an item as shown, in screen coordinates (the list's top-left
    // corner for -1): where a menu opened from the keyboard for that item appears.
    virtual TScreenPoint ItemScreenPoint(int index) const = 0;
};

// The one-line name box.
class IEditBox {
public:
    virtual ~IEditBox() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
    // Selects the whole text, so that typing replaces it.
    virtual void SelectAll() = 0;
};

// A push button.
class IButton {
public:
    virtual ~IButton() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetHint(const std::string& hint) = 0;
};

// The status bar: a single text.
class IStatusBar {
public:
    virtual ~IStatusBar() = default;
    virtual void SetText(const std::string& text) = 0;
};

// The main window itself.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    // Sets the outer width (frame included); the left edge and the height stay.
    virtual void SetOuterWidth(int width) = 0;
    // Makes the name box edtName the active control.
    virtual void FocusNameBox() = 0;
    virtual std::string Caption() const = 0;
};

// The paste menu's items, as the menu reports the user's choice.
enum class TPasteItem { None, InsControls, InsModule, EditModule };

// The paste menu with its two items insContron and insModule and, after a separator, the
// module editor's item. The handlers that open it (Button4Click, DlgFormsContextMenu) run
// PopupMenuPopup themselves first; an implementation shows the menu only when asked and must
// not run PopupMenuPopup again. It runs no handler either: it reports the chosen item, and the
// form runs it (PasteMenuCommand) before the handler that opened the menu returns.
class IPasteMenu {
public:
    virtual ~IPasteMenu() = default;
    virtual void SetInsControlsEnabled(bool enabled) = 0;
    virtual void SetInsModuleEnabled(bool enabled) = 0;
    virtual void SetEditModuleEnabled(bool enabled) = 0;
    // Opens the menu at a point in screen coordinates (the mouse position) until the user
    // chooses an item (returned) or dismisses it (None).
    virtual TPasteItem PopupAt(int screenX, int screenY) = 0;
    // The same at Button4's top-left corner, in screen coordinates.
    virtual TPasteItem PopupAtPasteButton() = 0;
};

// Message boxes.
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // A question with OK and Cancel, OK the default, no icon, owned by the main window.
    // True for OK; false for Cancel, Esc or the close box.
    virtual bool AskOkCancel(const std::string& text, const std::string& title) = 0;
    // The error box: the text as given, OK only, the error icon.
    virtual void ShowError(const std::string& text, const std::string& title) = 0;
};

// Clipboard format numbers as the platform defines them: they are what the clipboard holds.
inline constexpr unsigned kCfText = 1;          // CF_TEXT
inline constexpr unsigned kCfUnicodeText = 13;  // CF_UNICODETEXT
inline constexpr unsigned kCfLocale = 16;       // CF_LOCALE

// A global memory block made for the clipboard and not put yet: it is freed with this object
// unless IClipboard::SetData took it.
class IClipboardBlock {
public:
    virtual ~IClipboardBlock() = default;
};
using TClipboardBlock = std::unique_ptr<IClipboardBlock>;

// The system clipboard. Between Open and Close the clipboard is ours; the handlers always
// close what they opened, also when an operation fails.
class IClipboard {
public:
    virtual ~IClipboard() = default;
    // Registers a format by name and returns its 16-bit identifier.
    virtual unsigned RegisterFormat(const std::string& name) = 0;
    // Opens the clipboard with the main window as owner, retrying briefly while another
    // program holds it; raises EClipboardException ("Cannot open clipboard") when it can't.
    virtual void Open() = 0;
    virtual void Empty() = 0;
    // Makes one block for the clipboard, of exactly Block.size() bytes holding Block. Needs no
    // open clipboard: blocks are made before the clipboard is emptied, so that a failure leaves
    // its contents alone. Raises when the memory cannot be had.
    virtual TClipboardBlock Allocate(std::string_view block) = 0;
    // Puts a block made by Allocate under Format; from then on it belongs to the clipboard.
    // Raises when it cannot be put (the block is then freed). Needs the clipboard open.
    virtual void SetData(unsigned format, TClipboardBlock block) = 0;
    // The bytes of the block under Format up to its first zero byte (or its end);
    // nothing when the clipboard gives no block. Needs the clipboard open.
    virtual std::optional<std::string> GetData(unsigned format) = 0;
    // The UTF-16 text under CF_UNICODETEXT up to its first zero character (or the block's
    // end); nothing when the clipboard gives no block. Needs the clipboard open.
    virtual std::optional<std::u16string> GetUnicodeText() = 0;
    // True when the clipboard gives a block under Format. Needs the clipboard open.
    virtual bool HasData(unsigned format) = 0;
    // IsClipboardFormatAvailable: needs no open clipboard.
    virtual bool IsFormatAvailable(unsigned format) = 0;
    // Never raises (it runs while an exception may be passing).
    virtual void Close() = 0;
};

// The shell.
class IShell {
public:
    virtual ~IShell() = default;
    // Opens a "mailto:" link (the user's mail program, a new message); the result is ignored.
    virtual void OpenLink(const std::string& link) = 0;
};

// The notification-area icon as the handlers see it: its number among the window's icons and
// its tip. The record's layout, its flags, the window, the icon and the callback message are
// the implementation's own.
struct TTrayIconData {
    uint32_t uID = 0;   // 0: not put up
    std::string szTip;  // at most 63 bytes
};

// What the icon's mouse did, as the shell reports it to the main window.
enum class TTrayEvent { Other, LeftDoubleClick, RightButtonDown, RightDoubleClick };

class ITrayIcon {
public:
    virtual ~ITrayIcon() = default;
    // NIM_ADD and NIM_DELETE; the results are ignored. Delete may raise.
    virtual void Add(const TTrayIconData& data) = 0;
    virtual void Delete(const TTrayIconData& data) = 0;
};

// The application object: the hidden window that carries the taskbar button, minimizing,
// restoring and the message loop.
class IApplication {
public:
    virtual ~IApplication() = default;
    // ShowWindow(SW_HIDE) on the window that carries the taskbar button.
    virtual void HideTaskbarButton() = 0;
    virtual bool IsMinimized() const = 0;
    // Restores the application and its main window to their state before minimizing, shows
    // the taskbar button again and gives the focus back to the control that had it.
    virtual void Restore() = 0;
    // SetForegroundWindow with the main window.
    virtual void BringMainWindowToFront() = 0;
    // Ends the message loop.
    virtual void Terminate() = 0;
    // The application's title, the executable file's base name: the standard error box's title.
    virtual std::string Title() const = 0;
};

// What one attribute query tells of the repository file, without opening it.
struct TFileStamp {
    bool Exists = false;
    int64_t Size = 0;
    int64_t WriteTime = 0;  // the last write time, in the file system's own units
    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};

// The repository file: what the handlers need of the file system. The program uses
// TRepositoryFiles (real files, saved safely); tests and the fuzz target may keep them in memory.
class IRepositoryFiles {
public:
    virtual ~IRepositoryFiles() = default;
    virtual bool Exists(const std::string& fileName) = 0;
    // The file's stamp: one attribute query, no read (a file that is not there: Exists false).
    virtual TFileStamp Stamp(const std::string& fileName) = 0;
    // The hash (HashBytes) of the file's bytes; raises EFOpenError when it cannot be read.
    virtual uint64_t Hash(const std::string& fileName) = 0;
    // Reads the file into the document (TXmlDDocument::LoadFromFile) and returns the hash of
    // the bytes it read, all of the file's (so that no second read is needed for it): a file
    // that cannot be opened raises EFOpenError and leaves the document as it was; a load error
    // raises and leaves what was read.
    virtual uint64_t Load(TXmlDDocument& document, const std::string& fileName) = 0;
    // Writes the document's XML text over the file: the whole new text or, when it raises,
    // the old file unchanged. Returns the hash of the bytes written.
    virtual uint64_t Save(const TXmlDDocument& document, const std::string& fileName) = 0;
    // Copies the file's bytes to the first free name of FileName + ".bad", ".bad1", ... and
    // returns that name; the copy appears complete or not at all.
    virtual std::string Backup(const std::string& fileName) = 0;

    // The repository's history: copies of the file kept in a folder beside it.
    // Keeps the file's bytes as they stand now under CopyName, making its folder when missing:
    // a second name of the same file where the file system has them (the save that follows
    // puts a new file in the old one's place, and the second name keeps the old bytes), a copy
    // otherwise. Raises when neither can be made.
    virtual void KeepCopy(const std::string& fileName, const std::string& copyName) = 0;
    // The names (without the folder) and sizes of the files in a folder; none when it is not there.
    virtual std::vector<std::pair<std::string, int64_t>> FilesIn(const std::string& folder) = 0;
    // Deletes a file; false when it cannot.
    virtual bool Remove(const std::string& fileName) = 0;
    // The separator between a folder and a name in it.
    virtual char PathSeparator() const = 0;
};

// The window a dialog opens over: the one the command came from.
enum class TDialogOwner { MainWindow, FindWindow };

// How the user left the placeholder dialog: copy with the values filled in, copy the module
// text as it is, or copy nothing.
enum class TPlaceholderAnswer { Fill, AsIs, Cancel };

// A field's value as the user gave it: the text typed, as Unicode (the handler makes it 1251
// and counts what the code page lacks), or the option chosen.
struct TTypedValue {
    std::u16string Text;
    size_t Choice = 0;
};

struct TPlaceholderReply {
    TPlaceholderAnswer Answer = TPlaceholderAnswer::Cancel;
    std::vector<TTypedValue> Values;  // Fill: one per field, in the fields' order
};

// The modal dialog that asks for a module text's placeholder values before a copy.
class IPlaceholderDialog {
public:
    virtual ~IPlaceholderDialog() = default;
    // Shows one row per field, in order: its Label, and for a choice a drop-down list of the
    // option labels with Initial.Choice chosen, for any other field an edit box holding
    // Initial.Text. Opens over Owner, titled Title, with the first field focused, and returns
    // when the user has answered.
    virtual TPlaceholderReply Ask(const std::vector<TPlaceholderField>& fields, TDialogOwner owner,
                                  const std::string& title) = 0;
};

// The module editors (app/EditorForm): a window per template for its name and module text.
class IModuleEditors {
public:
    virtual ~IModuleEditors() = default;
    // Opens the editor of Templ, or brings forward the one open for it.
    virtual void Edit(TXmlDElement* templ) = 0;
};

// Everything the main window's handlers act on. Built with designated initializers
// (.Button2 = ..., in this order), so that two ports of the same type cannot swap unseen.
struct TFormPorts {
    IListBox& DlgForms;
    IEditBox& edtName;
    IButton& Button2;
    IButton& Button3;
    IButton& ButtonMore;
    IStatusBar& StatusBar1;
    IMainWindow& Window;
    IPasteMenu& PopupMenu;
    IMessageBoxes& Boxes;
    IClipboard& Clipboard;
    IShell& Shell;
    ITrayIcon& TrayIcon;
    IApplication& Application;
    IRepositoryFiles& Files;
    IPlaceholderDialog& PlaceholderDialog;
    IModuleEditors& Editors;
};

}  // namespace tessara
