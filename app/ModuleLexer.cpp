#include "app/ModuleLexer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "app/Placeholders.h"
#include "platform/Charset.h"

namespace tessara {
namespace {

// What a byte can begin, as code sees it.
enum TByteClass : uint8_t { kBlank, kLetter, kDigit, kPunctuation };

constexpr std::array<TByteClass, 256> MakeByteClasses() {
    std::array<TByteClass, 256> classes{};
    for (int c = 0; c < 256; ++c) classes[static_cast<size_t>(c)] = kPunctuation;
    // Control bytes (tab, a stray CR) and the no-break space that text copied from elsewhere
    // brings along separate words as a space does.
    for (int c = 0; c <= 0x20; ++c) classes[static_cast<size_t>(c)] = kBlank;
    classes[0x7F] = kBlank;
    classes[0xA0] = kBlank;
    for (int c = '0'; c <= '9'; ++c) classes[static_cast<size_t>(c)] = kDigit;
    for (int c = 'A'; c <= 'Z'; ++c) classes[static_cast<size_t>(c)] = kLetter;
    for (int c = 'a'; c <= 'z'; ++c) classes[static_cast<size_t>(c)] = kLetter;
    classes['_'] = kLetter;
    for (int c = 0xC0; c <= 0xFF; ++c) classes[static_cast<size_t>(c)] = kLetter;  // А..я
    // The code page's other letters: Ё ё and those of the other Cyrillic alphabets.
    for (const int c : {0x80, 0x81, 0x83, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9C, 0x9D, 0x9E, 0x9F,
                        0xA1, 0xA2, 0xA3, 0xA5, 0xA8, 0xAA, 0xAF, 0xB2, 0xB3, 0xB4, 0xB8, 0xBA, 0xBC, 0xBD,
                        0xBE, 0xBF})
        classes[static_cast<size_t>(c)] = kLetter;
    return classes;
}

constexpr std::array<TByteClass, 256> kByteClasses = MakeByteClasses();

TByteClass ClassOf(char c) { return kByteClasses[static_cast<unsigned char>(c)]; }
bool IsWordByte(char c) { return ClassOf(c) == kLetter || ClassOf(c) == kDigit; }


// The keywords of both languages, as the source spells them (UTF-8).
constexpr const char* kKeywords[] = {
    "Процедура", "Функция", "КонецПроцедуры", "КонецФункции", "Перем", "Экспорт", "Знач",
    "Если", "Тогда", "ИначеЕсли", "Иначе", "КонецЕсли", "Для", "Каждого", "Из", "По", "Цикл",
    "КонецЦикла", "Пока", "Возврат", "Продолжить", "Прервать", "Попытка", "Исключение",
    "КонецПопытки", "ВызватьИсключение", "Перейти", "Новый", "И", "ИЛИ", "НЕ", "Истина", "Ложь",
    "Неопределено", "NULL",
    "Procedure", "Function", "EndProcedure", "EndFunction", "Var", "Export", "Val", "If", "Then",
    "ElsIf", "Else", "EndIf", "For", "Each", "In", "To", "Do", "EndDo", "While", "Return",
    "Continue", "Break", "Try", "Except", "EndTry", "Raise", "Goto", "New", "And", "Or", "Not",
    "True", "False", "Undefined",
};

// The longest keyword, in 1251 bytes ("ВызватьИсключение"): a longer word is not looked up.
constexpr size_t kMaxKeywordLength = 17;

// The keywords with small letters in an open-addressed hash table: a word is folded into a
// buffer on the stack as it is hashed, and compared with at most a slot or two.
class TKeywordTable {
public:
    TKeywordTable() {
        for (const char* utf8 : kKeywords) {
            std::string word = Cp1251(utf8);
            if (word.empty() || word.size() > kMaxKeywordLength) throw std::logic_error("keyword too long");
            for (char& c : word) c = static_cast<char>(SmallLetter(static_cast<unsigned char>(c)));
            size_t slot = Hash(word.data(), word.size());
            while (Slots[slot].Length != 0) slot = (slot + 1) % kSlots;
            Slots[slot].Length = static_cast<uint8_t>(word.size());
            std::memcpy(Slots[slot].Text, word.data(), word.size());
        }
    }

    bool Contains(std::string_view word) const {
        if (word.size() > kMaxKeywordLength) return false;
        char small[kMaxKeywordLength];
        for (size_t i = 0; i < word.size(); ++i)
            small[i] = static_cast<char>(SmallLetter(static_cast<unsigned char>(word[i])));
        for (size_t slot = Hash(small, word.size());; slot = (slot + 1) % kSlots) {
            const TSlot& s = Slots[slot];
            if (s.Length == 0) return false;
            if (s.Length == word.size() && std::memcmp(s.Text, small, word.size()) == 0) return true;
        }
    }

private:
    // Nearly four times as many slots as keywords: a miss mostly ends at its first slot, empty.
    static constexpr size_t kSlots = 256;
    static_assert(std::size(kKeywords) * 3 < kSlots);
    struct TSlot {
        uint8_t Length = 0;  // 0: empty
        char Text[kMaxKeywordLength] = {};
    };

    static size_t Hash(const char* text, size_t length) {
        uint32_t h = 2166136261u;  // FNV-1a
        for (size_t i = 0; i < length; ++i) h = (h ^ static_cast<unsigned char>(text[i])) * 16777619u;
        return (h ^ (h >> 16)) % kSlots;
    }

    std::array<TSlot, kSlots> Slots{};
};

const TKeywordTable& Keywords() {
    static const TKeywordTable table;
    return table;
}

size_t SkipBlanks(std::string_view line, size_t at) {
    while (at < line.size() && ClassOf(line[at]) == kBlank) ++at;
    return at;
}

// The cursor marks and placeholders of one line, as the placeholder grammar finds them. The
// platform fills them in before the text is read as code, so each is a token of its own
// wherever it stands (in code, a string, a date, a comment), and nothing inside one (a quote,
// a "//") begins or ends anything around it.
class TLinePlaceholders {
public:
    explicit TLinePlaceholders(std::string_view line) : Line(line) {
        if (line.find("<?") != std::string_view::npos) FindPlaceholders(line, Spans);
    }

    // The end of the placeholder that begins at At, or 0 when none does.
    size_t EndAt(size_t at) const {
        const TPlaceholderSpan* span = EndingAfter(at);
        return span != Spans.data() + Spans.size() && span->Begin == at ? span->End : 0;
    }

    // The first What at or after At that no placeholder holds, or npos.
    size_t Find(std::string_view what, size_t at) const {
        for (;;) {
            const size_t found = Line.find(what, at);
            if (found == std::string_view::npos) return found;
            const TPlaceholderSpan* span = EndingAfter(found);
            if (span == Spans.data() + Spans.size() || span->Begin > found) return found;
            at = span->End;
        }
    }

    // Adds bytes [Begin, End) as a token of Kind, the placeholders among them as their own.
    void Add(size_t begin, size_t end, TTokenKind kind, std::vector<TToken>& out) const {
        const TPlaceholderSpan* last = Spans.data() + Spans.size();
        for (const TPlaceholderSpan* span = EndingAfter(begin); span != last && span->End <= end; ++span) {
            if (span->Begin > begin) out.push_back({begin, span->Begin - begin, kind});
            out.push_back({span->Begin, span->End - span->Begin, TTokenKind::Placeholder});
            begin = span->End;
        }
        if (end > begin) out.push_back({begin, end - begin, kind});
    }

private:
    // The first placeholder that ends after At (the end when none does).
    const TPlaceholderSpan* EndingAfter(size_t at) const {
        return std::upper_bound(Spans.data(), Spans.data() + Spans.size(), at,
                                [](size_t position, const TPlaceholderSpan& span) { return position < span.End; });
    }

    std::string_view Line;
    std::vector<TPlaceholderSpan> Spans;
};

// The end of a string's text from At (just past its opening quote or "|"): past the closing
// quote, or the line's end when the string stays open. "" is a quote inside the string.
size_t StringEnd(std::string_view line, const TLinePlaceholders& placeholders, size_t at, bool& closed) {
    for (;;) {
        const size_t quote = placeholders.Find("\"", at);
        if (quote == std::string_view::npos) {
            closed = false;
            return line.size();
        }
        if (quote + 1 < line.size() && line[quote + 1] == '"') {
            at = quote + 2;
            continue;
        }
        closed = true;
        return quote + 1;
    }
}

// A line whose first byte after blanks (at First) is "#": the preprocessor instruction up to a
// comment after it.
void LexPreprocessorLine(std::string_view line, const TLinePlaceholders& placeholders, size_t first,
                         std::vector<TToken>& out) {
    const size_t comment = placeholders.Find("//", first);
    size_t end = comment == std::string_view::npos ? line.size() : comment;
    while (end > first && ClassOf(line[end - 1]) == kBlank) --end;
    placeholders.Add(first, end, TTokenKind::Preprocessor, out);
    if (comment != std::string_view::npos) placeholders.Add(comment, line.size(), TTokenKind::Comment, out);
}

// Code from At to the line's end; returns the state the next line starts in.
TLexState LexCode(std::string_view line, const TLinePlaceholders& placeholders, size_t at,
                  std::vector<TToken>& out) {
    const TKeywordTable& keywords = Keywords();
    const size_t n = line.size();
    size_t i = at;
    while (i < n) {
        const size_t begin = i;
        const char c = line[i];
        switch (ClassOf(c)) {
        case kBlank:
            ++i;
            continue;
        case kLetter:
            while (++i < n && IsWordByte(line[i])) {
            }
            out.push_back({begin, i - begin,
                           keywords.Contains(line.substr(begin, i - begin)) ? TTokenKind::Keyword
                                                                            : TTokenKind::Identifier});
            continue;
        case kDigit:
            while (++i < n && ClassOf(line[i]) == kDigit) {
            }
            if (i + 1 < n && line[i] == '.' && ClassOf(line[i + 1]) == kDigit)
                while (++i < n && ClassOf(line[i]) == kDigit) {
                }
            out.push_back({begin, i - begin, TTokenKind::Number});
            continue;
        case kPunctuation:
            break;
        }
        TTokenKind kind = TTokenKind::Operator;
        switch (c) {
        case '"': {
            bool closed = false;
            i = StringEnd(line, placeholders, i + 1, closed);
            placeholders.Add(begin, i, TTokenKind::String, out);
            if (!closed) return TLexState::String;
            continue;
        }
        case '\'': {
            const size_t quote = placeholders.Find("'", i + 1);
            i = quote == std::string_view::npos ? n : quote + 1;
            placeholders.Add(begin, i, TTokenKind::Date, out);
            continue;
        }
        case '/':
            if (i + 1 < n && line[i + 1] == '/') {
                placeholders.Add(begin, n, TTokenKind::Comment, out);
                return TLexState::Code;
            }
            ++i;
            break;
        case '<':
            if (const size_t end = placeholders.EndAt(i); end != 0) {
                i = end;
                kind = TTokenKind::Placeholder;
            } else {
                i += i + 1 < n && (line[i + 1] == '>' || line[i + 1] == '=') ? 2 : 1;
            }
            break;
        case '>':
            i += i + 1 < n && line[i + 1] == '=' ? 2 : 1;
            break;
        case '&':
            // A compile directive (&НаКлиенте, &НаСервере...) is coloured as the preprocessor
            // lines are; a lone "&" is punctuation.
            if (i + 1 < n && ClassOf(line[i + 1]) == kLetter) {
                i += 2;
                while (i < n && IsWordByte(line[i])) ++i;
                kind = TTokenKind::Preprocessor;
            } else {
                ++i;
            }
            break;
        default:
            ++i;
            break;
        }
        out.push_back({begin, i - begin, kind});
    }
    return TLexState::Code;
}

constexpr TRgb kPlainText{0, 0, 0};

// Indexed by TTokenKind.
constexpr TRgb kTokenColours[] = {
    {255, 0, 0},   // Keyword: red
    {0, 0, 255},   // Identifier: blue
    {0, 0, 0},     // Number: black
    {0, 0, 0},     // String: black
    {0, 0, 0},     // Date: black
    {0, 128, 0},   // Comment: green
    {150, 75, 0},  // Preprocessor: brown
    {255, 0, 0},   // Operator: red
    {139, 0, 139}, // Placeholder: dark magenta
};
static_assert(std::size(kTokenColours) == static_cast<size_t>(TTokenKind::Placeholder) + 1);

// Adds the colours of a line's tokens, the line at Base in the text, to Runs: a run is begun
// only where the colour changes; the first run of a text begins at its first byte. Runs' lengths
// are set afterwards by CloseRuns.
void AddRuns(const std::vector<TToken>& tokens, size_t base, std::vector<TColourRun>& runs) {
    for (const TToken& token : tokens) {
        const TRgb colour = TokenColour(token.Kind);
        if (runs.empty()) runs.push_back({0, 0, colour});
        else if (!(runs.back().Colour == colour)) runs.push_back({base + token.Begin, 0, colour});
    }
}

// Each run reaches to where the next begins, the last to End; a text of blanks only is one run.
void CloseRuns(std::vector<TColourRun>& runs, size_t end) {
    if (runs.empty() && end != 0) runs.push_back({0, 0, kPlainText});
    for (size_t i = 0; i < runs.size(); ++i)
        runs[i].Length = (i + 1 < runs.size() ? runs[i + 1].Begin : end) - runs[i].Begin;
}

}  // namespace

TLexState LexModuleLine(std::string_view line, TLexState start, std::vector<TToken>& out) {
    out.clear();
    const TLinePlaceholders placeholders(line);
    const size_t first = SkipBlanks(line, 0);
    if (start == TLexState::String) {
        if (first == line.size()) return TLexState::String;
        if (line[first] == '|') {
            bool closed = false;
            const size_t end = StringEnd(line, placeholders, first + 1, closed);
            placeholders.Add(first, end, TTokenKind::String, out);
            if (!closed) return TLexState::String;
            return LexCode(line, placeholders, end, out);
        }
        if (line.substr(first, 2) == "//") {
            placeholders.Add(first, line.size(), TTokenKind::Comment, out);
            return TLexState::String;
        }
        // Any other line: the string was left open, and this line is code.
    }
    if (first < line.size() && line[first] == '#') {
        LexPreprocessorLine(line, placeholders, first, out);
        return TLexState::Code;
    }
    return LexCode(line, placeholders, first, out);
}

TRgb TokenColour(TTokenKind kind) { return kTokenColours[static_cast<size_t>(kind)]; }

TLexState ColourModuleLine(std::string_view line, TLexState start, std::vector<TColourRun>& runs) {
    std::vector<TToken> tokens;
    const TLexState next = LexModuleLine(line, start, tokens);
    runs.clear();
    AddRuns(tokens, 0, runs);
    CloseRuns(runs, line.size());
    return next;
}

TModuleColouring::TModuleColouring() : Starts{TLexState::Code, TLexState::Code} {}

std::vector<TColourRun> TModuleColouring::ColourText(std::string_view text) {
    std::vector<TColourRun> runs;
    Starts.clear();
    TLexState state = TLexState::Code;
    const size_t n = text.size();
    size_t begin = 0;
    for (;;) {
        size_t end = begin;
        while (end < n && text[end] != '\n' && text[end] != '\r') ++end;
        Starts.push_back(state);
        state = LexModuleLine(text.substr(begin, end - begin), state, Tokens);
        AddRuns(Tokens, begin, runs);
        if (end == n) break;
        begin = end + (text[end] == '\r' && end + 1 < n && text[end + 1] == '\n' ? 2 : 1);
    }
    Starts.push_back(state);
    CloseRuns(runs, n);
    return runs;
}

TLineRange TModuleColouring::Edit(size_t first, size_t removed, size_t inserted, const TModuleLineSource& lines) {
    const size_t oldCount = LineCount();
    if (first > oldCount || removed > oldCount - first)
        throw std::out_of_range("TModuleColouring::Edit: lines outside the text");
    if (oldCount - removed + inserted == 0)
        throw std::invalid_argument("TModuleColouring::Edit: a text has at least one line");
    // Line First starts where the line before it ended, which the edit did not touch.
    TLexState state = Starts[first];
    // The lines after the edit move to their new places with their old start states, the
    // state after the last line with them; the inserted lines' places are filled below.
    if (inserted > removed)
        Starts.insert(Starts.begin() + static_cast<std::ptrdiff_t>(first), inserted - removed, TLexState::Code);
    else
        Starts.erase(Starts.begin() + static_cast<std::ptrdiff_t>(first),
                     Starts.begin() + static_cast<std::ptrdiff_t>(first + removed - inserted));
    const size_t count = LineCount();
    size_t line = first;
    for (; line < first + inserted; ++line) {
        Starts[line] = state;
        state = LexModuleLine(lines(line), state, Tokens);
    }
    // From here on a line that starts as it did before keeps the colours it had, and so do
    // all after it.
    for (; line < count && Starts[line] != state; ++line) {
        Starts[line] = state;
        state = LexModuleLine(lines(line), state, Tokens);
    }
    if (line == count) Starts[count] = state;
    return {first, line};
}

}  // namespace tessara
