// The module editor's text as its editing control holds it: UTF-16 (so that a character the
// template's code page lacks stays itself until a save asks about it), each line break one
// '\r' as the control counts it, with the place where each line starts. The edits the control
// reports are applied here, so that colouring, the status line, undo and the save never read
// the whole text back from the control. Positions are the control's: characters from the
// text's start, a line break one character.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessara {

// Lines [First, First + Removed) of the text replaced by Inserted new lines.
struct TLineEdit {
    size_t First = 0, Removed = 0, Inserted = 0;
    friend bool operator==(const TLineEdit&, const TLineEdit&) = default;
};

// One edit of the text: Removed, which began at Begin, replaced by Inserted.
struct TTextChange {
    size_t Begin = 0;
    std::u16string Removed, Inserted;
    friend bool operator==(const TTextChange&, const TTextChange&) = default;
};

class TEditorText {
public:
    // An empty text: one empty line.
    TEditorText();

    // A template's module text (Windows-1251; line breaks CR LF, a lone LF or a lone CR) as
    // the editor shows it: UTF-16, each line break one '\r'.
    static std::u16string FromModule(std::string_view module);
    // The text as a module text is kept: line breaks CR LF, in Windows-1251, every character
    // the code page lacks replaced by '?'; Replaced, when given, receives how many were.
    std::string ToModule(size_t* replaced = nullptr) const;

    void Assign(std::u16string text);
    // Replaces characters [Begin, End) with Inserted; throws std::out_of_range when they are
    // not all in the text.
    TLineEdit Replace(size_t begin, size_t end, std::u16string_view inserted);
    // The smallest change (one span, from the first character that differs to the last) that
    // turns Before into After.
    static TTextChange Difference(std::u16string_view before, std::u16string_view after);

    const std::u16string& Text() const noexcept { return Chars; }
    size_t Length() const noexcept { return Chars.size(); }
    size_t LineCount() const noexcept { return Starts.size(); }
    size_t LineStart(size_t line) const { return Starts.at(line); }
    // A line without its line break.
    std::u16string_view Line(size_t line) const;
    // The line that holds the character at Position (the last line for the text's end).
    size_t LineOf(size_t position) const;
    // A line as the module lexer reads it: one Windows-1251 byte per character ('?' for one
    // the code page lacks), so that offsets in it are the line's columns. Valid until the
    // next call.
    std::string_view LineBytes(size_t line) const;

    // Where What is found next, its letters compared without regard to case: beginning at
    // From or after it (Down) or before it, going round the text's end; nothing when it is
    // not in the text (or is empty).
    std::optional<size_t> Find(std::u16string_view what, size_t from, bool down) const;

private:
    std::u16string Chars;
    std::vector<size_t> Starts;  // each line's first character
    mutable std::string Bytes;   // LineBytes' buffer
};

// The editor's own undo and redo. Edits recorded one after the other join into one step the
// way typing does: characters typed one after another, and characters deleted one after
// another with Backspace or Delete, undo together, until Seal.
class TEditorUndo {
public:
    void Record(TTextChange change);
    // No later edit joins the steps recorded so far (the text was saved, or undone).
    void Seal() noexcept { Sealed = true; }
    void Clear() noexcept;
    bool CanUndo() const noexcept { return !Done.empty(); }
    bool CanRedo() const noexcept { return !Undone.empty(); }
    // The change that takes the last step back (its Removed is what the text holds now);
    // nothing when there is none.
    std::optional<TTextChange> Undo();
    // The change that makes the step taken back last again; nothing when there is none.
    std::optional<TTextChange> Redo();

    // Steps kept; the oldest go first.
    static constexpr size_t kMaxSteps = 1000;

private:
    bool Joins(const TTextChange& change) const;

    std::deque<TTextChange> Done;
    std::vector<TTextChange> Undone;
    bool Sealed = true;
    // The last step was begun by a character typed (also over a selection), or by one
    // deleted: what may join it.
    bool Typing = false, Deleting = false;
};

}  // namespace tessara
