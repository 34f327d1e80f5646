#include "app/EditorText.h"

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

#include "platform/Charset.h"

namespace tessara {
namespace {

// Every UTF-16 unit as one Windows-1251 byte: the code page's own characters as themselves,
// all others (surrogates too) as '?'.
const std::array<char, 0x10000>& UnitBytes() {
    static const std::unique_ptr<std::array<char, 0x10000>> table = [] {
        auto bytes = std::make_unique<std::array<char, 0x10000>>();
        bytes->fill('?');
        for (int b = 0; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            (*bytes)[Cp1251ToUtf16(byte).at(0)] = static_cast<char>(b);
        }
        return bytes;
    }();
    return *table;
}

// A letter as Find compares it: Latin and Cyrillic capitals (Ё and the other Cyrillic letters
// of U+0400..U+040F too) made small.
char16_t Folded(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
    return c;
}

bool MatchesAt(std::u16string_view text, size_t at, std::u16string_view what) {
    for (size_t i = 0; i < what.size(); ++i)
        if (Folded(text[at + i]) != what[i]) return false;
    return true;
}

}  // namespace

TEditorText::TEditorText() : Starts{0} {}

std::u16string TEditorText::FromModule(std::string_view module) {
    const std::u16string wide = Cp1251ToUtf16(module);
    std::u16string text;
    text.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        if (c == u'\r' && i + 1 < wide.size() && wide[i + 1] == u'\n') continue;  // its LF ends the line
        text += c == u'\n' ? u'\r' : c;
    }
    return text;
}

std::string TEditorText::ToModule(size_t* replaced) const {
    std::u16string text;
    text.reserve(Chars.size() + Starts.size());
    for (const char16_t c : Chars) {
        text += c;
        if (c == u'\r') text += u'\n';
    }
    return Utf16ToCp1251(text, replaced);
}

void TEditorText::Assign(std::u16string text) {
    Chars = std::move(text);
    Starts.assign(1, 0);
    for (size_t i = 0; i < Chars.size(); ++i)
        if (Chars[i] == u'\r') Starts.push_back(i + 1);
}

TLineEdit TEditorText::Replace(size_t begin, size_t end, std::u16string_view inserted) {
    if (begin > end || end > Chars.size()) throw std::out_of_range("TEditorText::Replace: outside the text");
    const size_t first = LineOf(begin), last = LineOf(end);
    // The starts of the lines after the first one up to the last go; a line break inserted
    // begins a line after it; the lines after the edit move by the change of length.
    std::vector<size_t> added;
    for (size_t i = 0; i < inserted.size(); ++i)
        if (inserted[i] == u'\r') added.push_back(begin + i + 1);
    const auto from = Starts.begin() + static_cast<std::ptrdiff_t>(first + 1);
    const auto to = Starts.begin() + static_cast<std::ptrdiff_t>(last + 1);
    const auto after = Starts.insert(Starts.erase(from, to), added.begin(), added.end()) +
                       static_cast<std::ptrdiff_t>(added.size());
    const size_t removedLength = end - begin;
    for (auto line = after; line != Starts.end(); ++line) *line = *line - removedLength + inserted.size();
    Chars.replace(begin, removedLength, inserted);
    return {first, last - first + 1, added.size() + 1};
}

TTextChange TEditorText::Difference(std::u16string_view before, std::u16string_view after) {
    const size_t shorter = std::min(before.size(), after.size());
    size_t prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return {prefix, std::u16string(before.substr(prefix, before.size() - prefix - suffix)),
            std::u16string(after.substr(prefix, after.size() - prefix - suffix))};
}

std::u16string_view TEditorText::Line(size_t line) const {
    const size_t begin = Starts.at(line);
    const size_t end = line + 1 < Starts.size() ? Starts[line + 1] - 1 : Chars.size();
    return std::u16string_view(Chars).substr(begin, end - begin);
}

size_t TEditorText::LineOf(size_t position) const {
    return static_cast<size_t>(std::upper_bound(Starts.begin(), Starts.end(), position) - Starts.begin()) - 1;
}

std::string_view TEditorText::LineBytes(size_t line) const {
    const std::u16string_view text = Line(line);
    const std::array<char, 0x10000>& table = UnitBytes();
    Bytes.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) Bytes[i] = table[text[i]];
    return Bytes;
}

std::optional<size_t> TEditorText::Find(std::u16string_view what, size_t from, bool down) const {
    if (what.empty() || what.size() > Chars.size()) return std::nullopt;
    std::u16string folded(what);
    for (char16_t& c : folded) c = Folded(c);
    const size_t last = Chars.size() - what.size();  // the last place a match can begin
    from = std::min(from, Chars.size());
    if (down) {
        for (size_t at = from; at <= last; ++at)
            if (MatchesAt(Chars, at, folded)) return at;
        for (size_t at = 0; at < std::min(from, last + 1); ++at)
            if (MatchesAt(Chars, at, folded)) return at;
        return std::nullopt;
    }
    // Up: the nearest match that begins before From, then round from the text's end.
    const size_t before = std::min(from, last + 1);
    for (size_t at = before; at-- > 0;)
        if (MatchesAt(Chars, at, folded)) return at;
    for (size_t at = last + 1; at-- > before;)
        if (MatchesAt(Chars, at, folded)) return at;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// TEditorUndo

bool TEditorUndo::Joins(const TTextChange& change) const {
    if (Sealed || Done.empty()) return false;
    const TTextChange& last = Done.back();
    // A character typed where the characters typed before it end.
    if (change.Removed.empty() && change.Inserted.size() == 1)
        return Typing && change.Begin == last.Begin + last.Inserted.size();
    // A character deleted before (Backspace) or after (Delete) those deleted before it.
    if (change.Inserted.empty() && change.Removed.size() == 1)
        return Deleting && (change.Begin + 1 == last.Begin || change.Begin == last.Begin);
    return false;
}

void TEditorUndo::Record(TTextChange change) {
    Undone.clear();
    if (Joins(change)) {
        TTextChange& last = Done.back();
        if (!change.Inserted.empty()) {
            last.Inserted += change.Inserted;
        } else if (change.Begin < last.Begin) {
            last.Begin = change.Begin;
            last.Removed.insert(0, change.Removed);
        } else {
            last.Removed += change.Removed;
        }
        return;
    }
    // Typing goes on from a character typed, also over a selection it replaced; deleting from
    // one character deleted.
    Typing = change.Inserted.size() == 1;
    Deleting = change.Inserted.empty() && change.Removed.size() == 1;
    Done.push_back(std::move(change));
    if (Done.size() > kMaxSteps) Done.pop_front();
    Sealed = false;
}

void TEditorUndo::Clear() noexcept {
    Done.clear();
    Undone.clear();
    Sealed = true;
}

std::optional<TTextChange> TEditorUndo::Undo() {
    if (Done.empty()) return std::nullopt;
    TTextChange step = std::move(Done.back());
    Done.pop_back();
    Sealed = true;
    TTextChange back{step.Begin, step.Inserted, step.Removed};
    Undone.push_back(std::move(step));
    return back;
}

std::optional<TTextChange> TEditorUndo::Redo() {
    if (Undone.empty()) return std::nullopt;
    TTextChange step = std::move(Undone.back());
    Undone.pop_back();
    Sealed = true;
    Done.push_back(step);
    return step;
}

}  // namespace tessara
