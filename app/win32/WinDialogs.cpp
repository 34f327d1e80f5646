#include "app/win32/WinDialogs.h"

#include <shellapi.h>

#include "app/win32/WinText.h"

namespace tessara::win32 {

bool TWinMessageBoxes::AskOkCancel(const std::string& text, const std::string& title) {
    return ::MessageBoxW(Owner, Wide(text).c_str(), Wide(title).c_str(),
                         MB_OKCANCEL | MB_DEFBUTTON1) == IDOK;
}

void TWinMessageBoxes::ShowError(const std::string& text, const std::string& title) {
    ::MessageBoxW(Owner, Wide(text).c_str(), Wide(title).c_str(), MB_OK | MB_ICONERROR);
}

void TWinShell::OpenLink(const std::string& link) {
    // Parameters and directory are empty strings, not nulls; the result is not looked at.
    ::ShellExecuteW(Owner, L"open", Wide(link).c_str(), L"", L"", SW_HIDE);
}

}  // namespace tessara::win32
