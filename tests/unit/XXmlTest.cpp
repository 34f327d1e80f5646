// The character source and the token reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/Streams.h"
#include "xml/XXml.h"
#include "xml/XXmlDom.h"

#include "fakes/TestStreams.h"

using namespace tessara;

namespace {

// The size of the reader's blocks: constructs are read across their boundary.
constexpr size_t kBlock = TXmlReaderStream::BufferSize;

// "S:a", "A:x=1", "T:text" ...: one string per token, the end of input left out.
std::string Describe(TXmlTokenKind kind, const std::string& name, const std::string& data) {
    switch (kind) {
        case xtProcessingInstruction: return "P:" + name + "=" + data;
        case xtDocumentType: return "D:" + name + "=" + data;
        case xtComment: return "C:" + name + data;
        case xtCDATASection: return "X:" + name + data;
        case xtStartTag: return "S:" + name + data;
        case xtEndTag: return "E:" + name + data;
        case xtAttribute: return "A:" + name + "=" + data;
        case xtText: return "T:" + name + data;
        case xtEndOfInput: return "$" + name + data;
    }
    return "?";
}

struct TReadResult {
    std::vector<std::string> Tokens;
    std::string Error;  // the message of EXmlReader, empty when none
};

TReadResult ReadAll(const std::string& input) {
    TReadResult result;
    TMemoryStream stream(input);
    TXmlReader reader;
    reader.Open(&stream, false);
    try {
        for (;;) {
            const TXmlTokenKind kind = reader.Next();
            if (kind == xtEndOfInput) {
                EXPECT_TRUE(reader.Name().empty() && reader.Data().empty());
                break;
            }
            result.Tokens.push_back(Describe(kind, reader.Name(), reader.Data()));
        }
    } catch (const EXmlReader& e) {
        result.Error = e.Message();
    }
    return result;
}

using Tokens = std::vector<std::string>;

std::string ReaderMessage(const char* utf8) { return Cp1251(std::string("Ошибка в XML-документе: ") + utf8); }

std::string ReadRest(TXmlReaderStream& s) {
    std::string out;
    while (!s.Eof()) out += s.GetChar(true);
    return out;
}

}  // namespace

// --- The character source ---

TEST(XmlReaderStream, EmptyAndExactBlockEnd) {
    TMemoryStream empty;
    TXmlReaderStream e(&empty, false);
    EXPECT_TRUE(e.Eof());
    EXPECT_EQ(e.GetChar(true), 0);
    EXPECT_EQ(e.GetChar(false), 0);
    EXPECT_TRUE(e.Pushback().empty());

    TMemoryStream block(std::string(kBlock, 'x') + std::string(kBlock, 'y'));
    TXmlReaderStream s(&block, false);
    for (size_t i = 0; i < kBlock - 1; ++i) ASSERT_EQ(s.GetChar(true), 'x');
    EXPECT_FALSE(s.Eof());
    EXPECT_EQ(s.GetChar(true), 'x');
    EXPECT_FALSE(s.Eof());  // the second block is already there
    for (size_t i = 0; i < kBlock; ++i) ASSERT_EQ(s.GetChar(true), 'y');
    EXPECT_TRUE(s.Eof());

    TMemoryStream exact(std::string(kBlock, 'z'));
    TXmlReaderStream x(&exact, false);
    for (size_t i = 0; i < kBlock; ++i) x.GetChar(true);
    EXPECT_TRUE(x.Eof());
}

// The stream is asked for its size again when the bytes it reported are used up, so a stream
// that grows while it is read is read to its new end.
TEST(XmlReaderStream, StreamGrowingWhileRead) {
    TMemoryStream m(std::string(5000, 'a'));
    TXmlReaderStream s(&m, false);
    const int64_t position = m.Position();
    m.Seek(m.Size());
    m.Write("bc", 2);
    m.Seek(position);
    EXPECT_EQ(ReadRest(s), std::string(5000, 'a') + "bc");
}

TEST(XmlReaderStream, PeekGiveBackAndPushbackOrder) {
    TMemoryStream m("cd");
    TXmlReaderStream s(&m, false);
    EXPECT_EQ(s.GetChar(false), 'c');
    EXPECT_EQ(s.GetChar(false), 'c');
    EXPECT_EQ(s.GetChar(true), 'c');
    s.UngetChar('x');
    s.UngetText("ab");
    EXPECT_EQ(s.Pushback(), "xba");
    EXPECT_EQ(ReadRest(s), "abxd");

    // Given-back characters count for Eof even at the end of the stream.
    s.UngetChar('q');
    EXPECT_FALSE(s.Eof());
    EXPECT_EQ(s.GetChar(true), 'q');
    EXPECT_TRUE(s.Eof());

    // A byte 0 is a character; only Eof tells it from the end.
    TMemoryStream z(std::string("\0a", 2));
    TXmlReaderStream zs(&z, false);
    EXPECT_EQ(zs.GetChar(true), 0);
    EXPECT_FALSE(zs.Eof());
    EXPECT_EQ(zs.GetChar(true), 'a');
}

TEST(XmlReaderStream, MatchTextGivesBackExactly) {
    struct Case {
        const char* Input;
        const char* Text;
        bool Remove;
        bool Matches;
        const char* Rest;
    } cases[] = {
        {"-x", "--", true, false, "-x"},
        {"--x", "--", true, true, "x"},
        {"--x", "--", false, true, "--x"},
        {"-", "--", true, false, "-"},
        {"", "--", true, false, ""},
        {"abc", "", true, true, "abc"},
        {"DOCTYPx", "DOCTYPE", true, false, "DOCTYPx"},
        {"doctype", "DOCTYPE", true, false, "doctype"},
    };
    for (const Case& c : cases) {
        TMemoryStream m(c.Input);
        TXmlReaderStream s(&m, false);
        EXPECT_EQ(s.MatchText(c.Text, c.Remove), c.Matches) << c.Input << " / " << c.Text;
        EXPECT_EQ(ReadRest(s), c.Rest) << c.Input << " / " << c.Text;
    }

    // Matching over given-back characters and on across the block boundary.
    TMemoryStream m(std::string(4094, ' ') + "DOCTYPE!");
    TXmlReaderStream s(&m, false);
    s.SkipSpaces();
    s.UngetText("<!");
    EXPECT_FALSE(s.MatchText("<!DOCTYPX", true));
    EXPECT_TRUE(s.MatchText("<!DOCTYPE", true));
    EXPECT_EQ(ReadRest(s), "!");
}

TEST(XmlReaderStream, SkipSpacesStopsAboveThirtyTwo) {
    const std::string input = std::string("\t\r\n \x01\x1f\x20", 7) + std::string(1, '\0') + "\xC0 b";
    TMemoryStream m(input);
    TXmlReaderStream s(&m, false);
    s.SkipSpaces();
    EXPECT_EQ(static_cast<unsigned char>(s.GetChar(true)), 0xC0);  // a Cyrillic letter is no space
    s.UngetText("  ");
    s.SkipSpaces();
    EXPECT_EQ(ReadRest(s), "b");
    s.SkipSpaces();  // at the end: nothing happens
    EXPECT_TRUE(s.Eof());

    // A run of spaces that spans several blocks.
    TMemoryStream big(std::string(10000, ' ') + "z");
    TXmlReaderStream b(&big, false);
    b.SkipSpaces();
    EXPECT_EQ(ReadRest(b), "z");
}

TEST(XmlReaderStream, RunScannersLeaveTheStopUnread) {
    std::string input(5000, 'a');
    input += "<" + std::string(5000, 'b') + ">";
    TMemoryStream m(input);
    TXmlReaderStream s(&m, false);
    s.UngetText("xy");
    std::string out;
    ASSERT_TRUE(s.AppendUntil(out, '<'));
    EXPECT_EQ(out, "xy" + std::string(5000, 'a'));
    EXPECT_EQ(s.Peek(), '<');
    s.Skip();
    out.clear();
    const TXmlCharSet stops(true, ">");
    ASSERT_TRUE(s.AppendUntilAny(out, stops));
    EXPECT_EQ(out, std::string(5000, 'b'));
    s.Skip();
    EXPECT_EQ(s.Peek(), -1);
    out.clear();
    EXPECT_FALSE(s.AppendUntil(out, '<'));
    EXPECT_TRUE(out.empty());
}

TEST(XmlReaderStream, OwnedSourceIsDestroyed) {
    bool gone = false;
    { TXmlReaderStream s(new fakes::TWatchedStream("abc", &gone), true); }
    EXPECT_TRUE(gone);
    gone = false;
    fakes::TWatchedStream kept("abc", &gone);
    { TXmlReaderStream s(&kept, false); }
    EXPECT_FALSE(gone);
}

// --- Tokens ---

struct TokenCase {
    const char* Name;
    std::string Input;
    Tokens Expected;
};

const std::vector<TokenCase>& TokenCases() {
    static const std::vector<TokenCase> cases = {
        {"empty", "", {}},
        {"top-level spaces", " \t\r\n<a/>\r\n  ", {"S:a", "E:a"}},
        {"indentation is text", "<a>\r\n  <b/>\r\n</a>", {"S:a", "T:\r\n  ", "S:b", "E:b", "T:\r\n", "E:a"}},
        {"attributes and text", "<a x='1' y=\"2\">t</a>", {"S:a", "A:x=1", "A:y=2", "T:t", "E:a"}},
        {"empty element", "<a/>", {"S:a", "E:a"}},
        {"empty element with space", "<a />", {"S:a", "E:a"}},
        {"empty element with attribute", "<a x='1' />", {"S:a", "A:x=1", "E:a"}},
        {"quoted value then slash", "<a x='1'/>", {"S:a", "A:x=1", "E:a"}},
        {"spaces around the name", "< a ></a >", {"S:a", "E:a"}},
        {"spaces in end tag", "<a></ a\r\n>", {"S:a", "E:a"}},
        {"unquoted values", "<a x=1 y=2>", {"S:a", "A:x=1", "A:y=2"}},
        {"unquoted empty value", "<a x=>t</a>", {"S:a", "A:x=", "T:t", "E:a"}},
        {"unquoted value then slash", "<a x=1/>", {"S:a", "A:x=1", "E:a"}},
        {"no space between attributes", "<a x='1'y=\"2\">", {"S:a", "A:x=1", "A:y=2"}},
        {"quoted value holds markup", "<a x='a\"<>/ \r\nb'/>", {"S:a", "A:x=a\"<>/ \r\nb", "E:a"}},
        {"spaces around equals", "<a x = '1' >", {"S:a", "A:x=1"}},
        {"entities stay raw", "<a x='&amp;'>&lt;&#60;</a>", {"S:a", "A:x=&amp;", "T:&lt;&#60;", "E:a"}},
        {"duplicate attributes", "<a x='1' x='2'/>", {"S:a", "A:x=1", "A:x=2", "E:a"}},
        {"declaration", "<?xml version=\"1.0\"?><a/>", {"P:xml=version=\"1.0\"", "S:a", "E:a"}},
        {"pi without data", "<?a?>", {"P:a="}},
        {"pi keeps trailing spaces", "<? a  b ?>", {"P:a=b "}},
        {"pi data with ? and >", "<?a x?y>z?>", {"P:a=x?y>z"}},
        {"pi target ended by ?", "<?a?b?>", {"P:a=?b"}},
        {"doctype", "<!DOCTYPE a>", {"D:a="}},
        {"doctype name right after keyword", "<!DOCTYPEa b>", {"D:a=b"}},
        {"doctype internal subset",
         "<!DOCTYPE a [<!ENTITY x \"<>\">]><a/>",
         {"D:a=[<!ENTITY x \"<>\">]", "S:a", "E:a"}},
        {"comment with hyphens", "<!-- a -- b -->", {"C: a -- b "}},
        {"empty comment", "<!---->", {"C:"}},
        {"gt right after opening", "<!--->-->", {"C:->"}},
        {"comment ending in three hyphens", "<!--a--->", {"C:a-"}},
        {"cdata", "<a><![CDATA[x<y]>]]></a>", {"S:a", "X:x<y]>", "E:a"}},
        {"cdata spaces before gt", "<a><![CDATA[]] \r\n>", {"S:a", "X:"}},
        {"cdata single bracket", "<a><![CDATA[a]b]]>", {"S:a", "X:a]b"}},
        {"several top-level elements", "<a>1</a> <b>2</b>", {"S:a", "T:1", "E:a", "S:b", "T:2", "E:b"}},
        {"open elements at end", "<a><b>text", {"S:a", "S:b", "T:text"}},
        {"markup inside element", "<a><?p d?><!--c--></a>", {"S:a", "P:p=d", "C:c", "E:a"}},
        {"byte 0 in text", std::string("<a>\0b</a>", 9), {"S:a", std::string("T:\0b", 4), "E:a"}},
        {"byte 0 ends a name", std::string("<a\0>", 4), {"S:a"}},
        {"cyrillic names", "<\xC4\xEE\xEA x\xE8='\xFF'/>", {"S:\xC4\xEE\xEA", "A:x\xE8=\xFF", "E:\xC4\xEE\xEA"}},
    };
    return cases;
}

TEST(XmlReader, Constructs) {
    for (const TokenCase& c : TokenCases()) {
        const TReadResult r = ReadAll(c.Input);
        EXPECT_EQ(r.Error, "") << c.Name;
        EXPECT_EQ(r.Tokens, c.Expected) << c.Name;
    }
}

// Every construct read with the block boundary of the buffer at each of its positions.
TEST(XmlReader, ConstructsAcrossTheBlockBoundary) {
    for (const TokenCase& c : TokenCases()) {
        for (size_t pad = kBlock - c.Input.size() - 1; pad <= kBlock; ++pad) {
            const TReadResult r = ReadAll(std::string(pad, ' ') + c.Input);
            ASSERT_EQ(r.Error, "") << c.Name << " pad " << pad;
            ASSERT_EQ(r.Tokens, c.Expected) << c.Name << " pad " << pad;
        }
    }
}

struct ErrorCase {
    std::string Input;
    const char* Message;
};

const std::vector<ErrorCase>& ErrorCases() {
    static const std::vector<ErrorCase> cases = {
        {"<", "неожидаемое завершение текста"},
        {"<a><", "неожидаемое завершение текста"},
        {"<!x>", "неизвестная специальная инструкция"},
        {"<!doctype a>", "неизвестная специальная инструкция"},
        {"<!", "неизвестная специальная инструкция"},
        {"<a><!-x-></a>", "неизвестная специальная инструкция"},
        {"x", "текст вне элемента"},
        {"<a/>x", "текст вне элемента"},
        {"<!DOCTYPE a SYSTEM \"x>y\">", "текст вне элемента"},
        {"<?>", "не задано имя в обрабатывающей инструкции"},
        {"<? ?>", "не задано имя в обрабатывающей инструкции"},
        {"<?xml", "не задано имя в обрабатывающей инструкции"},
        {"<?xml a", "ожидается \"?>\""},
        {"<?xml>", "ожидается \"?>\""},
        {"<!DOCTYPE>", "не задано имя в типе документа"},
        {"<!DOCTYPE a", "не задано имя в типе документа"},
        {"<!DOCTYPE a [", "ожидается \">\" для типа документа"},
        {"<!DOCTYPE a [<b>", "ожидается \">\" для типа документа"},
        {"<!-- a", "ожидается \"-->\""},
        {"<!-->", "ожидается \"-->\""},
        {"<a><![CDATA[x", "ожидается \"]]\""},
        {"<a><![CDATA[x]>", "ожидается \"]]\""},
        {"<a><![CDATA[x]]]>", "ожидается \"]]>\""},
        {"<a><![CDATA[x]] ", "ожидается \"]]>\""},
        {"<a", "ожидается \">\" для открывающего тэга элемента"},
        {"<a  ", "ожидается \">\" для открывающего тэга элемента"},
        {"<>", "не задано имя открывающего тэга элемента"},
        {"< />", "не задано имя открывающего тэга элемента"},
        {"<a></a", "ожидается \">\" для закрывающего тэга элемента"},
        {"<a></a b>", "ожидается \">\" для закрывающего тэга элемента"},
        {"<a></a ", "ожидается \">\" для закрывающего тэга элемента"},
        {"<a></b>", "несоответствие имени закрывающего тэга имени открывающему"},
        {"<a></A>", "несоответствие имени закрывающего тэга имени открывающему"},
        {"</a>", "несоответствие имени закрывающего тэга имени открывающему"},
        {"<a></>", "несоответствие имени закрывающего тэга имени открывающему"},
        {"<a/x>", "ожидается \"/>\""},
        {"<a x='1'/", "ожидается \"/>\""},
        {"<a b>", "ожидается \"=\" для атрибута элемента"},
        {"<a b c='1'>", "ожидается \"=\" для атрибута элемента"},
        {"<a b/>", "ожидается \"=\" для атрибута элемента"},
        {"<a =1>", "не задано имя атрибута элемента"},
        {"<a b", "не задано имя атрибута элемента"},
        {"<a b=", "не задано значение атрибута элемента"},
        {"<a b = ", "не задано значение атрибута элемента"},
        {"<a b='1", "ожидается атрибут элемента"},
        {"<a b='1'", "ожидается атрибут элемента"},
        {"<a b='1'  ", "ожидается атрибут элемента"},
        {"<a b=1", "ожидается атрибут элемента"},
        {"<a b=1 ", "ожидается атрибут элемента"},
        {"<?\?>", "не задано имя в обрабатывающей инструкции"},
        {"<?abc", "не задано имя в обрабатывающей инструкции"},
        {"<?a b", "ожидается \"?>\""},
        {"<!-- a -", "ожидается \"-->\""},
        {"<a><![CDATA[x]", "ожидается \"]]\""},
        {"<a><![CDATA[x]]]></a>", "ожидается \"]]>\""},
        {"<a><![CDATA[x]]  ", "ожидается \"]]>\""},
        {"<abc", "ожидается \">\" для открывающего тэга элемента"},
        {"<a /x>", "ожидается \"/>\""},
        {"<a b= ", "не задано значение атрибута элемента"},
        {"<a b='1' ", "ожидается атрибут элемента"},
    };
    return cases;
}

// The loader passes each of them on as it is, an EXmlReader with the reader's message.
TEST(XmlReader, LoaderPassesEveryMessageOn) {
    for (const ErrorCase& c : ErrorCases()) {
        TRef<TXmlDDocument> doc(new TXmlDDocument());
        TMemoryStream stream(c.Input);
        try {
            doc->LoadFromStream(&stream);
            ADD_FAILURE() << "no error for " << c.Input;
        } catch (const EXmlReader& e) {
            EXPECT_EQ(e.Message(), ReaderMessage(c.Message)) << c.Input;
        }
    }
}

TEST(XmlReader, EveryMessageForItsCase) {
    for (const ErrorCase& c : ErrorCases()) {
        const TReadResult r = ReadAll(c.Input);
        EXPECT_EQ(r.Error, ReaderMessage(c.Message)) << c.Input;
        // The same with the input straddling the block boundary.
        for (size_t pad = kBlock - c.Input.size() - 1; pad <= kBlock; ++pad)
            ASSERT_EQ(ReadAll(std::string(pad, ' ') + c.Input).Error, ReaderMessage(c.Message))
                << c.Input << " pad " << pad;
    }
    // The class and the exact bytes of one message.
    TMemoryStream m("<");
    TXmlReader reader;
    reader.Open(&m, false);
    try {
        reader.Next();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_NE(dynamic_cast<const EXmlReader*>(&e), nullptr);
        EXPECT_EQ(e.Message(),
                  "\xCE\xF8\xE8\xE1\xEA\xE0 \xE2 XML-\xE4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xE5: "
                  "\xED\xE5\xEE\xE6\xE8\xE4\xE0\xE5\xEC\xEE\xE5 \xE7\xE0\xE2\xE5\xF0\xF8\xE5"
                  "\xED\xE8\xE5 \xF2\xE5\xEA\xF1\xF2\xE0");
    }
}

// Names, values and texts far longer than the buffers come back whole.
TEST(XmlReader, LongNamesAndTexts) {
    for (size_t length : {size_t{8191}, size_t{8192}, size_t{70001}}) {
        std::string name(length, 'n');
        name[0] = 'N';
        name[length - 1] = 'Z';
        std::string text;
        for (size_t i = 0; i < length; ++i) text += "ab&; \r\n"[i % 7];
        const std::string input = "<" + name + " " + name + "='" + text + "'>" + text + "<!--" + text + "-->" +
                                  "<![CDATA[" + text + "]]><?" + name + " " + text + "?></" + name + ">";
        const TReadResult r = ReadAll(input);
        ASSERT_EQ(r.Error, "") << length;
        const Tokens expected = {"S:" + name, "A:" + name + "=" + text, "T:" + text, "C:" + text,
                                 "X:" + text, "P:" + name + "=" + text, "E:" + name};
        EXPECT_TRUE(r.Tokens == expected) << length;
    }
}

// When the input ends inside a name, only its completed 8191-character blocks are kept.
TEST(XmlReader, NameCutOffByTheEndOfInput) {
    struct Case {
        std::string Input;
        const char* Message;
    } cases[] = {
        {"<?" + std::string(8190, 'p'), "не задано имя в обрабатывающей инструкции"},
        {"<?" + std::string(8191, 'p'), "ожидается \"?>\""},
        {"<?" + std::string(20000, 'p'), "ожидается \"?>\""},
        {"<!DOCTYPE " + std::string(8190, 'd'), "не задано имя в типе документа"},
        {"<!DOCTYPE " + std::string(8191, 'd'), "ожидается \">\" для типа документа"},
        {"<a " + std::string(8190, 'b'), "не задано имя атрибута элемента"},
        {"<a " + std::string(8191, 'b'), "не задано значение атрибута элемента"},
        {"<a " + std::string(16383, 'b'), "не задано значение атрибута элемента"},
        {"<" + std::string(9000, 'a'), "ожидается \">\" для открывающего тэга элемента"},
        {"<a></" + std::string(9000, 'a'), "ожидается \">\" для закрывающего тэга элемента"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadAll(c.Input).Error, ReaderMessage(c.Message)) << c.Input.size();
}

TEST(XmlReader, StateAcrossCalls) {
    TXmlReader reader;
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.Next(), xtEndOfInput);  // never opened

    TMemoryStream empty;
    reader.Open(&empty, false);
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.Next(), xtEndOfInput);
    EXPECT_EQ(reader.Next(), xtEndOfInput);

    TMemoryStream m("junk<a x='1'><b/>t");
    m.Seek(4);  // reading starts at the stream's position
    reader.Open(&m, false);
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_EQ(reader.Next(), xtStartTag);
    EXPECT_TRUE(reader.InsideTag());
    EXPECT_EQ(reader.Depth(), 1);
    EXPECT_EQ(reader.Next(), xtAttribute);
    EXPECT_FALSE(reader.InsideTag());
    EXPECT_EQ(reader.Next(), xtStartTag);
    EXPECT_TRUE(reader.InsideTag());
    EXPECT_EQ(reader.Depth(), 2);
    EXPECT_EQ(reader.Next(), xtEndTag);
    EXPECT_EQ(reader.Name(), "b");
    EXPECT_FALSE(reader.InsideTag());
    EXPECT_EQ(reader.Next(), xtText);
    EXPECT_EQ(reader.Next(), xtEndOfInput);
    EXPECT_TRUE(reader.AtEnd());
    ASSERT_EQ(reader.Depth(), 1);
    EXPECT_EQ(reader.OpenElements().Get(0), "a");

    // The stream grows after the end: nothing more is read.
    m.Seek(m.Size());
    m.Write("</a>", 4);
    m.Seek(m.Size() - 4);
    EXPECT_EQ(reader.Next(), xtEndOfInput);

    // Open starts afresh; Close forgets everything.
    TMemoryStream again("<c>");
    reader.Open(&again, false);
    EXPECT_EQ(reader.Depth(), 0);
    EXPECT_EQ(reader.Next(), xtStartTag);
    reader.Close();
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.Depth(), 0);
    EXPECT_EQ(reader.Stream(), nullptr);
    EXPECT_EQ(reader.Next(), xtEndOfInput);
}

TEST(XmlReader, OwnershipOfTheStream) {
    bool gone = false;
    {
        TXmlReader reader;
        reader.Open(new fakes::TWatchedStream("<a/>", &gone), true);
        EXPECT_FALSE(gone);
        reader.Close();
        EXPECT_TRUE(gone);
        gone = false;
        reader.Open(new fakes::TWatchedStream("<a/>", &gone), true);
    }
    EXPECT_TRUE(gone);  // destruction closes

    gone = false;
    fakes::TWatchedStream kept("<a/>", &gone);
    {
        TXmlReader reader;
        reader.Open(&kept, false);
        reader.Next();
    }
    EXPECT_FALSE(gone);
}

TEST(XmlReader, ReadErrorOfTheStreamPassesThrough) {
    // Claims more bytes than it delivers.
    fakes::TOverstatedStream m(std::string(100, ' '));
    TXmlReader reader;
    EXPECT_THROW(reader.Open(&m, false), EReadError);
    bool gone = false;
    EXPECT_THROW(reader.Open(new fakes::TWatchedStream("<a>", &gone, 10), true), EReadError);
    EXPECT_TRUE(gone);  // handed over, so destroyed even though opening failed
}

// Random markup must never crash the reader or make it read out of bounds: it returns tokens
// or raises its own error.
TEST(XmlReader, RandomInputEndsCleanly) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const char alphabet[] = "<>/?!-[]=\"' \nabCDATOYPE&\0";
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        const size_t length = next() % 60;
        for (size_t i = 0; i < length; ++i) input += alphabet[next() % (sizeof alphabet - 1)];
        TMemoryStream m(input);
        TXmlReader reader;
        reader.Open(&m, false);
        // Every token consumes input, so the end comes within length + 1 calls.
        size_t calls = 0;
        try {
            while (calls <= length + 1 && reader.Next() != xtEndOfInput) ++calls;
        } catch (const EXmlReader&) {
        }
        ASSERT_LE(calls, length) << input;
    }
}
