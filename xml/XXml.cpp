#include "xml/XXml.h"

#include <cstring>

#include "platform/Charset.h"

namespace tessara {

// --- TXmlReaderStream ---

TXmlReaderStream::TXmlReaderStream(TStream* source, bool ownsSource) : Owns(ownsSource), Src(source) {
    try {
        Buffered = std::make_unique<TTextReader>(source, BufferSize);
    } catch (...) {
        // The stream was handed over: it goes even when the first block cannot be read.
        if (ownsSource) delete source;
        throw;
    }
}

TXmlReaderStream::~TXmlReaderStream() {
    Buffered.reset();
    if (Owns) delete Src;
}

bool TXmlReaderStream::MatchText(std::string_view text, bool remove) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (Eof()) {
            UngetText(text.substr(0, i));
            return false;
        }
        const char c = GetChar(true);
        if (c != text[i]) {
            UngetChar(c);
            UngetText(text.substr(0, i));
            return false;
        }
    }
    if (!remove) UngetText(text);
    return true;
}

void TXmlReaderStream::SkipSpaces() {
    while (!Back.empty()) {
        if (static_cast<unsigned char>(Back.back()) > 32) return;
        Back.pop_back();
    }
    TTextReader& r = *Buffered;
    while (!r.Eof()) {
        const char* p = r.Cursor();
        const char* e = r.End();
        const char* q = p;
        while (q != e && static_cast<unsigned char>(*q) <= 32) ++q;
        if (q == p) return;
        const bool stopped = q != e;
        r.Advance(static_cast<size_t>(q - p));
        if (stopped) return;
    }
}

bool TXmlReaderStream::AppendUntil(std::string& out, char stop) {
    while (!Back.empty()) {
        const char c = Back.back();
        if (c == stop) return true;
        out += c;
        Back.pop_back();
    }
    TTextReader& r = *Buffered;
    while (!r.Eof()) {
        const char* p = r.Cursor();
        const size_t n = static_cast<size_t>(r.End() - p);
        const void* hit = std::memchr(p, static_cast<unsigned char>(stop), n);
        if (hit != nullptr) {
            const size_t k = static_cast<size_t>(static_cast<const char*>(hit) - p);
            out.append(p, k);
            r.Advance(k);
            return true;
        }
        out.append(p, n);
        r.Advance(n);
    }
    return false;
}

bool TXmlReaderStream::AppendUntilAny(std::string& out, const TXmlCharSet& stops) {
    while (!Back.empty()) {
        const char c = Back.back();
        if (stops.Has(c)) return true;
        out += c;
        Back.pop_back();
    }
    TTextReader& r = *Buffered;
    while (!r.Eof()) {
        const char* p = r.Cursor();
        const char* e = r.End();
        const char* q = p;
        while (q != e && !stops.Has(*q)) ++q;
        out.append(p, static_cast<size_t>(q - p));
        const bool found = q != e;
        r.Advance(static_cast<size_t>(q - p));
        if (found) return true;
    }
    return false;
}

// --- TXmlReader ---

namespace {

constexpr TXmlCharSet kPiNameStops(true, ">?");
constexpr TXmlCharSet kDocTypeNameStops(true, ">");
constexpr TXmlCharSet kStartNameStops(true, "/>");
constexpr TXmlCharSet kEndNameStops(true, ">");
constexpr TXmlCharSet kAttrNameStops(true, "=>");
constexpr TXmlCharSet kUnquotedValueStops(true, "/>");
constexpr TXmlCharSet kAngles(false, "<>");

// Names and texts are gathered in blocks of this many characters; a name that the input cuts
// off keeps only its completed blocks.
constexpr size_t kBlock = 8191;

inline bool IsSpace(int c) { return c >= 0 && c <= 32; }

}  // namespace

void TXmlReader::Fail(const char* utf8Message) {
    throw EXmlReader(Cp1251(std::string("Ошибка в XML-документе: ") + utf8Message));
}

void TXmlReader::Open(TStream* stream, bool ownsStream) {
    Close();
    Source = std::make_unique<TXmlReaderStream>(stream, ownsStream);
    Ended = Source->Eof();
    Open_.Clear();
    InTag = false;
}

void TXmlReader::Close() {
    Source.reset();
    Ended = true;
    InTag = false;
    Open_.Clear();
}

bool TXmlReader::CollectName(const TXmlCharSet& stops) {
    if (Source->AppendUntilAny(TokenName, stops)) return true;
    TokenName.resize(TokenName.size() - TokenName.size() % kBlock);
    return false;
}

TXmlTokenKind TXmlReader::Next() {
    TokenName.clear();
    TokenData.clear();
    TXmlTokenKind result = xtEndOfInput;
    if (!Ended && !Source->Eof()) {
        TXmlReaderStream& s = *Source;
        if (InTag) {
            result = ReadAttribute();
        } else {
            if (Open_.Count() == 0) s.SkipSpaces();
            const int c = s.Peek();
            if (c == '<') {
                s.Skip();
                if (s.Eof()) Fail("неожидаемое завершение текста");
                result = ReadMarkup();
            } else if (c >= 0) {
                if (Open_.Count() == 0) Fail("текст вне элемента");
                s.AppendUntil(TokenData, '<');
                result = xtText;
            }
        }
    }
    if (result == xtEndOfInput) Ended = true;
    return result;
}

TXmlTokenKind TXmlReader::ReadMarkup() {
    TXmlReaderStream& s = *Source;
    const int d = s.Peek();
    if (d == '!') {
        s.Skip();
        if (s.MatchText("--", true)) return ReadComment();
        if (s.MatchText("[CDATA[", true)) return ReadCDATASection();
        if (s.MatchText("DOCTYPE", true)) return ReadDocumentType();
        Fail("неизвестная специальная инструкция");
    }
    if (d == '/') {
        s.Skip();
        return ReadEndTag();
    }
    if (d == '?') {
        s.Skip();
        return ReadProcessingInstruction();
    }
    return ReadStartTag();
}

TXmlTokenKind TXmlReader::ReadProcessingInstruction() {
    TXmlReaderStream& s = *Source;
    s.SkipSpaces();
    if (CollectName(kPiNameStops) && IsSpace(s.Peek())) s.Skip();
    if (TokenName.empty()) Fail("не задано имя в обрабатывающей инструкции");
    s.SkipSpaces();
    for (;;) {
        if (!s.AppendUntil(TokenData, '>')) Fail("ожидается \"?>\"");
        s.Skip();
        if (!TokenData.empty() && TokenData.back() == '?') {
            TokenData.pop_back();
            return xtProcessingInstruction;
        }
        TokenData += '>';
    }
}

TXmlTokenKind TXmlReader::ReadDocumentType() {
    TXmlReaderStream& s = *Source;
    s.SkipSpaces();
    if (CollectName(kDocTypeNameStops) && IsSpace(s.Peek())) s.Skip();
    if (TokenName.empty()) Fail("не задано имя в типе документа");
    s.SkipSpaces();
    int level = 1;
    for (;;) {
        if (!s.AppendUntilAny(TokenData, kAngles)) Fail("ожидается \">\" для типа документа");
        const char c = static_cast<char>(s.Peek());
        s.Skip();
        level += c == '<' ? 1 : -1;
        if (level == 0) return xtDocumentType;
        TokenData += c;
    }
}

TXmlTokenKind TXmlReader::ReadComment() {
    TXmlReaderStream& s = *Source;
    for (;;) {
        if (!s.AppendUntil(TokenData, '>')) Fail("ожидается \"-->\"");
        s.Skip();
        const size_t n = TokenData.size();
        if (n >= 2 && TokenData[n - 1] == '-' && TokenData[n - 2] == '-') {
            TokenData.resize(n - 2);
            return xtComment;
        }
        TokenData += '>';
    }
}

TXmlTokenKind TXmlReader::ReadCDATASection() {
    TXmlReaderStream& s = *Source;
    for (;;) {
        if (!s.AppendUntil(TokenData, ']')) Fail("ожидается \"]]\"");
        s.Skip();
        if (!TokenData.empty() && TokenData.back() == ']') {
            TokenData.pop_back();
            break;
        }
        TokenData += ']';
    }
    s.SkipSpaces();
    if (s.Peek() != '>') Fail("ожидается \"]]>\"");
    s.Skip();
    return xtCDATASection;
}

TXmlTokenKind TXmlReader::ReadStartTag() {
    TXmlReaderStream& s = *Source;
    s.SkipSpaces();
    bool ended = !CollectName(kStartNameStops);
    if (!ended) {
        int decider = s.Peek();
        if (IsSpace(decider)) {
            s.Skip();
            s.SkipSpaces();
            decider = s.Peek();
            ended = decider < 0;
        }
        if (decider == '>') {
            s.Skip();
            InTag = false;
        } else {
            InTag = true;
        }
    }
    if (ended) Fail("ожидается \">\" для открывающего тэга элемента");
    if (TokenName.empty()) Fail("не задано имя открывающего тэга элемента");
    Open_.Add(TokenName);
    return xtStartTag;
}

TXmlTokenKind TXmlReader::ReadEndTag() {
    TXmlReaderStream& s = *Source;
    s.SkipSpaces();
    int next = -1;
    if (CollectName(kEndNameStops)) {
        next = s.Peek();
        if (IsSpace(next)) {
            s.Skip();
            s.SkipSpaces();
            next = s.Peek();
        }
    }
    if (next != '>') Fail("ожидается \">\" для закрывающего тэга элемента");
    s.Skip();
    const int depth = Open_.Count();
    if (depth == 0 || Open_.Get(depth - 1) != TokenName)
        Fail("несоответствие имени закрывающего тэга имени открывающему");
    Open_.Delete(depth - 1);
    InTag = false;
    return xtEndTag;
}

TXmlTokenKind TXmlReader::ReadAttribute() {
    TXmlReaderStream& s = *Source;
    s.SkipSpaces();
    if (s.Peek() == '/') {
        s.Skip();
        if (s.Eof() || s.Peek() != '>') Fail("ожидается \"/>\"");
        s.Skip();
        const int last = Open_.Count() - 1;
        TokenName = Open_.Get(last);
        Open_.Delete(last);
        InTag = false;
        return xtEndTag;
    }

    if (CollectName(kAttrNameStops)) {
        int next = s.Peek();
        if (IsSpace(next)) {
            s.Skip();
            s.SkipSpaces();
            next = s.Peek();
        }
        if (next >= 0) {
            if (next != '=') Fail("ожидается \"=\" для атрибута элемента");
            s.Skip();
        }
    }
    if (TokenName.empty()) Fail("не задано имя атрибута элемента");
    s.SkipSpaces();
    if (s.Eof()) Fail("не задано значение атрибута элемента");

    const int q = s.Peek();
    bool complete;
    if (q == '"' || q == '\'') {
        s.Skip();
        complete = s.AppendUntil(TokenData, static_cast<char>(q));
        if (complete) s.Skip();
    } else {
        complete = s.AppendUntilAny(TokenData, kUnquotedValueStops);
    }
    int next = complete ? s.Peek() : -1;
    if (IsSpace(next)) {
        s.Skip();
        s.SkipSpaces();
        next = s.Peek();
    }
    if (next < 0) Fail("ожидается атрибут элемента");
    if (next == '>') {
        s.Skip();
        InTag = false;
    }
    return xtAttribute;
}

}  // namespace tessara
