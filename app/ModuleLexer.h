// The colours of a template's module text as the module editor paints them: a lexer of the
// platform's module language that works a line at a time, each line starting in the state the
// line before it ended in, so that a keystroke only relexes the lines whose colours it can
// change. The text is Windows-1251 bytes; a line ends at CR LF, a lone LF or a lone CR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace tessara {

enum class TTokenKind : uint8_t {
    Keyword,       // Если, КонецЦикла, Истина, NULL, EndDo... in either language, any case
    Identifier,    // a letter or "_", then letters, digits and "_"
    Number,        // digits, with at most one decimal point followed by a digit
    String,        // "...", with "" for a quote; a line of a continued string from its "|"
    Date,          // '...' on one line
    Comment,       // from // to the line end
    Preprocessor,  // a line that begins with "#" (up to a comment after it), and "&Word"
    Operator,      // operators and punctuation, and any other byte code does not use
    Placeholder,   // a template's placeholder <?"...">, or cursor mark <?>, wherever it stands
};

// Where the line before left off: in code, or inside a string that was open at its end.
enum class TLexState : uint8_t { Code, String };

// Blanks (spaces, tabs, the no-break space, control bytes) are no token.
struct TToken {
    size_t Begin = 0, Length = 0;  // in the line
    TTokenKind Kind = TTokenKind::Operator;
    friend bool operator==(const TToken&, const TToken&) = default;
};

// Replaces Out's contents with the tokens of Line (without its line break), in order, and
// returns the state the next line starts in.
//
// A string open at a line's end goes on in the next lines that begin (after blanks) with "|":
// each of them is string from its "|" up to the closing quote. A line of only blanks, or one
// that begins with "//", keeps the string open (a line of the text in the string commented
// out); any other line ends the string state and is lexed as code.
TLexState LexModuleLine(std::string_view line, TLexState start, std::vector<TToken>& out);

// A colour, three bytes; the Win32 shell turns it into its own numbers.
struct TRgb {
    uint8_t Red = 0, Green = 0, Blue = 0;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};

// Every kind's colour, from one table; blanks take the colour of the run they fall in.
TRgb TokenColour(TTokenKind kind);

// Bytes [Begin, Begin + Length) painted in Colour.
struct TColourRun {
    size_t Begin = 0, Length = 0;
    TRgb Colour;
    friend bool operator==(const TColourRun&, const TColourRun&) = default;
};

// Replaces Runs' contents with the colours of Line: runs that cover it from its first byte to
// its last, each as long as the colour stays the same (blanks go with the run before them,
// leading blanks with the first run; a line of blanks only is one run of the plain text's
// black).
// Returns the state the next line starts in.
TLexState ColourModuleLine(std::string_view line, TLexState start, std::vector<TColourRun>& runs);

// Lines [First, End).
struct TLineRange {
    size_t First = 0, End = 0;
    friend bool operator==(const TLineRange&, const TLineRange&) = default;
};

// One line of the text (without its line break), by index; the bytes need only stay valid
// until the next call.
using TModuleLineSource = std::function<std::string_view(size_t line)>;

// The colours of a whole module text while it is edited: the state each line starts in, so
// that after an edit only the lines from the edit up to where the states agree again are
// lexed and repainted.
class TModuleColouring {
public:
    // An empty text: one empty line.
    TModuleColouring();

    // Lexes the whole text and keeps each line's start state. The colour runs cover the text
    // from its first byte to its last (offsets in Text; the line breaks go with the run before
    // them), as few as the colours allow: for the first paint.
    std::vector<TColourRun> ColourText(std::string_view text);

    // After lines [First, First + Removed) of the text were replaced by Inserted new lines
    // (Lines gives the lines of the new text): relexes the new lines and those after them up to
    // the first whose start state is the one it had before the edit, and returns the lines of
    // the new text whose colours must be repainted. Throws std::out_of_range when the replaced
    // lines are not all in the text, std::invalid_argument when the text would have no line
    // left (an empty text is one empty line).
    TLineRange Edit(size_t first, size_t removed, size_t inserted, const TModuleLineSource& lines);

    size_t LineCount() const noexcept { return Starts.size() - 1; }
    // The state Line starts in; at LineCount(), the state after the last line.
    TLexState LineState(size_t line) const { return Starts.at(line); }

private:
    // Each line's start state, then the state after the last line.
    std::vector<TLexState> Starts;
    std::vector<TToken> Tokens;  // kept between lines so that lexing one does not allocate
};

}  // namespace tessara
