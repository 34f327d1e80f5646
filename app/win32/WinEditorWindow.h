// The module editor's window: the template's name in a one-line box, its module text in a rich
// edit control filling the window, a find box shown on demand, and a status bar. It forwards
// what the user does to its TEditorForm and carries out what the form asks; it decides nothing.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "app/EditorForm.h"
#include "app/win32/WinControls.h"

namespace tessara::win32 {

inline constexpr wchar_t kEditorWindowClass[] = L"TessaraEditor";

// Control identifiers inside the editor's window, as other programs find them.
enum TEditorControlId : int {
    idEditorNameLabel = 401,
    idEditorName = 402,
    idEditorText = 403,
    idEditorFindLabel = 404,
    idEditorFind = 405,
    idEditorStatus = 406,
};

// Figures for measuring the editor: when the environment variable TESSARA_EDITOR_TIMES names
// a file, the time from opening until the text shows coloured, with its parts, and from each
// typed character until the text is drawn again, are appended to it, one line each.
class TEditorTimes {
public:
    TEditorTimes();
    bool On() const { return !FileName.empty(); }
    double Now() const;
    // The next paint of the text ends the measure begun at Since.
    void Arm(const char* what, double since);
    void Painted();
    void Write(const std::string& line);

private:
    std::wstring FileName;
    std::string Lines;  // not written yet
    double Frequency = 1;
    const char* What = nullptr;
    double Since = 0;
};

class TWinEditorWindow final : public IEditorWindow {
public:
    // Creates the window, hidden, owned by Owner (the main window), for Form.
    TWinEditorWindow(HINSTANCE instance, HICON icon, HWND owner, TEditorForm& form);
    TWinEditorWindow(const TWinEditorWindow&) = delete;
    TWinEditorWindow& operator=(const TWinEditorWindow&) = delete;
    ~TWinEditorWindow() override;

    HWND Handle() const { return Window; }

    bool AskOkCancel(const std::string& text, const std::string& title) override;
    void ShowError(const std::string& text, const std::string& title) override;
    TAnswer AskYesNoCancel(const std::string& text, const std::string& title) override;
    void SetCaption(const std::string& caption) override;
    std::string NameText() const override;
    void SetNameText(const std::string& name) override;
    void SetText(const std::u16string& text) override;
    std::u16string Text() const override;
    void ReplaceText(size_t begin, size_t end, const std::u16string& text) override;
    void Select(size_t begin, size_t end) override;
    void PaintRuns(const std::vector<TColourRun>& runs) override;
    void SetStatus(const std::string& text) override;
    void BringForward() override;
    void Close() override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TextProc(HWND text, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR self);
    static LRESULT CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR self);
    void CreateControls(HINSTANCE instance);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT TextMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT BoxMessage(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the form's handler; an exception it raises is shown in the standard error box.
    template <class F>
    void Guard(F&& handler);

    // A key down in any of the window's controls: the editor's own commands. True when taken.
    bool EditorKey(UINT virtualKey, bool inText);
    // Runs a message that may edit the text, and reports the edit it made to the form.
    LRESULT Tracked(UINT message, WPARAM wParam, LPARAM lParam);
    // Typed: the character a WM_CHAR typed, or 0.
    TLineEdit ReportEdit(const CHARRANGE& before, LONG lengthBefore, wchar_t typed);
    // The clipboard's text pasted over the selection, without its formatting.
    void PastePlain();
    // The lines in view painted in their colours, when they are not yet.
    void PaintInView();
    // The text control draws nothing while held (nested); the rows invalidated meanwhile are
    // drawn when the outermost hold ends.
    void HoldRedraw();
    void ReleaseRedraw();
    // The rows from the one of character From to the one of character To are drawn again.
    void InvalidateRows(LONG from, LONG to);
    void ShowFind(bool shown);
    void FindNext(bool down);
    CHARRANGE Selection() const;
    LONG Length() const;
    std::u16string Range(LONG begin, LONG end) const;

    void Layout();
    // The fonts, the text's character size and the laid-out sizes at the window's DPI.
    void ApplyDpi(int dpi);
    // A tab stop every 4 characters in every line.
    void SetTabStops();
    int Scaled(int value) const;
    // The outer size for 100 columns and 30 lines of the text, inside the work area.
    SIZE OpeningSize() const;
    // Sized for the main window's display and centred on the main window.
    void Place();

    TEditorForm& Form;
    HWND Owner = nullptr;
    HWND Window = nullptr;
    HWND NameLabel = nullptr, NameBox = nullptr, TextBox = nullptr, FindLabel = nullptr, FindBox = nullptr;
    TWinStatusBar Status;
    HWND StatusBar = nullptr;
    HFONT Font = nullptr;       // the labels' and boxes' font
    int Dpi = 96;
    int CharWidth = 8, LineHeight = 16;  // the text's, in pixels
    bool FindShown = false;
    bool Shown = false;
    HWND Focused = nullptr;     // the control to give the focus back to

    // The window's own changes of the text and its colours are no edit of the user's.
    int Quiet = 0;
    // Inside a message that may edit the text, and whether it did.
    bool Tracking = false, Changed = false;
    bool SwallowChar = false;   // the character of a key taken as a command
    bool Painting = false;      // painting the lines in view: what it does asks for no more
    int RedrawHeld = 0;         // the depth of HoldRedraw
    RECT Dirty{};               // the rows to draw when the hold ends
    mutable TEditorTimes Times;  // measures, also of the reading of the text
};

}  // namespace tessara::win32
