#include "xml/XUtils.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Exceptions.h"

namespace tessara {

namespace {

// Objects whose last reference went while another destruction was running.
std::vector<TRefObject*>& PendingDestructions() {
    static std::vector<TRefObject*> pending;
    return pending;
}
bool destroying = false;

}  // namespace

void Release(TRefObject* object) noexcept {
    if (object == nullptr) return;
    if (--object->RefCount != 0) return;
    object->RefCount = 1;
    if (destroying) {
        PendingDestructions().push_back(object);
        return;
    }
    destroying = true;
    delete object;
    auto& pending = PendingDestructions();
    // Drain the most recent first; destructors may queue more while this runs. A list
    // releases its items last to first, so this destroys a tree depth-first in document
    // order: objects go in about the order they were made, which keeps the allocator's work
    // local, and the queue never holds more than the pending siblings.
    while (!pending.empty()) {
        TRefObject* next = pending.back();
        pending.pop_back();
        delete next;
    }
    if (pending.capacity() > 4096) pending.shrink_to_fit();
    destroying = false;
}

// --- TXList ---

TXList::~TXList() { Clear(); }

void TXList::InsertItem(int index, void* item) {
    Insert(index, item);
    if (item != nullptr) ItemAdded(item);
}

void* TXList::ExtractItem(int index) {
    void* item = Get(index);
    Delete(index);
    if (item != nullptr) ItemRemoved(item);
    return item;
}

void TXList::Clear() {
    while (Count() > 0) {
        const int last = Count() - 1;
        void* item = Get(last);
        Delete(last);
        if (item != nullptr) {
            ItemRemoved(item);
            FreeItem(item);
        }
    }
    TList::Clear();
}

void TXList::ItemAdded(void*) {}
void TXList::ItemRemoved(void*) {}
void TXList::FreeItem(void* item) { delete static_cast<TObject*>(item); }

// --- Entities ---

namespace {

// What each byte becomes when escaped: the byte itself, or its entity. Eight bytes per entry
// so that the writer can store an entry whole and then move on by its length, without a branch
// per byte.
struct TEscapeTable {
    char Text[256][8];
    uint8_t Length[256];
    constexpr TEscapeTable() : Text(), Length() {
        for (int c = 0; c < 256; ++c) {
            Text[c][0] = static_cast<char>(c);
            Length[c] = 1;
        }
        Set('&', "&amp;");
        Set('<', "&lt;");
        Set('>', "&gt;");
        Set('"', "&quot;");
        Set('\'', "&apos;");
    }
    constexpr void Set(unsigned char c, const char* entity) {
        uint8_t n = 0;
        for (; entity[n] != 0; ++n) Text[c][n] = entity[n];
        Length[c] = n;
    }
};
constexpr TEscapeTable kEscape;

// Writes the escaped text at dst, which has room for it and 7 bytes more; returns the end.
char* EscapeInto(char* dst, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        std::memcpy(dst, kEscape.Text[c], 8);
        dst += kEscape.Length[c];
    }
    return dst;
}

}  // namespace

void AppendEscapedXml(std::string& out, std::string_view text) {
    // Escaped block by block into a buffer on the stack that fits the worst case, then
    // appended: one pass over the text, and the output grows by whole blocks.
    constexpr size_t kBlock = 1024;
    char buffer[kBlock * 6 + 8];
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t left = text.size();
    while (left > 0) {
        const size_t n = left < kBlock ? left : kBlock;
        const char* end = EscapeInto(buffer, p, n);
        out.append(buffer, static_cast<size_t>(end - buffer));
        p += n;
        left -= n;
    }
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    AppendEscapedXml(out, text);
    return out;
}

namespace {

// The character an entity at p (a "&") stands for, and its length; 0 when p starts none of
// the five. Needs at least n readable bytes from p.
inline size_t MatchEntity(const char* p, size_t n, char& c) {
    if (n >= 4 && p[3] == ';') {
        if (p[1] == 'l' && p[2] == 't') return c = '<', 4;
        if (p[1] == 'g' && p[2] == 't') return c = '>', 4;
    } else if (n >= 5 && p[4] == ';') {
        if (p[1] == 'a' && p[2] == 'm' && p[3] == 'p') return c = '&', 5;
    } else if (n >= 6 && p[5] == ';') {
        if (p[1] == 'q' && p[2] == 'u' && p[3] == 'o' && p[4] == 't') return c = '"', 6;
        if (p[1] == 'a' && p[2] == 'p' && p[3] == 'o' && p[4] == 's') return c = '\'', 6;
    }
    return 0;
}

// Eight bytes at a time: a word of text is copied whole, and the first "&" in it found with
// bit arithmetic instead of a test per byte. Words are read and written through memcpy, so
// alignment does not matter; the byte order only decides which end of a word comes first.
inline uint64_t LoadWord(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// The bytes of s (up to 8) as they lie in a word loaded from memory.
template <size_t N>
constexpr uint64_t WordOf(const char (&s)[N]) {
    uint64_t w = 0;
    for (size_t i = 0; i + 1 < N; ++i) {
        const uint64_t b = static_cast<unsigned char>(s[i]);
        w |= kLittleEndian ? b << (8 * i) : b << (8 * (7 - i));
    }
    return w;
}

// The first n bytes of a loaded word.
constexpr uint64_t FirstBytes(size_t n) {
    uint64_t w = 0;
    for (size_t i = 0; i < n; ++i) w |= kLittleEndian ? uint64_t{0xFF} << (8 * i) : uint64_t{0xFF} << (8 * (7 - i));
    return w;
}

// The high bit set in each byte of w that is an ampersand, and in no other (exact, no carries
// between bytes).
inline uint64_t AmpersandBytes(uint64_t w) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const uint64_t t = w ^ 0x2626262626262626ull;
    return ~(((t & kLow7) + kLow7) | t | kLow7);
}

// Position of the first marked byte in memory order.
inline size_t FirstMarked(uint64_t marks) {
    return static_cast<size_t>(kLittleEndian ? std::countr_zero(marks) : std::countl_zero(marks)) / 8;
}

// Unescapes src into dst, which has room for size bytes; returns the length written. With
// InPlace, dst is src: a whole word may then only be written where it cannot overwrite bytes
// not read yet, that is where the output has fallen behind by a full word (or not at all).
template <bool InPlace>
size_t Unescape(char* dst, const char* src, size_t size) {
    const char* p = src;
    const char* const end = src + size;
    char* d = dst;
    constexpr uint64_t kQuot = WordOf("&quot;"), kAmp = WordOf("&amp;"), kLt = WordOf("&lt;"),
                       kGt = WordOf("&gt;"), kApos = WordOf("&apos;");
    constexpr uint64_t k4 = FirstBytes(4), k5 = FirstBytes(5), k6 = FirstBytes(6);
    while (end - p >= 8) {
        if (InPlace && p != d && p - d < 8) {
            // Byte by byte until the output is a word behind.
            if (*p != '&') {
                *d++ = *p++;
                continue;
            }
        } else {
            const uint64_t w = LoadWord(p);
            const uint64_t marks = AmpersandBytes(w);
            std::memcpy(d, &w, 8);
            if (marks == 0) {
                p += 8;
                d += 8;
                continue;
            }
            const size_t k = FirstMarked(marks);
            p += k;
            d += k;
            if (end - p < 8) break;
        }
        // An "&" with a word after it: most texts use few entities, the brace text one a lot.
        const uint64_t e = LoadWord(p);
        if ((e & k6) == kQuot) *d++ = '"', p += 6;
        else if ((e & k5) == kAmp) *d++ = '&', p += 5;
        else if ((e & k4) == kLt) *d++ = '<', p += 4;
        else if ((e & k4) == kGt) *d++ = '>', p += 4;
        else if ((e & k6) == kApos) *d++ = '\'', p += 6;
        else *d++ = '&', p += 1;
    }
    while (p != end) {
        if (*p != '&') {
            *d++ = *p++;
            continue;
        }
        char c = '&';
        const size_t len = MatchEntity(p, static_cast<size_t>(end - p), c);
        *d++ = c;
        p += len != 0 ? len : 1;
    }
    return static_cast<size_t>(d - dst);
}

}  // namespace

// Entities start with "&", end with ";" and hold no other "&", so their matches never overlap,
// and no replacement character can form a later entity: one pass left to right gives what the
// five passes give.
size_t UnescapeXmlInPlace(char* text, size_t size) {
    char* const amp = static_cast<char*>(std::memchr(text, '&', size));
    if (amp == nullptr) return size;
    const size_t skipped = static_cast<size_t>(amp - text);
    return skipped + Unescape<true>(amp, amp, size - skipped);
}

size_t UnescapeXmlTo(char* dst, const char* src, size_t size) {
    return Unescape<false>(dst, src, size);
}

void AppendUnescapedXml(std::string& out, std::string_view text) {
    const size_t start = out.size();
    out.append(text);
    out.resize(start + UnescapeXmlInPlace(out.data() + start, text.size()));
}

std::string UnescapeXml(std::string_view text) {
    std::string out(text);
    out.resize(UnescapeXmlInPlace(out.data(), out.size()));
    return out;
}

// --- TTextReader ---

TTextReader::TTextReader(TStream* stream, uint16_t bufferSize)
    : Stream(stream),
      Buffer(static_cast<char*>(std::calloc(bufferSize == 0 ? 1 : bufferSize, 1))),
      BufferSize(bufferSize),
      BufferEnd(Buffer),
      Current(Buffer) {
    if (Buffer == nullptr) throw std::bad_alloc();
    try {
        Refill();
    } catch (...) {
        std::free(Buffer);
        throw;
    }
}

TTextReader::~TTextReader() { std::free(Buffer); }

void TTextReader::Refill() {
    const int64_t left = Stream->Size() - Stream->Position();
    const size_t n = left <= 0 ? 0 : (left < BufferSize ? static_cast<size_t>(left) : BufferSize);
    Current = Buffer;
    BufferEnd = Buffer;
    Stream->ReadBuffer(Buffer, n);
    BufferEnd = Buffer + n;
}

}  // namespace tessara
