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

namespace {

// The shape of every run scanner: the bytes given back are taken first, one at a time, then the
// buffer a block at a time. IsStop tells a byte that ends the run; Find returns the first such
// byte of a block, or its end. The run is consumed (and appended to Out when there is one); the
// stopping byte stays unread. False when the input ends first.
template <class IsStop, class Find>
bool ScanRun(std::string& back, TTextReader& r, std::string* out, IsStop isStop, Find find) {
    while (!back.empty()) {
        const char c = back.back();
        if (isStop(c)) return true;
        if (out != nullptr) *out += c;
        back.pop_back();
    }
    while (!r.Eof()) {
        const char* p = r.Cursor();
        const char* e = r.End();
        const char* q = find(p, e);
        const auto n = static_cast<size_t>(q - p);
        if (out != nullptr) out->append(p, n);
        r.Advance(n);
        if (q != e) return true;
    }
    return false;
}

// Find for a stop test that has no faster search.
template <class IsStop>
auto FindBy(IsStop isStop) {
    return [isStop](const char* p, const char* e) {
        while (p != e && !isStop(*p)) ++p;
        return p;
    };
}

}  // namespace

void TXmlReaderStream::SkipSpaces() {
    const auto isStop = [](char c) { return static_cast<unsigned char>(c) > 32; };
    ScanRun(Back, *Buffered, nullptr, isStop, FindBy(isStop));
}

bool TXmlReaderStream::AppendUntil(std::string& out, char stop) {
    const auto isStop = [stop](char c) { return c == stop; };
    const auto find = [stop](const char* p, const char* e) {
        const char* hit = FindByte(p, stop, static_cast<size_t>(e - p));
        return hit != nullptr ? hit : e;
    };
    return ScanRun(Back, *Buffered, &out, isStop, find);
}

bool TXmlReaderStream::AppendUntilAny(std::string& out, const TXmlCharSet& stops) {
    const auto isStop = [&stops](char c) { return stops.Has(c); };
    return ScanRun(Back, *Buffered, &out, isStop, FindBy(isStop));
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
