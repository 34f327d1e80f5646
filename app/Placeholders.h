// Placeholders in a template's module text, written as the platform's own text templates
// write them, so that a template made for the platform works here too:
//
//   <?>                                a cursor mark: dropped when the text is copied
//   <?"Prompt">                        a text the user types
//   <?"Prompt", Kind, "Arg", ...>      a value of a kind: ВыборВарианта (the args are pairs of
//                                      a label and the text it inserts), ДатаВремя (a date and
//                                      time, offered as now), or any other word (a text)
//
// Inside a quoted string "" stands for one ". Blanks (spaces and tabs) may stand around the
// commas and before the ">". A placeholder is written on one line: a line break anywhere in
// it, inside a string too, leaves it plain text, so a broken one never swallows the lines
// after it. The kind is a word of Latin and Cyrillic letters, digits and "_", compared
// without regard to case. Whatever does not follow these rules is plain text, never an
// error: the scan goes on right after a "<?" that begins nothing, so a placeholder written
// inside a broken one is still found, while a "<?>" inside a placeholder's string is part of
// the string.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessara {

enum class TPartType { Text, CursorMark, Placeholder };

// A span of the module text. Text parts are the longest runs between marks and placeholders
// (never empty); the parts cover the text in order.
struct TModulePart {
    TPartType Type = TPartType::Text;
    size_t Begin = 0, End = 0;  // bytes of the module text, End past the last
    // A placeholder's strings with each "" made one ", and its kind as written (empty when
    // it names none).
    std::string Prompt, Kind;
    std::vector<std::string> Args;
};

// Takes linear time, however the text is broken.
std::vector<TModulePart> ParseModuleText(std::string_view module);
// Where the cursor marks and placeholders of a text lie, exactly as ParseModuleText finds
// them, without taking their strings apart: what the module editor colours a line at a time.
struct TPlaceholderSpan {
    size_t Begin = 0, End = 0;  // End past the ">"
    friend bool operator==(const TPlaceholderSpan&, const TPlaceholderSpan&) = default;
};
// Replaces Spans' contents with them, in order; linear as ParseModuleText is.
void FindPlaceholders(std::string_view text, std::vector<TPlaceholderSpan>& spans);
// True when the text holds a placeholder, that is when a copy has something to ask. Cursor
// marks alone ask nothing; FillPlaceholders with no fields still drops them.
bool HasPlaceholders(std::string_view module);

// A moment as the caller's clock gives it (local time), so that the values offered do not
// depend on when they are computed.
struct TDateTime {
    int Year = 1, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
};
// "ДД.ММ.ГГГГ ЧЧ:ММ:СС", as the platform writes a date.
std::string FormatDateTime(const TDateTime& moment);

enum class TFieldType { Text, Choice, DateTime };

struct TChoiceOption {
    std::string Label, Insert;
};

// What the user gave a field: the text typed (Text, DateTime) or the option chosen (Choice).
struct TFieldValue {
    std::string Text;
    size_t Choice = 0;
};

// One value the copy asks for.
struct TPlaceholderField {
    TFieldType Type = TFieldType::Text;
    // The prompt; for a kind other than the known ones the prompt and the kind in
    // parentheses. An empty prompt shows the kind, or "Значение" when there is none.
    std::string Label;
    std::string Prompt, Kind;  // of its first placeholder, the kind as written there
    std::vector<TChoiceOption> Options;  // Choice only
    TFieldValue Initial;                 // DateTime: now; Choice: the first option
    std::vector<size_t> Parts;           // the placeholders it fills, as positions in the parts
};

// The fields for the placeholders of Parts, in the order of their first placeholders.
// Placeholders with the same prompt and the same kind (compared without regard to case)
// share one field; a choice shares it only with choices of the same options, so that one
// answer never stands for two different lists. A choice's last label without an insert text
// inserts itself; a choice without any option asks for a text.
std::vector<TPlaceholderField> PlaceholderFields(const std::vector<TModulePart>& parts,
                                                 const TDateTime& now);

// The module text with every placeholder replaced by its field's value (for a choice the
// chosen option's insert text, nothing for an index past the options) and every cursor mark
// dropped; all other bytes stay as they are. Values go with Fields by position; a field
// without one gets its initial value, and a placeholder no field fills stays as written.
std::string FillPlaceholders(std::string_view module, const std::vector<TModulePart>& parts,
                             const std::vector<TPlaceholderField>& fields,
                             const std::vector<TFieldValue>& values);

// The labels of the module text's fields, each once, joined with ", "; empty when it has
// none. The preview shows them after its "Подстановки: ".
std::string PlaceholderPrompts(std::string_view module);

}  // namespace tessara
