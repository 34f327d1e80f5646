// The notification-area icon behind the tray port: the shell's first-version record, carrying
// our main window and icon.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "app/Ports.h"

namespace tessara::win32 {

// The message the shell sends the main window for the icon's mouse events.
inline constexpr UINT kTrayCallbackMessage = WM_USER;

// The shell's record for the icon: the first-version layout of this build (88 bytes in a
// 32-bit program, 104 in a 64-bit one), with a message, an icon and a tip (zero-padded to 64
// bytes).
NOTIFYICONDATAA MakeNotifyIconData(const TTrayIconData& data, HWND window, HICON icon);

// The icon's mouse event that the callback message's lParam names.
TTrayEvent TrayEventOf(LPARAM lParam);

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
