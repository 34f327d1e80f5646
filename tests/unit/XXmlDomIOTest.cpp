// Loading documents from XML text and saving them, to streams and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"
#include "xml/XXml.h"
#include "xml/XXmlDom.h"

#include "MessageOf.h"
#include "fakes/TestStreams.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

using namespace tessara;
namespace fs = std::filesystem;

namespace {

void Load(TXmlDDocument& doc, const std::string& xml) {
    TMemoryStream m(xml);
    doc.LoadFromStream(&m);
}

std::string Reader(const char* utf8) { return Cp1251(std::string("Ошибка в XML-документе: ") + utf8); }

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh directory per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        static int counter = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Path = fs::temp_directory_path() /
               ("tessara-io-" + std::string(info->name()) + "-" + std::to_string(++counter) + "-" +
                std::to_string(std::random_device{}()));
        fs::create_directories(Path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(Path, ec);
    }
    std::string File(const std::string& name) const { return (Path / name).string(); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Path)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path Path;
};

// Makes the Nth occurrence (from 1) of one step of a safe save fail.
struct FaultPlan {
    TSafeFileStep Step;
    int Nth;
    int Seen;
};
FaultPlan plan{TSafeFileStep::Create, 0, 0};

bool FaultHook(TSafeFileStep step) { return step == plan.Step && ++plan.Seen == plan.Nth; }

struct HookScope {
    HookScope(TSafeFileStep step, int nth) {
        plan = {step, nth, 0};
        SetSafeFileFaultHook(&FaultHook);
    }
    ~HookScope() { SetSafeFileFaultHook(nullptr); }
};

}  // namespace

// --- Loading ---

TEST(XmlLoad, TreesAsTheyAreWrittenBack) {
    struct Case {
        const char* Name;
        std::string Input;
        bool Preserve;
        std::string Saved;
    } cases[] = {
        {"empty", "", false, ""},
        {"whitespace only", " \r\n\t ", false, ""},
        {"empty-element tag", "<a/>", false, "<a/>"},
        {"start and end tag", "<a></a>", false, "<a/>"},
        {"indentation dropped", "<a>\r\n  <b x='1'/>\r\n  <c>t</c>\r\n</a>\r\n", false, "<a><b x=\"1\"/><c>t</c></a>"},
        {"one space kept", "<a> </a>", false, "<a> </a>"},
        {"spaces and tabs kept", "<a>\t \t</a>", false, "<a>\t \t</a>"},
        {"line break dropped", "<a>\n</a>", false, "<a/>"},
        {"line break preserved", "<a>\n</a>", true, "<a>\n</a>"},
        {"indentation preserved", "<a>\r\n <b/>\r\n</a>", true, "<a>\r\n <b/>\r\n</a>"},
        {"text with line breaks kept whole", "<a>\r\n x \r\n</a>", false, "<a>\r\n x \r\n</a>"},
        {"entities decoded and re-encoded",
         "<a x='&lt;&gt;&amp;&quot;&apos;&#60;'>&lt;&#60;&amp;lt;&unknown;&</a>", false,
         "<a x=\"&lt;&gt;&amp;&quot;&apos;&amp;#60;\">&lt;&amp;#60;&amp;lt;&amp;unknown;&amp;</a>"},
        {"markup data stays raw", "<a><!--&amp;--><![CDATA[&lt;]]><?p &gt;?></a>", false,
         "<a><!--&amp;--><![CDATA[&lt;]]><?p &gt;?></a>"},
        {"repeated attribute", "<a x='1' y='2' x='3'/>", false, "<a x=\"3\" y=\"2\"/>"},
        {"unquoted value", "<a x=1>", false, "<a x=\"1\"/>"},
        {"internal subset not kept", "<!DOCTYPE a [<!ENTITY e \"x\">]><a/>", false, "<!DOCTYPE a []><a/>"},
        {"declaration kept", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<a/>", false,
         "<?xml version=\"1.0\" encoding=\"windows-1251\"?><a/>"},
        {"open elements at the end", "<a><b>t", false, "<a><b>t</b></a>"},
        {"end tags missing after a tag", "<a><b>t</b>", false, "<a><b>t</b></a>"},
        {"several top-level nodes", "<!--c--><a/><?p d?><b/>", false, "<!--c--><a/><?p d?><b/>"},
    };
    for (const Case& c : cases) {
        TXmlDDocument doc;
        doc.PreserveWhiteSpace = c.Preserve;
        Load(doc, c.Input);
        EXPECT_EQ(doc.GetXml(), c.Saved) << c.Name;
    }
}

TEST(XmlLoad, NodesAndValues) {
    TXmlDDocument doc;
    Load(doc, "<?xml version=\"1.0\"?><!DOCTYPE r [x]><r a='&amp;amp;'> <e/>\n<![CDATA[<c>]]></r>");
    TXmlDNode* pi = doc.FirstChild();
    ASSERT_EQ(pi->NodeType(), ntProcessingInstruction);
    EXPECT_EQ(pi->NodeName(), "xml");
    EXPECT_EQ(pi->GetNodeValue(), "version=\"1.0\"");
    ASSERT_EQ(pi->NextSibling()->NodeType(), ntDocumentType);
    EXPECT_EQ(pi->NextSibling()->NodeName(), "r");
    TXmlDElement* root = doc.DocumentElement();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetAttribute("a", ""), "&amp;");
    // " " on one line is a text node; "\n" between tags is not.
    ASSERT_EQ(root->ChildNodes()->Count(), 3);
    EXPECT_EQ(root->ChildNodes()->Item(0)->NodeType(), ntText);
    EXPECT_EQ(root->ChildNodes()->Item(0)->GetNodeValue(), " ");
    EXPECT_EQ(root->ChildNodes()->Item(1)->NodeName(), "e");
    EXPECT_FALSE(root->ChildNodes()->Item(1)->HasChildNodes());
    EXPECT_EQ(root->ChildNodes()->Item(2)->NodeType(), ntCDATASection);
    EXPECT_EQ(root->GetText(), " <c>");

    TXmlDDocument empty;
    Load(empty, "  ");
    EXPECT_EQ(empty.DocumentElement(), nullptr);
    EXPECT_FALSE(empty.HasChildNodes());
}

TEST(XmlLoad, FailuresKeepWhatWasRead) {
    struct Case {
        std::string Input;
        std::string Message;
        std::string Kept;
    } cases[] = {
        {"<![CDATA[x]]>", Cp1251("XML: неправильная конструкция в XML-документе"), ""},
        {"<a/><![CDATA[x]]>", Cp1251("XML: неправильная конструкция в XML-документе"), "<a/>"},
        {"<a><!DOCTYPE b></a>", Cp1251("XML: узел \"element\" не может содержать подузел \"documenttype\""), "<a/>"},
        {"<a>x</a>y", Reader("текст вне элемента"), "<a>x</a>"},
        {"<a><b>t</a>", Reader("несоответствие имени закрывающего тэга имени открывающему"), "<a><b>t</b></a>"},
        {"<a x='1' y", Reader("не задано имя атрибута элемента"), "<a x=\"1\"/>"},
        {"<a><b/><", Reader("неожидаемое завершение текста"), "<a><b/></a>"},
    };
    for (const Case& c : cases) {
        TXmlDDocument doc;
        Load(doc, "<old/>");
        EXPECT_EQ(MessageOf([&] { Load(doc, c.Input); }), c.Message) << c.Input;
        EXPECT_EQ(doc.GetXml(), c.Kept) << c.Input;
    }

    // The stream's read error passes through.
    fakes::TOverstatedStream broken("<a>", 1);
    TXmlDDocument doc;
    EXPECT_THROW(doc.LoadFromStream(&broken), EReadError);
}

// A tag with a huge number of attributes loads in linear time (names are found through an
// index), with the same result as one SetAttribute per attribute.
TEST(XmlLoad, ManyAttributesInOneTag) {
    const int count = 100000;
    std::string xml = "<a";
    for (int i = 0; i < count; ++i) xml += " n" + std::to_string(i) + "='" + std::to_string(i) + "'";
    xml += " n7='late' n99999='&lt;last' n3 = 'three'/><b x='1' x='2'/>";
    TXmlDDocument doc;
    Load(doc, xml);
    TXmlDElement* a = doc.DocumentElement();
    ASSERT_EQ(a->Attributes()->Count(), count);
    EXPECT_EQ(a->Attributes()->Item(7)->NodeName(), "n7");
    EXPECT_EQ(a->GetAttribute("n7", ""), "late");
    EXPECT_EQ(a->GetAttribute("n3", ""), "three");
    EXPECT_EQ(a->GetAttribute("n99999", ""), "<last");
    EXPECT_EQ(a->GetAttribute("n50000", ""), "50000");
    auto* b = static_cast<TXmlDElement*>(a->NextSibling());
    ASSERT_EQ(b->Attributes()->Count(), 1);
    EXPECT_EQ(b->GetAttribute("x", ""), "2");
}

TEST(XmlLoad, SecondLoadReplacesTheFirst) {
    TXmlDDocument doc;
    Load(doc, "<!--x--><a b='1'><c/></a>");
    TRef<TXmlDNode> old(doc.DocumentElement());
    Load(doc, "<d/>");
    EXPECT_EQ(doc.GetXml(), "<d/>");
    EXPECT_EQ(old->ParentNode(), nullptr);
    Load(doc, "");
    EXPECT_EQ(doc.GetXml(), "");
}

TEST(XmlLoad, StreamIsReadFromItsPositionAndNotOwned) {
    TMemoryStream m("garbage<a/>");
    m.Seek(7);
    TXmlDDocument doc;
    doc.LoadFromStream(&m);
    EXPECT_EQ(doc.GetXml(), "<a/>");
    EXPECT_EQ(m.Size(), 11);  // still alive and usable
}

// A million start tags, never closed, with a text or nothing inside: the loader's own stack
// takes them (no recursion), and they render and go again.
TEST(XmlLoad, MillionNestedElements) {
    constexpr int kDepth = 1000000;
    for (const std::string inner : {"t", ""}) {
        std::string input;
        input.reserve(static_cast<size_t>(kDepth) * 3 + 1);
        for (int i = 0; i < kDepth; ++i) input += "<a>";
        input += inner;
        TRef<TXmlDDocument> doc(new TXmlDDocument());
        Load(*doc, input);  // the end tags are missing: loads as far as it goes
        int levels = 0;
        TXmlDNode* innermost = nullptr;
        for (TXmlDNode* n = doc->DocumentElement(); n != nullptr && n->NodeType() == ntElement; n = n->FirstChild()) {
            ++levels;
            innermost = n;
        }
        EXPECT_EQ(levels, kDepth) << inner;
        ASSERT_NE(innermost, nullptr);
        EXPECT_EQ(innermost->GetText(), inner);
        EXPECT_EQ(doc->GetText(), inner);

        // Written back closed: "<a>" and "</a>" per level, or "<a/>" for an empty innermost.
        std::string expected = input;
        if (inner.empty()) expected.replace(expected.size() - 3, 3, "<a/>");
        for (int i = inner.empty() ? 1 : 0; i < kDepth; ++i) expected += "</a>";
        TMemoryStream out;
        doc->SaveToStream(&out);
        EXPECT_TRUE(out.GetBytes() == expected) << inner;
        EXPECT_TRUE(doc->GetXml() == expected) << inner;
    }
}

// --- Saving ---

TEST(XmlSave, FileRoundTripAndMissingFile) {
    TempDir dir;
    const std::string name = dir.File("1CDialogControls.xml");
    TXmlDDocument doc;
    Load(doc, "<Document><Groops name=\"\xD8\xE0\xE1\xEB\xEE\xED\"><Controls/><Module>a&lt;b</Module></Groops></Document>");
    doc.SaveToFile(name);
    EXPECT_EQ(ReadBytes(name), doc.GetXml());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"1CDialogControls.xml"});

    TXmlDDocument back;
    back.LoadFromFile(name);
    EXPECT_EQ(back.GetXml(), doc.GetXml());

    // A missing file: the message names it as passed, the document stays as it was.
    const std::string missing = dir.File("none.xml");
    EXPECT_EQ(MessageOf([&] { back.LoadFromFile(missing); }), "Cannot open file " + missing);
    EXPECT_EQ(back.GetXml(), doc.GetXml());

    // Saving over the existing file replaces it whole.
    Load(doc, "<x/>");
    doc.SaveToFile(name);
    EXPECT_EQ(ReadBytes(name), "<x/>");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"1CDialogControls.xml"});
}

// A file larger than the blocks it is read in loads as the same bytes from memory do.
TEST(XmlSave, LargeFileLoadsLikeItsBytes) {
    TempDir dir;
    const std::string name = dir.File("large.xml");
    std::string xml = "<Document>";
    for (int i = 0; i < 6000; ++i)
        xml += "<Groops name=\"t" + std::to_string(i) + "\"><Module>&quot;" + std::string(i % 300, 'm') +
               "&amp;&lt;\r\n</Module></Groops>\r\n";
    xml += "</Document>";
    ASSERT_GT(xml.size(), 1000000u);
    WriteBytes(name, xml);
    TXmlDDocument fromFile, fromMemory;
    fromFile.LoadFromFile(name);
    Load(fromMemory, xml);
    EXPECT_TRUE(fromFile.GetXml() == fromMemory.GetXml());
    EXPECT_EQ(fromFile.DocumentElement()->ChildNodes()->Count(), 6000);
}

TEST(XmlSave, AFailureAtAnyStepKeepsTheOldFile) {
    TempDir dir;
    const std::string name = dir.File("repo.xml");
    const std::string old = "<old>keep me</old>";
    // Over 2 MB, so that the text goes out in three system writes.
    TXmlDDocument doc;
    Load(doc, "<a>" + std::string(2500000, 'x') + "</a>");
    struct Case {
        TSafeFileStep Step;
        int Nth;
        std::string Message;
    } cases[] = {
        {TSafeFileStep::Create, 1, "Cannot create file " + name},
        {TSafeFileStep::Write, 1, "Stream write error"},
        {TSafeFileStep::Write, 2, "Stream write error"},
        {TSafeFileStep::Write, 3, "Stream write error"},
        {TSafeFileStep::Flush, 1, "Stream write error"},
        {TSafeFileStep::Replace, 1, "Cannot create file " + name},
    };
    for (const Case& c : cases) {
        WriteBytes(name, old);
        {
            HookScope hook(c.Step, c.Nth);
            EXPECT_EQ(MessageOf([&] { doc.SaveToFile(name); }), c.Message)
                << static_cast<int>(c.Step) << " " << c.Nth;
            EXPECT_EQ(plan.Seen, c.Nth);  // the step was really reached
        }
        EXPECT_EQ(ReadBytes(name), old);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"repo.xml"});
    }
    // Nothing failing: the same save goes through.
    doc.SaveToFile(name);
    EXPECT_EQ(ReadBytes(name).size(), 2500007u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"repo.xml"});

    // A failure with no old file leaves no file at all.
    const std::string fresh = dir.File("fresh.xml");
    {
        HookScope hook(TSafeFileStep::Replace, 1);
        EXPECT_EQ(MessageOf([&] { doc.SaveToFile(fresh); }), "Cannot create file " + fresh);
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"repo.xml"});
}

TEST(XmlSave, FilesThatCannotBeReplaced) {
    TempDir dir;
    TXmlDDocument doc;
    Load(doc, "<new/>");

    // Held open by a reader (the same open mode as loading uses).
    const std::string held = dir.File("held.xml");
    WriteBytes(held, "<old/>");
    {
        TFileStream reader(held, TFileMode::OpenReadShareDenyWrite);
        EXPECT_EQ(MessageOf([&] { doc.SaveToFile(held); }), "Cannot create file " + held);
    }
    EXPECT_EQ(ReadBytes(held), "<old/>");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"held.xml"});
    doc.SaveToFile(held);  // released: now it goes
    EXPECT_EQ(ReadBytes(held), "<new/>");

    // A directory of that name, and a directory that does not exist.
    fs::create_directory(dir.Path / "sub");
    EXPECT_EQ(MessageOf([&] { doc.SaveToFile(dir.File("sub")); }), "Cannot create file " + dir.File("sub"));
    const std::string nowhere = dir.File("missing-dir/x.xml");
    EXPECT_EQ(MessageOf([&] { doc.SaveToFile(nowhere); }), "Cannot create file " + nowhere);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"held.xml", "sub"}));
}

#ifndef _WIN32
TEST(XmlSave, PermissionsAreKept) {
    TempDir dir;
    const std::string name = dir.File("perm.xml");
    WriteBytes(name, "<old/>");
    fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    TXmlDDocument doc;
    Load(doc, "<new/>");
    doc.SaveToFile(name);
    EXPECT_EQ(ReadBytes(name), "<new/>");
    EXPECT_EQ(fs::status(name).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // Through a symbolic link the file it points to is replaced, and the link stays.
    const std::string link = dir.File("link.xml");
    fs::create_symlink(name, link);
    Load(doc, "<via-link/>");
    doc.SaveToFile(link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(name), "<via-link/>");
}
#endif

// --- Round trip ---

namespace {

class TreeGenerator {
public:
    explicit TreeGenerator(uint32_t seed) : Rng(seed) {}

    // A document whose saved text loads back into a tree that saves to the same bytes: no
    // empty texts, no whitespace-only texts with line breaks, no adjacent texts, and no data
    // that holds its own closing delimiter.
    void Fill(TXmlDDocument& doc) {
        for (int i = Pick(3); i > 0; --i) doc.AppendChild(Misc().Get());
        if (Pick(4) == 0) doc.AppendChild(TRef<TXmlDNode>(new TXmlDDocumentType(Name())).Get());
        const int roots = 1 + Pick(2);
        for (int r = 0; r < roots; ++r) {
            TRef<TXmlDElement> root(Element(0));
            doc.AppendChild(root.Get());
            if (Pick(2) == 0) doc.AppendChild(Misc().Get());
        }
    }

private:
    int Pick(int n) { return static_cast<int>(Rng() % static_cast<uint32_t>(n)); }

    std::string Name() {
        static const char first[] = "abcXYZ_\xC0\xE0\xFF";
        static const char rest[] = "abcXYZ_-.:09\xC0\xE0\xFF";
        std::string s(1, first[Pick(sizeof first - 1)]);
        for (int i = Pick(8); i > 0; --i) s += rest[Pick(sizeof rest - 1)];
        return s;
    }

    // Any bytes, with the markup characters and spaces often.
    std::string Bytes(int maxLength) {
        static const char special[] = "<>&;\"'?!-[]=/ \t\r\nampltgquos#";
        std::string s;
        for (int i = Pick(maxLength + 1); i > 0; --i)
            s += Pick(3) == 0 ? static_cast<char>(Pick(256)) : special[Pick(sizeof special - 1)];
        return s;
    }

    static void Replace(std::string& s, const std::string& from, const std::string& to) {
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from)) s.replace(at, from.size(), to);
    }

    std::string Text() {
        std::string s = Bytes(12);
        bool visible = false, lineBreak = false;
        for (char c : s) {
            visible |= static_cast<unsigned char>(c) > 32;
            lineBreak |= c == '\r' || c == '\n';
        }
        if (s.empty() || (!visible && lineBreak)) s += 'x';
        return s;
    }

    TRef<TXmlDNode> Misc() {
        if (Pick(2) == 0) {
            std::string data = Bytes(10);
            Replace(data, "-->", "- ->");
            return TRef<TXmlDNode>(new TXmlDComment(data));
        }
        std::string data = Bytes(10);
        Replace(data, "?>", "? >");
        if (!data.empty() && static_cast<unsigned char>(data[0]) <= 32) data[0] = 'd';
        return TRef<TXmlDNode>(new TXmlDProcessingInstruction(Name(), data));
    }

    TRef<TXmlDElement> Element(int depth) {
        TRef<TXmlDElement> e(new TXmlDElement(Name()));
        for (int i = Pick(4); i > 0; --i) e->SetAttribute(Name(), Bytes(10));
        const int children = depth >= 5 ? 0 : Pick(6);
        bool lastWasText = false;
        for (int i = 0; i < children; ++i) {
            const int kind = Pick(5);
            if (kind == 0 && !lastWasText) {
                e->AppendChild(TRef<TXmlDNode>(new TXmlDText(Text())).Get());
                lastWasText = true;
                continue;
            }
            lastWasText = false;
            if (kind == 1) {
                std::string data = Bytes(10);
                Replace(data, "]]", "] ]");
                if (!data.empty() && data.back() == ']') data += 'c';
                e->AppendChild(TRef<TXmlDNode>(new TXmlDCDATASection(data)).Get());
            } else if (kind == 2) {
                e->AppendChild(Misc().Get());
            } else {
                TRef<TXmlDElement> child(Element(depth + 1));
                e->AppendChild(child.Get());
            }
        }
        return e;
    }

    std::mt19937 Rng;
};

}  // namespace

TEST(XmlRoundTrip, RandomTreesSaveLoadSaveToTheSameBytes) {
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        TRef<TXmlDDocument> doc(new TXmlDDocument());
        TreeGenerator(seed).Fill(*doc);
        TMemoryStream first;
        doc->SaveToStream(&first);
        TRef<TXmlDDocument> back(new TXmlDDocument());
        first.Seek(0);
        back->LoadFromStream(&first);
        TMemoryStream second;
        back->SaveToStream(&second);
        ASSERT_EQ(second.GetBytes(), first.GetBytes()) << "seed " << seed;
    }
}

TEST(XmlRoundTrip, ThroughAFile) {
    TempDir dir;
    const std::string name = dir.File("r.xml");
    for (uint32_t seed = 1000; seed < 1010; ++seed) {
        TXmlDDocument doc;
        TreeGenerator(seed).Fill(doc);
        doc.SaveToFile(name);
        TXmlDDocument back;
        back.LoadFromFile(name);
        ASSERT_EQ(back.GetXml(), doc.GetXml()) << seed;
    }
}

namespace {

// The definition: five replace-all passes, "&amp;" last.
std::string FivePassUnescape(std::string s) {
    const std::pair<std::string, std::string> passes[] = {
        {"&apos;", "'"}, {"&quot;", "\""}, {"&gt;", ">"}, {"&lt;", "<"}, {"&amp;", "&"}};
    for (const auto& [from, to] : passes) {
        std::string out;
        size_t at = 0;
        for (size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size())
            out += s.substr(at, hit - at) + to;
        s = out + s.substr(at);
    }
    return s;
}

}  // namespace

// The loader decodes texts where they lie, word by word; the result must be the five passes',
// wherever the entities fall relative to the eight-byte steps.
TEST(XmlLoad, InPlaceDecodingMatchesUnescapeXml) {
    std::mt19937 rng(7);
    const std::string pieces[] = {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;", "&", "&amp", "&quot", "&#60;",
                                  "a", "bcdefgh", ";", "&&lt;", "&amp;lt;", "\xC0", "'", "&'", "\0",
                                  std::string(40, 'r'), std::string(33, 's')};
    for (int round = 0; round < 6000; ++round) {
        std::string text;
        // Long enough, often, for the word-at-a-time path and its tail.
        for (int i = static_cast<int>(rng() % (round % 2 == 0 ? 24 : 160)); i > 0; --i)
            text += pieces[rng() % std::size(pieces)];
        const std::string expected = FivePassUnescape(text);
        ASSERT_EQ(UnescapeXml(text), expected) << text;
        std::string buffer = text;
        const size_t n = UnescapeXmlInPlace(buffer.data(), buffer.size());
        ASSERT_EQ(buffer.substr(0, n), expected) << text;
        std::string appended = "x";
        AppendUnescapedXml(appended, text);
        ASSERT_EQ(appended.substr(1), expected) << text;
    }
}

#ifdef _WIN32
// A file that another process holds open for reading (without FILE_SHARE_DELETE) cannot be
// replaced: the save reports it and the file stays as it was. HoldFile.exe sits beside the test
// program.
TEST(XmlSave, FileHeldByAnotherProcess) {
    TempDir dir;
    const std::string name = dir.File("held.xml");
    WriteBytes(name, "<old/>");

    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_GT(length, 0u);
    const fs::path helper = fs::path(std::wstring(self, length)).parent_path() / "HoldFile.exe";
    ASSERT_TRUE(fs::exists(helper)) << helper.string();

    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string readyName = "tessara-io-ready-" + tag, releaseName = "tessara-io-release-" + tag;
    HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    std::wstring command = L"\"" + helper.wstring() + L"\" read \"" + fs::path(name).wstring() + L"\" " +
                           fs::path(readyName).wstring() + L" " + fs::path(releaseName).wstring();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    ASSERT_EQ(::WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);

    TXmlDDocument doc;
    Load(doc, "<new/>");
    EXPECT_EQ(MessageOf([&] { doc.SaveToFile(name); }), "Cannot create file " + name);
    EXPECT_EQ(ReadBytes(name), "<old/>");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"held.xml"});

    ::SetEvent(release);
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(ready);
    ::CloseHandle(release);

    doc.SaveToFile(name);  // released: now it goes
    EXPECT_EQ(ReadBytes(name), "<new/>");
}
#endif
