#include "xml/XUtils.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>
#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__) && defined(__GNUC__)
#define TESSARA_ESCAPE_SSE2 1

namespace {

// The table's special characters (the bytes that become entities) among 16 bytes, as 0xFF
// bytes, and the bytes each of them adds.
struct TSpecialBytes {
    __m128i Amp, Lt, Gt, Quot, Apos;
    explicit TSpecialBytes(__m128i v)
        : Amp(_mm_cmpeq_epi8(v, _mm_set1_epi8('&'))),
          Lt(_mm_cmpeq_epi8(v, _mm_set1_epi8('<'))),
          Gt(_mm_cmpeq_epi8(v, _mm_set1_epi8('>'))),
          Quot(_mm_cmpeq_epi8(v, _mm_set1_epi8('"'))),
          Apos(_mm_cmpeq_epi8(v, _mm_set1_epi8('\''))) {}
    __m128i Any() const { return _mm_or_si128(_mm_or_si128(_mm_or_si128(Amp, Lt), _mm_or_si128(Gt, Quot)), Apos); }
    __m128i Extra() const {
        const auto extra = [](__m128i marks, char c) {
            return _mm_and_si128(marks, _mm_set1_epi8(static_cast<char>(kXmlEscape.Extra[static_cast<unsigned char>(c)])));
        };
        // The marks never overlap, so the sum is an OR.
        return _mm_or_si128(_mm_or_si128(_mm_or_si128(extra(Amp, '&'), extra(Lt, '<')), _mm_or_si128(extra(Gt, '>'), extra(Quot, '"'))),
                            extra(Apos, '\''));
    }
};

__m128i Load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// The table escapes exactly the five characters TSpecialBytes looks for.
constexpr bool EscapesOnlyTheFive() {
    for (int c = 0; c < 256; ++c) {
        const bool special = c == '&' || c == '<' || c == '>' || c == '"' || c == '\'';
        if ((kXmlEscape.Length[c] != 1) != special) return false;
    }
    return true;
}
static_assert(EscapesOnlyTheFive());

}  // namespace
#endif

// Both run over whole blocks of bytes a step where SSE2 is there, and a byte at a time for the
// rest.
size_t EscapedXmlLength(std::string_view text) noexcept {
    const TXmlEscapeTable& table = kXmlEscape;
    const char* p = text.data();
    const char* const end = p + text.size();
    size_t length = text.size();
#ifdef TESSARA_ESCAPE_SSE2
    __m128i sums = _mm_setzero_si128();  // two 64-bit sums of the bytes' extra
    for (; end - p >= 16; p += 16)
        sums = _mm_add_epi64(sums, _mm_sad_epu8(TSpecialBytes(Load16(p)).Extra(), _mm_setzero_si128()));
    uint64_t halves[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), sums);
    length += static_cast<size_t>(halves[0] + halves[1]);
#endif
    for (; p != end; ++p) length += table.Extra[static_cast<unsigned char>(*p)];
    return length;
}

char* EscapeXmlInto(char* dst, std::string_view text) noexcept {
    const TXmlEscapeTable& table = kXmlEscape;
    const char* p = text.data();
    const char* const end = p + text.size();
#ifdef TESSARA_ESCAPE_SSE2
    // 64 bytes a step. Every marked byte is written as the scalar loop writes it (its piece,
    // moving on by its length), followed by the 16 bytes after it, stored whole; the bytes up
    // to the next mark are then in place. The special characters are marked, and so are the
    // bytes at 0, 16, 32 and 48, so that no two marks are more than 16 apart and the last
    // covers the step's end. A store never passes the place where the bytes it stores belong,
    // nor reads past 80 bytes ahead.
    constexpr uint64_t kEvery16 = 0x0001000100010001u;
    for (; end - p >= 80; p += 64) {
        uint64_t marks = kEvery16;
        for (int i = 0; i < 4; ++i)
            marks |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(TSpecialBytes(Load16(p + 16 * i)).Any()))}
                     << (16 * i);
        do {
            const int at = std::countr_zero(marks);
            marks &= marks - 1;
            const auto c = static_cast<unsigned char>(p[at]);
            char* q = dst + at;
            std::memcpy(q, table.Piece[c], 8);
            q += table.Length[c];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q), Load16(p + at + 1));
            dst = q - at - 1;  // where byte 0 of the step would be, given the entities so far
        } while (marks != 0);
        dst += 64;
    }
#endif
    for (; p != end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        std::memcpy(dst, table.Piece[c], 8);
        dst += table.Length[c];
    }
    return dst;
}

void AppendEscapedXml(std::string& out, std::string_view text) {
    // Escaped block by block into a buffer on the stack that fits the worst case, then
    // appended: one pass over the text, and the output grows by whole blocks.
    constexpr size_t kBlock = 1024;
    char buffer[kBlock * 6 + 8];
    while (!text.empty()) {
        const size_t n = text.size() < kBlock ? text.size() : kBlock;
        const char* end = EscapeXmlInto(buffer, text.substr(0, n));
        out.append(buffer, static_cast<size_t>(end - buffer));
        text.remove_prefix(n);
    }
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    AppendEscapedXml(out, text);
    return out;
}

namespace {

constexpr uint64_t kOnes = 0x0101010101010101u;

// Four characters as the number a 4-byte load of them gives.
constexpr uint32_t Pack4(const char (&s)[5]) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = static_cast<unsigned char>(s[i]);
        v |= std::endian::native == std::endian::little ? c << (8 * i) : c << (8 * (3 - i));
    }
    return v;
}

// The entity at A (which points at "&"), with Left bytes from A on: its character and length,
// or "&" and 1 when no entity starts here.
inline char DecodeEntity(const char* a, size_t left, size_t& length) {
    length = 1;
    if (left < 4) return '&';
    uint32_t head;
    std::memcpy(&head, a, 4);
    if (head == Pack4("&lt;")) return length = 4, '<';
    if (head == Pack4("&gt;")) return length = 4, '>';
    if (head == Pack4("&quo")) {
        if (left >= 6 && a[4] == 't' && a[5] == ';') return length = 6, '"';
    } else if (head == Pack4("&amp")) {
        if (left >= 5 && a[4] == ';') return length = 5, '&';
    } else if (head == Pack4("&apo")) {
        if (left >= 6 && a[4] == 's' && a[5] == ';') return length = 6, '\'';
    }
    return '&';
}

// The five entities for the word-at-a-time decoder, found by the sum of their second and third
// characters (distinct for the five): the entity as the number an 8-byte little-endian load of
// it gives, the mask of its bytes, its length and its character. Other slots never match, as
// their pattern starts with a byte 0 where the text has "&".
struct TEntitySlot {
    uint64_t Pattern = 0;
    uint64_t Mask = 0xFF;
    uint8_t Length = 1;
    char Char = '&';
};
struct TEntityTable {
    TEntitySlot Slots[512];
};

constexpr TEntityTable MakeEntityTable() {
    TEntityTable table{};
    const char* names[] = {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;"};
    const char chars[] = {'<', '>', '&', '"', '\''};
    for (int i = 0; i < 5; ++i) {
        const char* name = names[i];
        int length = 0;
        uint64_t pattern = 0;
        for (; name[length] != 0; ++length)
            pattern |= static_cast<uint64_t>(static_cast<unsigned char>(name[length])) << (8 * length);
        TEntitySlot& slot = table.Slots[static_cast<unsigned char>(name[1]) + static_cast<unsigned char>(name[2])];
        slot.Pattern = pattern;
        slot.Mask = (uint64_t{1} << (8 * length)) - 1;
        slot.Length = static_cast<uint8_t>(length);
        slot.Char = chars[i];
    }
    return table;
}
constexpr TEntityTable kEntities = MakeEntityTable();

// Copies [P, End) to Dst with the entities replaced, and returns the end of the output. With
// InPlace, Dst may equal P: the output never gets ahead of the input. Entities start with "&",
// end with ";" and hold no other "&", so their matches never overlap, and no replacement
// character can form a later entity: one pass left to right gives what the five replace-all
// passes give.
//
// For speed the positions of "&" are found eight bytes at a time ahead of the decoding: since
// an entity holds no "&" after its first character, where the next one is does not depend on
// what the previous one decoded to, and the processor can overlap the work of neighbouring
// entities. The runs between them are moved in 32-byte pieces (which may write past the run,
// into output space that later bytes overwrite).
template <bool InPlace>
char* UnescapeInto(char* dst, const char* p, const char* end) {
    size_t length;
    if constexpr (InPlace) {
        // Byte by byte until the output trails the input by 32 bytes, so that a 32-byte piece
        // never overwrites input not yet read.
        while (p < end && p - dst < 32) {
            if (*p != '&') {
                *dst++ = *p++;
            } else {
                *dst++ = DecodeEntity(p, static_cast<size_t>(end - p), length);
                p += length;
            }
        }
    }
    if constexpr (std::endian::native == std::endian::little) {
        // The run up to the "&" at A, then what A begins. Reads up to 32 bytes from P and 8 from A.
        const auto decodeAt = [&dst, &p](const char* a) {
            const size_t run = static_cast<size_t>(a - p);
            if (run <= 32) {
                std::memcpy(dst, p, 16);
                std::memcpy(dst + 16, p + 16, 16);
            } else {
                std::memmove(dst, p, run);
            }
            dst += run;
            uint64_t head;
            std::memcpy(&head, a, 8);
            const TEntitySlot& slot =
                kEntities.Slots[static_cast<unsigned char>(a[1]) + static_cast<unsigned char>(a[2])];
            const bool entity = ((head ^ slot.Pattern) & slot.Mask) == 0;
            *dst++ = entity ? slot.Char : '&';
            p = a + (entity ? slot.Length : 1);
        };
        const char* scan = p;
#ifdef TESSARA_ESCAPE_SSE2
        // 64 bytes a step: the loop over a step's "&"s ends once a step, not once every eight
        // bytes, and a text dense with entities mostly pays for the entities. Every read
        // stays within 96 bytes of Scan.
        for (; end - scan >= 96; scan += 64) {
            uint64_t hits = 0;
            for (int i = 0; i < 4; ++i)
                hits |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(
                            _mm_cmpeq_epi8(Load16(scan + 16 * i), _mm_set1_epi8('&'))))}
                        << (16 * i);
            for (; hits != 0; hits &= hits - 1) decodeAt(scan + std::countr_zero(hits));
        }
#endif
        constexpr uint64_t k7F = 0x7F7F7F7F7F7F7F7Fu;
        // Every read below stays within 40 bytes of Scan, the 32-byte pieces included.
        for (; end - scan >= 40; scan += 8) {
            uint64_t word;
            std::memcpy(&word, scan, 8);
            const uint64_t x = word ^ (kOnes * static_cast<unsigned char>('&'));
            uint64_t hits = ~(((x & k7F) + k7F) | x | k7F);  // the high bit of each "&" byte
            for (; hits != 0; hits &= hits - 1) decodeAt(scan + (std::countr_zero(hits) >> 3));
        }
    }
    while (p < end) {
        if (*p != '&') {
            *dst++ = *p++;
        } else {
            *dst++ = DecodeEntity(p, static_cast<size_t>(end - p), length);
            p += length;
        }
    }
    return dst;
}

}  // namespace

void AppendUnescapedXml(std::string& out, std::string_view text) {
    const size_t base = out.size();
    out.resize(base + text.size());
    char* start = out.data() + base;
    char* stop = UnescapeInto<false>(start, text.data(), text.data() + text.size());
    out.resize(base + static_cast<size_t>(stop - start));
}

size_t UnescapeXmlInPlace(char* text, size_t size) {
    const char* amp = FindByte(text, '&', size);
    if (amp == nullptr) return size;
    char* a = text + (amp - text);
    return static_cast<size_t>(UnescapeInto<true>(a, a, text + size) - text);
}

std::string UnescapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUnescapedXml(out, text);
    return out;
}

// --- FindByte ---

#if defined(__SSE2__) && defined(__GNUC__)
const char* FindByteSse2(const char* p, char c, size_t n) noexcept {
    const char* const end = p + n;
    const __m128i needle = _mm_set1_epi8(c);
    const auto mask = [&needle](const char* at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, needle)));
    };
    for (; end - p >= 80; p += 64) {
        const unsigned m0 = mask(p), m1 = mask(p + 16), m2 = mask(p + 32), m3 = mask(p + 48);
        if ((m0 | m1 | m2 | m3) == 0) continue;
        const uint64_t all = m0 | (m1 << 16) | (uint64_t{m2} << 32) | (uint64_t{m3} << 48);
        return p + std::countr_zero(all);
    }
    for (; end - p >= 16; p += 16)
        if (const unsigned m = mask(p); m != 0) return p + std::countr_zero(m);
    for (; p != end; ++p)
        if (*p == c) return p;
    return nullptr;
}
#endif

const char* FindByte(const char* p, char c, size_t n) noexcept {
#if defined(_WIN32) && defined(__SSE2__) && defined(__GNUC__)
    return FindByteSse2(p, c, n);
#else
    return static_cast<const char*>(std::memchr(p, static_cast<unsigned char>(c), n));
#endif
}

// --- TTextReader ---

TTextReader::TTextReader(TStream* stream, uint16_t bufferSize)
    : Stream(stream),
      Buffer(static_cast<char*>(std::malloc(bufferSize == 0 ? 1 : bufferSize))),
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
    if (Remaining <= 0) {
        const int64_t left = Stream->Size() - Stream->Position();
        Remaining = left < 0 ? 0 : left;
    }
    const size_t n = Remaining < BufferSize ? static_cast<size_t>(Remaining) : BufferSize;
    Current = Buffer;
    BufferEnd = Buffer;
    Stream->ReadBuffer(Buffer, n);
    Remaining -= static_cast<int64_t>(n);
    BufferEnd = Buffer + n;
}

}  // namespace tessara
