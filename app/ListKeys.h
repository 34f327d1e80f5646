// The template list's keys and the main window's: which key, with which modifiers, runs which
// command, and where a moved template goes. Virtual-key codes are the platform's numbers.
#pragma once

#include <optional>

namespace tessara {

inline constexpr unsigned kVkReturn = 0x0D;
inline constexpr unsigned kVkUp = 0x26;
inline constexpr unsigned kVkDown = 0x28;
inline constexpr unsigned kVkDelete = 0x2E;
inline constexpr unsigned kVkC = 'C';
inline constexpr unsigned kVkY = 'Y';
inline constexpr unsigned kVkZ = 'Z';
inline constexpr unsigned kVkV = 'V';
inline constexpr unsigned kVkApps = 0x5D;
inline constexpr unsigned kVkF2 = 0x71;
inline constexpr unsigned kVkF10 = 0x79;

// The modifiers held with a key, as bits.
enum TKeyModifier : unsigned { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

enum class TListCommand { None, Copy, Delete, Rename, Paste, PasteMenu, MoveUp, MoveDown };

// The command of a key with exactly these modifiers held; None for every other combination.
TListCommand ListKeyCommand(unsigned virtualKey, unsigned modifiers);

// The main window's own commands, wherever its focus is (but in the name box).
enum class TWindowCommand { None, Undo, Redo };
// Ctrl+Z undoes; Ctrl+Y and Ctrl+Shift+Z redo.
TWindowCommand WindowKeyCommand(unsigned virtualKey, unsigned modifiers);

// The place of the entry at Index of Count after a move by Step (-1 up, +1 down); nothing
// when it would leave the list or no entry is selected (Index outside the list).
std::optional<int> MovedIndex(int index, int count, int step);

// The place of the entry at From of Count dragged with the mouse onto the entry at To; nothing
// for a drop on itself or when either is outside the list.
std::optional<int> DraggedIndex(int from, int to, int count);

}  // namespace tessara
