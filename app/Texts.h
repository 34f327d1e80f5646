// Every text the program shows, puts or writes, in one place, as Windows-1251 bytes. The
// sources hold them in UTF-8; Cp1251 converts them once, at first use.
#pragma once

#include <string>

namespace tessara {

struct TTexts {
    // Titles.
    std::string MainCaption;        // the main window's caption
    std::string TrayTip;

    // Controls: captions and hints.
    std::string Button5Caption, Button5Hint;
    std::string Button4Caption, Button4Hint;
    std::string ButtonMoreShow, ButtonMoreShowHint;  // memo hidden: ">>"
    std::string ButtonMoreHide, ButtonMoreHideHint;  // memo shown: "<<"
    std::string Label3Caption;
    std::string DlgFormsHint;
    std::string Label1Caption;
    std::string Button1Caption, Button1Hint;
    std::string Button2Caption, Button2Hint;
    std::string Button3Caption, Button3Hint;
    std::string Label2Caption, Label2Hint;
    std::string InsControlsCaption;
    std::string InsModuleCaption;
    // The help memo: 18 lines, joined with "\r\n".
    std::string MemoOfHints;
    // The two "mailto:" links the credits label opens.
    std::string MailLinkSupport;
    std::string MailLinkSuggestions;

    // The repository.
    std::string RepositoryFileName;
    std::string DialogEditorFormatName;
    std::string RootTag, DescriptionAttribute, DefaultDescription;
    std::string TemplateTag, NameAttribute, ControlsTag, ModuleTag;

    // Status lines (prefixes; the handlers add the names).
    std::string StatusRenamedFrom;   // + old name + StatusRenamedTo + new name
    std::string StatusRenamedTo;
    std::string StatusCopied;        // + name + "!"
    std::string StatusControlsPasted;
    std::string StatusModulePasted;
    std::string StatusEnd;           // "!"
    std::string StatusCharactersReplaced;  // + how many characters 1251 lacks + "."
    std::string StatusSaveFailed;    // + the error's message
    std::string StatusBackupMade;    // + the backup's file name
    std::string StatusHotkeyUnavailable;  // the find window's hotkey is held by another program
    // The repository file and other programs.
    std::string StatusRead;                // read at last, after it could not be read
    std::string StatusReadAgain;           // changed by another program and read again
    std::string StatusSelectedGone;        // ... and the selected template is not in it
    std::string StatusChangedOnBothSides;  // changed outside while a change was not saved
    std::string StatusChangeRefused;       // + why the file cannot be read
    std::string StatusCannotRead;          // + why the file cannot be read
    // A template moved: prefix + name + MovedTo + place + MovedOf + count + ".".
    std::string StatusMovedPrefix, StatusMovedTo, StatusMovedOf;
    // Files dropped: Added + count + PassedOver + count + "." [+ NoTemplatesIn + quoted file
    // name + NoTemplates, for each file without templates].
    // A list entry's preview: ellipsis for a cut line; ControlsSize + bytes + Bytes.
    std::string PreviewEllipsis, PreviewControlsSize, PreviewBytes;
    std::string StatusDropAdded, StatusDropPassedOver, StatusDropNoTemplatesIn, StatusDropNoTemplates;
    // A delete: Deleted + quoted name + DeletedUndo.
    std::string StatusDeleted, StatusDeletedUndo;
    // Undo and redo: Undone or Redone + the change's name + quoted template name (or ": " and
    // how many templates were taken in) + ".". ChangeNames follows TChangeKind.
    std::string StatusUndone, StatusRedone;
    std::string ChangeNames[8];
    std::string StatusNothingToUndo, StatusNothingToRedo;
    std::string StatusHistoryLost;         // the file was read again: the changes before are gone
    // An edited template saved: Edited + quoted name + "!"; or put into a new template because
    // its own is gone: EditedIntoNew + quoted name + ".".
    std::string StatusEdited, StatusEditedIntoNew;
    std::string StatusHistoryFailed;       // + why the file's history copy could not be kept

    // Questions.
    std::string AskReplaceControls;
    std::string AskReplaceModule;

    // The placeholder dialog of a copy, and the preview's line of what it asks for.
    std::string PlaceholderTitle;     // + quoted template name
    std::string PlaceholderCopy;      // the default button: the values filled in
    std::string PlaceholderAsIs;      // the module text copied unchanged
    std::string PlaceholderCancel;    // nothing copied
    std::string PreviewPlaceholders;  // + the fields' labels
    std::string PlaceholderValueLabel;  // a field whose placeholder names no prompt and no kind

    // Errors of the program's own.
    std::string InTemplate;          // + name + NoControlsElement or NoModuleElement
    std::string NoControlsElement;
    std::string NoModuleElement;
    std::string BackupMade;          // + quoted file name: appended to a load error
    std::string BackupFailed;        // + the copy's error: appended to a load error
    std::string QuoteOpen, QuoteClose;
    std::string BackupStillFailing;  // + the copy's error: raised by a save
    std::string NotWrittenUntilRead; // appended to an error that kept the file from being read
    std::string CloseCannotCompare;  // + why the file cannot be read: raised by a close

    // The module editor.
    std::string EditModuleCaption;   // the template list's menu item
    std::string EditorCaptionEnd;    // the editor's caption: the template's name + this
    std::string EditorNameLabel;     // before the name box
    std::string EditorFindLabel;     // before the find box
    // The status line: Line + number + Column + number [+ Modified].
    std::string EditorStatusLine, EditorStatusColumn, EditorStatusModified;
    std::string EditorNotFound;      // + the quoted search text
    std::string EditorAskSave, EditorAskSaveEnd;  // + name + End
    std::string EditorAskReplaced;   // how many characters + this
};

const TTexts& Texts();

}  // namespace tessara
