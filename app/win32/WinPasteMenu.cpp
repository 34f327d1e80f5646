#include "app/win32/WinPasteMenu.h"

#include "app/Texts.h"
#include "app/win32/WinText.h"

namespace tessara::win32 {

TWinPasteMenu::~TWinPasteMenu() {
    if (Menu != nullptr) ::DestroyMenu(Menu);
}

void TWinPasteMenu::Create(HWND owner, HWND pasteButton) {
    Owner = owner, PasteButton = pasteButton;
    Menu = ::CreatePopupMenu();
    ::AppendMenuW(Menu, MF_STRING, kInsControlsId, Wide(Texts().InsControlsCaption).c_str());
    ::AppendMenuW(Menu, MF_STRING, kInsModuleId, Wide(Texts().InsModuleCaption).c_str());
    ::AppendMenuW(Menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(Menu, MF_STRING, kEditModuleId, Wide(Texts().EditModuleCaption).c_str());
}

TPasteItem PasteItemOf(UINT command) {
    if (command == kInsControlsId) return TPasteItem::InsControls;
    if (command == kInsModuleId) return TPasteItem::InsModule;
    if (command == kEditModuleId) return TPasteItem::EditModule;
    return TPasteItem::None;
}

void TWinPasteMenu::SetInsControlsEnabled(bool enabled) {
    ::EnableMenuItem(Menu, kInsControlsId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TWinPasteMenu::SetInsModuleEnabled(bool enabled) {
    ::EnableMenuItem(Menu, kInsModuleId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TWinPasteMenu::SetEditModuleEnabled(bool enabled) {
    ::EnableMenuItem(Menu, kEditModuleId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

TPasteItem TWinPasteMenu::PopupAt(int screenX, int screenY) {
    // TPM_RETURNCMD: the choice comes back here (0 when dismissed), not as a WM_COMMAND.
    return PasteItemOf(static_cast<UINT>(
        ::TrackPopupMenu(Menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                         screenX, screenY, 0, Owner, nullptr)));
}

TPasteItem TWinPasteMenu::PopupAtPasteButton() {
    // At the button's own top-left corner on the screen.
    RECT button;
    ::GetWindowRect(PasteButton, &button);
    return PopupAt(button.left, button.top);
}

}  // namespace tessara::win32
