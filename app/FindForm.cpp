#include "app/FindForm.h"

#include <algorithm>

#include "app/ClipUnit.h"
#include "app/Template.h"
#include "app/Texts.h"
#include "xml/XXmlDom.h"

namespace tessara {

TFindForm::TFindForm(const TFindPorts& ports, TmForm& main) : Ports(ports), Main(main) {}

void TFindForm::Hotkey() {
    if (Choosing) return;  // the copy's dialog is open over the window: it answers first
    if (Shown) {
        Close();
        Ports.Window.RestorePreviousWindow();
        return;
    }
    Open();
}

void TFindForm::HotkeyUnavailable() {
    Ports.MainStatusBar.SetText(Texts().StatusHotkeyUnavailable);
}

void TFindForm::Open() {
    // The hotkey comes while another program is active, so the main window's activation has
    // not looked at the file: a file changed outside is read again before it is listed.
    Main.FormActivate();
    EnsureIndex();
    Ports.Window.SetSearchText(std::string());
    Filter(std::string());
    Shown = true;
    Ports.Window.Show();
}

void TFindForm::Close() {
    Shown = false;
    SelectedTemplate.Reset();
    Ports.Window.Hide();
}

void TFindForm::EnsureIndex() {
    if (IndexValid) return;
    Finder.Build(Main.RootElement);
    IndexValid = true;
}

void TFindForm::Filter(const std::string& search) {
    Finder.Update(search);
    Selected = RowCount() > 0 ? 0 : -1;
    RememberSelected();
    Ports.Window.SetRows(RowCount(), Selected);
}

void TFindForm::SearchChanged() {
    if (!Shown) return;
    const std::string search = Ports.Window.SearchText();
    if (search == Finder.Search()) return;
    Filter(search);
}

void TFindForm::Select(int row) {
    if (RowCount() == 0) return;
    Selected = std::clamp(row, 0, RowCount() - 1);
    RememberSelected();
    Ports.Window.SetSelectedRow(Selected);
}

void TFindForm::RememberSelected() { SelectedTemplate.Reset(RowTemplate(Selected)); }

void TFindForm::Key(TFindKey key) {
    if (!Shown) return;
    const int page = std::max(1, Ports.Window.VisibleRows() - 1);
    switch (key) {
    case TFindKey::Up: Select(Selected - 1); break;
    case TFindKey::Down: Select(Selected + 1); break;
    case TFindKey::PageUp: Select(Selected - page); break;
    case TFindKey::PageDown: Select(Selected + page); break;
    case TFindKey::Enter: Choose(); break;
    case TFindKey::Escape:
        Close();
        Ports.Window.RestorePreviousWindow();
        break;
    case TFindKey::Edit: {
        // Held across the closing, which lets go of the selected row's template.
        const TRef<TXmlDElement> templ(RowTemplate(Selected));
        if (templ.Get() == nullptr) break;
        Close();
        Main.EditTemplate(templ.Get());
        break;
    }
    }
}

void TFindForm::RowClicked(int row) {
    if (Shown && row >= 0 && row < RowCount()) Select(row);
}

void TFindForm::RowDoubleClicked(int row) {
    if (!Shown || row < 0 || row >= RowCount()) return;
    Select(row);
    Choose();
}

void TFindForm::Choose() {
    TXmlDElement* templ = RowTemplate(Selected);
    if (templ == nullptr) return;
    bool copied = false;
    try {
        // The copy may ask for placeholder values in a dialog over the window, which takes
        // the activation meanwhile.
        Choosing = true;
        copied = Main.CopyTemplate(templ);
        Choosing = false;
    } catch (const std::exception& error) {
        Choosing = false;
        // The window stays, to try again once the clipboard is free.
        ShowingError = true;
        ShowStandardError(Ports.Boxes, error, Ports.Application.Title());
        ShowingError = false;
        return;
    }
    // The dialog cancelled: back in the window, to choose again or leave with Esc.
    if (!copied) return;
    Close();
    Ports.Window.RestorePreviousWindow();
}

void TFindForm::Deactivated() {
    if (Shown && !ShowingError && !Choosing) Close();
}

void TFindForm::DocumentChanged() {
    IndexValid = false;
    if (!Shown) {
        Finder.Forget();
        Selected = -1;
        SelectedTemplate.Reset();
        return;
    }
    // Held until it is found again (or not: removed from the document, it is in no row).
    const TRef<TXmlDElement> was = SelectedTemplate;
    const std::string search = Ports.Window.SearchText();
    EnsureIndex();
    Filter(search);
    for (int row = 0; row < RowCount(); ++row)
        if (RowTemplate(row) == was.Get()) {
            Select(row);
            break;
        }
}

TXmlDElement* TFindForm::RowTemplate(int row) const {
    if (!IndexValid || row < 0 || row >= RowCount()) return nullptr;
    return Finder.Index().Template(Finder.Found().Items[static_cast<size_t>(row)]);
}

std::string TFindForm::RowName(int row) const {
    TXmlDElement* templ = RowTemplate(row);
    return std::string(TemplateName(templ));
}

std::string TFindForm::RowFirstLine(int row) const {
    const TXmlDElement* templ = RowTemplate(row);
    return templ != nullptr ? ModuleFirstLine(templ) : std::string();
}

}  // namespace tessara
