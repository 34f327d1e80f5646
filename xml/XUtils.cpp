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

const char* EntityOf(char c) {
    switch (c) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '"': return "&quot;";
        case '\'': return "&apos;";
        default: return nullptr;
    }
}

bool IsSpecial(unsigned char c) {
    return c == '&' || c == '<' || c == '>' || c == '"' || c == '\'';
}

}  // namespace

void AppendEscapedXml(std::string& out, std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* run = p;
        while (p < end && !IsSpecial(static_cast<unsigned char>(*p))) ++p;
        out.append(run, static_cast<size_t>(p - run));
        if (p < end) out += EntityOf(*p++);
    }
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    AppendEscapedXml(out, text);
    return out;
}

namespace {

constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighs = 0x8080808080808080u;

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

// Copies [P, End) to Dst with the entities replaced, and returns the end of the output. With
// InPlace, Dst may equal P: the output never gets ahead of the input. Entities start with "&",
// end with ";" and hold no other "&", so their matches never overlap, and no replacement
// character can form a later entity: one pass left to right gives what the five replace-all
// passes give. Between entities eight bytes are scanned and moved at a time.
template <bool InPlace>
char* UnescapeInto(char* dst, const char* p, const char* end) {
    size_t length;
    if constexpr (InPlace) {
        // Byte by byte until the output trails the input by a whole word, so that storing
        // eight bytes can never overwrite input not yet read.
        while (p < end && p - dst < 8) {
            if (*p != '&') {
                *dst++ = *p++;
            } else {
                *dst++ = DecodeEntity(p, static_cast<size_t>(end - p), length);
                p += length;
            }
        }
    }
    while (p < end) {
        if constexpr (std::endian::native == std::endian::little) {
            while (end - p >= 8) {
                uint64_t word;
                std::memcpy(&word, p, 8);
                std::memcpy(dst, &word, 8);
                const uint64_t x = word ^ (kOnes * static_cast<unsigned char>('&'));
                const uint64_t hits = (x - kOnes) & ~x & kHighs;  // exact for the lowest hit
                if (hits != 0) {
                    const int before = std::countr_zero(hits) >> 3;
                    dst += before;
                    p += before;
                    break;
                }
                dst += 8;
                p += 8;
            }
        }
        while (p < end && *p != '&') *dst++ = *p++;
        if (p == end) break;
        *dst++ = DecodeEntity(p, static_cast<size_t>(end - p), length);
        p += length;
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
    void* amp = std::memchr(text, '&', size);
    if (amp == nullptr) return size;
    char* a = static_cast<char*>(amp);
    return static_cast<size_t>(UnescapeInto<true>(a, a, text + size) - text);
}

std::string UnescapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUnescapedXml(out, text);
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
