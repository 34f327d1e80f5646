// Message boxes and the shell behind their ports, through the wide API.
#pragma once

#include <windows.h>

#include "app/Ports.h"

namespace tessara::win32 {

class TWinMessageBoxes final : public IMessageBoxes {
public:
    void SetOwner(HWND owner) { Owner = owner; }
    bool AskOkCancel(const std::string& text, const std::string& title) override;
    void ShowError(const std::string& text, const std::string& title) override;

private:
    HWND Owner = nullptr;
};

class TWinShell final : public IShell {
public:
    void SetOwner(HWND owner) { Owner = owner; }
    void OpenLink(const std::string& link) override;

private:
    HWND Owner = nullptr;
};

}  // namespace tessara::win32
