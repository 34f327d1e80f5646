#include "app/win32/WinPasteMenu.h"

#include "app/ClipUnit.h"
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
}

bool TWinPasteMenu::Command(UINT id) {
    if (Form == nullptr) return false;
    if (id == kInsControlsId) {
        Form->insContronClick();
        return true;
    }
    if (id == kInsModuleId) {
        Form->insModuleClick();
        return true;
    }
    return false;
}

void TWinPasteMenu::SetInsControlsEnabled(bool enabled) {
    ::EnableMenuItem(Menu, kInsControlsId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TWinPasteMenu::SetInsModuleEnabled(bool enabled) {
    ::EnableMenuItem(Menu, kInsModuleId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TWinPasteMenu::PopupAt(int screenX, int screenY) {
    const UINT command = static_cast<UINT>(
        ::TrackPopupMenu(Menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                         screenX, screenY, 0, Owner, nullptr));
    if (command != 0) Command(command);
}

void TWinPasteMenu::PopupAtPasteButton() {
    // At the button's own top-left corner on the screen.
    RECT button;
    ::GetWindowRect(PasteButton, &button);
    PopupAt(button.left, button.top);
}

}  // namespace tessara::win32
