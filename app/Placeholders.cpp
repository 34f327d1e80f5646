#include "app/Placeholders.h"

#include <array>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "app/Texts.h"
#include "platform/Charset.h"

namespace tessara {
namespace {

// The kinds the copy knows, as the platform spells them (compared without regard to case).
const std::string& ChoiceKind() {
    static const std::string kind = Cp1251(u8"ВыборВарианта");
    return kind;
}
const std::string& DateTimeKind() {
    static const std::string kind = Cp1251(u8"ДатаВремя");
    return kind;
}

// Per 1251 byte: whether it may stand in a kind's word (a letter of the code page, a digit or
// "_"). The letters are those the code page pairs in capital and small.
const std::array<bool, 256>& WordBytes() {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> word{};
        for (size_t c = 0; c < 256; ++c) {
            const unsigned char small = SmallLetter(static_cast<unsigned char>(c));
            if (small != c) word[c] = word[small] = true;
        }
        for (size_t c = '0'; c <= '9'; ++c) word[c] = true;
        word['_'] = true;
        return word;
    }();
    return table;
}

bool IsWordByte(char c) { return WordBytes()[static_cast<unsigned char>(c)]; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

std::string SmallWord(std::string_view word) {
    std::string small(word);
    for (char& c : small) c = static_cast<char>(SmallLetter(static_cast<unsigned char>(c)));
    return small;
}

struct TSpan {
    size_t Begin = 0, End = 0;
};

// Finds the cursor marks and placeholders of a module text one after another.
//
// A "<?" that begins nothing is passed over by its two bytes only, so a placeholder inside
// the bytes a broken one was read over is still found. That stays linear: a "<?" met while
// an earlier reading would still go on lies inside one of that reading's strings (a "<"
// anywhere else ends it), and its own opening quote puts the two out of step: from there on,
// at each byte exactly one of them is inside a string, since a run of quotes is read in
// pairs from ends one quote apart. So at most one earlier reading goes on past a "<?", and no
// byte is read by more than two readings.
class TScanner {
public:
    explicit TScanner(std::string_view module) : Module(module) {}

    // Finds the next mark or placeholder; false when there is none.
    bool Next() {
        const size_t n = Module.size();
        while (Pos < n) {
            const size_t at = Module.find("<?", Pos);
            if (at == std::string_view::npos) break;
            Pos = at + 2;
            if (Pos < n && Module[Pos] == '>') {
                Begin = at;
                End = Pos + 1;
                Cursor = true;
                Pos = End;
                return true;
            }
            if (Pos < n && Module[Pos] == '"' && ReadPlaceholder(Pos)) {
                Begin = at;
                Cursor = false;
                Pos = End;
                return true;
            }
        }
        Pos = n;
        return false;
    }

    // Found by the last Next: where it lies, and for a placeholder where its kind and its
    // strings (the prompt, then the args; without the quotes) lie.
    size_t Begin = 0, End = 0;
    bool Cursor = false;
    TSpan Kind;
    std::vector<TSpan> Strings;

    std::string Decoded(TSpan span) const {
        std::string text;
        text.reserve(span.End - span.Begin);
        for (size_t i = span.Begin; i < span.End; ++i) {
            text += Module[i];
            if (Module[i] == '"') ++i;  // the second quote of a pair
        }
        return text;
    }

private:
    // A placeholder whose prompt opens at I; sets End past its ">".
    bool ReadPlaceholder(size_t i) {
        const size_t n = Module.size();
        Strings.clear();
        Kind = TSpan{};
        if (!ReadString(i)) return false;
        SkipBlanks(i);
        if (i < n && Module[i] == ',') {
            SkipBlanks(++i);
            Kind.Begin = i;
            while (i < n && IsWordByte(Module[i])) ++i;
            Kind.End = i;
            if (Kind.End == Kind.Begin) return false;
            SkipBlanks(i);
            while (i < n && Module[i] == ',') {
                SkipBlanks(++i);
                if (i == n || Module[i] != '"' || !ReadString(i)) return false;
                SkipBlanks(i);
            }
        }
        if (i == n || Module[i] != '>') return false;
        End = i + 1;
        return true;
    }

    // A quoted string opening at I, on one line; I goes past its closing quote.
    bool ReadString(size_t& i) {
        const size_t n = Module.size();
        const size_t begin = ++i;
        for (; i < n && !IsLineBreak(Module[i]); ++i) {
            if (Module[i] != '"') continue;
            if (i + 1 < n && Module[i + 1] == '"') {
                ++i;
                continue;
            }
            Strings.push_back({begin, i});
            ++i;
            return true;
        }
        return false;
    }

    void SkipBlanks(size_t& i) const {
        while (i < Module.size() && IsBlank(Module[i])) ++i;
    }

    std::string_view Module;
    size_t Pos = 0;
};

void AppendNumber(std::string& out, int value, size_t digits) {
    const std::string number = std::to_string(value);
    if (number.size() < digits) out.append(digits - number.size(), '0');
    out += number;
}

// Which placeholders share a field: the prompt, the kind with its letters made small, and
// for a choice its options.
using TFieldKey = std::tuple<std::string, std::string, std::vector<std::string>>;

}  // namespace

std::vector<TModulePart> ParseModuleText(std::string_view module) {
    std::vector<TModulePart> parts;
    TScanner scanner(module);
    size_t text = 0;  // where the text after the last mark or placeholder begins
    while (scanner.Next()) {
        if (scanner.Begin > text) parts.push_back({TPartType::Text, text, scanner.Begin, {}, {}, {}});
        TModulePart part{TPartType::CursorMark, scanner.Begin, scanner.End, {}, {}, {}};
        if (!scanner.Cursor) {
            part.Type = TPartType::Placeholder;
            part.Prompt = scanner.Decoded(scanner.Strings.front());
            part.Kind = std::string(module.substr(scanner.Kind.Begin, scanner.Kind.End - scanner.Kind.Begin));
            for (size_t i = 1; i < scanner.Strings.size(); ++i)
                part.Args.push_back(scanner.Decoded(scanner.Strings[i]));
        }
        parts.push_back(std::move(part));
        text = scanner.End;
    }
    if (module.size() > text) parts.push_back({TPartType::Text, text, module.size(), {}, {}, {}});
    return parts;
}

void FindPlaceholders(std::string_view text, std::vector<TPlaceholderSpan>& spans) {
    spans.clear();
    TScanner scanner(text);
    while (scanner.Next()) spans.push_back({scanner.Begin, scanner.End});
}

bool HasPlaceholders(std::string_view module) {
    TScanner scanner(module);
    while (scanner.Next())
        if (!scanner.Cursor) return true;
    return false;
}

std::string FormatDateTime(const TDateTime& moment) {
    std::string text;
    AppendNumber(text, moment.Day, 2);
    text += '.';
    AppendNumber(text, moment.Month, 2);
    text += '.';
    AppendNumber(text, moment.Year, 4);
    text += ' ';
    AppendNumber(text, moment.Hour, 2);
    text += ':';
    AppendNumber(text, moment.Minute, 2);
    text += ':';
    AppendNumber(text, moment.Second, 2);
    return text;
}

std::vector<TPlaceholderField> PlaceholderFields(const std::vector<TModulePart>& parts,
                                                 const TDateTime& now) {
    const std::string choiceKind = SmallWord(ChoiceKind());
    const std::string dateTimeKind = SmallWord(DateTimeKind());
    std::vector<TPlaceholderField> fields;
    std::map<TFieldKey, size_t> known;  // field positions
    for (size_t i = 0; i < parts.size(); ++i) {
        const TModulePart& part = parts[i];
        if (part.Type != TPartType::Placeholder) continue;
        const std::string kind = SmallWord(part.Kind);
        const bool choice = kind == choiceKind;
        TFieldKey key{part.Prompt, kind, choice ? part.Args : std::vector<std::string>()};
        const auto [at, added] = known.try_emplace(std::move(key), fields.size());
        if (!added) {
            fields[at->second].Parts.push_back(i);
            continue;
        }
        TPlaceholderField field;
        field.Prompt = part.Prompt;
        field.Kind = part.Kind;
        field.Parts.push_back(i);
        const bool knownKind = choice || kind == dateTimeKind;
        if (!part.Prompt.empty())
            field.Label = knownKind || part.Kind.empty() ? part.Prompt : part.Prompt + " (" + part.Kind + ")";
        else
            field.Label = part.Kind.empty() ? Texts().PlaceholderValueLabel : part.Kind;
        if (choice && !part.Args.empty()) {
            field.Type = TFieldType::Choice;
            for (size_t a = 0; a < part.Args.size(); a += 2) {
                const std::string& label = part.Args[a];
                field.Options.push_back({label, a + 1 < part.Args.size() ? part.Args[a + 1] : label});
            }
        } else if (kind == dateTimeKind) {
            field.Type = TFieldType::DateTime;
            field.Initial.Text = FormatDateTime(now);
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

std::string FillPlaceholders(std::string_view module, const std::vector<TModulePart>& parts,
                             const std::vector<TPlaceholderField>& fields,
                             const std::vector<TFieldValue>& values) {
    static const std::string nothing;
    // Per part, the text that replaces it.
    std::vector<const std::string*> inserts(parts.size(), nullptr);
    for (size_t f = 0; f < fields.size(); ++f) {
        const TPlaceholderField& field = fields[f];
        const TFieldValue& value = f < values.size() ? values[f] : field.Initial;
        const std::string* insert = &value.Text;
        if (field.Type == TFieldType::Choice)
            insert = value.Choice < field.Options.size() ? &field.Options[value.Choice].Insert : &nothing;
        for (const size_t p : field.Parts)
            if (p < parts.size()) inserts[p] = insert;
    }
    std::string out;
    out.reserve(module.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        const TModulePart& part = parts[i];
        if (part.Type == TPartType::CursorMark) continue;
        if (part.Type == TPartType::Placeholder && inserts[i] != nullptr)
            out += *inserts[i];
        else
            out.append(module.substr(part.Begin, part.End - part.Begin));
    }
    return out;
}

std::string PlaceholderPrompts(std::string_view module) {
    std::string prompts;
    std::set<std::string> shown;
    for (const TPlaceholderField& field : PlaceholderFields(ParseModuleText(module), TDateTime{})) {
        if (!shown.insert(field.Label).second) continue;
        if (!prompts.empty()) prompts += ", ";
        prompts += field.Label;
    }
    return prompts;
}

}  // namespace tessara
