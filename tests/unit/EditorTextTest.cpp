// The module editor's text: edits and the lines they change, the module text's line breaks
// and code page both ways, the difference of two texts, finding, and how undo joins edits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/EditorText.h"
#include "platform/Charset.h"

namespace tessara {
namespace {

// UTF-8 test texts to the editor's UTF-16 and back; "|" stands for the control's line break.
std::u16string U(std::string_view utf8) {
    std::u16string text = Cp1251ToUtf16(Cp1251(utf8));
    for (char16_t& c : text)
        if (c == u'|') c = u'\r';
    return text;
}
std::string Utf8(std::u16string_view text) {
    std::string out = Cp1251ToUtf8(Utf16ToCp1251(text));
    for (char& c : out)
        if (c == '\r') c = '|';
    return out;
}

std::vector<std::string> Lines(const TEditorText& text) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < text.LineCount(); ++i) {
        EXPECT_EQ(text.LineOf(text.LineStart(i)), i);
        lines.push_back(Utf8(text.Line(i)));
    }
    return lines;
}

TEST(EditorText, AnEditReplacesItsCharactersAndTellsWhichLinesItChanged) {
    struct Case {
        const char* Before;
        size_t Begin, End;
        const char* Inserted;
        std::vector<std::string> After;
        TLineEdit Lines;
    };
    const Case cases[] = {
        {"", 0, 0, "а", {"а"}, {0, 1, 1}},
        {"Если|Тогда", 4, 4, "Б", {"ЕслиБ", "Тогда"}, {0, 1, 1}},
        {"Если|Тогда", 5, 5, "|", {"Если", "", "Тогда"}, {1, 1, 2}},
        {"Если|Тогда", 4, 5, "", {"ЕслиТогда"}, {0, 2, 1}},           // two lines joined
        {"а|б|в|г", 1, 4, "x|y", {"аx", "yв", "г"}, {0, 3, 2}},
        {"а|б|в", 0, 5, "", {""}, {0, 3, 1}},                       // everything deleted
        {"а|б", 3, 3, "|в|", {"а", "б", "в", ""}, {1, 1, 3}},        // lines added at the end
        {"аб|в", 2, 2, "", {"аб", "в"}, {0, 1, 1}},                 // at a line's end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Before) + " " + c.Inserted);
        TEditorText text;
        text.Assign(U(c.Before));
        EXPECT_EQ(text.Replace(c.Begin, c.End, U(c.Inserted)), c.Lines);
        EXPECT_EQ(Lines(text), c.After);
        // The lines as a fresh reading of the same text has them.
        TEditorText fresh;
        fresh.Assign(text.Text());
        EXPECT_EQ(Lines(fresh), c.After);
    }
    TEditorText text;
    text.Assign(U("аб"));
    EXPECT_THROW(text.Replace(1, 3, u""), std::out_of_range);
    EXPECT_THROW(text.Replace(2, 1, u""), std::out_of_range);
}

TEST(EditorText, ModuleTextsLineBreaksAndCodePageBothWays) {
    struct Case {
        std::string Module;     // 1251 bytes
        std::u16string Text;    // as the editor shows it
        std::string Saved;      // the editor's text saved again
    };
    const Case cases[] = {
        {"", u"", ""},
        {"a\r\nb\nc\rd", u"a\rb\rc\rd", "a\r\nb\r\nc\r\nd"},
        {"\r\n\r\n", u"\r\r", "\r\n\r\n"},
        {"\n\r", u"\r\r", "\r\n\r\n"},  // a lone LF, then a lone CR
        {Cp1251("Ёлка\t№ «x»"), u"Ёлка\t№ «x»", Cp1251("Ёлка\t№ «x»")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Cp1251ToUtf8(c.Module));
        EXPECT_EQ(TEditorText::FromModule(c.Module), c.Text);
        TEditorText text;
        text.Assign(c.Text);
        size_t replaced = 99;
        EXPECT_EQ(text.ToModule(&replaced), c.Saved);
        EXPECT_EQ(replaced, 0u);
    }
    // Characters the code page lacks become "?", each counted once (a surrogate pair too), and
    // the lexer's bytes keep one byte per character, so that its offsets are columns.
    TEditorText text;
    text.Assign(u"α\U0001F600б\rγ");
    size_t replaced = 0;
    EXPECT_EQ(text.ToModule(&replaced), "??" + Cp1251("б") + "\r\n?");
    EXPECT_EQ(replaced, 3u);
    EXPECT_EQ(text.LineBytes(0), "???" + Cp1251("б"));
}

TEST(EditorText, TheDifferenceOfTwoTextsIsOneSpanFromTheFirstToTheLastCharacterThatDiffers) {
    struct Case {
        std::u16string Before, After;
        TTextChange Change;
    };
    const Case cases[] = {
        {u"abc", u"abc", {3, u"", u""}},
        {u"abc", u"abXc", {2, u"", u"X"}},
        {u"abc", u"ac", {1, u"b", u""}},
        {u"aaa", u"aa", {2, u"a", u""}},  // the common ends do not overlap
        {u"a\rb\rc", u"a\rB\rc", {2, u"b", u"B"}},
        {u"", u"new", {0, u"", u"new"}},
        {u"xyz", u"", {0, u"xyz", u""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TEditorText::Difference(c.Before, c.After), c.Change) << Utf8(c.Before) << " -> " << Utf8(c.After);
        std::u16string applied = c.Before;
        applied.replace(c.Change.Begin, c.Change.Removed.size(), c.Change.Inserted);
        EXPECT_EQ(applied, c.After);
    }
}

TEST(EditorText, FindIgnoresCaseAndGoesRoundTheEnd) {
    TEditorText text;
    text.Assign(U("Если Ёж|если ёЖ|ЕСЛИ"));
    struct Case {
        const char* What;
        size_t From;
        bool Down;
        std::optional<size_t> Found;
    };
    const Case cases[] = {
        {"если", 0, true, 0},
        {"если", 1, true, 8},
        {"если", 9, true, 16},
        {"если", 17, true, 0},   // round the end
        {"ЁЖ", 0, true, 5},
        {"ёж", 6, true, 13},
        {"если", 16, false, 8},  // before the selection
        {"если", 0, false, 16},  // round the start
        {"если", 8, false, 0},
        {"нет", 0, true, std::nullopt},
        {"", 0, true, std::nullopt},
        {"ёж|ес", 6, true, 13},  // across a line break
    };
    for (const Case& c : cases)
        EXPECT_EQ(text.Find(U(c.What), c.From, c.Down), c.Found) << c.What << " from " << c.From;
}

TEST(EditorUndo, TypingAndDeletingJoinIntoStepsAsTheyGo) {
    using Changes = std::vector<TTextChange>;
    struct Case {
        const char* What;
        Changes Recorded;
        bool SealAfterFirst;
        Changes Undone;  // what Undo gives, step by step, last first
    };
    const Case cases[] = {
        {"characters typed one after another", {{0, u"", u"a"}, {1, u"", u"b"}, {2, u"", u"c"}}, false,
         {{0, u"abc", u""}}},
        {"typing over a selection goes on", {{3, u"xyz", u"a"}, {4, u"", u"b"}}, false, {{3, u"ab", u"xyz"}}},
        {"typing elsewhere begins a step", {{0, u"", u"a"}, {5, u"", u"b"}}, false,
         {{5, u"b", u""}, {0, u"a", u""}}},
        {"Backspace", {{4, u"d", u""}, {3, u"c", u""}, {2, u"b", u""}}, false, {{2, u"", u"bcd"}}},
        {"Delete", {{2, u"b", u""}, {2, u"c", u""}}, false, {{2, u"", u"bc"}}},
        {"a paste stands alone", {{0, u"", u"a"}, {1, u"", u"pasted"}, {7, u"", u"b"}}, false,
         {{7, u"b", u""}, {1, u"pasted", u""}, {0, u"a", u""}}},
        {"typing after deleting", {{2, u"b", u""}, {2, u"", u"x"}}, false, {{2, u"x", u""}, {2, u"", u"b"}}},
        {"a save seals the step", {{0, u"", u"a"}, {1, u"", u"b"}}, true, {{1, u"b", u""}, {0, u"a", u""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TEditorUndo undo;
        for (size_t i = 0; i < c.Recorded.size(); ++i) {
            undo.Record(c.Recorded[i]);
            if (i == 0 && c.SealAfterFirst) undo.Seal();
        }
        Changes undone;
        while (const std::optional<TTextChange> change = undo.Undo()) undone.push_back(*change);
        EXPECT_EQ(undone, c.Undone);
        // Redo makes them again, first undone last; a new edit drops what is left to redo.
        EXPECT_TRUE(undo.CanRedo());
        EXPECT_EQ(undo.Redo()->Inserted, undone.back().Removed);
        undo.Record({0, u"", u"new"});
        EXPECT_FALSE(undo.CanRedo());
    }
}

}  // namespace
}  // namespace tessara
