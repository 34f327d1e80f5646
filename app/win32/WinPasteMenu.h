// The paste menu: a pop-up with the two items, tracked until the user chooses or dismisses.
#pragma once

#include <windows.h>

#include "app/Ports.h"

namespace tessara {
class TmForm;
}

namespace tessara::win32 {

inline constexpr UINT kInsControlsId = 201;
inline constexpr UINT kInsModuleId = 202;

class TWinPasteMenu final : public IPasteMenu {
public:
    TWinPasteMenu() = default;
    TWinPasteMenu(const TWinPasteMenu&) = delete;
    TWinPasteMenu& operator=(const TWinPasteMenu&) = delete;
    ~TWinPasteMenu();

    // Owner: the main window; PasteButton: Button4.
    void Create(HWND owner, HWND pasteButton);
    // The form whose item handlers run.
    void SetForm(TmForm* form) { Form = form; }
    // Runs the item's handler for a menu command; false for another command.
    bool Command(UINT id);

    void SetInsControlsEnabled(bool enabled) override;
    void SetInsModuleEnabled(bool enabled) override;
    void PopupAt(int screenX, int screenY) override;
    void PopupAtPasteButton() override;

private:
    HMENU Menu = nullptr;
    HWND Owner = nullptr;
    HWND PasteButton = nullptr;
    TmForm* Form = nullptr;
};

}  // namespace tessara::win32
