// Conversions between Windows-1251 byte strings and Unicode. The program's own texts are
// written in the sources as UTF-8 and turned into 1251 bytes by Cp1251(); the Win32 layer
// converts 1251 to UTF-16 at its edge. This is the one place that knows the code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessara {

// UTF-8 → 1251. A character that 1251 lacks, and each byte of malformed UTF-8, becomes '?'.
std::string Cp1251(std::string_view utf8);
// The same for u8"..." literals, which are char8_t in C++20: Cp1251(u8"Список").
inline std::string Cp1251(std::u8string_view utf8) {
    return Cp1251(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}
std::string Cp1251ToUtf8(std::string_view cp1251);
std::u16string Cp1251ToUtf16(std::string_view cp1251);
// UTF-16 → 1251. A character that 1251 lacks becomes '?': a surrogate pair, being one
// character, becomes one '?', and so does a lone surrogate. Replaced, when given, receives
// how many characters were replaced.
std::string Utf16ToCp1251(std::u16string_view utf16, size_t* replaced = nullptr);

// A 1251 byte with a capital letter made small as CharLower makes it (Latin, Cyrillic and the
// other letters of the code page; "Ё" becomes "ё"); any other byte as it is.
unsigned char SmallLetter(unsigned char c) noexcept;

#ifdef _WIN32
// The same for the wide Windows API, whose wchar_t holds UTF-16.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16");
inline std::wstring Cp1251ToWide(std::string_view cp1251) {
    const std::u16string u = Cp1251ToUtf16(cp1251);
    return std::wstring(u.begin(), u.end());
}
inline std::string WideToCp1251(std::wstring_view wide) {
    return Utf16ToCp1251(std::u16string(wide.begin(), wide.end()));
}
#endif

}  // namespace tessara
