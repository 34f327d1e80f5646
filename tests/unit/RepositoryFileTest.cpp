// The repository file through the main window: reading at first show, writing after every
// change and at close, files that are broken, missing their root, or cannot be written.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ByteHash.h"
#include "app/RepositoryCopies.h"
#include "app/RepositoryFiles.h"
#include "fakes/CreateFails.h"
#include "fakes/FileHold.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;
using fakes::ReadWholeFile;
using fakes::WriteWholeFile;

class RepositoryFileTest : public fakes::FormFixture {
protected:
    std::string Description() const { return "<Document desctiption=\"" + C("Список контролов Тессар") + "\">"; }
    std::string Quoted(const std::string& name) const { return C("«") + name + C("»"); }
};

TEST(RepositoryHash, DependsOnTheBytesAloneNotOnHowTheyArrive) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7 + i / 13);
    const uint64_t whole = HashBytes(bytes);
    for (size_t step : {1u, 3u, 7u, 8u, 9u, 64u, 999u}) {
        TByteHash pieces;
        for (size_t at = 0; at < bytes.size(); at += step) pieces.Add(std::string_view(bytes).substr(at, step));
        EXPECT_EQ(pieces.Value(), whole) << step;
    }
    // Bytes that differ anywhere, or only in length (trailing zero bytes), hash differently.
    const std::string others[] = {"", std::string(1, '\0'), std::string(8, '\0'), std::string(9, '\0'),
                                  bytes.substr(1), bytes.substr(0, 999), bytes + '\0'};
    for (const std::string& other : others) EXPECT_NE(HashBytes(other), whole) << other.size();
    EXPECT_NE(HashBytes(""), HashBytes(std::string(1, '\0')));
    EXPECT_NE(HashBytes(std::string(8, '\0')), HashBytes(std::string(9, '\0')));
    std::string flipped = bytes;
    flipped[500] ^= 1;
    EXPECT_NE(HashBytes(flipped), whole);
}

// The hash also names the object a running copy of the program shares with later starts: the
// name a first version made for a file is the name every later one makes. Values taken from it.
TEST(RepositoryHash, IsTheOneEveryVersionComputesForTheRunningCopysName) {
    const char16_t path[] = u"Z:\\TMP\\1CDIALOGCONTROLS.XML";
    const struct {
        std::string_view Bytes;
        uint64_t Hash;
    } cases[] = {
        {std::string_view(reinterpret_cast<const char*>(path), sizeof path - 2), 0xD39B03F4186D065Dull},
        {"", 0x0A10A5F0F6070956ull},
        {"abcdefgh", 0xFAF584B84DA4E1E9ull},
    };
    for (const auto& c : cases) EXPECT_EQ(HashBytes(c.Bytes), c.Hash) << c.Bytes.size();
}

// Loading hashes the bytes it reads, so that start-up reads the file once: the hash must be
// the file's, whatever the file's size against the read blocks and whatever follows the root.
TEST(RepositoryHash, OfALoadIsTheHashOfTheFile) {
    fakes::TempDir dir;
    const std::string name = dir.File("r.xml");
    const std::string big(200 * 1024 + 5, 'x');
    const std::string files[] = {"<a/>", "<a/>\r\n\r\n", "<a>" + big + "</a>", "<a>" + big + "</a>\n<!--x-->  "};
    TRepositoryFiles real;
    for (const std::string& bytes : files) {
        WriteWholeFile(name, bytes);
        TXmlDDocument document;
        EXPECT_EQ(real.Load(document, name), HashFile(name)) << bytes.size();
        EXPECT_EQ(HashFile(name), HashBytes(bytes));
    }
}

TEST_F(RepositoryFileTest, NoFileAndImmediateCloseWritesTheNewRepository) {
    Start();
    EXPECT_EQ(SavedFile(), "<missing>");  // nothing is written before a change or the close
    Close();
    EXPECT_TRUE(W.Boxes.Errors.empty());
    EXPECT_EQ(SavedFile(), NewRepositoryXml());
}

TEST_F(RepositoryFileTest, ShowingAgainDoesNotReadAgainAndClosingUnshownWritesNothing) {
    Start("<Document><Groops name=\"a\"><Controls/><Module/></Groops></Document>");
    Form->FormShow();
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"a"});

    TmForm unshown(W.Ports());
    unshown.RepositoryFileName = Dir.File("other.xml");
    unshown.FormCreate();
    unshown.FormClose();
    EXPECT_EQ(ReadWholeFile(Dir.File("other.xml")), "<missing>");
}

TEST_F(RepositoryFileTest, ThreeTemplatesListedInFileOrderNothingSelected) {
    Start("<Document desctiption=\"mine\"><Groops name=\"b\"><Controls/><Module/></Groops>"
          "<Groops name=\"a\"><Controls/><Module/></Groops><Item name=\"c\"/></Document>");
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(W.DlgForms.Selected, -1);
    EXPECT_EQ(W.DlgForms.UpdateDepth, 0);
    EXPECT_GE(W.DlgForms.Updates, 1);
    EXPECT_TRUE(W.Boxes.Errors.empty());
    EXPECT_EQ(Form->RootElement->GetAttribute("desctiption", ""), "mine");
}

TEST_F(RepositoryFileTest, IndentedFileIsWrittenBackOnOneLine) {
    Start("<Document desctiption=\"d\">\r\n  <Groops name=\"x\">\r\n    <Controls>c</Controls>\r\n"
          "    <Module>m</Module>\r\n  </Groops>\r\n</Document>\r\n");
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"x"});
    Close();
    EXPECT_EQ(SavedFile(),
              "<Document desctiption=\"d\"><Groops name=\"x\"><Controls>c</Controls><Module>m</Module>"
              "</Groops></Document>");
}

TEST_F(RepositoryFileTest, ListingPassesOverCommentsInstructionsAndTextAndKeepsThem) {
    const std::string file =
        "<Document><!--first--><Groops name=\"a\"><Controls/><Module/></Groops>"
        "<?note keep?>stray text<Groops name=\"b\"><Controls/><Module/></Groops><![CDATA[x]]></Document>";
    Start(file);
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"a", "b"}));
    Close();
    EXPECT_EQ(SavedFile(), file);
}

TEST_F(RepositoryFileTest, TextsSurviveACloseAndANewStart) {
    const std::string name = C("Имя & <теги> \"кавычки\" 'апостроф'");
    const std::string controls = "{\"Form\",\r\n{<1>,&amp;}}";
    const struct {
        std::string Module, Back;
    } modules[] = {
        {C("Процедура()\r\n\tА = \"<&>\";\r\nКонецПроцедуры\r\n"), C("Процедура()\r\n\tА = \"<&>\";\r\nКонецПроцедуры\r\n")},
        {"  \r\n  ", ""},  // blanks with a line break: dropped by the loader
        {"   ", "   "},    // blanks on one line stay
    };
    for (const auto& m : modules) {
        std::filesystem::remove(FileName);
        Start();
        Add(name);
        Select(0);
        W.Clipboard.PutFromOutside(DialogFormat(), controls);
        PasteControls();
        W.Clipboard.PutFromOutside(kCfText, m.Module + '\0');
        PasteModule();
        Close();
        Restart();
        ASSERT_EQ(W.DlgForms.Texts(), std::vector<std::string>{name});
        EXPECT_EQ(ControlsOf(0), controls);
        EXPECT_EQ(ModuleOf(0), m.Back);
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    }
}

TEST_F(RepositoryFileTest, FileThatCannotBeWrittenKeepsTheWindowOpenAtEveryClose) {
    const std::string file = "<Document><Groops name=\"a\"><Controls/><Module/></Groops></Document>";
    Start(file);
    ASSERT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"a"});
    fakes::FileHold other(FileName, fakes::FileHold::Reading);
    ASSERT_TRUE(other.IsHeld());
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool closed = false;
        Run([&] {
            Form->FormClose();
            closed = true;
        });
        EXPECT_FALSE(closed);
        EXPECT_EQ(LastError(), "Cannot create file " + FileName + ".");
    }
    EXPECT_EQ(SavedFile(), file);
    other.Release();
    W.Boxes.Errors.clear();
    Close();
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
}

// ---- A document without a root element after reading ---------------------------------------

TEST_F(RepositoryFileTest, FileWithoutRootElementGetsTheNewRepositoryRoot) {
    const struct {
        const char* Name;
        std::string File;
        std::string Saved;
    } cases[] = {
        {"empty", "", ""},
        {"whitespace", " \r\n\t\r\n", ""},
        {"comment", "<!--only a comment-->", "<!--only a comment-->"},
        {"instruction", "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\"?>"},
    };
    for (const auto& c : cases) {
        Start(c.File);
        EXPECT_TRUE(W.Boxes.Errors.empty()) << c.Name << ": " << LastError();
        ASSERT_NE(Form->RootElement, nullptr) << c.Name;
        EXPECT_TRUE(W.DlgForms.Count() == 0);
        Add("t");
        EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"t"}) << c.Name;
        Close();
        EXPECT_EQ(SavedFile(), c.Saved + Description() + "<Groops name=\"t\"><Controls/><Module/></Groops></Document>")
            << c.Name;
    }
}

TEST_F(RepositoryFileTest, FileBrokenBeforeItsRootGetsRootAndReportsLoadWithBackup) {
    const std::string broken = "<!--x--></Document>";
    Start(broken);
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    const std::string& text = W.Boxes.Errors[0].Text;
    EXPECT_EQ(text.rfind("XML: ", 0) == 0 || text.rfind(C("Ошибка в XML-документе: "), 0) == 0, true) << text;
    EXPECT_NE(text.find(Quoted(FileName + ".bad")), std::string::npos) << text;
    ASSERT_NE(Form->RootElement, nullptr);
    Add("t");
    EXPECT_EQ(ReadWholeFile(FileName + ".bad"), broken);
}

// A file that exists but cannot be opened: OutsideChangeTest.

// ---- A file that failed to load is never silently replaced ---------------------------------

TEST_F(RepositoryFileTest, BrokenFileIsCopiedAsideBeforeItIsWrittenOver) {
    const std::string broken =
        "<Document><Groops name=\"a\"><Controls>c</Controls><Module>m</Module></Groops>"
        "<Groops name=\"b\"><Controls></Module></Groops></Document>";
    Start(broken);
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    const std::string& text = W.Boxes.Errors[0].Text;
    const std::string tail = "\r\n" + C("Исходный файл сохранён без изменений как ") + Quoted(FileName + ".bad") + ".";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << text;
    EXPECT_EQ(W.Boxes.Errors[0].Title, "Tessara");
    // The templates read before the error are listed.
    ASSERT_GE(W.DlgForms.Texts().size(), 1u);
    EXPECT_EQ(W.DlgForms.Texts()[0], "a");
    EXPECT_EQ(ReadWholeFile(FileName + ".bad"), broken);

    Close();
    EXPECT_EQ(SavedFile(), Xml());
    EXPECT_EQ(ReadWholeFile(FileName + ".bad"), broken);

    // A second broken file never replaces the first copy.
    const std::string broken2 = "<Document><Groops name=\"z\">";
    WriteWholeFile(FileName, broken2 + "<");
    Restart();
    EXPECT_NE(LastError().find(Quoted(FileName + ".bad1")), std::string::npos) << LastError();
    EXPECT_EQ(ReadWholeFile(FileName + ".bad"), broken);
    EXPECT_EQ(ReadWholeFile(FileName + ".bad1"), broken2 + "<");
}

TEST_F(RepositoryFileTest, WhenTheCopyCannotBeMadeTheFileIsNotWritten) {
    const std::string broken = "<Document><Groops name=\"a\"><Controls/><Module/></Groops><";
    auto failing = std::make_unique<fakes::CreateFails>();
    Start(broken);
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    EXPECT_NE(LastError().find(C("Копию исходного файла сделать не удалось")), std::string::npos) << LastError();

    Select(0);
    Rename(0, "renamed");
    EXPECT_EQ(W.StatusBar1.Text.rfind(C("Изменения не сохранены в файл, попытка будет повторена: ") +
                                          C("Файл шаблонов не перезаписан"),
                                      0),
              0u)
        << W.StatusBar1.Text;
    bool closed = false;
    Run([&] {
        Form->FormClose();
        closed = true;
    });
    EXPECT_FALSE(closed);
    EXPECT_EQ(ReadWholeFile(FileName), broken);

    failing.reset();
    Add("more");
    EXPECT_EQ(ReadWholeFile(FileName + ".bad"), broken);
    EXPECT_EQ(SavedFile(), Xml());
}

TEST(RepositoryBackup, NamesNeverReplaceAnEarlierCopy) {
    fakes::TempDir dir;
    const std::string file = dir.File("r.xml");
    WriteWholeFile(file, "v1");
    EXPECT_EQ(BackupRepositoryFile(file), file + ".bad");
    WriteWholeFile(file, "v2");
    EXPECT_EQ(BackupRepositoryFile(file), file + ".bad1");
    WriteWholeFile(file, std::string(200000, 'x') + std::string("\0\xff", 2));
    EXPECT_EQ(BackupRepositoryFile(file), file + ".bad2");
    EXPECT_EQ(ReadWholeFile(file + ".bad"), "v1");
    EXPECT_EQ(ReadWholeFile(file + ".bad1"), "v2");
    EXPECT_EQ(ReadWholeFile(file + ".bad2"), ReadWholeFile(file));
    EXPECT_THROW(BackupRepositoryFile(dir.File("missing.xml")), EFOpenError);
    // A directory that has a copy's name is passed over, not taken for a failure.
    std::filesystem::create_directories(file + ".bad3/inside");
    EXPECT_EQ(BackupRepositoryFile(file), file + ".bad4");
    EXPECT_EQ(ReadWholeFile(file + ".bad4"), ReadWholeFile(file));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), std::filesystem::directory_iterator()), 6);
}

// ---- Nothing the user did is lost ----------------------------------------------------------

TEST_F(RepositoryFileTest, EveryChangeIsWrittenAtOnce) {
    Start();
    Add("one");
    EXPECT_EQ(SavedFile(), Xml());
    Add("two");
    Rename(0, "first");
    EXPECT_EQ(SavedFile(), Xml());
    Select(0);
    W.Clipboard.PutFromOutside(DialogFormat(), "ctl");
    PasteControls();
    EXPECT_EQ(SavedFile(), Xml());
    W.Clipboard.PutFromOutside(kCfText, std::string("mod\0", 4));
    PasteModule();
    EXPECT_EQ(SavedFile(), Xml());
    Select(1);
    Run([&] { Form->Button3Click(); });
    EXPECT_EQ(SavedFile(), Description() +
                               "<Groops name=\"first\"><Controls>ctl</Controls><Module>mod</Module></Groops>"
                               "</Document>");
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
}

TEST_F(RepositoryFileTest, FailedSaveAfterChangeIsReportedAndRetriedAtTheNextChange) {
    const std::string sub = (Dir.Path / "sub").string();
    std::filesystem::create_directories(sub);
    FileName = sub + "/1CDialogControls.xml";
    Start();
    Add("a");
    std::filesystem::remove_all(sub);
    Add("b");
    EXPECT_EQ(W.StatusBar1.Text, C("Изменения не сохранены в файл, попытка будет повторена: ") +
                                     "Cannot create file " + FileName + ".");
    EXPECT_TRUE(W.Boxes.Errors.empty());
    std::filesystem::create_directories(sub);
    Add("c");
    EXPECT_EQ(SavedFile(), Xml());
    EXPECT_NE(SavedFile().find("\"b\""), std::string::npos);
}

TEST_F(RepositoryFileTest, SessionEndSavesWithoutAsking) {
    Start();
    Add("a");
    std::filesystem::remove(FileName);
    Form->FormEndSession(false);
    EXPECT_EQ(SavedFile(), "<missing>");
    Form->FormEndSession(true);
    EXPECT_EQ(SavedFile(), Xml());
    EXPECT_TRUE(W.Boxes.Errors.empty());
    EXPECT_TRUE(W.Boxes.Questions.empty());
}

}  // namespace
}  // namespace tessara
