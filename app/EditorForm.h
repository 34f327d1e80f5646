// The module editor: a window per template with the template's name and its module text, the
// text coloured as the platform's language. Its state and rules live here over the
// IEditorWindow port; the Win32 shell draws the window and reports what the user did.
//
// The editor keeps the text as the window's control holds it (TEditorText) and applies each
// edit the window reports, so the colouring relexes only the lines an edit can change, and
// paints only lines that come into view. It keeps its own undo: the control's would take each
// colour painted as a step of its own.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/EditorText.h"
#include "app/ModuleLexer.h"
#include "app/Ports.h"
#include "xml/XXmlDom.h"

namespace tessara {

class TmForm;
class TEditorForms;

enum class TAnswer { Yes, No, Cancel };

// One editor's window. Positions are the text control's (see EditorText.h). The message boxes
// it inherits are owned by the editor's window, so that they show above it.
class IEditorWindow : public IMessageBoxes {
public:
    // A question with Yes, No and Cancel, Yes the default; Cancel also for Esc or the close box.
    virtual TAnswer AskYesNoCancel(const std::string& text, const std::string& title) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    // The one-line name box.
    virtual std::string NameText() const = 0;
    virtual void SetNameText(const std::string& name) = 0;
    // Replaces the whole text, its colours plain, the caret at the start; the window reports
    // no edit for it.
    virtual void SetText(const std::u16string& text) = 0;
    // The whole text as the control holds it.
    virtual std::u16string Text() const = 0;
    // Replaces characters [Begin, End) with Text (the editor's undo and redo); the window
    // reports no edit for it.
    virtual void ReplaceText(size_t begin, size_t end, const std::u16string& text) = 0;
    // Selects characters [Begin, End), brought into view.
    virtual void Select(size_t begin, size_t end) = 0;
    // Paints the runs' characters in their colours; the selection and the view stay.
    virtual void PaintRuns(const std::vector<TColourRun>& runs) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    // Shows the window (at its first showing: centred on the main window) and makes it the
    // active one.
    virtual void BringForward() = 0;
    // Destroys the window.
    virtual void Close() = 0;
};

// What a key does in the editor's window.
enum class TEditorCommand { None, Save, Close, Find, FindNext, FindPrevious, Undo, Redo };

inline constexpr unsigned kVkBack = 0x08;
inline constexpr unsigned kVkEscape = 0x1B;
inline constexpr unsigned kVkF3 = 0x72;

// The command of a key with exactly these modifiers held (TKeyModifier bits); None for any
// other, which the control handles as ever.
TEditorCommand EditorKeyCommand(unsigned virtualKey, unsigned modifiers);

class TEditorForm {
public:
    TEditorForm(TEditorForms& owner, TXmlDElement* templ);
    TEditorForm(const TEditorForm&) = delete;
    TEditorForm& operator=(const TEditorForm&) = delete;

    // Fills the window with the template's name and module text and brings it forward.
    void Open(std::unique_ptr<IEditorWindow> window);

    // The user's edits, as the window reports them: characters [Begin, End) of the text as it
    // was replaced with Inserted; or an edit the window cannot place, for which the form
    // compares the whole text. Each tells which lines the edit replaced.
    TLineEdit TextReplaced(size_t begin, size_t end, const std::u16string& inserted);
    TLineEdit TextChanged();
    void SelectionChanged(size_t begin, size_t end);
    void NameEdited();
    // Characters [First, Last] are in view: their lines are painted when they are not yet.
    void Paint(size_t first, size_t last);

    // Saves a changed name or text as one change of the main window's document (a new
    // template when this one has gone from it meanwhile); nothing for no change. False when
    // nothing was saved: the user kept the characters Windows-1251 lacks, or the file cannot
    // be read (the main window's status line says so).
    bool Save();
    // Closes the window, asking first whether to save when something is changed. False when
    // it stays open (Cancel, or a save that did not happen).
    bool Close();
    void Undo();
    void Redo();
    // Selects where What is found next (Down) or before the selection; says in the status
    // line when it is not found. False then.
    bool FindNext(const std::u16string& what, bool down);
    // The main window's document changed: a name and a text the user has not edited follow
    // the template's.
    void DocumentChanged();

    TXmlDElement* Template() const noexcept { return Templ.Get(); }
    bool Modified() const;
    const TEditorText& Text() const noexcept { return Content; }
    // Opened, and not closed yet: every handler does nothing otherwise.
    bool IsOpen() const noexcept { return EditorWindow != nullptr && !Shut; }
    IEditorWindow& Window() const { return *EditorWindow; }

private:
    // Applies a change to the text and marks the lines whose colours it changes.
    TLineEdit Apply(const TTextChange& change);
    // A change the editor makes (undo, redo): to the window's text, then to its own.
    void ApplyToWindow(const TTextChange& change);
    void ColourAll();
    void ShowPosition();
    std::string Title() const;

    TEditorForms& Owner;
    TRef<TXmlDElement> Templ;
    std::unique_ptr<IEditorWindow> EditorWindow;
    TEditorText Content;
    TModuleColouring Colouring;
    std::vector<bool> Painted;  // per line: painted in its colours since its last change
    TEditorUndo Steps;
    std::u16string SavedText;   // the text as last opened or saved
    std::string SavedName;
    size_t SelectionBegin = 0, SelectionEnd = 0;
    int Asking = 0;             // a question is on screen
    bool Shut = false;          // closed; the window object lives on with the form
};

// Creates the window of an editor, whose events it reports to Form.
using TEditorWindowFactory = std::function<std::unique_ptr<IEditorWindow>(TEditorForm& form)>;

// The open editors, one per template: the main window's IModuleEditors.
class TEditorForms final : public IModuleEditors {
public:
    explicit TEditorForms(TEditorWindowFactory factory) : Factory(std::move(factory)) {}
    TEditorForms(const TEditorForms&) = delete;
    TEditorForms& operator=(const TEditorForms&) = delete;

    // The main window whose document the editors save into; set before the first Edit.
    void SetMain(TmForm* main) noexcept { MainForm = main; }
    TmForm& Main() const;

    void Edit(TXmlDElement* templ) override;
    // Closes every editor, each asking about its changes; false when one stays open.
    bool CloseAll();
    // Lets go of every editor without a question: the program ends, and their windows went with
    // the main window's.
    void Drop() noexcept;
    void DocumentChanged();

    size_t Count() const noexcept { return Forms.size(); }
    TEditorForm& Form(size_t index) const { return *Forms.at(index); }
    // A form whose window closed; it lives until the next Edit, since the window's handler
    // that closed it may still be running.
    void Closed(TEditorForm& form);

private:
    TEditorWindowFactory Factory;
    TmForm* MainForm = nullptr;
    std::vector<std::unique_ptr<TEditorForm>> Forms;
    std::vector<std::unique_ptr<TEditorForm>> ClosedForms;
};

}  // namespace tessara
