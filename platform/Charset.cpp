#include "platform/Charset.h"

#include <array>

#include <cstdint>

namespace tessara {
namespace {

// Unicode code points of the bytes 0x80..0xFF; 0 marks the one byte (0x98) with no character.
constexpr char16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char16_t ToUnicode(unsigned char b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return static_cast<char16_t>(0x0410 + (b - 0xC0));
    const char16_t u = kHigh[b - 0x80];
    return u != 0 ? u : 0x0098;  // keep the unmapped byte as the C1 control of the same value
}

char FromUnicode(char32_t u) {
    if (u < 0x80) return static_cast<char>(u);
    if (u >= 0x0410 && u <= 0x044F) return static_cast<char>(0xC0 + (u - 0x0410));
    if (u == 0x0098) return static_cast<char>(0x98);
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == u) return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUtf8(std::string& out, char32_t u) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// Decodes the UTF-8 sequence at text[i] and moves i past it. A malformed sequence (a stray
// continuation byte, a lead byte without its continuations, an overlong form, a surrogate or a
// value beyond U+10FFFF) yields kInvalid and moves i past its first byte only, so that the
// characters after it are decoded as themselves.
constexpr char32_t kInvalid = 0xFFFFFFFF;

char32_t DecodeUtf8(std::string_view text, size_t& i) {
    const auto b = static_cast<unsigned char>(text[i]);
    size_t len;
    char32_t u, least;
    if (b < 0x80) {
        ++i;
        return b;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, u = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, u = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, u = b & 0x07, least = 0x10000;
    } else {
        ++i;
        return kInvalid;
    }
    if (text.size() - i < len) {
        ++i;
        return kInvalid;
    }
    for (size_t k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return kInvalid;
        }
        u = (u << 6) | (c & 0x3F);
    }
    if (u < least || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
        ++i;
        return kInvalid;
    }
    i += len;
    return u;
}

}  // namespace

std::string Cp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t u = DecodeUtf8(utf8, i);
        out += u == kInvalid ? '?' : FromUnicode(u);
    }
    return out;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char c : cp1251) AppendUtf8(out, ToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::u16string Cp1251ToUtf16(std::string_view cp1251) {
    std::u16string out;
    out.reserve(cp1251.size());
    for (char c : cp1251) out += ToUnicode(static_cast<unsigned char>(c));
    return out;
}

std::string Utf16ToCp1251(std::u16string_view utf16, size_t* replaced) {
    std::string out;
    out.reserve(utf16.size());
    size_t missing = 0;
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t c = utf16[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() &&
                          utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF;
        if (pair) ++i;  // no character beyond U+FFFF is in 1251
        const char b = pair || (c >= 0xD800 && c <= 0xDFFF) ? '?' : FromUnicode(c);
        if (b == '?' && c != u'?') ++missing;
        out += b;
    }
    if (replaced != nullptr) *replaced = missing;
    return out;
}

unsigned char SmallLetter(unsigned char c) noexcept {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> small{};
        for (size_t b = 0; b < 256; ++b) small[b] = static_cast<unsigned char>(b);
        for (size_t b = 'A'; b <= 'Z'; ++b) small[b] = static_cast<unsigned char>(b + 0x20);
        for (size_t b = 0xC0; b <= 0xDF; ++b) small[b] = static_cast<unsigned char>(b + 0x20);  // А..Я
        // The other letters of the code page, capital and small, as CharLower pairs them.
        const unsigned char others[][2] = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C},
                                           {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2},
                                           {0xA3, 0xBC}, {0xA5, 0xB4}, {0xA8, 0xB8}, {0xAA, 0xBA},
                                           {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};
        for (const auto& pair : others) small[pair[0]] = pair[1];
        return small;
    }();
    return table[c];
}

}  // namespace tessara
