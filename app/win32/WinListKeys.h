// The template list's keys: every key down reaches the form with the modifiers held, and a key
// the form takes is kept from the list (with the character and the key up it brings), so that
// the list's own keys, the first-letter jump among them, work as ever.
#pragma once

#include <windows.h>

#include <functional>

namespace tessara::win32 {

// OnKey gets the virtual key and the modifier bits (TKeyModifier) and returns true when it
// took the key.
using TListKeyHandler = std::function<bool(unsigned virtualKey, unsigned modifiers)>;

void HookListKeys(HWND list, TListKeyHandler onKey);

// The modifier bits (TKeyModifier) of the keys held now.
unsigned HeldModifiers();

}  // namespace tessara::win32
