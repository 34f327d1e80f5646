#include "app/win32/WinText.h"

#include "platform/Charset.h"

namespace tessara::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16");

std::wstring Wide(std::string_view cp1251) {
    const std::u16string u = Cp1251ToUtf16(cp1251);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(std::wstring_view utf16) {
    return Utf16ToCp1251(std::u16string(utf16.begin(), utf16.end()));
}

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
