// The notification-area icon behind the tray port: the shell's first-version record, carrying
// our main window and icon.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "app/Ports.h"

namespace tessara::win32 {

static_assert(kTrayCallbackMessage == WM_USER, "the tray icon's callback message is WM_USER");

// The shell's record for the fields the handlers set. Its size is the first-version size of
// this build (88 bytes in a 32-bit program, 104 in a 64-bit one, whatever the handlers
// asked for, since only that layout is valid here); the tip is zero-padded to 64 bytes.
NOTIFYICONDATAA MakeNotifyIconData(const TTrayIconData& data, HWND window, HICON icon);

class TWinTrayIcon final : public ITrayIcon {
public:
    TWinTrayIcon(HWND window = nullptr, HICON icon = nullptr) : Window(window), Icon(icon) {}
    void SetWindow(HWND window, HICON icon) { Window = window, Icon = icon; }

    void Add(const TTrayIconData& data) override;
    void Delete(const TTrayIconData& data) override;

private:
    HWND Window;
    HICON Icon;
};

}  // namespace tessara::win32
