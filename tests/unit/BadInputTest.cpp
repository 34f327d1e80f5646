// Every error message the program can produce, each from a minimal input or action, compared
// byte for byte with the message text.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XUtils.h"
#include "xml/XXml.h"
#include "xml/XXmlDom.h"
#include "fakes/CreateFails.h"
#include "fakes/FormFixture.h"
#include "fakes/TestStreams.h"

using namespace tessara;
using tessara::fakes::C;
using tessara::fakes::FormFixture;
using tessara::fakes::ReadWholeFile;

namespace {

struct BadCase {
    const char* Title;
    std::function<void()> Action;
    std::string Expected;  // UTF-8 here, compared as 1251 bytes
    // Checks that the exception is of the kind the program names for this failure.
    std::function<bool(const Exception&)> IsKind;
};

template <class E>
std::function<bool(const Exception&)> Is() {
    return [](const Exception& e) { return dynamic_cast<const E*>(&e) != nullptr; };
}

void LoadText(const std::string& text) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    TMemoryStream stream(text);
    doc->LoadFromStream(&stream);
}

BadCase Xml(const char* title, std::string input, std::string expected,
            std::function<bool(const Exception&)> kind) {
    return {title, [input] { LoadText(input); }, std::move(expected), std::move(kind)};
}

void RunCases(const std::vector<BadCase>& cases) {
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.Title);
        try {
            c.Action();
            ADD_FAILURE() << "no error raised";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), Cp1251(c.Expected)) << "got: " << Cp1251ToUtf8(e.Message());
            EXPECT_TRUE(c.IsKind(e)) << "raised as " << typeid(e).name();
        }
    }
}

}  // namespace

TEST(BadInput, LoaderAndModelMessages) {
    auto general = [](const Exception&) { return true; };
    RunCases({
        Xml("CDATA outside the root", "<![CDATA[x]]><a/>",
            "XML: неправильная конструкция в XML-документе", general),
        Xml("document type inside an element", "<a><!DOCTYPE x></a>",
            "XML: узел \"element\" не может содержать подузел \"documenttype\"", general),
        {"text under the document",
         [] {
             TRef<TXmlDDocument> doc(new TXmlDDocument());
             TRef<TXmlDText> text(new TXmlDText("x"));
             doc->AppendChild(text.Get());
         },
         "XML: узел \"document\" не может содержать подузел \"text\"", general},
        {"attribute as a child",
         [] {
             TRef<TXmlDElement> e(new TXmlDElement("a"));
             TRef<TXmlDAttribute> a(new TXmlDAttribute("b"));
             e->AppendChild(a.Get());
         },
         "XML: узел \"element\" не может содержать подузел \"attribute\"", general},
        {"child under a text",
         [] {
             TRef<TXmlDText> text(new TXmlDText("x"));
             TRef<TXmlDElement> e(new TXmlDElement("a"));
             text->AppendChild(e.Get());
         },
         "XML: узел \"text\" не может содержать подузлы", general},
        {"remove a node that is not a child",
         [] {
             TRef<TXmlDElement> e(new TXmlDElement("a"));
             TRef<TXmlDElement> other(new TXmlDElement("b"));
             e->RemoveChild(other.Get());
         },
         "XML: Не найден подузел для удаления", general},
        {"a node into a second list",
         [] {
             TRef<TXmlDElement> a(new TXmlDElement("a"));
             TRef<TXmlDElement> b(new TXmlDElement("b"));
             TRef<TXmlDElement> c(new TXmlDElement("c"));
             a->AppendChild(c.Get());
             b->ChildNodes()->Insert(c.Get(), -1);
         },
         "XML: Нельзя добавлять узел в два списка", general},
        {"an attribute of another element, name present",
         [] {
             TRef<TXmlDElement> a(new TXmlDElement("a"));
             TRef<TXmlDElement> b(new TXmlDElement("b"));
             a->SetAttribute("n", "1");
             b->SetAttribute("n", "2");
             b->SetAttributeNode(a->GetAttributeNode("n"));
         },
         "XML: Нельзя добавлять подузел в два списка", general},
        {"an attribute of another element, new name",
         [] {
             TRef<TXmlDElement> a(new TXmlDElement("a"));
             TRef<TXmlDElement> b(new TXmlDElement("b"));
             a->SetAttribute("n", "1");
             b->SetAttributeNode(a->GetAttributeNode("n"));
         },
         "XML: Нельзя добавлять узел в два списка", general},
        {"an element into itself",
         [] {
             TRef<TXmlDElement> a(new TXmlDElement("a"));
             a->AppendChild(a.Get());
         },
         "XML: Нельзя добавить узел в самого себя или в свой подузел", general},
        {"an element under its own child",
         [] {
             TRef<TXmlDElement> a(new TXmlDElement("a"));
             TRef<TXmlDElement> b(new TXmlDElement("b"));
             a->AppendChild(b.Get());
             b->InsertChild(a.Get(), 0);
         },
         "XML: Нельзя добавить узел в самого себя или в свой подузел", general},
        {"into the child list of a destroyed node",
         [] {
             TRef<TXmlDNodeList> list;
             {
                 TRef<TXmlDElement> a(new TXmlDElement("a"));
                 list.Reset(a->ChildNodes());
             }
             TRef<TXmlDElement> b(new TXmlDElement("b"));
             list->Insert(b.Get(), -1);
         },
         "XML: Нельзя добавлять узел в список удалённого узла", general},
        {"value of an element",
         [] { TRef<TXmlDElement>(new TXmlDElement("a"))->SetNodeValue("v"); },
         "XML: Нельзя изменять значение узла \"element\"", general},
        {"value of a document",
         [] { TRef<TXmlDDocument>(new TXmlDDocument())->SetNodeValue("v"); },
         "XML: Нельзя изменять значение узла \"document\"", general},
        {"value of a document type",
         [] { TRef<TXmlDDocumentType>(new TXmlDDocumentType("d"))->SetNodeValue("v"); },
         "XML: Нельзя изменять значение узла \"documenttype\"", general},
        {"text of a document",
         [] { TRef<TXmlDDocument>(new TXmlDDocument())->SetText("t"); },
         "XML: Нельзя изменять текст узла \"document\"", general},
        {"text of a document type",
         [] { TRef<TXmlDDocumentType>(new TXmlDDocumentType("d"))->SetText("t"); },
         "XML: Нельзя изменять текст узла \"documenttype\"", general},
        {"list index",
         [] { TRef<TXmlDElement>(new TXmlDElement("a"))->ChildNodes()->Item(-1); },
         "List index out of bounds (-1)", Is<EListError>()},
        {"first attribute of an element without attributes",
         [] { TRef<TXmlDElement>(new TXmlDElement("a"))->Attributes()->Item(0); },
         "List index out of bounds (0)", Is<EListError>()},
    });
}

TEST(BadInput, FileAndStreamMessages) {
    const std::string missing = "no-such-dir-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "/x.xml";
    RunCases({
        {"load a missing file",
         [missing] { TRef<TXmlDDocument>(new TXmlDDocument())->LoadFromFile(missing); },
         "Cannot open file " + missing, Is<EFOpenError>()},
        {"save into a missing directory",
         [missing] { TRef<TXmlDDocument>(new TXmlDDocument())->SaveToFile(missing); },
         "Cannot create file " + missing, Is<EFCreateError>()},
        {"stream shorter than it says",
         [] {
             TRef<TXmlDDocument> doc(new TXmlDDocument());
             fakes::THalfReadStream stream("<a>text</a>");
             doc->LoadFromStream(&stream);
         },
         "Stream read error", Is<EReadError>()},
        {"stream that takes nothing",
         [] {
             TRef<TXmlDDocument> doc(new TXmlDDocument());
             TRef<TXmlDElement> e(new TXmlDElement("a"));
             doc->AppendChild(e.Get());
             fakes::TLimitedWriteStream stream(0);
             doc->SaveToStream(&stream);
         },
         "Stream write error", Is<EWriteError>()},
    });
}

// The application's own failures, through its handlers and the standard error box, whose text
// is the message with a full stop when the message ends in a byte after ".".
class BadInputApp : public FormFixture {
protected:
    // Leaves the test's directory empty, for the next case.
    void ClearDirectory() {
        for (const auto& entry : std::filesystem::directory_iterator(Dir.File("")))
            std::filesystem::remove_all(entry.path());
    }
    std::string Box(const std::string& utf8Message) { return StandardErrorText(Cp1251(utf8Message)); }
};

TEST_F(BadInputApp, HandlerMessages) {
    Start(C("<D><G name=\"a\"/><G name=\"b\"><C/></G><G><C/><M/></G></D>"));
    ASSERT_EQ(W.Boxes.Errors.size(), 0u);

    struct Action {
        const char* Title;
        std::function<void()> Do;
        std::string Message;
    };
    const std::vector<Action> actions = {
        {"rename with nothing selected", [&] { Select(-1); Run([&] { Form->Button2Click(); }); },
         "List index out of bounds (-1)"},
        {"delete with nothing selected", [&] { Select(-1); Run([&] { Form->Button3Click(); }); },
         "List index out of bounds (-1)"},
        {"copy with nothing selected", [&] { Select(-1); Copy(); }, "List index out of bounds (-1)"},
        {"rename a template without attributes", [&] { Rename(2, "x"); },
         "List index out of bounds (0)"},
        {"copy a template without controls element", [&] { Select(0); Copy(); },
         "В шаблоне «a» нет элемента с данными контролов"},
        {"copy a template without module element", [&] { Select(1); Copy(); },
         "В шаблоне «b» нет элемента с текстом модуля после данных контролов"},
        {"copy with a busy clipboard",
         [&] {
             Select(2);
             W.Clipboard.Busy = true;
             Copy();
             W.Clipboard.Busy = false;
         },
         "Cannot open clipboard"},
        {"paste menu with a busy clipboard",
         [&] {
             Select(2);
             W.Clipboard.Busy = true;
             Run([&] { Form->Button4Click(); });
             W.Clipboard.Busy = false;
         },
         "Cannot open clipboard"},
    };
    for (const Action& a : actions) {
        SCOPED_TRACE(a.Title);
        const size_t before = W.Boxes.Errors.size();
        a.Do();
        ASSERT_EQ(W.Boxes.Errors.size(), before + 1);
        EXPECT_EQ(W.Boxes.Errors.back().Text, Box(a.Message));
    }
    EXPECT_FALSE(W.Clipboard.IsOpen);
}

TEST_F(BadInputApp, BrokenFileIsReportedAndKept) {
    const std::string broken = "<Document><Groops name=\"a\"><Controls>x</Controls></Document>";
    Start(broken);
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    const std::string expected =
        Box("Ошибка в XML-документе: несоответствие имени закрывающего тэга имени открывающему") +
        "\r\n" + C("Исходный файл сохранён без изменений как «") + FileName + ".bad" + C("»");
    EXPECT_EQ(W.Boxes.Errors[0].Text, StandardErrorText(expected));
    EXPECT_EQ(ReadWholeFile(FileName + ".bad"), broken);
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"a"});
}

TEST_F(BadInputApp, SaveIntoMissingDirectory) {
    Start();
    Form->RepositoryFileName = Dir.File("missing/1CDialogControls.xml");
    Close();
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    EXPECT_EQ(W.Boxes.Errors[0].Text, Box("Cannot create file " + Form->RepositoryFileName));
    // A change saves at once; its failure goes to the status bar, and the close will retry.
    Add("n");
    EXPECT_EQ(W.StatusBar1.Text,
              C("Изменения не сохранены в файл, попытка будет повторена: ") +
                  Box("Cannot create file " + Form->RepositoryFileName));
}

// Hostile repository files: each gives the right message (or loads), the window keeps
// working (a template can be added, copied and saved), and a file that failed to load is kept
// byte for byte beside the new one.
TEST_F(BadInputApp, HostileFiles) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    const std::string longName(100000, 'N');
    const std::string p = "Ошибка в XML-документе: ";
    struct Case {
        const char* Title;
        std::string File;
        std::string Error;  // UTF-8 message of the load, empty when it loads
        std::vector<std::string> Names;
    };
    const std::vector<Case> cases = {
        {"empty", "", "", {}},
        {"whitespace only", " \r\n\t \r\n", "", {}},
        {"only a comment", "<!-- nothing here -->", "", {}},
        {"only a declaration", "<?xml version=\"1.0\"?>", "", {}},
        {"100,000 nested tags", deep, "", {""}},
        {"a name of 100,000 characters",
         "<Document><Groops name=\"" + longName + "\"><Controls/><Module/></Groops></Document>", "",
         {longName}},
        {"an element name of 100,000 characters",
         "<Document><" + longName + " name=\"x\"/></Document>", "", {"x"}},
        {"bytes 0 and 0x98 in texts",
         std::string("<D><G name=\"a\0b\x98\"><C>c\0\x98</C><M>m\x98\0</M></G></D>", 42), "",
         {std::string("a\0b\x98", 4)}},
        {"several root elements", "<D><G name=\"a\"/></D><E><G name=\"b\"/></E>", "", {"a"}},
        {"document type inside the root", "<D><G name=\"a\"/><!DOCTYPE x></D>",
         "XML: узел \"element\" не может содержать подузел \"documenttype\"", {"a"}},
        {"text before the root", "x<D/>", p + "текст вне элемента", {}},
        {"end tag of another element", "<D><G name=\"a\"></D>",
         p + "несоответствие имени закрывающего тэга имени открывающему", {"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Title);
        ClearDirectory();
        Start(c.File);
        if (c.Error.empty()) {
            EXPECT_EQ(W.Boxes.Errors.size(), 0u) << Cp1251ToUtf8(LastError());
        } else {
            ASSERT_EQ(W.Boxes.Errors.size(), 1u);
            const std::string expected = StandardErrorText(
                StandardErrorText(Cp1251(c.Error)) + "\r\n" +
                C("Исходный файл сохранён без изменений как «") + FileName + ".bad" + C("»"));
            EXPECT_EQ(W.Boxes.Errors[0].Text, expected);
            EXPECT_EQ(ReadWholeFile(FileName + ".bad"), c.File);
        }
        EXPECT_EQ(W.DlgForms.Texts(), c.Names);
        // The window keeps working.
        const size_t errors = W.Boxes.Errors.size();
        Add("new");
        Select(W.DlgForms.Count() - 1);
        Copy();
        EXPECT_EQ(W.Clipboard.Bytes(kCfText), std::string(1, '\0'));
        Close();
        EXPECT_EQ(W.Boxes.Errors.size(), errors) << Cp1251ToUtf8(LastError());
        EXPECT_EQ(SavedFile(), Xml());
        Restart();
        EXPECT_EQ(W.Boxes.Errors.size(), 0u) << Cp1251ToUtf8(LastError());
        std::vector<std::string> names = c.Names;
        names.push_back("new");
        EXPECT_EQ(W.DlgForms.Texts(), names);
    }
}

// A repository cut off at every byte: never a crash; the file is kept when it does not load.
TEST_F(BadInputApp, TruncatedAtEveryByte) {
    const std::string full = C(
        "<?xml version=\"1.0\"?><!DOCTYPE D [<!ENTITY e \"x\">]><!-- c --><Document desctiption=\"d\">"
        "<Groops name=\"a&amp;b\"><Controls><![CDATA[{\"#\",1}]]></Controls><Module>Процедура "
        "&lt;\r\n</Module></Groops><Groops name='b' x=y><Controls/><Module/></Groops></Document>");
    for (size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        ClearDirectory();
        const std::string cut = full.substr(0, n);
        Start(cut);
        if (!W.Boxes.Errors.empty()) {
            EXPECT_EQ(ReadWholeFile(FileName + ".bad"), cut);
        }
        EXPECT_NE(Form->RootElement, nullptr);
        // Saving syncs the disk: the window's further work is tried on every 16th cut only.
        if (n % 16 != 0) continue;
        Add("n");
        Close();
        EXPECT_EQ(SavedFile(), Xml());
    }
}

// The reader skips spaces after "<", so "< !x>" and "< ?x>" are elements named "!x" and "?x".
// Written right after "<" they would read back as other constructs: a saved repository holding
// such a name must load again into the same tree.
TEST(BadInput, ElementNamesThatLookLikeMarkupSurviveASave) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<D>< !x/>< ?y a='1'>t</?y></D>", "<D>< !x/>< ?y a=\"1\">t</?y></D>"},
        {"< !--c-->", "< !--c--/>"},
        {"< ?pi a='?'/>", "< ?pi a=\"?\"/>"},
        {"< ![CDATA[>x</![CDATA[>", "< ![CDATA[>x</![CDATA[>"},
        {"<a!><b?/></a!>", "<a!><b?/></a!>"},
    };
    for (const auto& [input, saved] : cases) {
        SCOPED_TRACE(input);
        TRef<TXmlDDocument> first(new TXmlDDocument());
        TMemoryStream in(input);
        first->LoadFromStream(&in);
        EXPECT_EQ(first->GetXml(), saved);
        TRef<TXmlDDocument> second(new TXmlDDocument());
        TMemoryStream again(first->GetXml());
        EXPECT_NO_THROW(second->LoadFromStream(&again));
        EXPECT_EQ(second->GetXml(), saved);
    }
}

// A broken file whose copy cannot be made (the disk refuses new files): the load error says
// so, and no save writes over the file while the copy is owed.
TEST_F(BadInputApp, BackupThatCannotBeMade) {
    const std::string broken = "<Document><Groops name=\"a\"></Document>";
    fakes::CreateFails failing;
    Start(broken);
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    const std::string createError = "Cannot create file " + FileName + ".bad";
    EXPECT_EQ(W.Boxes.Errors[0].Text,
              StandardErrorText(
                  Box("Ошибка в XML-документе: несоответствие имени закрывающего тэга имени открывающему") +
                  "\r\n" +
                  C("Копию исходного файла сделать не удалось, и он не будет перезаписан, пока копия не "
                    "сделана: ") +
                  createError));
    Close();
    ASSERT_EQ(W.Boxes.Errors.size(), 2u);
    EXPECT_EQ(W.Boxes.Errors[1].Text,
              Box("Файл шаблонов не перезаписан: не удалось сохранить копию исходного файла: " +
                  createError));
    EXPECT_EQ(SavedFile(), broken);
}
