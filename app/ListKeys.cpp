#include "app/ListKeys.h"


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

TWindowCommand WindowKeyCommand(unsigned virtualKey, unsigned modifiers) {
    if (virtualKey == kVkZ && modifiers == kModCtrl) return TWindowCommand::Undo;
    if ((virtualKey == kVkY && modifiers == kModCtrl) || (virtualKey == kVkZ && modifiers == (kModCtrl | kModShift)))
        return TWindowCommand::Redo;
    return TWindowCommand::None;
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

}  // namespace tessara
