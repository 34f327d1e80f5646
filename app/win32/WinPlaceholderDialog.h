// The placeholder dialog of a copy: a modal dialog of the platform's own controls, a label
// and an edit box or a drop-down list per field, then "Копировать", "Как есть" and "Отмена";
// sized to its fields at the display's DPI by the rules of the program's windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/Ports.h"

namespace tessara::win32 {

// Control identifiers inside the dialog, as other programs find them. "Копировать" is IDOK
// and "Отмена" IDCANCEL: the dialog manager presses them for Enter and Esc.
enum TPlaceholderControlId : int {
    idPlaceholderAsIs = 401,
    idPlaceholderFirstLabel = 1000,  // + the field's position
    idPlaceholderFirstField = 2000,  // + the field's position
};

class TWinPlaceholderDialog final : public IPlaceholderDialog {
public:
    // The windows the dialog opens over, as the copy names them.
    void SetOwners(HINSTANCE instance, HWND mainWindow, HWND findWindow);

    TPlaceholderReply Ask(const std::vector<TPlaceholderField>& fields, TDialogOwner owner,
                          const std::string& title) override;

private:
    HINSTANCE Instance = nullptr;
    HWND MainWindow = nullptr;
    HWND FindWindow = nullptr;
};

}  // namespace tessara::win32
