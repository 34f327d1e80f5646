// The repository file while other programs change it: what was changed outside is read again
// before a change, at activation and before the saves; a file that cannot be read is never
// written over before it has been read.
#include <gtest/gtest.h>

#include <functional>

#include "fakes/FakeRepositoryFiles.h"
#include "fakes/FileHold.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

std::string Templ(const std::string& name, const std::string& controls = "", const std::string& module = "") {
    return "<Groops name=\"" + name + "\">" + (controls.empty() ? "<Controls/>" : "<Controls>" + controls + "</Controls>") +
           (module.empty() ? "<Module/>" : "<Module>" + module + "</Module>") + "</Groops>";
}
std::string Repo(const std::string& templates) { return "<Document d=\"x\">" + templates + "</Document>"; }

class OutsideChangeTest : public fakes::FormFixture {
protected:
    fakes::FakeRepositoryFiles Memory;

    void StartInMemory(const std::string& bytes) {
        Memory.Files[FileName] = bytes;
        W.Files = &Memory;
        Restart();
    }
    std::string File() const { return Memory.Files.at(FileName); }
    void Activate() { Run([&] { Form->FormActivate(); }); }
    void Delete() { Run([&] { Form->Button3Click(); }); }
    void Paste(unsigned format, const std::string& bytes) {
        W.Clipboard.PutFromOutside(format, bytes);
        W.Boxes.Answers.assign(1, true);
        if (format == kCfText) {
            PasteModule();
        } else {
            PasteControls();
        }
    }
};

// Each change, made after another program inserted a template before the selected one.
TEST_F(OutsideChangeTest, ChangeAfterAnOutsideChangeIsAppliedToTheFileAsItIsNow) {
    const struct {
        const char* Name;
        std::function<void()> Change;
        std::string Saved;
        std::string Status;  // empty: the change's own
    } cases[] = {
        {"add", [this] { Add("N"); }, Templ("X") + Templ("A") + Templ("B") + Templ("N"),
         C("Файл шаблонов изменён другой программой и прочитан заново.")},
        {"rename", [this] { W.edtName.Value = "B2"; Run([&] { Form->Button2Click(); }); },
         Templ("X") + Templ("A") + Templ("B2"), ""},
        {"delete", [this] { Delete(); }, Templ("X") + Templ("A"), ""},
        {"controls", [this] { Paste(DialogFormat(), "ctl"); },
         Templ("X") + Templ("A") + Templ("B", "ctl"), ""},
        {"module", [this] { Paste(kCfText, std::string("mod\0", 4)); },
         Templ("X") + Templ("A") + Templ("B", "", "mod"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Memory = fakes::FakeRepositoryFiles();
        StartInMemory(Repo(Templ("A") + Templ("B")));
        Select(1);
        Memory.WriteOutside(FileName, Repo(Templ("X") + Templ("A") + Templ("B")));
        c.Change();
        EXPECT_EQ(File(), Repo(c.Saved));
        EXPECT_EQ(File(), Xml());
        if (!c.Status.empty()) {
            EXPECT_EQ(W.StatusBar1.Text, c.Status);
        }
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    }
}

TEST_F(OutsideChangeTest, ChangeToATemplateRemovedOutsideIsRefused) {
    const std::function<void()> changes[] = {
        [this] { W.edtName.Value = "B2"; Run([&] { Form->Button2Click(); }); },
        [this] { Delete(); },
        [this] { Paste(DialogFormat(), "ctl"); },
        [this] { Paste(kCfText, std::string("mod\0", 4)); },
    };
    for (const auto& change : changes) {
        Memory = fakes::FakeRepositoryFiles();
        StartInMemory(Repo(Templ("A") + Templ("B")));
        Select(1);
        const std::string outside = Repo(Templ("A") + Templ("C"));
        Memory.WriteOutside(FileName, outside);
        change();
        EXPECT_EQ(W.StatusBar1.Text, C("Файл шаблонов изменён другой программой и прочитан заново; "
                                       "выбранного шаблона в нём больше нет, изменение не выполнено."));
        EXPECT_EQ(File(), outside);
        EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"A", "C"}));
        EXPECT_EQ(W.DlgForms.Selected, -1);
        EXPECT_FALSE(W.Button2.Enabled);
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    }
}

TEST_F(OutsideChangeTest, ActivationReadsAgainKeepingTheSelectionByNameAndCostsNoReadWhenUnchanged) {
    StartInMemory(Repo(Templ("A") + Templ("B") + Templ("B")));
    const int hashesAtStart = Memory.Hashes;
    Select(2);
    for (int i = 0; i < 3; ++i) Activate();
    EXPECT_EQ(Memory.Hashes, hashesAtStart);  // an attribute query each, no read
    // The same bytes written again: read once for the hash, not loaded again.
    TXmlDElement* before = W.DlgForms.ItemObject(0);
    Memory.WriteOutside(FileName, File());
    Activate();
    EXPECT_EQ(Memory.Hashes, hashesAtStart + 1);
    EXPECT_EQ(W.DlgForms.ItemObject(0), before);
    EXPECT_TRUE(W.StatusBar1.Text.empty()) << W.StatusBar1.Text;

    // Another "B" before the selected one: the nearest "B" to the old place stays selected.
    Memory.WriteOutside(FileName, Repo(Templ("B") + Templ("A") + Templ("Z") + Templ("B") + Templ("B")));
    Activate();
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"B", "A", "Z", "B", "B"}));
    EXPECT_EQ(W.DlgForms.Selected, 3);
    EXPECT_EQ(W.StatusBar1.Text, C("Файл шаблонов изменён другой программой и прочитан заново."));
    EXPECT_EQ(W.DlgForms.UpdateDepth, 0);
}

TEST_F(OutsideChangeTest, FileDeletedOutsideIsWrittenAgainAtTheNextChangeAndAtClose) {
    StartInMemory(Repo(Templ("A")));
    Memory.Files.erase(FileName);
    Activate();
    Add("N");
    EXPECT_EQ(File(), Repo(Templ("A") + Templ("N")));
    Memory.Files.erase(FileName);
    Close();
    EXPECT_EQ(File(), Repo(Templ("A") + Templ("N")));
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
}

TEST_F(OutsideChangeTest, CloseAndSessionEndReadAnOutsideChangeBeforeTheyWrite) {
    for (const bool sessionEnd : {false, true}) {
        Memory = fakes::FakeRepositoryFiles();
        StartInMemory(Repo(Templ("A")));
        Memory.WriteOutside(FileName, Repo(Templ("A") + Templ("X")));
        if (sessionEnd) {
            Form->FormEndSession(true);
        } else {
            Close();
        }
        EXPECT_EQ(File(), Repo(Templ("A") + Templ("X")));
        EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"A", "X"}));
    }
}

TEST_F(OutsideChangeTest, QuestionOnScreenKeepsTheDocumentUntilTheHandlerEnds) {
    StartInMemory(Repo(Templ("A", "old")));
    Select(0);
    W.Boxes.WhileAsking = [&] {
        Memory.WriteOutside(FileName, Repo(Templ("A", "old") + Templ("X")));
        Activate();  // the box's loop activates the window: nothing is read under the handler
    };
    Paste(DialogFormat(), "new");
    // The paste is saved, and the file as the other program left it is kept aside.
    EXPECT_EQ(File(), Repo(Templ("A", "new")));
    EXPECT_EQ(Memory.Files.at(FileName + ".bad"), Repo(Templ("A", "old") + Templ("X")));
    EXPECT_EQ(W.StatusBar1.Text, C("Копия исходного файла шаблонов сохранена как ") + C("«") + FileName + ".bad" + C("»"));
}

TEST_F(OutsideChangeTest, ChangedOnBothSidesKeepsTheUsersChangeAndTheOtherFileAside) {
    StartInMemory(Repo(Templ("A")));
    Memory.FailSaves = true;
    Add("mine");
    const std::string theirs = Repo(Templ("A") + Templ("theirs"));
    Memory.WriteOutside(FileName, theirs);
    Activate();
    EXPECT_EQ(W.StatusBar1.Text.rfind(C("Файл шаблонов изменён другой программой, а изменения"), 0), 0u)
        << W.StatusBar1.Text;
    Memory.FailSaves = false;
    Add("more");
    EXPECT_EQ(File(), Repo(Templ("A") + Templ("mine") + Templ("more")));
    EXPECT_EQ(Memory.Files.at(FileName + ".bad"), theirs);
}

// ---- A file that cannot be read at start ---------------------------------------------------

TEST_F(OutsideChangeTest, UnreadableAtStartIsNeverWrittenOverUntilItHasBeenRead) {
    const std::string file = Repo(Templ("kept", "c", "m"));
    Memory.Unreadable.insert(FileName);
    StartInMemory(file);
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    EXPECT_EQ(W.Boxes.Errors[0].Text, "Cannot open file " + FileName + ".\r\n" +
                                          C("Файл шаблонов не будет перезаписан, пока его не удастся прочитать."));
    EXPECT_TRUE(W.DlgForms.Count() == 0);

    Add("new");
    EXPECT_EQ(W.StatusBar1.Text, C("Изменение не выполнено: файл шаблонов не удаётся прочитать: ") +
                                     "Cannot open file " + FileName + ".");
    EXPECT_TRUE(W.DlgForms.Count() == 0);
    Activate();
    EXPECT_EQ(W.StatusBar1.Text, C("Файл шаблонов не удаётся прочитать: ") + "Cannot open file " + FileName + ".");
    bool closed = false;
    Run([&] {
        Form->FormClose();
        closed = true;
    });
    EXPECT_TRUE(closed);
    Form->FormEndSession(true);
    EXPECT_EQ(Memory.Saves, 0);
    EXPECT_EQ(File(), file);
    EXPECT_EQ(Memory.Files.size(), 1u);  // no backup copy either

    // Once it can be read, activation reads it and work goes on.
    Memory.Unreadable.clear();
    Activate();
    EXPECT_EQ(W.StatusBar1.Text, C("Файл шаблонов прочитан."));
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"kept"});
    Add("new");
    EXPECT_EQ(File(), Repo(Templ("kept", "c", "m") + Templ("new")));
    EXPECT_EQ(W.Boxes.Errors.size(), 1u);
}

TEST_F(OutsideChangeTest, UnreadableFileReadAtAChangeOrGoneMeanwhile) {
    // Read at the next change, which is then applied to it.
    Memory.Unreadable.insert(FileName);
    StartInMemory(Repo(Templ("kept")));
    Memory.Unreadable.clear();
    Add("new");
    EXPECT_EQ(File(), Repo(Templ("kept") + Templ("new")));

    // Deleted while it could not be read: nothing left to protect, the change is made.
    Memory = fakes::FakeRepositoryFiles();
    Memory.Unreadable.insert(FileName);
    StartInMemory(Repo(Templ("kept")));
    Memory.Files.erase(FileName);
    Add("new");
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"new"});
    EXPECT_EQ(File(), Xml());
}

// The same on real files: another program holds the file without sharing, then rewrites it.
TEST_F(OutsideChangeTest, RealFileHeldAtStartThenRewrittenOutside) {
    const std::string file = Repo(Templ("kept"));
    fakes::WriteWholeFile(FileName, file);
    {
        fakes::FileHold other(FileName, fakes::FileHold::Exclusive);
        ASSERT_TRUE(other.IsHeld());
        Restart();
        ASSERT_EQ(W.Boxes.Errors.size(), 1u);
        Add("new");
        Close();
    }
    EXPECT_EQ(fakes::ReadWholeFile(FileName), file);  // untouched while it was held
    Activate();
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"kept"});
    fakes::WriteWholeFile(FileName, Repo(Templ("kept") + Templ("outside")));
    Add("new");
    EXPECT_EQ(SavedFile(), Repo(Templ("kept") + Templ("outside") + Templ("new")));
    EXPECT_EQ(fakes::ReadWholeFile(FileName + ".bad"), "<missing>");
}

}  // namespace
}  // namespace tessara
