#include "xml/XUtils.h"

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

void AppendUnescapedXml(std::string& out, std::string_view text) {
    // Entities start with "&", end with ";" and hold no other "&", so their matches never
    // overlap, and no replacement character can form a later entity: one pass left to right
    // gives what the five passes give.
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const void* amp = std::memchr(p, '&', static_cast<size_t>(end - p));
        if (amp == nullptr) {
            out.append(p, static_cast<size_t>(end - p));
            return;
        }
        const char* a = static_cast<const char*>(amp);
        out.append(p, static_cast<size_t>(a - p));
        const std::string_view rest(a, static_cast<size_t>(end - a));
        char c = 0;
        size_t len = 0;
        if (rest.substr(0, 4) == "&lt;") c = '<', len = 4;
        else if (rest.substr(0, 4) == "&gt;") c = '>', len = 4;
        else if (rest.substr(0, 5) == "&amp;") c = '&', len = 5;
        else if (rest.substr(0, 6) == "&quot;") c = '"', len = 6;
        else if (rest.substr(0, 6) == "&apos;") c = '\'', len = 6;
        if (len != 0) {
            out += c;
            p = a + len;
        } else {
            out += '&';
            p = a + 1;
        }
    }
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
    const int64_t left = Stream->Size() - Stream->Position();
    const size_t n = left <= 0 ? 0 : (left < BufferSize ? static_cast<size_t>(left) : BufferSize);
    Current = Buffer;
    BufferEnd = Buffer;
    Stream->ReadBuffer(Buffer, n);
    BufferEnd = Buffer + n;
}

}  // namespace tessara
