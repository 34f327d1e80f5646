// The template list's mouse: the tooltip of the entry under it, and an entry dragged with the
// left button to another place. The list's selection follows the mouse while the button is
// down, as the list box does by itself; the entry it ends on is the drop place.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/win32/WinControls.h"

namespace tessara::win32 {

struct TListMouseHandlers {
    // The tooltip's text with the mouse over the entry at Index (-1: over no entry).
    std::function<std::string(int index)> HintAt;
    // The button went down on the entry at From, the mouse left the drag rectangle, and the
    // button came up with the selection at To.
    std::function<void(int from, int to)> Dragged;
};

// The list's tool is a relayed one (THints::AddRelayed): its mouse messages go to the
// tooltip from here.
void HookListMouse(HWND list, THints& hints, TListMouseHandlers handlers);

}  // namespace tessara::win32
