#include "app/ClipUnit.h"

#include <cstdlib>

#include "app/FormHelpers.h"
#include "app/ListEntries.h"
#include "app/ListKeys.h"
#include "app/PlaceholderCopy.h"
#include "app/Preview.h"
#include "app/TakeIn.h"
#include "app/Template.h"
#include "app/Texts.h"
#include "platform/Charset.h"
#include "platform/Exceptions.h"

namespace tessara {
namespace {

constexpr uint32_t kTrayIconId = 1;
// CF_LOCALE's block: the LCID of Russian (0x0419), a 32-bit little-endian number.
const std::string kRussianLocaleBlock("\x19\x04\x00\x00", 4);

// CF_UNICODETEXT's block for a 1251 text that ends in its zero byte: UTF-16, little-endian.
std::string UnicodeTextBlock(const std::string& cp1251) {
    const std::u16string wide = Cp1251ToUtf16(cp1251);
    std::string block;
    block.reserve(wide.size() * 2);
    for (char16_t c : wide) {
        block += static_cast<char>(c & 0xFF);
        block += static_cast<char>(c >> 8);
    }
    return block;
}

std::string MessageOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error)) return own->Message();
    return error.what();
}

// Closes the clipboard when the operation that opened it ends, however it ends.
class TClipboardOpen {
public:
    explicit TClipboardOpen(IClipboard& clipboard) : Clipboard(clipboard) { Clipboard.Open(); }
    ~TClipboardOpen() { Clipboard.Close(); }
    TClipboardOpen(const TClipboardOpen&) = delete;
    TClipboardOpen& operator=(const TClipboardOpen&) = delete;

private:
    IClipboard& Clipboard;
};

// BeginUpdate / EndUpdate around a fill of the list, also when the fill raises.
class TListUpdate {
public:
    explicit TListUpdate(IListBox& list) : List(list) { List.BeginUpdate(); }
    ~TListUpdate() { List.EndUpdate(); }
    TListUpdate(const TListUpdate&) = delete;
    TListUpdate& operator=(const TListUpdate&) = delete;

private:
    IListBox& List;
};

}  // namespace

std::string StandardErrorText(const std::string& message) {
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

void ShowStandardError(IMessageBoxes& boxes, const std::exception& error, const std::string& title) {
    boxes.ShowError(StandardErrorText(MessageOf(error)), title);
}

// ---------------------------------------------------------------------------------------
// TData

void TData::PutToClipboard(std::string_view Controls, std::string_view Module) {
    // Every block is made before the clipboard is opened and emptied: when memory runs out,
    // the clipboard keeps what it held.
    // The dialog editor's data: exactly its bytes, no terminating zero.
    TClipboardBlock controls = Clipboard.Allocate(Controls);
    std::string text;
    text.reserve(Module.size() + 1);
    text += Module;
    text += '\0';
    TClipboardBlock ansi = Clipboard.Allocate(text);
    // Without the locale, the system converts CF_TEXT for Unicode programs with the keyboard
    // layout's code page, and an English layout turns the Cyrillic into garbage.
    TClipboardBlock locale = Clipboard.Allocate(kRussianLocaleBlock);
    // The text as Unicode too, converted exactly, so that no reader depends on the system's
    // conversion at all.
    TClipboardBlock unicode = Clipboard.Allocate(UnicodeTextBlock(text));

    TClipboardOpen open(Clipboard);
    Clipboard.Empty();
    Clipboard.SetData(DialogEditorFormat, std::move(controls));
    Clipboard.SetData(kCfText, std::move(ansi));
    Clipboard.SetData(kCfLocale, std::move(locale));
    Clipboard.SetData(kCfUnicodeText, std::move(unicode));
}

// ---------------------------------------------------------------------------------------
// TmForm: lifecycle

TmForm::TmForm(const TFormPorts& ports) : Ports(ports) {}

TmForm::~TmForm() {
    // The list's entries point into the document: they go before it.
    {
        TListUpdate update(Ports.DlgForms);
        Ports.DlgForms.Clear();
    }
    RootElement = nullptr;
    CurrentTemplate = nullptr;
    ReleaseRef(Repository);
}

void TmForm::FormCreate() {
    TrayIconData.uID = kTrayIconId;
    TrayIconData.szTip = Texts().TrayTip;
    Ports.TrayIcon.Add(TrayIconData);
    MemoOfHintsShowOrHide();
}

void TmForm::FormShow() {
    Ports.Application.HideTaskbarButton();
    DialogEditorFormat = Ports.Clipboard.RegisterFormat(Texts().DialogEditorFormatName);
    CreateRepository();
}

void TmForm::FormClose() {
    if (Repository == nullptr) return;  // never shown: nothing was read, nothing to write
    std::string reason;
    if (CheckFile(reason) == TFileCheck::CannotRead) {
        // Never read, so never changed: the file is left as it is and the window closes.
        if (Unread) return;
        throw Exception(Texts().CloseCannotCompare + reason);
    }
    SaveRepository();
}

void TmForm::FormDestroy() {
    TrayIconData.uID = kTrayIconId;
    try {
        Ports.TrayIcon.Delete(TrayIconData);
    } catch (...) {
        Ports.Application.Terminate();
        throw;
    }
    Ports.Application.Terminate();
}

void TmForm::FormEndSession(bool sessionEnding) {
    if (!sessionEnding || Repository == nullptr) return;
    std::string reason;
    if (CheckFile(reason) == TFileCheck::CannotRead) {
        if (!Unread) Ports.StatusBar1.SetText(Texts().StatusSaveFailed + reason);
        return;
    }
    SaveAfterChange();
}

void TmForm::FormActivate() {
    // Not before the first show, and not while a handler waits for an answer: it goes on
    // with the document it has.
    if (Repository == nullptr || Asking != 0) return;
    std::string reason;
    if (CheckFile(reason) == TFileCheck::CannotRead) Ports.StatusBar1.SetText(Texts().StatusCannotRead + reason);
}

void TmForm::TaskbarCreated() {
    if (TrayIconData.uID != 0) Ports.TrayIcon.Add(TrayIconData);
}

// ---------------------------------------------------------------------------------------
// Memo toggle, tray icon, minimize, credits

void TmForm::MemoOfHintsShowOrHide() {
    Ports.Window.SetOuterWidth(MemoShown ? NarrowWidth : WideWidth);
    MemoShown = !MemoShown;
    if (MemoShown) {
        Ports.ButtonMore.SetCaption(Texts().ButtonMoreHide);
        Ports.ButtonMore.SetHint(Texts().ButtonMoreHideHint);
    } else {
        Ports.ButtonMore.SetCaption(Texts().ButtonMoreShow);
        Ports.ButtonMore.SetHint(Texts().ButtonMoreShowHint);
    }
    Ports.Window.FocusNameBox();
}

void TmForm::RestoreApplication() {
    if (Ports.Application.IsMinimized()) Ports.Application.Restore();
}

void TmForm::TrayIconMessage(TTrayEvent event) {
    switch (event) {
    case TTrayEvent::LeftDoubleClick:
        AnotherStart();
        break;
    case TTrayEvent::RightButtonDown:
    case TTrayEvent::RightDoubleClick:
        RestoreApplication();
        break;
    case TTrayEvent::Other:
        break;
    }
}

void TmForm::AnotherStart() {
    RestoreApplication();
    Ports.Application.BringMainWindowToFront();
}

void TmForm::ApplicationMinimize() {
    Ports.Application.HideTaskbarButton();
}

void TmForm::Label2Click() {
    Ports.Shell.OpenLink(Texts().MailLinkSupport);
    Ports.Shell.OpenLink(Texts().MailLinkSuggestions);
}

// ---------------------------------------------------------------------------------------
// The repository

void TmForm::CreateRepository() {
    if (Repository != nullptr) return;  // once per run, whatever shows the window again
    InitRef(Repository, new TXmlDDocument());
    if (!Ports.Files.Exists(RepositoryFileName)) {
        StartNewRepository();
        ListTemplates();
        KnownStamp = TFileStamp{};
        return;
    }
    bool unreadable = false;
    const std::string loadError = ReadFile(*Repository, unreadable);
    // Nothing to list into, and nothing for an add to append to: a file that held no root
    // element (empty, only comments, unreadable, or broken before the root's start tag)
    // gets the new repository's root, so that the user can work at once.
    if (Repository->DocumentElement() == nullptr) StartNewRepository();
    ListTemplates();
    if (loadError.empty()) return;
    if (unreadable) {
        // Nothing of it is known: every change waits until it has been read.
        Unread = true;
        UnreadReason = StandardErrorText(loadError);
        throw Exception(UnreadReason + "\r\n" + Texts().NotWrittenUntilRead);
    }
    // The document now holds at most a part of the file: keep the file's original bytes
    // beside it before anything writes over it, and say where.
    BackupPending = true;
    throw Exception(StandardErrorText(loadError) + "\r\n" + BackupNote());
}

std::string TmForm::ReadFile(TXmlDDocument& document, bool& unreadable) {
    unreadable = false;
    const TFileStamp before = Ports.Files.Stamp(RepositoryFileName);
    std::string loadError;
    bool hashed = true;
    try {
        KnownHash = Ports.Files.Load(document, RepositoryFileName);
    } catch (const EFOpenError& error) {
        unreadable = true;
        return MessageOf(error);
    } catch (const std::exception& error) {
        // The reader stopped before the end: the file's bytes are hashed apart.
        loadError = MessageOf(error);
        try {
            KnownHash = Ports.Files.Hash(RepositoryFileName);
        } catch (const std::exception&) {
            hashed = false;
        }
    }
    KnownStamp = Ports.Files.Stamp(RepositoryFileName);
    // Changed while it was read, or not hashed: the next check compares the bytes.
    if (!hashed || !(KnownStamp == before)) {
        KnownStamp.Size = -1;
        if (!hashed) KnownHash = 0;
    }
    return loadError;
}

TmForm::TFileCheck TmForm::CheckFile(std::string& reason) {
    const TFileStamp stamp = Ports.Files.Stamp(RepositoryFileName);
    if (!Unread) {
        if (stamp == KnownStamp) return TFileCheck::Same;
        if (!stamp.Exists) {
            // Deleted by another program: the next save writes it again from the document.
            KnownStamp = stamp;
            return TFileCheck::Same;
        }
        uint64_t hash = 0;
        try {
            hash = Ports.Files.Hash(RepositoryFileName);
        } catch (const std::exception& error) {
            reason = StandardErrorText(MessageOf(error));
            return TFileCheck::CannotRead;
        }
        if (hash == KnownHash) {  // written again with the same bytes
            KnownStamp = stamp;
            return TFileCheck::Same;
        }
        if (Unsaved) {
            // Changed on both sides: the document keeps the user's changes, and the other
            // program's file is copied aside before the next save writes over it.
            KnownStamp = stamp;
            KnownHash = hash;
            BackupPending = true;
            Ports.StatusBar1.SetText(Texts().StatusChangedOnBothSides);
            return TFileCheck::Same;
        }
    } else if (!stamp.Exists) {
        // The file that could not be read is gone: nothing of it is left to protect.
        Unread = false;
        KnownStamp = stamp;
        return TFileCheck::Same;
    }

    TRef<TXmlDDocument> fresh(new TXmlDDocument());
    bool unreadable = false;
    const std::string loadError = ReadFile(*fresh.Get(), unreadable);
    if (unreadable) {
        reason = StandardErrorText(loadError);
        if (Unread) UnreadReason = reason;
        return TFileCheck::CannotRead;
    }
    const bool firstRead = Unread;
    CurrentTemplate = nullptr;
    // The changes recorded so far were made on the document that is let go now.
    if (History.Changes() != 0) HistoryLost = true;
    History.Clear();
    // The list's entries point into the old document until they are listed again.
    const TRef<TXmlDDocument> old(Repository);
    AssignRef(Repository, fresh.Get());
    if (Repository->DocumentElement() == nullptr) StartNewRepository();
    Unread = false;
    Unsaved = false;
    BackupPending = !loadError.empty();
    ListTemplates();
    DocumentChanged();  // the templates of the old document are gone
    std::string status = firstRead ? Texts().StatusRead : Texts().StatusReadAgain;
    if (!loadError.empty()) status += " " + StandardErrorText(loadError) + " " + BackupNote();
    Ports.StatusBar1.SetText(status);
    return TFileCheck::ReadAgain;
}

bool TmForm::FileReadyForChange(bool needsSelection) {
    if (Repository == nullptr) return true;  // never shown: the handler goes on as ever
    const bool hadSelection = Ports.DlgForms.ItemIndex() >= 0;
    std::string reason;
    switch (CheckFile(reason)) {
    case TFileCheck::Same:
        return true;
    case TFileCheck::CannotRead:
        Ports.StatusBar1.SetText(Texts().StatusChangeRefused + reason);
        return false;
    case TFileCheck::ReadAgain:
        break;
    }
    if (!needsSelection || !hadSelection || Ports.DlgForms.ItemIndex() >= 0) return true;
    Ports.StatusBar1.SetText(Texts().StatusSelectedGone);
    return false;
}

std::string TmForm::BackupNote() {
    try {
        MakePendingBackup();
        return Texts().BackupMade + Texts().QuoteOpen + BackupFileName + Texts().QuoteClose;
    } catch (const std::exception& error) {
        return Texts().BackupFailed + MessageOf(error);
    }
}

void TmForm::StartNewRepository() {
    TRef<TXmlDElement> root(new TXmlDElement(Texts().RootTag));
    TRef<TXmlDAttribute> description(new TXmlDAttribute(Texts().DescriptionAttribute));
    description->Value = Texts().DefaultDescription;
    root->SetAttributeNode(description.Get());
    Repository->AppendChild(root.Get());
    RootElement = Repository->DocumentElement();
}

void TmForm::ListTemplates() {
    RootElement = Repository->DocumentElement();
    IListBox& list = Ports.DlgForms;
    // A list filled again keeps the selected entry: the entry of its name nearest to its old
    // place, none when no entry has that name.
    const int selected = list.ItemIndex();
    const std::string selectedName = selected >= 0 && selected < list.Count() ? list.ItemText(selected) : std::string();
    TListUpdate update(list);
    list.Clear();
    for (TXmlDElement* templ : Templates(RootElement)) list.Add(TemplateName(templ), templ);
    if (selected < 0) return;
    int found = -1;
    for (int i = 0; i < list.Count(); ++i)
        if (list.ItemText(i) == selectedName && (found < 0 || std::abs(i - selected) < std::abs(found - selected)))
            found = i;
    list.SetItemIndex(found);
    Ports.Button2.SetEnabled(found >= 0);
    Ports.Button3.SetEnabled(found >= 0);
}

void TmForm::MakePendingBackup() {
    if (!BackupPending) return;
    // A file that is gone has nothing left to protect.
    if (Ports.Files.Exists(RepositoryFileName)) BackupFileName = Ports.Files.Backup(RepositoryFileName);
    BackupPending = false;
}

std::string TmForm::KeepHistoryCopy() {
    const TDateTime now = Now();
    const int64_t today = DayNumber(now);
    if (today == HistoryDay) return std::string();
    HistoryDay = today;  // tried once a day, whatever comes of it
    // A file that is not there, or was never read whole, has no history worth keeping.
    if (BackupPending) return std::string();
    const TFileStamp stamp = Ports.Files.Stamp(RepositoryFileName);
    if (!stamp.Exists) return std::string();
    try {
        const char separator = Ports.Files.PathSeparator();
        const std::string folder = HistoryFolder(RepositoryFileName, separator);
        std::vector<THistoryCopy> copies = HistoryCopies(RepositoryFileName, Ports.Files.FilesIn(folder));
        // The file as it stands is the one last read or written (the check before the save
        // made sure); a copy of the same bytes is there already when the newest one hashes so.
        // Only a copy of the same size is read for it.
        const bool same = !copies.empty() && copies.back().Size == stamp.Size &&
                          Ports.Files.Hash(folder + separator + copies.back().Name) == KnownHash;
        if (!same) {
            const std::string name = HistoryCopyName(RepositoryFileName, separator, now, copies);
            Ports.Files.KeepCopy(RepositoryFileName, name);
            copies.push_back({name.substr(folder.size() + 1), stamp.Size, today});
        }
        for (const std::string& old : CopiesToLetGo(copies, now)) Ports.Files.Remove(folder + separator + old);
    } catch (const std::exception& error) {
        return StandardErrorText(MessageOf(error));
    }
    return std::string();
}

void TmForm::SaveRepository(std::string* historyNote) {
    // Never shown, or the file never read: nothing of it is known, nothing is written over it.
    if (Repository == nullptr || Unread) return;
    // The history never holds a save up: a copy that cannot be kept is only reported. (A file
    // read only in part gets its .bad copy below instead.)
    const std::string note = KeepHistoryCopy();
    if (historyNote != nullptr) *historyNote = note;
    if (BackupPending) {
        try {
            MakePendingBackup();
        } catch (const std::exception& error) {
            throw Exception(Texts().BackupStillFailing + MessageOf(error));
        }
    }
    KnownHash = Ports.Files.Save(*Repository, RepositoryFileName);
    KnownStamp = Ports.Files.Stamp(RepositoryFileName);
    Unsaved = false;
}

void TmForm::SaveAfterChange() {
    // The document now differs from the file. Should another program have changed the file
    // since the check before the change (while a question was on screen), that file is copied
    // aside before it is written over.
    Unsaved = true;
    std::string unused;
    CheckFile(unused);
    const bool backupOwed = BackupPending;
    std::string historyNote;
    try {
        SaveRepository(&historyNote);
    } catch (const std::exception& error) {
        Unsaved = true;
        Ports.StatusBar1.SetText(Texts().StatusSaveFailed + StandardErrorText(MessageOf(error)));
        return;
    }
    if (!historyNote.empty()) Ports.StatusBar1.SetText(Texts().StatusHistoryFailed + historyNote);
    if (backupOwed && !BackupFileName.empty())
        Ports.StatusBar1.SetText(Texts().StatusBackupMade + Texts().QuoteOpen + BackupFileName +
                                 Texts().QuoteClose);
}

// ---------------------------------------------------------------------------------------
// Changes, their undo and redo

void TmForm::Commit(TChange change) {
    if (change.Empty()) return;
    History.Record(std::move(change));
    HistoryLost = false;
    SaveAfterChange();
    DocumentChanged();
}

void TmForm::Undo() { UndoOrRedo(true); }

void TmForm::Redo() { UndoOrRedo(false); }

void TmForm::UndoOrRedo(bool undo) {
    if (Repository == nullptr) return;
    // Like every change: a file another program changed is read first, and then the changes
    // recorded before no longer apply.
    if (!FileReadyForChange(false)) return;
    const TTexts& t = Texts();
    TChange* change = undo ? History.Undo() : History.Redo();
    if (change == nullptr) {
        Ports.StatusBar1.SetText(HistoryLost ? t.StatusHistoryLost : undo ? t.StatusNothingToUndo : t.StatusNothingToRedo);
        HistoryLost = false;
        return;
    }
    CurrentTemplate = nullptr;
    ListTemplates();
    // The template concerned is selected while it is in the document; none otherwise.
    int selected = -1;
    TXmlDElement* templ = change->Template.Get();
    if (templ != nullptr && templ->ParentNode() == RootElement)
        for (int i = 0; i < Ports.DlgForms.Count() && selected < 0; ++i)
            if (Ports.DlgForms.ItemObject(i) == templ) selected = i;
    Ports.DlgForms.SetItemIndex(selected);
    Ports.Button2.SetEnabled(selected >= 0);
    Ports.Button3.SetEnabled(selected >= 0);
    std::string status = (undo ? t.StatusUndone : t.StatusRedone) + t.ChangeNames[static_cast<size_t>(change->Kind)];
    if (change->Kind == TChangeKind::TakeIn) status += ": " + std::to_string(change->Count);
    else if (templ != nullptr) status += " " + t.QuoteOpen + std::string(TemplateName(templ)) + t.QuoteClose;
    Ports.StatusBar1.SetText(status + '.');
    SaveAfterChange();
    DocumentChanged();
}

bool TmForm::MainWindowKeyDown(unsigned virtualKey, unsigned modifiers, bool inNameBox) {
    // In the name box the keys stay the box's own undo of typing.
    if (inNameBox) return false;
    switch (WindowKeyCommand(virtualKey, modifiers)) {
    case TWindowCommand::Undo: Undo(); return true;
    case TWindowCommand::Redo: Redo(); return true;
    case TWindowCommand::None: return false;
    }
    return false;
}

TXmlDElement* TmForm::SaveTemplateEdit(TXmlDElement* templ, const std::string& name, const std::string& module) {
    if (!FileReadyForChange(false)) return nullptr;
    const TTexts& t = Texts();
    if (templ == nullptr || templ->ParentNode() != RootElement || RootElement == nullptr) {
        // The template is gone (deleted, or the file was read again): the text is never lost,
        // it goes into a new template at the end of the list.
        const TRef<TXmlDElement> added = NewTemplate({name, std::string(), module});
        TChange change(TChangeKind::EditModule, added.Get());
        change.Insert(RootElement, added.Get());
        Ports.DlgForms.Add(TemplateName(added.Get()), added.Get());
        Ports.StatusBar1.SetText(t.StatusEditedIntoNew + t.QuoteOpen + name + t.QuoteClose + '.');
        Commit(std::move(change));
        return added.Get();
    }
    TChange change(TChangeKind::EditModule, templ);
    // A template without a name attribute (a file written by hand) keeps its name.
    if (TXmlDAttribute* attribute = templ->GetAttributeNode(t.NameAttribute); attribute != nullptr && attribute->Value != name)
        change.SetValue(attribute, name);
    TXmlDElement* moduleElement = TemplateModule(templ);
    std::string storage;
    if (moduleElement == nullptr) {
        // A template without its parts gets them, as the copy expects them.
        if (TemplateControls(templ) == nullptr) change.Insert(templ, TRef<TXmlDElement>(new TXmlDElement(t.ControlsTag)).Get());
        const TRef<TXmlDElement> made(new TXmlDElement(t.ModuleTag));
        change.Insert(templ, made.Get());
        moduleElement = made.Get();
    }
    if (PartText(moduleElement, storage) != module) change.SetText(moduleElement, module);
    if (change.Empty()) return templ;
    ListTemplates();
    Ports.StatusBar1.SetText(t.StatusEdited + t.QuoteOpen + name + t.QuoteClose + t.StatusEnd);
    Commit(std::move(change));
    return templ;
}

// ---------------------------------------------------------------------------------------
// Template list and editing

std::optional<int> TmForm::Selection() const {
    const int index = Ports.DlgForms.ItemIndex();
    if (index < 0 || index >= Ports.DlgForms.Count()) return std::nullopt;
    return index;
}

int TmForm::SelectedIndex() const {
    if (const std::optional<int> index = Selection()) return *index;
    throw EListError(Ports.DlgForms.ItemIndex());
}

TXmlDElement* TmForm::SelectedTemplate() {
    CurrentTemplate = Ports.DlgForms.ItemObject(SelectedIndex());
    return CurrentTemplate;
}

TXmlDElement* TmForm::ControlsNode(TXmlDElement* templ, const std::string& entryText) const {
    TXmlDElement* controls = TemplateControls(templ);
    if (controls == nullptr)
        throw Exception(Texts().InTemplate + entryText + Texts().NoControlsElement);
    return controls;
}

TXmlDElement* TmForm::ModuleNode(TXmlDElement* templ, const std::string& entryText) const {
    ControlsNode(templ, entryText);  // a template without controls says so first
    TXmlDElement* module = TemplateModule(templ);
    if (module == nullptr)
        throw Exception(Texts().InTemplate + entryText + Texts().NoModuleElement);
    return module;
}

void TmForm::DlgFormsClick() {
    const std::optional<int> index = Selection();
    if (!index) {
        Ports.Button3.SetEnabled(false);
        Ports.Button2.SetEnabled(false);
        return;
    }
    Ports.Button2.SetEnabled(true);
    Ports.Button3.SetEnabled(true);
    Ports.edtName.SetText(Ports.DlgForms.ItemText(*index));
}

void TmForm::Button1Click() {
    if (!FileReadyForChange(false)) return;
    const TRef<TXmlDElement> templ = NewTemplate({Ports.edtName.Text(), std::string(), std::string()});
    TChange change(TChangeKind::Add, templ.Get());
    change.Insert(RootElement, templ.Get());
    CurrentTemplate = templ.Get();
    Ports.DlgForms.Add(TemplateName(CurrentTemplate), CurrentTemplate);
    Ports.edtName.SetText(std::string());
    Commit(std::move(change));
}

void TmForm::Button2Click() {
    if (!FileReadyForChange(true)) return;
    const int index = SelectedIndex();
    CurrentTemplate = Ports.DlgForms.ItemObject(index);
    const std::string newName = Ports.edtName.Text();
    // Read first: the entry shows its template's name, which the rename changes.
    const std::string oldName = Ports.DlgForms.ItemText(index);
    TChange change(TChangeKind::Rename, CurrentTemplate);
    change.SetValue(CurrentTemplate->Attributes()->Item(0), newName);
    Ports.StatusBar1.SetText(Texts().StatusRenamedFrom + oldName + Texts().StatusRenamedTo + newName);
    Ports.DlgForms.SetItemText(index, newName);
    Ports.DlgForms.SetItemIndex(index);
    Ports.edtName.SetText(std::string());
    Commit(std::move(change));
}

void TmForm::Button3Click() {
    if (!FileReadyForChange(true)) return;
    const int index = SelectedIndex();
    CurrentTemplate = Ports.DlgForms.ItemObject(index);
    const std::string name = Ports.DlgForms.ItemText(index);
    TChange change(TChangeKind::Delete, CurrentTemplate);
    if (CurrentTemplate->ParentNode() != nullptr) change.Remove(CurrentTemplate);
    CurrentTemplate = nullptr;  // out of the document; the change holds it for its undo
    Ports.DlgForms.Delete(index);
    Ports.DlgForms.SetItemIndex(-1);
    Ports.edtName.SetText(std::string());
    // The delete asks nothing: the status line says how to get the template back.
    Ports.StatusBar1.SetText(Texts().StatusDeleted + Texts().QuoteOpen + name + Texts().QuoteClose +
                             Texts().StatusDeletedUndo);
    Commit(std::move(change));
}

// ---------------------------------------------------------------------------------------
// Clipboard exchange

void TmForm::DlgFormsDblClick() {
    const int index = SelectedIndex();
    TXmlDElement* templ = SelectedTemplate();
    CopyToClipboard(templ, Ports.DlgForms.ItemText(index), TDialogOwner::MainWindow);
}

bool TmForm::CopyTemplate(TXmlDElement* templ) {
    return CopyToClipboard(templ, std::string(TemplateName(templ)), TDialogOwner::FindWindow);
}

bool TmForm::CopyToClipboard(TXmlDElement* templ, const std::string& entryText, TDialogOwner owner) {
    std::string moduleCopy, controlsCopy;  // used only by texts not stored in one piece
    std::string_view module = TextOf(ModuleNode(templ, entryText), moduleCopy);
    std::string_view controls = TextOf(ControlsNode(templ, entryText), controlsCopy);
    size_t replaced = 0;
    std::string filled, heldControls;
    if (HasPlaceholders(module)) {
        // Both texts are held here while the dialog is open: the document must not change
        // under it (activation reads no file meanwhile), and the find window's copy leaves the
        // main window free to change it.
        heldControls.assign(controls);
        std::optional<TModuleCopy> copy;
        {
            const TAsking asking(Asking);
            copy = ModuleToCopy(Ports.PlaceholderDialog, std::string(module), owner, entryText, Now);
        }
        if (!copy) return false;
        filled = std::move(copy->Text);
        replaced = copy->Replaced;
        module = filled;
        controls = heldControls;
    }
    TData data(Ports.Clipboard, DialogEditorFormat);
    data.PutToClipboard(controls, module);
    std::string status = Texts().StatusCopied + entryText + Texts().StatusEnd;
    if (replaced != 0) status += Texts().StatusCharactersReplaced + std::to_string(replaced) + '.';
    Ports.StatusBar1.SetText(status);
    return true;
}

void TmForm::Button4Click() {
    PopupMenuPopup();
    PasteMenuCommand(Ports.PopupMenu.PopupAtPasteButton());
}

void TmForm::DlgFormsContextMenu(int screenX, int screenY) {
    PopupMenuPopup();
    PasteMenuCommand(Ports.PopupMenu.PopupAt(screenX, screenY));
}

void TmForm::PasteMenuCommand(TPasteItem item) {
    switch (item) {
    case TPasteItem::InsControls: insContronClick(); break;
    case TPasteItem::InsModule: insModuleClick(); break;
    case TPasteItem::EditModule:
        if (Selection()) EditTemplate(SelectedTemplate());
        break;
    case TPasteItem::None: break;
    }
}

void TmForm::PopupMenuPopup() {
    Ports.PopupMenu.SetEditModuleEnabled(Selection().has_value());
    if (!Selection()) {
        Ports.PopupMenu.SetInsControlsEnabled(false);
        Ports.PopupMenu.SetInsModuleEnabled(false);
        return;
    }
    Ports.PopupMenu.SetInsControlsEnabled(ClipboardHasControls());
    Ports.PopupMenu.SetInsModuleEnabled(ClipboardHasText());
}

void TmForm::insContronClick() {
    std::optional<std::string> data;
    {
        TClipboardOpen open(Ports.Clipboard);
        data = Ports.Clipboard.GetData(DialogEditorFormat);
    }
    if (!data) return;
    if (!FileReadyForChange(true)) return;
    const std::optional<int> index = Selection();
    if (!index) return;
    TXmlDElement* templ = SelectedTemplate();
    const std::string entryText = Ports.DlgForms.ItemText(*index);
    TXmlDElement* controls = ControlsNode(templ, entryText);
    const TAsking asking(Asking);
    if (!controls->GetText().empty() &&
        !Ports.Boxes.AskOkCancel(Texts().AskReplaceControls, Ports.Window.Caption()))
        return;
    TChange change(TChangeKind::PasteControls, templ);
    change.SetText(controls, *data);
    Ports.StatusBar1.SetText(Texts().StatusControlsPasted + entryText + Texts().StatusEnd);
    Commit(std::move(change));
}

bool TmForm::ClipboardHasControls() {
    TClipboardOpen open(Ports.Clipboard);
    return Ports.Clipboard.HasData(DialogEditorFormat);
}

bool TmForm::ClipboardHasText() {
    return Ports.Clipboard.IsFormatAvailable(kCfUnicodeText) ||
           Ports.Clipboard.IsFormatAvailable(kCfText);
}

void TmForm::insModuleClick() {
    if (!FileReadyForChange(true)) return;
    const std::optional<int> index = Selection();
    if (!index) return;
    if (!ClipboardHasText()) return;
    TXmlDElement* templ = SelectedTemplate();
    const std::string entryText = Ports.DlgForms.ItemText(*index);
    TXmlDElement* module = ModuleNode(templ, entryText);
    const TAsking asking(Asking);
    if (!module->GetText().empty() &&
        !Ports.Boxes.AskOkCancel(Texts().AskReplaceModule, Ports.Window.Caption()))
        return;
    std::string text;
    size_t replaced = 0;
    {
        TClipboardOpen open(Ports.Clipboard);
        // The Unicode text is what Unicode programs put; the CF_TEXT the system derives from
        // it follows the keyboard layout's code page, which destroys Cyrillic under an English
        // layout. So the Unicode text is read and converted here whenever there is one.
        if (std::optional<std::u16string> wide = Ports.Clipboard.GetUnicodeText())
            text = Utf16ToCp1251(*wide, &replaced);
        else
            text = Ports.Clipboard.GetData(kCfText).value_or(std::string());
    }
    TChange change(TChangeKind::PasteModule, templ);
    change.SetText(module, text);
    std::string status = Texts().StatusModulePasted + entryText + Texts().StatusEnd;
    if (replaced != 0) status += Texts().StatusCharactersReplaced + std::to_string(replaced) + '.';
    Ports.StatusBar1.SetText(status);
    Commit(std::move(change));
}

// ---------------------------------------------------------------------------------------
// Keys, moves and the preview of the template list

bool TmForm::DlgFormsKeyDown(unsigned virtualKey, unsigned modifiers) {
    const TListCommand command = ListKeyCommand(virtualKey, modifiers);
    if (command == TListCommand::None) return false;
    // Each command acts on the selected entry, as its button or menu item does; without one
    // only the name box's key has something to do.
    const std::optional<int> index = Selection();
    switch (command) {
    case TListCommand::Copy:
        if (index) DlgFormsDblClick();
        break;
    case TListCommand::Delete:
        if (index) Button3Click();
        break;
    case TListCommand::Rename:
        if (index) Ports.edtName.SetText(Ports.DlgForms.ItemText(*index));
        Ports.Window.FocusNameBox();
        Ports.edtName.SelectAll();
        break;
    case TListCommand::Paste:
        if (!index) break;
        if (ClipboardHasControls()) insContronClick();
        else if (ClipboardHasText()) insModuleClick();
        break;
    case TListCommand::PasteMenu: DlgFormsKeyMenu(); break;
    case TListCommand::MoveUp: MoveSelected(-1); break;
    case TListCommand::MoveDown: MoveSelected(+1); break;
    case TListCommand::Edit:
        if (index) EditTemplate(SelectedTemplate());
        break;
    case TListCommand::None: break;
    }
    return true;
}

void TmForm::DlgFormsKeyMenu() {
    const TScreenPoint at = Ports.DlgForms.ItemScreenPoint(Selection().value_or(-1));
    DlgFormsContextMenu(at.X, at.Y);
}

void TmForm::MoveSelected(int step) {
    MoveSelectedTo([step](int index, int count) { return MovedIndex(index, count, step); });
}

void TmForm::DlgFormsDragged(int from, int to) {
    if (DraggedIndex(from, to, Ports.DlgForms.Count())) {
        // The list's selection followed the mouse to the drop place: the dragged entry is the
        // one that moves.
        Ports.DlgForms.SetItemIndex(from);
        MoveSelectedTo([to](int index, int count) { return DraggedIndex(index, to, count); });
    }
    // The name box and the buttons show the entry selected now, as after a click.
    DlgFormsClick();
}

void TmForm::MoveSelectedTo(const TMoveRule& placeOf) {
    if (!placeOf(Ports.DlgForms.ItemIndex(), Ports.DlgForms.Count())) return;
    if (!FileReadyForChange(true)) return;
    // The file may have been read again: the selection is looked at once more.
    const int index = Ports.DlgForms.ItemIndex();
    const std::optional<int> moved = placeOf(index, Ports.DlgForms.Count());
    if (!moved) return;
    CurrentTemplate = Ports.DlgForms.ItemObject(index);
    TXmlDNode* target = Ports.DlgForms.ItemObject(*moved);
    TXmlDNode* parent = CurrentTemplate->ParentNode();
    if (target == nullptr || parent == nullptr || target->ParentNode() != parent) return;
    // Up: into the target's place, which stays where it is when the template leaves.
    // Down: just after the target, which moves up one when the template leaves. Whatever
    // lies between the templates (comments, texts) stays where it is.
    TChange change(TChangeKind::Move, CurrentTemplate);
    change.Move(CurrentTemplate, parent->ChildNodes()->IndexOf(target));
    const std::string name = Ports.DlgForms.ItemText(index);
    ListTemplates();
    Ports.DlgForms.SetItemIndex(*moved);
    Ports.StatusBar1.SetText(Texts().StatusMovedPrefix + name + Texts().StatusMovedTo +
                             std::to_string(*moved + 1) + Texts().StatusMovedOf +
                             std::to_string(Ports.DlgForms.Count()) + '.');
    Commit(std::move(change));
}

std::string TmForm::DlgFormsPreview(int index) const {
    if (index < 0 || index >= Ports.DlgForms.Count()) return std::string();
    TXmlDElement* templ = Ports.DlgForms.ItemObject(index);
    if (templ == nullptr) return std::string();
    const TTemplateContent content = ContentOf(*templ);
    return WithPlaceholderPrompts(TemplatePreview(content), content.Module);
}

std::string TmForm::DlgFormsHintAt(int index) const {
    if (index < 0 || index >= Ports.DlgForms.Count()) return Texts().DlgFormsHint;
    return DlgFormsPreview(index);
}

// ---------------------------------------------------------------------------------------
// Files dropped on the window

void TmForm::FilesDropped(const std::vector<std::string>& fileNames) {
    if (Repository == nullptr || fileNames.empty()) return;
    if (!FileReadyForChange(false)) return;
    const TTexts& t = Texts();
    TTakeIn takeIn(RootElement);
    TChange change(TChangeKind::TakeIn, nullptr);

    int added = 0, passedOver = 0;
    std::string notes;
    for (const std::string& fileName : fileNames) {
        TRef<TXmlDDocument> dropped(new TXmlDDocument());
        try {
            Ports.Files.Load(*dropped.Get(), fileName);
        } catch (const std::exception& error) {
            // Nothing of a file that does not load whole is taken.
            const TAsking asking(Asking);
            ShowException(error);
            continue;
        }
        const std::vector<TTemplateContent> found = TemplateContents(dropped->DocumentElement());
        if (found.empty()) {
            const size_t slash = fileName.find_last_of("\\/");
            notes += t.StatusDropNoTemplatesIn + t.QuoteOpen +
                     fileName.substr(slash == std::string::npos ? 0 : slash + 1) + t.QuoteClose +
                     t.StatusDropNoTemplates;
            continue;
        }
        for (const TTemplateContent& content : found) {
            if (!takeIn.Take(content)) {
                ++passedOver;
                continue;
            }
            const TRef<TXmlDElement> templ = NewTemplate(content);
            change.Insert(RootElement, templ.Get());
            if (added++ == 0) change.Template = templ;
            change.Count = added;
        }
    }
    if (added > 0) ListTemplates();
    Ports.StatusBar1.SetText(t.StatusDropAdded + std::to_string(added) + t.StatusDropPassedOver +
                             std::to_string(passedOver) + '.' + notes);
    if (added > 0) Commit(std::move(change));
}

// ---------------------------------------------------------------------------------------
// The module editor

void TmForm::EditTemplate(TXmlDElement* templ) {
    if (templ != nullptr) Ports.Editors.Edit(templ);
}

}  // namespace tessara
