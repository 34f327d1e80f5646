#include "app/ListKeys.h"

#include "app/ClipUnit.h"
#include "app/Texts.h"

namespace tessara {
namespace {

struct TKeyBinding {
    unsigned VirtualKey;
    unsigned Modifiers;
    TListCommand Command;
};

const TKeyBinding kListKeys[] = {
    {kVkReturn, 0, TListCommand::Copy},
    {kVkDelete, 0, TListCommand::Delete},
    {kVkF2, 0, TListCommand::Rename},
    {kVkC, kModCtrl, TListCommand::Copy},
    {kVkV, kModCtrl, TListCommand::Paste},
    {kVkApps, 0, TListCommand::PasteMenu},
    {kVkF10, kModShift, TListCommand::PasteMenu},
    {kVkUp, kModCtrl, TListCommand::MoveUp},
    {kVkDown, kModCtrl, TListCommand::MoveDown},
};

}  // namespace

TListCommand ListKeyCommand(unsigned virtualKey, unsigned modifiers) {
    for (const TKeyBinding& binding : kListKeys)
        if (binding.VirtualKey == virtualKey && binding.Modifiers == modifiers) return binding.Command;
    return TListCommand::None;
}

std::optional<int> MovedIndex(int index, int count, int step) {
    if (index < 0 || index >= count) return std::nullopt;
    const int moved = index + step;
    if (moved < 0 || moved >= count) return std::nullopt;
    return moved;
}

std::optional<int> DraggedIndex(int from, int to, int count) {
    if (from < 0 || from >= count || to < 0 || to >= count || from == to) return std::nullopt;
    return to;
}

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
    parent->InsertChild(CurrentTemplate, parent->ChildNodes()->IndexOf(target));
    const std::string name = Ports.DlgForms.ItemText(index);
    ListTemplates();
    Ports.DlgForms.SetItemIndex(*moved);
    Ports.StatusBar1.SetText(Texts().StatusMovedPrefix + name + Texts().StatusMovedTo +
                             std::to_string(*moved + 1) + Texts().StatusMovedOf +
                             std::to_string(Ports.DlgForms.Count()) + '.');
    SaveAfterChange();
    DocumentChanged();
}

}  // namespace tessara
