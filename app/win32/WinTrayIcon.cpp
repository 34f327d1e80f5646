#include "app/win32/WinTrayIcon.h"

#include <algorithm>
#include <cstring>

namespace tessara::win32 {

NOTIFYICONDATAA MakeNotifyIconData(const TTrayIconData& data, HWND window, HICON icon) {
    NOTIFYICONDATAA record;
    std::memset(&record, 0, sizeof record);
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    record.uID = data.uID;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = kTrayCallbackMessage;
    record.hIcon = icon;
    constexpr size_t kFirstVersionTip = 64;  // the tip field of the first-version record
    const size_t tip = std::min(data.szTip.size(), kFirstVersionTip - 1);
    std::memcpy(record.szTip, data.szTip.data(), tip);
    return record;
}

TTrayEvent TrayEventOf(LPARAM lParam) {
    switch (lParam) {
    case WM_LBUTTONDBLCLK: return TTrayEvent::LeftDoubleClick;
    case WM_RBUTTONDOWN: return TTrayEvent::RightButtonDown;
    case WM_RBUTTONDBLCLK: return TTrayEvent::RightDoubleClick;
    default: return TTrayEvent::Other;
    }
}

void TWinTrayIcon::Add(const TTrayIconData& data) {
    NOTIFYICONDATAA record = MakeNotifyIconData(data, Window, Icon);
    ::Shell_NotifyIconA(NIM_ADD, &record);
}

void TWinTrayIcon::Delete(const TTrayIconData& data) {
    NOTIFYICONDATAA record = MakeNotifyIconData(data, Window, Icon);
    ::Shell_NotifyIconA(NIM_DELETE, &record);
}

}  // namespace tessara::win32
