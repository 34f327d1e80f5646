#include "app/EditorForm.h"

#include <algorithm>
#include <stdexcept>

#include "app/ClipUnit.h"
#include "app/FormHelpers.h"
#include "app/ListKeys.h"
#include "app/Template.h"
#include "app/Texts.h"
#include "platform/Charset.h"

namespace tessara {
namespace {

struct TEditorKey {
    unsigned VirtualKey;
    unsigned Modifiers;
    TEditorCommand Command;
};

const TEditorKey kEditorKeys[] = {
    {'S', kModCtrl, TEditorCommand::Save},
    {kVkEscape, 0, TEditorCommand::Close},
    {'F', kModCtrl, TEditorCommand::Find},
    {kVkF3, 0, TEditorCommand::FindNext},
    {kVkF3, kModShift, TEditorCommand::FindPrevious},
    {'Z', kModCtrl, TEditorCommand::Undo},
    {kVkBack, kModAlt, TEditorCommand::Undo},
    {'Y', kModCtrl, TEditorCommand::Redo},
    {'Z', kModCtrl | kModShift, TEditorCommand::Redo},
};

std::string ModuleOf(TXmlDElement* templ) {
    std::string storage;
    return std::string(PartText(TemplateModule(templ), storage));
}

}  // namespace

TEditorCommand EditorKeyCommand(unsigned virtualKey, unsigned modifiers) {
    for (const TEditorKey& key : kEditorKeys)
        if (key.VirtualKey == virtualKey && key.Modifiers == modifiers) return key.Command;
    return TEditorCommand::None;
}

// ---------------------------------------------------------------------------------------
// TEditorForm

TEditorForm::TEditorForm(TEditorForms& owner, TXmlDElement* templ) : Owner(owner), Templ(templ) {}

void TEditorForm::Open(std::unique_ptr<IEditorWindow> window) {
    EditorWindow = std::move(window);
    SavedName = std::string(TemplateName(Templ.Get()));
    EditorWindow->SetCaption(SavedName + Texts().EditorCaptionEnd);
    EditorWindow->SetNameText(SavedName);
    EditorWindow->SetText(TEditorText::FromModule(ModuleOf(Templ.Get())));
    // The text as the control took it: every later position is counted in it.
    Content.Assign(EditorWindow->Text());
    SavedText = Content.Text();
    ColourAll();
    ShowPosition();
    EditorWindow->BringForward();
}

void TEditorForm::ColourAll() {
    Colouring = TModuleColouring();
    Colouring.Edit(0, 1, Content.LineCount(), [this](size_t line) { return Content.LineBytes(line); });
    Painted.assign(Content.LineCount(), false);
}

bool TEditorForm::Modified() const {
    if (!IsOpen()) return false;
    return Content.Text() != SavedText || EditorWindow->NameText() != SavedName;
}

std::string TEditorForm::Title() const { return Texts().MainCaption; }

void TEditorForm::ShowPosition() {
    const TTexts& t = Texts();
    const size_t line = Content.LineOf(SelectionEnd);
    std::string status = t.EditorStatusLine + std::to_string(line + 1) + t.EditorStatusColumn +
                         std::to_string(SelectionEnd - Content.LineStart(line) + 1);
    if (Modified()) status += t.EditorStatusModified;
    EditorWindow->SetStatus(status);
}

TLineEdit TEditorForm::Apply(const TTextChange& change) {
    const TLineEdit edit = Content.Replace(change.Begin, change.Begin + change.Removed.size(), change.Inserted);
    const TLineRange repaint = Colouring.Edit(edit.First, edit.Removed, edit.Inserted,
                                              [this](size_t line) { return Content.LineBytes(line); });
    const auto first = Painted.begin() + static_cast<std::ptrdiff_t>(edit.First);
    Painted.insert(Painted.erase(first, first + static_cast<std::ptrdiff_t>(edit.Removed)), edit.Inserted, false);
    std::fill(Painted.begin() + static_cast<std::ptrdiff_t>(repaint.First),
              Painted.begin() + static_cast<std::ptrdiff_t>(repaint.End), false);
    return edit;
}

TLineEdit TEditorForm::TextReplaced(size_t begin, size_t end, const std::u16string& inserted) {
    if (!IsOpen()) return {};
    // Out of step with the control (an edit it made otherwise than reported): the whole text
    // tells what changed.
    if (begin > end || end > Content.Length()) return TextChanged();
    TTextChange change{begin, Content.Text().substr(begin, end - begin), inserted};
    if (change.Removed == change.Inserted) return {};
    const TLineEdit edit = Apply(change);
    Steps.Record(std::move(change));
    SelectionBegin = SelectionEnd = std::min(begin + inserted.size(), Content.Length());
    ShowPosition();
    return edit;
}

TLineEdit TEditorForm::TextChanged() {
    if (!IsOpen()) return {};
    TTextChange change = TEditorText::Difference(Content.Text(), EditorWindow->Text());
    if (change.Removed.empty() && change.Inserted.empty()) return {};
    const TLineEdit edit = Apply(change);
    Steps.Record(std::move(change));
    SelectionBegin = std::min(SelectionBegin, Content.Length());
    SelectionEnd = std::min(SelectionEnd, Content.Length());
    ShowPosition();
    return edit;
}

void TEditorForm::SelectionChanged(size_t begin, size_t end) {
    if (!IsOpen()) return;
    SelectionBegin = std::min(begin, Content.Length());
    SelectionEnd = std::min(end, Content.Length());
    ShowPosition();
}

void TEditorForm::NameEdited() {
    if (IsOpen()) ShowPosition();
}

void TEditorForm::Paint(size_t first, size_t last) {
    if (!IsOpen()) return;
    const size_t from = Content.LineOf(std::min(first, Content.Length()));
    const size_t to = Content.LineOf(std::min(std::max(first, last), Content.Length()));
    std::vector<TColourRun> runs, line;
    for (size_t i = from; i <= to; ++i) {
        if (Painted[i]) continue;
        Painted[i] = true;
        ColourModuleLine(Content.LineBytes(i), Colouring.LineState(i), line);
        for (TColourRun run : line) {
            run.Begin += Content.LineStart(i);
            // Across a line break, one run of one colour: each run costs the control a call.
            if (!runs.empty() && runs.back().Colour == run.Colour && runs.back().Begin + runs.back().Length + 1 == run.Begin)
                runs.back().Length += 1 + run.Length;
            else
                runs.push_back(run);
        }
    }
    if (!runs.empty()) EditorWindow->PaintRuns(runs);
}

void TEditorForm::ApplyToWindow(const TTextChange& change) {
    EditorWindow->ReplaceText(change.Begin, change.Begin + change.Removed.size(), change.Inserted);
    Apply(change);
}

void TEditorForm::Undo() {
    if (!IsOpen()) return;
    const std::optional<TTextChange> change = Steps.Undo();
    if (!change) return;
    ApplyToWindow(*change);
    // What the step had removed comes back selected.
    SelectionBegin = change->Begin;
    SelectionEnd = change->Begin + change->Inserted.size();
    EditorWindow->Select(SelectionBegin, SelectionEnd);
    ShowPosition();
}

void TEditorForm::Redo() {
    if (!IsOpen()) return;
    const std::optional<TTextChange> change = Steps.Redo();
    if (!change) return;
    ApplyToWindow(*change);
    SelectionBegin = SelectionEnd = change->Begin + change->Inserted.size();
    EditorWindow->Select(SelectionBegin, SelectionEnd);
    ShowPosition();
}

bool TEditorForm::FindNext(const std::u16string& what, bool down) {
    if (!IsOpen() || what.empty()) return false;
    const std::optional<size_t> found = Content.Find(what, down ? SelectionEnd : SelectionBegin, down);
    if (!found) {
        const TTexts& t = Texts();
        EditorWindow->SetStatus(t.EditorNotFound + t.QuoteOpen + Utf16ToCp1251(what) + t.QuoteClose);
        return false;
    }
    SelectionBegin = *found;
    SelectionEnd = *found + what.size();
    EditorWindow->Select(SelectionBegin, SelectionEnd);
    ShowPosition();
    return true;
}

bool TEditorForm::Save() {
    if (!IsOpen() || Asking != 0) return false;
    const std::string nameNow = EditorWindow->NameText();
    const bool nameEdited = nameNow != SavedName;
    const bool textEdited = Content.Text() != SavedText;
    if (!nameEdited && !textEdited) return true;
    size_t replaced = 0;
    std::string module = Content.ToModule(&replaced);
    if (replaced != 0) {
        const TAsking asking(Asking);
        if (!EditorWindow->AskOkCancel(std::to_string(replaced) + Texts().EditorAskReplaced, Title())) return false;
    }
    // What the user left as it was is saved as the document has it now: another change in
    // the main window meanwhile (a rename, a paste) is not undone by this one.
    TXmlDElement* templ = Templ.Get();
    const std::string name = nameEdited ? nameNow : std::string(TemplateName(templ));
    if (!textEdited) module = ModuleOf(templ);
    TXmlDElement* saved = Owner.Main().SaveTemplateEdit(templ, name, module);
    if (saved == nullptr) return false;
    Templ.Reset(saved);
    SavedName = name;
    if (!nameEdited) EditorWindow->SetNameText(name);
    EditorWindow->SetCaption(name + Texts().EditorCaptionEnd);
    if (replaced != 0) {
        // The editor shows what was saved: each character the code page lacks as its "?".
        TTextChange change = TEditorText::Difference(Content.Text(), TEditorText::FromModule(module));
        ApplyToWindow(change);
        Steps.Record(std::move(change));
    }
    SavedText = Content.Text();
    Steps.Seal();
    ShowPosition();
    return true;
}

bool TEditorForm::Close() {
    if (!IsOpen() || Asking != 0) return false;
    if (Modified()) {
        TAnswer answer;
        {
            const TAsking asking(Asking);
            answer = EditorWindow->AskYesNoCancel(Texts().EditorAskSave + SavedName + Texts().EditorAskSaveEnd, Title());
        }
        if (answer == TAnswer::Cancel || (answer == TAnswer::Yes && !Save())) return false;
    }
    Shut = true;
    EditorWindow->Close();
    Owner.Closed(*this);
    return true;
}

void TEditorForm::DocumentChanged() {
    if (!IsOpen() || Asking != 0) return;
    TXmlDElement* templ = Templ.Get();
    if (templ->ParentNode() != Owner.Main().RootElement) return;  // gone: the editor keeps it all
    // What the user has not edited shows the template as the change left it (an undo in the
    // main window, a rename, a paste).
    const std::string name(TemplateName(templ));
    if (name != SavedName && EditorWindow->NameText() == SavedName) {
        SavedName = name;
        EditorWindow->SetNameText(name);
        EditorWindow->SetCaption(name + Texts().EditorCaptionEnd);
    }
    if (Content.Text() != SavedText) return;
    const TTextChange change = TEditorText::Difference(Content.Text(), TEditorText::FromModule(ModuleOf(templ)));
    if (change.Removed.empty() && change.Inserted.empty()) return;
    ApplyToWindow(change);
    SavedText = Content.Text();
    // The editor's steps were made on the text before: they are not undone over this one.
    Steps.Clear();
    SelectionBegin = std::min(SelectionBegin, Content.Length());
    SelectionEnd = std::min(SelectionEnd, Content.Length());
    ShowPosition();
}

// ---------------------------------------------------------------------------------------
// TEditorForms

TmForm& TEditorForms::Main() const {
    if (MainForm == nullptr) throw std::logic_error("TEditorForms: no main window");
    return *MainForm;
}

void TEditorForms::Edit(TXmlDElement* templ) {
    ClosedForms.clear();
    if (templ == nullptr) return;
    for (const std::unique_ptr<TEditorForm>& form : Forms)
        if (form->Template() == templ) {
            form->Window().BringForward();
            return;
        }
    auto form = std::make_unique<TEditorForm>(*this, templ);
    form->Open(Factory(*form));
    Forms.push_back(std::move(form));
}

bool TEditorForms::CloseAll() {
    // Each closing form leaves the list; one that stays open ends the round.
    while (!Forms.empty())
        if (!Forms.front()->Close()) return false;
    return true;
}

void TEditorForms::Drop() noexcept {
    Forms.clear();
    ClosedForms.clear();
}

void TEditorForms::DocumentChanged() {
    for (const std::unique_ptr<TEditorForm>& form : Forms) form->DocumentChanged();
}

void TEditorForms::Closed(TEditorForm& form) {
    const auto at = std::find_if(Forms.begin(), Forms.end(),
                                 [&](const std::unique_ptr<TEditorForm>& f) { return f.get() == &form; });
    if (at == Forms.end()) return;
    ClosedForms.push_back(std::move(*at));
    Forms.erase(at);
}

}  // namespace tessara
