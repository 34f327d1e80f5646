// The find window: a search box over a list of the templates it finds, opened by the
// program's hotkey from any program. Its state and its handlers; the Win32 shell draws it
// and forwards its events. It works on the main window's document and copies through the
// main window's "Копировать".
#pragma once

#include <cstdint>
#include <string>

#include "app/FindUnit.h"
#include "app/Ports.h"
#include "xml/XXmlDom.h"

namespace tessara {

class TmForm;

// The find window as the handlers see it. The list is virtual: it is told how many rows it
// has and asks the form (RowName, RowFirstLine) for the rows it draws.
class IFindWindow {
public:
    virtual ~IFindWindow() = default;
    // Remembers the window that is active now, then shows the find window near the mouse
    // pointer on that screen, topmost and active, with the focus in the search box.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Makes the window remembered by Show the active one again (when it still exists).
    virtual void RestorePreviousWindow() = 0;
    virtual std::string SearchText() const = 0;
    // Replaces the search box's text; the window must not call SearchChanged for it.
    virtual void SetSearchText(const std::string& text) = 0;
    // The list's number of rows and its selected row (-1: none), brought into view.
    virtual void SetRows(int count, int selected) = 0;
    virtual void SetSelectedRow(int row) = 0;
    // How many rows the list shows at once.
    virtual int VisibleRows() const = 0;
};

struct TFindPorts {
    IFindWindow& Window;
    IMessageBoxes& Boxes;        // owned by the find window, so that they show above it
    IStatusBar& MainStatusBar;   // the main window's status bar
    IApplication& Application;   // for the error box's title
};

enum class TFindKey { Up, Down, PageUp, PageDown, Enter, Escape, Edit };

class TFindForm {
public:
    TFindForm(const TFindPorts& ports, TmForm& main);
    TFindForm(const TFindForm&) = delete;
    TFindForm& operator=(const TFindForm&) = delete;

    // The hotkey: opens the window with an empty search over every template, or, when it is
    // open, hides it and goes back to the window that was active before; nothing while the
    // copy's placeholder dialog is open.
    void Hotkey();
    // The hotkey could not be registered (another program holds it): said in the main
    // window's status bar.
    void HotkeyUnavailable();
    // The search box's text changed.
    void SearchChanged();
    // A key in the search box. Up/Down move by one row, PageUp/PageDown by a screenful;
    // Enter copies the selected template (and hides the window, unless the copy's placeholder
    // dialog was cancelled); Escape hides the window as the hotkey does; Edit (Ctrl+E) hides it
    // and opens the module editor of the selected template.
    void Key(TFindKey key);
    void RowClicked(int row);
    void RowDoubleClicked(int row);
    // The window lost the activation to another window: hidden, but not while it shows its
    // own error box or the copy's placeholder dialog.
    void Deactivated();
    // The main window's document changed: the index is built again (now when the window is
    // open, otherwise at its next opening), so that no row links a removed template. The
    // selection stays on its template while it is still found.
    void DocumentChanged();

    bool IsShown() const noexcept { return Shown; }
    int RowCount() const noexcept { return static_cast<int>(Finder.Found().Items.size()); }
    int SelectedRow() const noexcept { return Selected; }
    // What a row shows: the template's name and the first line of its module text.
    std::string RowName(int row) const;
    std::string RowFirstLine(int row) const;
    // The template of a row, or null for a row out of range.
    TXmlDElement* RowTemplate(int row) const;

private:
    void Open();
    void Close();
    void Filter(const std::string& search);
    void Choose();
    void Select(int row);
    // Holds a counted reference to the selected row's template, so that after a change it can
    // be looked for in the new index: a template freed meanwhile could otherwise give its
    // address to a new one.
    void RememberSelected();
    void EnsureIndex();

    TFindPorts Ports;
    TmForm& Main;
    TFindSearch Finder;
    bool IndexValid = false;
    bool Shown = false;
    bool ShowingError = false;
    bool Choosing = false;  // a copy runs, maybe with its placeholder dialog open
    int Selected = -1;
    TRef<TXmlDElement> SelectedTemplate;
};

}  // namespace tessara
