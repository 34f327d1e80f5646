// The main window: its program-wide state and one handler per event. The handlers change the
// repository document through a TChange committed by Commit (so that every change can be
// undone) and act on the window through the ports; the Win32 shell calls them and shows any
// exception they raise with ShowStandardError.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Changes.h"
#include "app/Ports.h"
#include "app/RepositoryHistory.h"
#include "app/Template.h"
#include "app/Texts.h"
#include "xml/XXmlDom.h"

namespace tessara {

// The text of the standard error box: the message, with a full stop appended when its last
// byte sorts after '.' (unsigned byte > 0x2E).
std::string StandardErrorText(const std::string& message);

// The standard error box for an exception that escaped a handler: the text above, titled
// with the application's title, OK, the error icon.
void ShowStandardError(IMessageBoxes& boxes, const std::exception& error, const std::string& title);

// Puts one template onto the clipboard: the controls data under the dialog editor's format
// and the module text as CF_TEXT (with CF_LOCALE Russian) and as CF_UNICODETEXT, in one open
// of the clipboard that empties it first.
class TData {
public:
    TData(IClipboard& clipboard, unsigned dialogEditorFormat) noexcept
        : Clipboard(clipboard), DialogEditorFormat(dialogEditorFormat) {}

    void PutToClipboard(std::string_view Controls, std::string_view Module);

private:
    IClipboard& Clipboard;
    unsigned DialogEditorFormat;
};

class TmForm {
public:
    static constexpr int MemoOfHintsLeft = 264;
    static constexpr int MemoOfHintsWidth = 345;
    static constexpr int NarrowWidth = MemoOfHintsLeft + 4;                      // 268
    static constexpr int WideWidth = MemoOfHintsLeft + MemoOfHintsWidth + 12;    // 621

    explicit TmForm(const TFormPorts& ports);
    ~TmForm();
    TmForm(const TmForm&) = delete;
    TmForm& operator=(const TmForm&) = delete;

    // Window lifecycle.
    void FormCreate();
    void FormShow();
    // Saves the repository. Raises when the save fails: the close is then abandoned and the
    // window stays open (the caller shows the error box).
    void FormClose();
    // Removes the tray icon, then ends the message loop, also when the removal raises.
    void FormDestroy();
    // WM_ENDSESSION: saves the repository when the session really ends; never raises, a
    // failure goes to the status bar.
    void FormEndSession(bool sessionEnding);
    // The main window became active: reads the repository file again when another program
    // changed it, or when it could not be read so far. Never raises; the status bar says
    // what happened.
    void FormActivate();
    // The shell restarted ("TaskbarCreated"): puts the tray icon up again.
    void TaskbarCreated();

    // Memo toggle, tray icon, minimize, credits.
    void MemoOfHintsShowOrHide();
    void TrayIconMessage(TTrayEvent event);
    // The program was started again on the same repository file (and that start ended): the
    // window comes forward as the tray icon's double click brings it.
    void AnotherStart();
    void ApplicationMinimize();
    void Label2Click();

    // Template list and editing.
    void DlgFormsClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // Clipboard exchange.
    void DlgFormsDblClick();
    void Button4Click();
    // The right mouse button over the template list, at a point in screen coordinates.
    void DlgFormsContextMenu(int screenX, int screenY);
    void PopupMenuPopup();
    // Runs the handler of a paste menu item (nothing for None): the item chosen in the menu,
    // or the menu's command sent to the window.
    void PasteMenuCommand(TPasteItem item);
    void insContronClick();
    void insModuleClick();

    // Undoes the newest change, or makes the newest undone one again: the document as it was,
    // the list showing it with the template concerned selected (none when it is gone), the
    // status line saying what was undone or made again, and the file saved, as after any
    // change.
    void Undo();
    void Redo();
    // A key down anywhere in the main window, with whether the name box has the focus: the
    // window's own commands (undo, redo); true when the key ran one.
    bool MainWindowKeyDown(unsigned virtualKey, unsigned modifiers, bool inNameBox);
    // Saves an edit of a template's name and module text as one change that can be undone: a
    // rename when Name differs, the module text replaced when Module differs (nothing at all
    // when neither does). When Templ is no longer in the document (deleted, or the file was
    // read again), a new template with Name and Module is appended instead and the status line
    // says so. Runs the outside-change check and the safe save as every change does. Returns
    // the template that now holds the text (null when the change was refused).
    TXmlDElement* SaveTemplateEdit(TXmlDElement* templ, const std::string& name, const std::string& module);

    // "Копировать" for a template that the find window chose: the same blocks and the same
    // status line as for the selected entry, without selecting anything; a placeholder
    // dialog opens over the find window. False when the user cancelled it: nothing copied.
    bool CopyTemplate(TXmlDElement* templ);

    // Run after every change of the document's templates (added, renamed, deleted, pasted
    // into, read again), so that whatever holds links into the document drops them.
    std::function<void()> OnDocumentChanged;
    void DocumentChanged() {
        if (OnDocumentChanged) OnDocumentChanged();
    }
    // Keys in the template list (ListKeys.cpp). A key down with its modifiers (TKeyModifier
    // bits): runs the list's command for it and returns true, or returns false for a key that
    // is not one of them (the list handles it as ever, the first-letter jump among them).
    bool DlgFormsKeyDown(unsigned virtualKey, unsigned modifiers);
    // The paste menu at the selected entry (the context-menu key, Shift+F10).
    void DlgFormsKeyMenu();
    // Moves the selected template one place up (Step -1) or down (+1) in the list and in the
    // document, and saves; nothing at the ends of the list.
    void MoveSelected(int step);
    // The entry at From dragged with the mouse and dropped on the entry at To (the list's
    // selection followed the mouse there): the template moves to that place as MoveSelected
    // moves it, and the moved entry is selected; a drop on itself moves nothing. Either way
    // the name box and the buttons then show the selected entry, as after a click.
    void DlgFormsDragged(int from, int to);
    // Files dropped on the window (TakeIn.cpp): each read into a document of its own, its
    // templates appended in their order, those identical to one already there passed over; a
    // file that does not load adds nothing and its error is shown in the standard error box.
    void FilesDropped(const std::vector<std::string>& fileNames);
    // The preview the entry at Index shows (Preview.cpp); empty for no entry.
    std::string DlgFormsPreview(int index) const;
    // The tooltip of the template list with the mouse over the entry at Index: that entry's
    // preview (empty: no tooltip); over no entry (-1, or any index outside the list) the
    // list's own hint.
    std::string DlgFormsHintAt(int index) const;

    // The standard error box, with this window's message boxes.
    void ShowException(const std::exception& error) {
        ShowStandardError(Ports.Boxes, error, Ports.Application.Title());
    }

    // Program-wide state.
    TXmlDDocument* Repository = nullptr;     // one counted reference, from the first show
    TXmlDElement* RootElement = nullptr;     // plain link
    TXmlDElement* CurrentTemplate = nullptr; // plain link, set by each operation before use
    unsigned DialogEditorFormat = 0;
    TTrayIconData TrayIconData;
    bool MemoShown = true;                   // so that the call from FormCreate hides it

    // The repository file, resolved against the current directory when read and written.
    std::string RepositoryFileName = Texts().RepositoryFileName;
    // After a failed load of an existing file: the copy of its original bytes made before it
    // is first written over (empty until made), and whether that copy is still owed.
    std::string BackupFileName;
    bool BackupPending = false;

    // The file as last read or written: its stamp (Size -1: to be compared by hash alone) and
    // the hash of its bytes. A file that differs was changed by another program.
    TFileStamp KnownStamp;
    uint64_t KnownHash = 0;
    // The file exists but could not be read (the reason): it is never written over until it is.
    bool Unread = false;
    std::string UnreadReason;
    // The document holds changes that are not in the file yet (its save failed).
    bool Unsaved = false;
    // The changes that can be undone and redone; emptied when the file is read again, which
    // the next undo says (HistoryLost) when nothing was changed since.
    TUndoHistory History;
    bool HistoryLost = false;
    // The repository's history across runs: the day of the last copy kept in this run (-1:
    // none yet), and the clock it is dated by, which a copy's date placeholder offers too.
    int64_t HistoryDay = -1;
    std::function<TDateTime()> Now = LocalNow;

    // The module editor (app/EditorForm). Opens the editor of Templ, or brings forward the one
    // open for it; nothing for null.
    void EditTemplate(TXmlDElement* templ);

private:
    // Where the entry at Index of Count goes in a move; nothing when it does not move.
    using TMoveRule = std::function<std::optional<int>(int index, int count)>;
    // Moves the selected template to the place the rule gives, in the list and in the
    // document (nothing between the templates moves with it), saves, and says where it went.
    void MoveSelectedTo(const TMoveRule& placeOf);
    // The selected entry's index; nothing when no entry of the list is selected.
    std::optional<int> Selection() const;
    // The selected entry's index, or EListError(-1) when none is selected.
    int SelectedIndex() const;
    TXmlDElement* SelectedTemplate();
    // Text on the clipboard, Unicode or CF_TEXT: what "Вставить модуль" takes.
    bool ClipboardHasText();
    // The dialog editor's data on the clipboard: what "Вставить контролы" takes.
    bool ClipboardHasControls();
    TXmlDElement* ControlsNode(TXmlDElement* templ, const std::string& entryText) const;
    TXmlDElement* ModuleNode(TXmlDElement* templ, const std::string& entryText) const;
    // Puts the template on the clipboard, first asking over Owner for the values of its module
    // text's placeholders, if it has any. False when the user cancelled: nothing copied.
    bool CopyToClipboard(TXmlDElement* templ, const std::string& entryText, TDialogOwner owner);
    // The one way a change reaches the document's history and the file: records it, saves
    // (with the outside-change check) and tells whatever holds links into the document.
    void Commit(TChange change);
    void UndoOrRedo(bool undo);
    void CreateRepository();
    void StartNewRepository();
    void ListTemplates();
    void RestoreApplication();
    // Makes the owed backup copy, if any; raises when it cannot be made.
    void MakePendingBackup();
    // Before the first save of the run and of each day: the file as it stands kept in the
    // history folder (unless the newest copy there holds the same bytes), and the oldest copies
    // past the bounds let go. Never raises: what went wrong, or empty.
    std::string KeepHistoryCopy();
    // Backup (when owed), the history copy (when due), then SaveToFile; raises when the save
    // fails. HistoryNote: why the history copy could not be made, or empty.
    void SaveRepository(std::string* historyNote = nullptr);
    // Saves after a change; a failure is reported in the status bar.
    void SaveAfterChange();

    enum class TFileCheck { Same, ReadAgain, CannotRead };
    // Compares the file with what was last read or written; when another program changed it
    // (or it was never read), reads it again into a fresh document and refills the list, with
    // the status bar saying so. CannotRead: the reason is in Reason, nothing changed.
    TFileCheck CheckFile(std::string& reason);
    // Reads the file into Document and remembers it; the load error's message, or empty.
    // Unreadable: the file could not be opened at all.
    std::string ReadFile(TXmlDDocument& document, bool& unreadable);
    // Remembers the file as it stands now, with the hash of what was read or written.
    void RememberFile(const TFileStamp& before, uint64_t hash);
    // Makes the owed backup copy and says how that went (the copy's name or its error).
    std::string BackupNote();
    // The list filled again from the document; the selected entry stays selected when an
    // entry of its name is still there (the nearest to its old place). False when one was
    // selected and is gone.
    bool RefillList();
    // Before a change: the check above; false, with the reason in the status bar, when the
    // change must not be applied (the file cannot be read, or NeedsSelection and the selected
    // template is no longer in the file).
    bool FileReadyForChange(bool needsSelection);

    // A handler waits for an answer in a message box: activation must not change the document
    // under it.
    int Asking = 0;

    TFormPorts Ports;
};

}  // namespace tessara
