// The main window: its program-wide state and one handler per event. The handlers act on
// the repository document directly and on the window through the ports; the Win32 shell
// calls them and shows any exception they raise with ShowStandardError.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "app/Ports.h"
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

    void PutToClipboard(const std::string& Controls, const std::string& Module);

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
    // The shell restarted ("TaskbarCreated"): puts the tray icon up again.
    void TaskbarCreated();

    // Memo toggle, tray icon, minimize, credits.
    void MemoOfHintsShowOrHide();
    void TrayIconMessage(intptr_t lParam);
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
    void insContronClick();
    void insModuleClick();

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
    std::string RepositoryFileName = "1CDialogControls.xml";
    // After a failed load of an existing file: the copy of its original bytes made before it
    // is first written over (empty until made), and whether that copy is still owed.
    std::string BackupFileName;
    bool BackupPending = false;

private:
    // The selected entry's index, or EListError(-1) when none is selected.
    int SelectedIndex() const;
    TXmlDElement* SelectedTemplate();
    // Text on the clipboard, Unicode or CF_TEXT: what "Вставить модуль" takes.
    bool ClipboardHasText();
    TXmlDNode* ControlsNode(TXmlDElement* templ, const std::string& entryText) const;
    TXmlDNode* ModuleNode(TXmlDElement* templ, const std::string& entryText) const;
    void CreateRepository();
    void StartNewRepository();
    void ListTemplates();
    void RestoreApplication();
    // Makes the owed backup copy, if any; raises when it cannot be made.
    void MakePendingBackup();
    // Backup (when owed), then SaveToFile; raises on failure.
    void SaveRepository();
    // Saves after a change; a failure is reported in the status bar.
    void SaveAfterChange();

    TFormPorts Ports;
};

}  // namespace tessara
