#include "app/win32/WinText.h"

#include "platform/Charset.h"

namespace tessara::win32 {

std::wstring Wide(std::string_view cp1251) { return Cp1251ToWide(cp1251); }

std::string Narrow(std::wstring_view utf16) { return WideToCp1251(utf16); }

std::string GetWindowText1251(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return std::string();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return Narrow(text);
}

void SetWindowText1251(HWND window, std::string_view cp1251) {
    ::SetWindowTextW(window, Wide(cp1251).c_str());
}

}  // namespace tessara::win32
