// Undo and redo of every change, and the repository's history across runs, through the fake
// window over real files.
#include <gtest/gtest.h>

#include <functional>

#include <filesystem>

#include "app/ListKeys.h"
#include "app/RepositoryFiles.h"
#include "fakes/FakeRepositoryFiles.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

// A comment, a CDATA section, entities and a second attribute: whatever a change touches, its
// undo must give back these bytes exactly (as the writer writes them).
const std::string kStart =
    "<Document d=\"x\"><!--keep-->"
    "<Groops name=\"A\" extra=\"1\"><Controls>a&amp;b</Controls><Module><![CDATA[m<1>]]></Module></Groops>"
    "<Groops name=\"B\"><Controls/><Module>mb</Module></Groops>"
    "<Groops name=\"C\"><Controls>cc</Controls><Module/></Groops></Document>";

class UndoTest : public fakes::FormFixture {
protected:
    void Key(unsigned key, unsigned modifiers, bool inNameBox = false) {
        Run([&] { Form->MainWindowKeyDown(key, modifiers, inNameBox); });
    }
    void Undo() { Key(kVkZ, kModCtrl); }
    void Redo() { Key(kVkY, kModCtrl); }
    std::string SelectedName() const {
        return W.DlgForms.Selected < 0 ? "-" : W.DlgForms.ItemText(W.DlgForms.Selected);
    }
    void Paste(unsigned format, const std::string& bytes) {
        W.Clipboard.PutFromOutside(format, bytes);
        W.Boxes.Answers.assign(1, true);
        if (format == kCfText) PasteModule();
        else PasteControls();
    }
};

TEST_F(UndoTest, EveryChangeIsUndoneAndRedoneToTheExactBytes) {
    const std::string dropped = Dir.File("other.xml");
    fakes::WriteWholeFile(dropped, "<D><Groops name=\"B\"><Controls/><Module>mb</Module></Groops>"
                                   "<Groops name=\"X\"><Controls>x</Controls><Module>y</Module></Groops>"
                                   "<Groops name=\"Y\"/></D>");
    const struct {
        const char* Name;
        std::function<void()> Change;
        const char* AfterUndo;  // the entry selected after the undo ("-": none)
        const char* AfterRedo;
        const char* UndoStatus;
    } cases[] = {
        {"add", [&] { Add("N"); }, "-", "N", "Отменено: добавление шаблона «N»."},
        {"rename", [&] { Rename(0, "A2"); }, "A", "A2", "Отменено: переименование шаблона «A»."},
        {"delete", [&] { Select(1); Run([&] { Form->Button3Click(); }); }, "B", "-",
         "Отменено: удаление шаблона «B»."},
        {"controls over CDATA's neighbour", [&] { Select(0); Paste(DialogFormat(), "new&<"); }, "A", "A",
         "Отменено: вставка контролов в шаблон «A»."},
        {"module over CDATA", [&] { Select(0); Paste(kCfText, std::string("text\0", 5)); }, "A", "A",
         "Отменено: вставка модуля в шаблон «A»."},
        {"module into an empty one", [&] { Select(2); Paste(kCfText, std::string("t\0", 2)); }, "C", "C",
         "Отменено: вставка модуля в шаблон «C»."},
        {"move by key", [&] { Select(2); Run([&] { Form->DlgFormsKeyDown(kVkUp, kModCtrl); }); }, "C", "C", "Отменено: перемещение шаблона «C»."},
        {"move by drag", [&] { Run([&] { Form->DlgFormsDragged(0, 2); }); }, "A", "A",
         "Отменено: перемещение шаблона «A»."},
        {"take in", [&] { Run([&] { Form->FilesDropped({dropped}); }); }, "-", "X",
         "Отменено: добавление шаблонов из файлов: 2."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Start(kStart);
        c.Change();
        const std::string after = SavedFile();
        ASSERT_NE(after, kStart);
        Undo();
        EXPECT_EQ(SavedFile(), kStart);
        EXPECT_EQ(Xml(), kStart);
        EXPECT_EQ(SelectedName(), c.AfterUndo);
        EXPECT_EQ(W.StatusBar1.Text, C(c.UndoStatus));
        Redo();
        EXPECT_EQ(SavedFile(), after);
        EXPECT_EQ(SelectedName(), c.AfterRedo);
        Undo();
        EXPECT_EQ(SavedFile(), kStart);
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    }
}

TEST_F(UndoTest, KeysAreTheWindowsButInTheNameBoxAndTheHistoryEndsAtAnOutsideChange) {
    Start(kStart);
    Rename(0, "A2");
    Rename(1, "B2");
    // In the name box Ctrl+Z is the box's own: nothing is undone.
    Key(kVkZ, kModCtrl, true);
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"A2", "B2", "C"}));
    Undo();
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"A2", "B", "C"}));
    Key(kVkZ, kModCtrl | kModShift);  // redo
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"A2", "B2", "C"}));
    Redo();
    EXPECT_EQ(W.StatusBar1.Text, C("Делать снова нечего."));

    // Another program writes the file: it is read again, and the changes before no longer apply.
    const std::string outside = "<Document><Groops name=\"Z\"/></Document>";
    fakes::WriteWholeFile(FileName, outside);
    Undo();
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"Z"});
    EXPECT_EQ(W.StatusBar1.Text,
              C("Файл шаблонов был прочитан заново после изменения другой программой: прежние изменения отменить нельзя."));
    EXPECT_EQ(SavedFile(), outside);
    Undo();
    EXPECT_EQ(W.StatusBar1.Text, C("Отменять нечего."));
    // A change made since is undone as ever.
    Add("N");
    Undo();
    EXPECT_EQ(SavedFile(), outside);
}

TEST(UndoHistory, KeepsTheNewestHundredChangesAndAtMostSixtyFourMegabytes) {
    TRef<TXmlDElement> root(new TXmlDElement("r"));
    TRef<TXmlDAttribute> name(new TXmlDAttribute("name"));
    TUndoHistory history;
    for (int i = 0; i < 105; ++i) {
        TChange change(TChangeKind::Rename, nullptr);
        change.SetValue(name.Get(), std::to_string(i));
        history.Record(std::move(change));
    }
    EXPECT_EQ(history.Changes(), 100u);
    // Texts of 10 MB replaced one after the other: the oldest go while more than 64 MB are kept.
    const std::string big(10u << 20, 'x');
    for (int i = 0; i < 8; ++i) {
        TChange change(TChangeKind::PasteModule, nullptr);
        change.SetText(root.Get(), big + std::to_string(i));
        history.Record(std::move(change));
    }
    EXPECT_LE(history.KeptBytes(), TUndoHistory::kMaxBytes);
    EXPECT_EQ(history.Changes(), 6u);  // each keeps 10 MB: the text that is out of the document
    // The newest change stays, whatever it keeps.
    TChange huge(TChangeKind::PasteModule, nullptr);
    huge.SetText(root.Get(), std::string(70u << 20, 'y'));
    history.Record(std::move(huge));
    EXPECT_EQ(history.Changes(), 1u);
    ASSERT_NE(history.Undo(), nullptr);
    EXPECT_EQ(root->GetText(), big + "7");
}

class HistoryTest : public fakes::FormFixture {
protected:
    fakes::FakeRepositoryFiles Memory;
    TDateTime Clock{2026, 12, 10, 9, 15, 0};

    void Run2() {  // a new run of the program over the same files, at Clock
        Restart();
        Form->Now = [this] { return Clock; };
    }
    std::vector<std::string> Kept() {
        std::vector<std::string> names;
        for (const auto& [name, size] : Memory.FilesIn(HistoryFolder(FileName, '/'))) names.push_back(name);
        return names;
    }
    std::string& KeptCopy(const std::string& name) { return Memory.Files[HistoryFolder(FileName, '/') + '/' + name]; }
};

TEST_F(HistoryTest, OneCopyARunAndADayNoneOfTheSameBytesAndAFailureNeverStopsTheSave) {
    Memory.Files[FileName] = kStart;
    W.Files = &Memory;
    Run2();
    Add("N");
    const std::string first = Memory.Files[FileName];
    Add("M");
    EXPECT_EQ(Kept(), std::vector<std::string>{"1CDialogControls 2026-12-10 09-15-00.xml"});
    EXPECT_EQ(KeptCopy("1CDialogControls 2026-12-10 09-15-00.xml"), kStart);

    Clock.Day = 11;  // the same run the next day: the file as it stands then
    Add("O");
    EXPECT_EQ(Kept().size(), 2u);
    EXPECT_NE(KeptCopy("1CDialogControls 2026-12-11 09-15-00.xml"), first);

    Clock.Hour = 10;  // a new run whose file is the newest copy's bytes: no copy
    Memory.Files[FileName] = kStart;
    Memory.WriteOutside(FileName, KeptCopy("1CDialogControls 2026-12-11 09-15-00.xml"));
    Run2();
    Add("P");
    EXPECT_EQ(Kept().size(), 2u);

    Clock.Day = 12;  // a copy that cannot be kept: said once, the save goes on
    Run2();
    Memory.FailKeepCopy = true;
    Add("Q");
    EXPECT_EQ(W.StatusBar1.Text.rfind(C("Копия файла шаблонов в истории не сохранена: "), 0), 0u) << W.StatusBar1.Text;
    EXPECT_NE(Memory.Files[FileName].find("\"Q\""), std::string::npos);
    W.StatusBar1.Text.clear();
    Add("R");
    EXPECT_EQ(W.StatusBar1.Text, "");
}

// The kept copy is made before the save replaces the file: whether it is a second name of the
// file or a copy, it must hold the old bytes afterwards, also when the repository is reached
// through a symbolic link.
TEST(RepositoryHistory, AKeptCopyHoldsTheBytesOfBeforeTheSave) {
    fakes::TempDir dir;
    TRepositoryFiles files;
    std::vector<std::pair<std::string, std::string>> cases = {{"direct", dir.File("r.xml")}};
#ifndef _WIN32
    cases.push_back({"through a link", dir.File("link.xml")});
    std::filesystem::create_symlink(dir.File("r.xml"), dir.File("link.xml"));
#endif
    int run = 0;
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(name);
        fakes::WriteWholeFile(dir.File("r.xml"), "<old/>");
        const std::string copy = dir.File("r.history") + files.PathSeparator() + "c" + std::to_string(++run) + ".xml";
        files.KeepCopy(file, copy);
        TXmlDDocument document;
        document.AppendChild(TRef<TXmlDElement>(new TXmlDElement("new")).Get());
        files.Save(document, file);
        EXPECT_EQ(fakes::ReadWholeFile(copy), "<old/>");
        EXPECT_EQ(fakes::ReadWholeFile(dir.File("r.xml")), "<new/>");
    }
}

TEST(RepositoryHistory, CopiesAreLetGoByCountAgeAndSizeOldestFirstTheNewestAlwaysStays) {
    const TDateTime now{2026, 12, 10, 12, 0, 0};
    // Count copies made on a day (month, day), a second apart, each of Size bytes; with files
    // beside them that are no copies.
    struct TDay {
        int Month, Day, Count;
        int64_t Size;
    };
    auto copies = [](std::vector<TDay> days) {
        std::vector<std::pair<std::string, int64_t>> files{{"notes.txt", 1}, {"r 2026-1-01 00-00-00.xml", 1}};
        for (const TDay& d : days)
            for (int i = 0; i < d.Count; ++i) {
                char name[64];
                std::snprintf(name, sizeof name, "r 2026-%02d-%02d 08-%02d-%02d.xml", d.Month, d.Day, i / 60, i % 60);
                files.emplace_back(name, d.Size);
            }
        return HistoryCopies("dir/r.xml", files);
    };
    const struct {
        const char* Name;
        std::vector<THistoryCopy> Copies;
        size_t LetGo;
    } cases[] = {
        {"within every bound", copies({{11, 10, 10, 1000}, {12, 9, 40, 1000}}), 0},  // 30 days old: kept
        {"more than fifty", copies({{12, 9, 55, 10}}), 5},
        {"older than thirty days", copies({{11, 9, 7, 10}, {12, 1, 3, 10}}), 7},
        {"over 256 MB", copies({{12, 9, 5, int64_t{100} << 20}}), 3},
        {"the newest alone, too large and old", copies({{1, 1, 1, int64_t{1} << 40}}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<std::string> letGo = CopiesToLetGo(c.Copies, now);
        ASSERT_EQ(letGo.size(), c.LetGo);
        for (size_t i = 0; i < letGo.size(); ++i) EXPECT_EQ(letGo[i], c.Copies[i].Name);  // oldest first
    }
    EXPECT_EQ(HistoryCopyName("dir/r.xml", '/', now), "dir/r.history/r 2026-12-10 12-00-00.xml");
    // Two runs in one second: the second copy gets a name of its own, sorted after the first.
    const auto taken = HistoryCopies("dir/r.xml", {{"r 2026-12-10 12-00-00.xml", 1}});
    const std::string second = HistoryCopyName("dir/r.xml", '/', now, taken);
    EXPECT_EQ(second, "dir/r.history/r 2026-12-10 12-00-00_2.xml");
    const auto both = HistoryCopies("dir/r.xml", {{"r 2026-12-10 12-00-00_2.xml", 2}, {"r 2026-12-10 12-00-00.xml", 1}});
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both.back().Name, "r 2026-12-10 12-00-00_2.xml");
    EXPECT_EQ(DayNumber({2026, 3, 1}) - DayNumber({2026, 2, 28}), 1);
}

}  // namespace
}  // namespace tessara
