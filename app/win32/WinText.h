// The Win32 layer's text edge: the program's strings are Windows-1251 bytes, the windows and
// message boxes get UTF-16 through the wide API, so Russian shows on any system code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tessara::win32 {

std::wstring Wide(std::string_view cp1251);
std::string Narrow(std::wstring_view utf16);

// A window's whole text, as 1251 bytes.
std::string GetWindowText1251(HWND window);
void SetWindowText1251(HWND window, std::string_view cp1251);

}  // namespace tessara::win32
