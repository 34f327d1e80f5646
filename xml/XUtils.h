// Counted objects and lists, entity escaping and buffered byte input: the ground floor of
// the XML library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Lists.h"
#include "platform/Streams.h"

namespace tessara {

// The base of every counted object. A new object has RefCount 0 and is owned by nobody until
// somebody takes a reference. Counts are plain integers: one thread only.
class TRefObject : public TObject {
public:
    TRefObject() = default;
    TRefObject(const TRefObject&) = delete;
    TRefObject& operator=(const TRefObject&) = delete;
    ~TRefObject() override = default;

    int32_t RefCount = 0;
};

inline void AddRef(TRefObject* object) noexcept { ++object->RefCount; }

// Drops one reference; the last one destroys the object, whose count stays 1 while its
// destructor runs. Destructions caused while another one runs are queued and carried out by
// the outermost Release, one after the other, so freeing a tree of any depth uses a constant
// amount of stack. Every object released this way is gone when the outermost call returns.
void Release(TRefObject* object) noexcept;

// Stores Object in a variable that holds nothing yet, taking a reference.
template <class T, class U>
bool InitRef(T*& ref, U* object) noexcept {
    ref = object;
    if (object == nullptr) return false;
    AddRef(object);
    return true;
}

// Makes Ref hold Object: releases the old one first, then references the new one.
template <class T, class U>
bool AssignRef(T*& ref, U* object) noexcept {
    if (ref == object) return false;
    T* old = ref;
    ref = nullptr;
    Release(old);
    ref = object;
    if (object != nullptr) AddRef(object);
    return true;
}

template <class T>
void ReleaseRef(T*& ref) noexcept {
    if (ref == nullptr) return;
    T* old = ref;
    ref = nullptr;
    Release(old);
}

// Holds one counted reference for a scope: the "take a reference, release it also when an
// exception passes" pattern.
template <class T>
class TRef {
public:
    TRef() noexcept = default;
    explicit TRef(T* object) noexcept { InitRef(Ptr, object); }
    TRef(const TRef& other) noexcept { InitRef(Ptr, other.Ptr); }
    TRef(TRef&& other) noexcept : Ptr(other.Ptr) { other.Ptr = nullptr; }
    TRef& operator=(const TRef& other) noexcept {
        if (other.Ptr != nullptr) AddRef(other.Ptr);
        T* old = Ptr;
        Ptr = other.Ptr;
        Release(old);
        return *this;
    }
    TRef& operator=(TRef&& other) noexcept {
        if (this != &other) {
            T* old = Ptr;
            Ptr = other.Ptr;
            other.Ptr = nullptr;
            Release(old);
        }
        return *this;
    }
    ~TRef() { ReleaseRef(Ptr); }

    void Reset(T* object = nullptr) noexcept {
        if (object != nullptr) AddRef(object);
        T* old = Ptr;
        Ptr = object;
        Release(old);
    }

    T* Get() const noexcept { return Ptr; }
    T* operator->() const noexcept { return Ptr; }
    T& operator*() const noexcept { return *Ptr; }
    explicit operator bool() const noexcept { return Ptr != nullptr; }

private:
    T* Ptr = nullptr;
};

// A pointer list with hooks for items coming and going. A plain TXList owns its items and
// destroys them when it is cleared.
class TXList : public TList {
public:
    ~TXList() override;

    void InsertItem(int index, void* item);
    void* ExtractItem(int index);
    // Removes the entries from the last to the first; each is out of the list before its hooks
    // run. Finally count and capacity are 0.
    void Clear() override;

protected:
    virtual void ItemAdded(void* item);
    virtual void ItemRemoved(void* item);
    virtual void FreeItem(void* item);

    // Derived classes whose destructors must run the hooks call this from their destructor,
    // as the base destructor can no longer reach overrides.
    void ClearFromDestructor() { Clear(); }
};

// A list that holds exactly one counted reference for each non-null item.
class TRefObjectList : public TXList {
public:
    ~TRefObjectList() override { ClearFromDestructor(); }

    TRefObject* Item(int index) const { return static_cast<TRefObject*>(Get(index)); }

protected:
    void ItemAdded(void* item) override { AddRef(static_cast<TRefObject*>(item)); }
    void ItemRemoved(void* item) override { Release(static_cast<TRefObject*>(item)); }
    void FreeItem(void*) override {}
};

// What each byte becomes when escaped: the byte itself, or its entity for the five special
// characters. Each piece is padded to 8 bytes so that a writer can store it whole and move on
// by its Length, without a branch per byte; the destination needs 7 bytes of room after the
// last piece. Extra is what the entity adds to its character, for measuring ahead of writing.
struct TXmlEscapeTable {
    char Piece[256][8] = {};
    uint8_t Length[256] = {};
    uint8_t Extra[256] = {};
    constexpr TXmlEscapeTable() {
        for (int c = 0; c < 256; ++c) {
            Piece[c][0] = static_cast<char>(c);
            Length[c] = 1;
        }
        Set('&', "&amp;");
        Set('<', "&lt;");
        Set('>', "&gt;");
        Set('"', "&quot;");
        Set('\'', "&apos;");
    }
    constexpr void Set(char c, const char* entity) {
        const auto u = static_cast<unsigned char>(c);
        uint8_t n = 0;
        for (; entity[n] != 0; ++n) Piece[u][n] = entity[n];
        Length[u] = n;
        Extra[u] = static_cast<uint8_t>(n - 1);
    }
};
inline constexpr TXmlEscapeTable kXmlEscape;

// The size of Text escaped with kXmlEscape, for measuring ahead of writing.
size_t EscapedXmlLength(std::string_view text) noexcept;
// Writes Text escaped with kXmlEscape at Dst, which has room for it and 7 bytes more; returns
// the end of what it wrote.
char* EscapeXmlInto(char* dst, std::string_view text) noexcept;

// The first byte C in [P, P + N), or nullptr: std::memchr, except in the Windows builds, whose
// C runtime searches a byte at a time and so would halve the speed of loading; they use
// FindByteSse2, which looks at 64 bytes a step.
const char* FindByte(const char* p, char c, size_t n) noexcept;
#if defined(__SSE2__) && defined(__GNUC__)
const char* FindByteSse2(const char* p, char c, size_t n) noexcept;
#endif

// Escapes the five special characters as "&amp;", "&lt;", "&gt;", "&quot;" and "&apos;".
// One pass; the result equals the five replace-all passes made in that order.
std::string EscapeXml(std::string_view text);
// Appends the escaped text to Out, for writers that build one buffer.
void AppendEscapedXml(std::string& out, std::string_view text);
// Replaces the five entities by their characters and nothing else. One pass; the result
// equals the five passes "&apos;", "&quot;", "&gt;", "&lt;" and last "&amp;".
std::string UnescapeXml(std::string_view text);
void AppendUnescapedXml(std::string& out, std::string_view text);
// Unescapes the Size bytes at Text where they are; returns the new length.
size_t UnescapeXmlInPlace(char* text, size_t size);

// A buffered byte reader over a stream it does not own.
class TTextReader {
public:
    TTextReader(TStream* stream, uint16_t bufferSize);
    ~TTextReader();
    TTextReader(const TTextReader&) = delete;
    TTextReader& operator=(const TTextReader&) = delete;

    // The next byte, or 0 at the end of the stream (then nothing is consumed).
    char ReadChar() {
        if (Current == BufferEnd) return 0;
        const char c = *Current++;
        if (Current == BufferEnd) Refill();
        return c;
    }
    bool Eof() const noexcept { return Current == BufferEnd; }

    // Direct access to the unread bytes of the buffer, for scanners that consume runs:
    // [Current, BufferEnd) are valid; Advance(n) consumes n of them (and refills when the
    // buffer is used up).
    const char* Cursor() const noexcept { return Current; }
    const char* End() const noexcept { return BufferEnd; }
    void Advance(size_t n) {
        Current += n;
        if (Current == BufferEnd) Refill();
    }

private:
    void Refill();

    TStream* Stream;
    char* Buffer;
    uint16_t BufferSize;
    char* BufferEnd;
    char* Current;
    // Bytes the stream still holds by its last report; asked again only when used up, so that
    // a file is not asked for its size and position at every block.
    int64_t Remaining = 0;
};

}  // namespace tessara
