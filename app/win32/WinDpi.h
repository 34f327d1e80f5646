// The display's DPI as the window system reports it, on every Windows from 7 on: the functions
// newer than Windows 7 are looked up at run time, so the program starts where they are missing.
#pragma once

#include <windows.h>

#include <optional>

namespace tessara::win32 {

// WM_DPICHANGED, which the headers of Windows 7 do not declare.
inline constexpr UINT kWmDpiChanged = 0x02E0;

// Declares the process per-monitor DPI aware (version 2 where Windows has it, then version 1,
// then system aware). The manifest declares the same; this covers the systems that do not read
// its newer entries. Call before the first window is created.
void DeclareDpiAwareness();

// The DPI of the primary display (what windows are created at before they know their own).
int SystemDpi();
// The DPI of the display the window is on, or the system's where Windows cannot tell.
int WindowDpi(HWND window);

// The system's fonts and sizes for non-client parts (the message font among them) as they are
// at a DPI: asked for at that DPI where Windows can (Windows 10 1607 and later), otherwise
// taken at the system's DPI with the font heights scaled. False when neither can be read.
bool NonClientMetricsAtDpi(NONCLIENTMETRICSW& metrics, int dpi);

// The width and height a window's frame adds to its client area at a DPI (both edges together);
// none where Windows cannot tell the frame at a DPI other than the system's (before Windows 10).
std::optional<SIZE> FrameAtDpi(DWORD style, DWORD exStyle, int dpi);
// The frame at the system's DPI.
SIZE SystemFrame(DWORD style, DWORD exStyle);

}  // namespace tessara::win32
