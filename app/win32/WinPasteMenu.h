// The paste menu: a pop-up with the two items and, after a separator, the module editor's,
// tracked until the user chooses or dismisses.
#pragma once

#include <windows.h>

#include "app/Ports.h"

namespace tessara::win32 {

inline constexpr UINT kInsControlsId = 201;
inline constexpr UINT kInsModuleId = 202;
inline constexpr UINT kEditModuleId = 203;

// The item of a menu command identifier; None for any other command.
TPasteItem PasteItemOf(UINT command);

class TWinPasteMenu final : public IPasteMenu {
public:
    TWinPasteMenu() = default;
    TWinPasteMenu(const TWinPasteMenu&) = delete;
    TWinPasteMenu& operator=(const TWinPasteMenu&) = delete;
    ~TWinPasteMenu();

    // Owner: the main window; PasteButton: Button4.
    void Create(HWND owner, HWND pasteButton);
    void SetInsControlsEnabled(bool enabled) override;
    void SetInsModuleEnabled(bool enabled) override;
    void SetEditModuleEnabled(bool enabled) override;
    TPasteItem PopupAt(int screenX, int screenY) override;
    TPasteItem PopupAtPasteButton() override;

private:
    HMENU Menu = nullptr;
    HWND Owner = nullptr;
    HWND PasteButton = nullptr;
};

}  // namespace tessara::win32
