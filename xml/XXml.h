// The character source with give-back, and the XML token reader built on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"
#include "platform/Lists.h"
#include "platform/Streams.h"
#include "xml/XUtils.h"

namespace tessara {

// A set of bytes that end a run, as a lookup table. Every byte of value 32 or less (a space)
// can be made a member at once.
struct TXmlCharSet {
    bool Member[256] = {};

    constexpr TXmlCharSet(bool withSpaces, const char* extra) {
        if (withSpaces)
            for (int c = 0; c <= 32; ++c) Member[c] = true;
        for (; *extra != 0; ++extra) Member[static_cast<unsigned char>(*extra)] = true;
    }
    constexpr bool Has(char c) const { return Member[static_cast<unsigned char>(c)]; }
};

// Bytes from a stream, read through a buffer of BufferSize bytes, with characters given back
// kept in Pushback (the next one at its end). Besides the character calls it offers run
// scanners that read straight from the buffer: the reader's hot paths never touch one byte at
// a time through Pushback.
class TXmlReaderStream : public TObject {
public:
    // Large blocks: a big file is read in few system calls (the largest size the buffered
    // reader takes).
    static constexpr uint16_t BufferSize = 65535;

    TXmlReaderStream(TStream* source, bool ownsSource);
    ~TXmlReaderStream() override;
    TXmlReaderStream(const TXmlReaderStream&) = delete;
    TXmlReaderStream& operator=(const TXmlReaderStream&) = delete;

    bool OwnsSource() const noexcept { return Owns; }
    TStream* Source() const noexcept { return Src; }
    TTextReader& Reader() const noexcept { return *Buffered; }
    const std::string& Pushback() const noexcept { return Back; }

    bool Eof() const noexcept { return Back.empty() && Buffered->Eof(); }

    // The next character; 0 at the end of input (tell it from a byte 0 with Eof). With Remove
    // false the character stays to be read again.
    char GetChar(bool remove) {
        if (!Back.empty()) {
            const char c = Back.back();
            if (remove) Back.pop_back();
            return c;
        }
        if (Buffered->Eof()) return 0;
        const char c = Buffered->ReadChar();
        if (!remove) Back.push_back(c);
        return c;
    }
    void UngetChar(char c) { Back.push_back(c); }
    // The following reads return Text in its own order, then what was given back before.
    void UngetText(std::string_view text) { Back.append(text.rbegin(), text.rend()); }
    // Whether the input continues with Text. After a false result the input reads exactly as
    // before; after a true one Text is consumed when Remove is true.
    bool MatchText(std::string_view text, bool remove);
    // Skips bytes of value 32 or less.
    void SkipSpaces();

    // --- Run scanning (the next character stays unread until Skip) ---

    // The next byte as 0..255 without consuming it, or -1 at the end of input.
    int Peek() const noexcept {
        if (!Back.empty()) return static_cast<unsigned char>(Back.back());
        if (Buffered->Eof()) return -1;
        return static_cast<unsigned char>(*Buffered->Cursor());
    }
    // Consumes the next byte (there must be one).
    void Skip() {
        if (!Back.empty())
            Back.pop_back();
        else
            Buffered->Advance(1);
    }
    // Appends to Out the characters before the next Stop and leaves Stop unread. False when the
    // input ends first (everything up to the end is then appended and consumed).
    bool AppendUntil(std::string& out, char stop);
    bool AppendUntilAny(std::string& out, const TXmlCharSet& stops);

private:
    bool Owns;
    TStream* Src;
    std::unique_ptr<TTextReader> Buffered;
    std::string Back;
};

enum TXmlTokenKind : uint8_t {
    xtProcessingInstruction = 0,
    xtDocumentType = 1,
    xtComment = 2,
    xtCDATASection = 3,
    xtStartTag = 4,
    xtEndTag = 5,
    xtAttribute = 6,
    xtText = 7,
    xtEndOfInput = 8,
};

// Every error of the token reader.
class EXmlReader : public Exception {
public:
    using Exception::Exception;
};

// A pull reader: each Next reads one token and leaves its parts in Name and Data (raw bytes,
// entities not replaced). It checks the nesting of elements and the shape of each construct.
class TXmlReader : public TObject {
public:
    TXmlReader() = default;
    ~TXmlReader() override { Close(); }
    TXmlReader(const TXmlReader&) = delete;
    TXmlReader& operator=(const TXmlReader&) = delete;

    // Reads from the stream's current position. With OwnsStream the stream is destroyed when
    // the reader is closed.
    void Open(TStream* stream, bool ownsStream);
    void Close();
    TXmlTokenKind Next();

    const std::string& Name() const noexcept { return TokenName; }
    const std::string& Data() const noexcept { return TokenData; }
    // Data for a caller that decodes it where it is (the loader); valid until the next Next.
    std::string& DataBuffer() noexcept { return TokenData; }
    int Depth() const noexcept { return Open_.Count(); }
    bool InsideTag() const noexcept { return InTag; }
    bool AtEnd() const noexcept { return Ended; }
    const TStringList& OpenElements() const noexcept { return Open_; }
    TXmlReaderStream* Stream() const noexcept { return Source.get(); }

private:
    [[noreturn]] static void Fail(const char* utf8Message);
    TXmlTokenKind ReadMarkup();
    TXmlTokenKind ReadProcessingInstruction();
    TXmlTokenKind ReadDocumentType();
    TXmlTokenKind ReadComment();
    TXmlTokenKind ReadCDATASection();
    TXmlTokenKind ReadStartTag();
    TXmlTokenKind ReadEndTag();
    TXmlTokenKind ReadAttribute();
    // Collects a name up to one of Stops; false when the input ends first, and then the name
    // keeps only its completed 8191-character blocks.
    bool CollectName(const TXmlCharSet& stops);

    std::unique_ptr<TXmlReaderStream> Source;
    std::string TokenName;
    std::string TokenData;
    TStringList Open_;
    bool InTag = false;
    bool Ended = true;
};

}  // namespace tessara
