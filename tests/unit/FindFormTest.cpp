// The find window's handlers against fake ports, over a main window with its own fakes:
// opening and hiding, typing and moving in the list, copying the chosen template, the busy
// clipboard, and a document that changes under an open list.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/FindForm.h"
#include "fakes/FakeRepositoryFiles.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

class FakeFindWindow : public IFindWindow {
public:
    bool Shown = false;
    std::vector<std::string> Log;  // "show", "hide", "restore"
    std::string Search;
    int Rows = -1;
    int Selected = -2;
    int Visible = 4;

    void Show() override { Shown = true, Log.push_back("show"); }
    void Hide() override { Shown = false, Log.push_back("hide"); }
    void RestorePreviousWindow() override { Log.push_back("restore"); }
    std::string SearchText() const override { return Search; }
    void SetSearchText(const std::string& text) override { Search = text; }
    void SetRows(int count, int selected) override { Rows = count, Selected = selected; }
    void SetSelectedRow(int row) override {
        if (row < 0 || row >= Rows) throw std::logic_error("row out of range");
        Selected = row;
    }
    int VisibleRows() const override { return Visible; }
};

// The find window's error boxes; the window system deactivates the window while one shows.
class FindBoxes : public fakes::FakeMessageBoxes {
public:
    std::function<void()> WhileShown;
    void ShowError(const std::string& text, const std::string& title) override {
        FakeMessageBoxes::ShowError(text, title);
        if (WhileShown) WhileShown();
    }
};

class FindFormTest : public fakes::FormFixture {
protected:
    // The main window with templates named Names; template i's module text is Modules[i].
    void StartWith(const std::vector<std::string>& names, const std::vector<std::string>& modules) {
        Start(NewRepositoryXml());
        for (size_t i = 0; i < names.size(); ++i) {
            Add(C(names[i]));
            Select(static_cast<int>(i));
            W.Clipboard.PutFromOutside(kCfText, C(modules[i]) + std::string(1, '\0'));
            PasteModule();
        }
        Select(-1);
        W.StatusBar1.Text.clear();
        W.Clipboard.Log.clear();
        Find = std::make_unique<TFindForm>(TFindPorts{Window, Boxes, W.StatusBar1, W.Application}, *Form);
        Form->OnDocumentChanged = [this] { Find->DocumentChanged(); };
    }
    void Type(const std::string& utf8) {
        Window.Search = C(utf8);
        Find->SearchChanged();
    }
    std::vector<std::string> Rows() const {
        EXPECT_EQ(Window.Rows, Find->RowCount());
        std::vector<std::string> rows;
        for (int row = 0; row < Find->RowCount(); ++row) rows.push_back(Cp1251ToUtf8(Find->RowName(row)));
        return rows;
    }
    std::string Selected() const { return Cp1251ToUtf8(Find->RowName(Window.Selected)); }

    FakeFindWindow Window;
    FindBoxes Boxes;
    std::unique_ptr<TFindForm> Find;
};

TEST_F(FindFormTest, HotkeyOpensEverythingTypingFiltersAndKeysMoveWithinTheList) {
    StartWith({"Печать накладной", "Ввод остатков", "Отчёт", "Печать счёта", "Склад", "Касса"},
              {"Процедура Печать()", "// печать\r\nвторая", "", "", "", ""});
    Find->Hotkey();
    EXPECT_TRUE(Window.Shown);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Печать накладной", "Ввод остатков", "Отчёт",
                                                "Печать счёта", "Склад", "Касса"}));
    EXPECT_EQ(Window.Selected, 0);
    EXPECT_EQ(Cp1251ToUtf8(Find->RowFirstLine(0)), "Процедура Печать()");
    EXPECT_EQ(Cp1251ToUtf8(Find->RowFirstLine(1)), "// печать");
    EXPECT_EQ(Find->RowFirstLine(2), "");
    EXPECT_EQ(Find->RowName(6), "");

    struct Step {
        std::function<void()> Do;
        const char* Selected;
    };
    const Step steps[] = {
        {[&] { Find->Key(TFindKey::Down); }, "Ввод остатков"},
        {[&] { Find->Key(TFindKey::PageDown); }, "Склад"},     // a screenful: 4 rows less one
        {[&] { Find->Key(TFindKey::PageDown); }, "Касса"},     // stops at the last row
        {[&] { Find->Key(TFindKey::Down); }, "Касса"},
        {[&] { Find->Key(TFindKey::PageUp); }, "Отчёт"},
        {[&] { Find->Key(TFindKey::PageUp); }, "Печать накладной"},
        {[&] { Find->Key(TFindKey::Up); }, "Печать накладной"},
        {[&] { Find->RowClicked(3); }, "Печать счёта"},
        {[&] { Type("ПЕЧ"); }, "Печать накладной"},          // a new search selects its first row
        {[&] { Find->Key(TFindKey::Down); }, "Печать счёта"},
    };
    for (const Step& step : steps) {
        step.Do();
        EXPECT_EQ(Selected(), step.Selected);
    }
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Печать накладной", "Печать счёта", "Ввод остатков"}));
    Type("ПЕЧать ВТОР");
    EXPECT_EQ(Rows(), std::vector<std::string>{"Ввод остатков"});
    Type("нет такого");
    EXPECT_EQ(Rows(), std::vector<std::string>{});
    EXPECT_EQ(Window.Selected, -1);
    Find->Key(TFindKey::Down);
    Find->Key(TFindKey::Enter);  // nothing to copy
    EXPECT_EQ(W.Clipboard.Log, std::vector<std::string>{});
    Type("");
    EXPECT_EQ(Rows().size(), 6u);
    EXPECT_TRUE(Window.Shown);
    EXPECT_EQ(Window.Log, std::vector<std::string>{"show"});
}

TEST_F(FindFormTest, EscapeHotkeyAndDeactivationHide) {
    StartWith({"A", "B"}, {"", ""});
    struct Case {
        std::function<void()> Hide;
        std::vector<std::string> Log;  // after the opening's "show"
    };
    const Case cases[] = {
        {[&] { Find->Key(TFindKey::Escape); }, {"hide", "restore"}},
        {[&] { Find->Hotkey(); }, {"hide", "restore"}},
        {[&] { Find->Deactivated(); }, {"hide"}},  // another window is active now: it stays so
    };
    for (const Case& c : cases) {
        Window.Log.clear();
        Find->Hotkey();
        Type("B");
        EXPECT_EQ(Rows(), std::vector<std::string>{"B"});
        c.Hide();
        EXPECT_FALSE(Window.Shown);
        EXPECT_FALSE(Find->IsShown());
        std::vector<std::string> log{"show"};
        log.insert(log.end(), c.Log.begin(), c.Log.end());
        EXPECT_EQ(Window.Log, log);
        // Hidden, the window takes no keys; the next opening starts with an empty search.
        Find->Key(TFindKey::Enter);
        Find->Deactivated();
        EXPECT_EQ(Window.Log, log);
        Window.Search = "stale";
        Find->Hotkey();
        EXPECT_EQ(Window.Search, "");
        EXPECT_EQ(Rows(), (std::vector<std::string>{"A", "B"}));
        Find->Key(TFindKey::Escape);
    }
    EXPECT_TRUE(W.Clipboard.Log.empty());
}

TEST_F(FindFormTest, CtrlEHidesTheWindowAndOpensTheEditorOfTheSelectedRow) {
    StartWith({"A", "B"}, {"", ""});
    Find->Hotkey();
    Type("B");
    Find->Key(TFindKey::Edit);
    EXPECT_FALSE(Window.Shown);
    // The editor's window becomes the active one: the window before the hotkey stays behind.
    EXPECT_EQ(Window.Log, (std::vector<std::string>{"show", "hide"}));
    EXPECT_EQ(W.Editors.Edited, std::vector<TXmlDElement*>{W.DlgForms.ItemObject(1)});
    // With no row, nothing opens and the window stays.
    Find->Hotkey();
    Type("none");
    Find->Key(TFindKey::Edit);
    EXPECT_TRUE(Window.Shown);
    EXPECT_EQ(W.Editors.Edited.size(), 1u);
}

TEST_F(FindFormTest, EnterAndDoubleClickCopyAsTheCopyButtonDoes) {
    for (const bool byDoubleClick : {false, true}) {
        StartWith({"Первый", "Второй"}, {"Процедура А()", "Процедура Б()\r\nКонецПроцедуры"});
        Select(1);
        W.Clipboard.PutFromOutside(DialogFormat(), "{\"Dialogs\",2}");
        PasteControls();
        Select(-1);
        W.Clipboard.PutFromOutside(2 /* CF_BITMAP */, "picture");
        W.Clipboard.Log.clear();
        Window.Log.clear();

        Find->Hotkey();
        Type("конецпроц");
        ASSERT_EQ(Rows(), std::vector<std::string>{"Второй"});
        if (byDoubleClick) Find->RowDoubleClicked(0);
        else Find->Key(TFindKey::Enter);

        EXPECT_EQ(W.Clipboard.Blocks[DialogFormat()].Bytes, "{\"Dialogs\",2}");
        EXPECT_EQ(W.Clipboard.Blocks[kCfText].Bytes, C("Процедура Б()\r\nКонецПроцедуры") + '\0');
        EXPECT_EQ(W.StatusBar1.Text, C("Скопировано Второй!"));
        EXPECT_EQ(Window.Log, (std::vector<std::string>{"show", "hide", "restore"}));
        // The main window's list is left as it was.
        EXPECT_EQ(W.DlgForms.Selected, -1);
        EXPECT_FALSE(W.Button2.Enabled);
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
        EXPECT_TRUE(Boxes.Errors.empty());

        // Exactly what "Копировать" does with the same template selected: the same calls,
        // blocks and status line.
        const std::vector<std::string> log = W.Clipboard.Log;
        std::vector<std::pair<unsigned, std::string>> blocks;
        for (const auto& [format, block] : W.Clipboard.Blocks) blocks.push_back({format, block.Bytes});
        W.Clipboard.PutFromOutside(2 /* CF_BITMAP */, "picture");
        W.Clipboard.Log.clear();
        W.StatusBar1.Text.clear();
        Select(1);
        Copy();
        EXPECT_EQ(W.Clipboard.Log, log);
        std::vector<std::pair<unsigned, std::string>> byButton;
        for (const auto& [format, block] : W.Clipboard.Blocks) byButton.push_back({format, block.Bytes});
        EXPECT_EQ(byButton, blocks);
        EXPECT_EQ(W.StatusBar1.Text, C("Скопировано Второй!"));
    }
}

TEST_F(FindFormTest, BusyClipboardShowsTheErrorBoxAndTheWindowStays) {
    StartWith({"T"}, {"text"});
    Find->Hotkey();
    W.Clipboard.Busy = true;
    Boxes.WhileShown = [&] { Find->Deactivated(); };  // the box takes the activation
    Find->Key(TFindKey::Enter);
    ASSERT_EQ(Boxes.Errors.size(), 1u);
    EXPECT_EQ(Boxes.Errors[0].Text, "Cannot open clipboard.");
    EXPECT_EQ(Boxes.Errors[0].Title, "Tessara");
    EXPECT_TRUE(W.Boxes.Errors.empty());  // not the main window's box
    EXPECT_TRUE(Window.Shown);
    EXPECT_EQ(Window.Log, std::vector<std::string>{"show"});
    EXPECT_EQ(W.StatusBar1.Text, "");

    W.Clipboard.Busy = false;
    Find->Key(TFindKey::Enter);
    EXPECT_EQ(W.Clipboard.Blocks[kCfText].Bytes, std::string("text", 5));
    EXPECT_EQ(W.StatusBar1.Text, C("Скопировано T!"));
    EXPECT_FALSE(Window.Shown);
}

// The copy's placeholder dialog takes the activation and answers before the window goes on:
// a cancelled one leaves the window open, to choose again or leave with Esc.
TEST_F(FindFormTest, PlaceholderDialogCancelledKeepsTheWindowOpen) {
    StartWith({"T"}, {"<?\"Имя\">"});
    Find->Hotkey();
    W.PlaceholderDialog.WhileAsking = [&] {
        Find->Deactivated();
        Find->Hotkey();
    };
    W.PlaceholderDialog.Replies = {{TPlaceholderAnswer::Cancel, {}}, {TPlaceholderAnswer::AsIs, {}}};
    Find->Key(TFindKey::Enter);
    EXPECT_TRUE(Window.Shown);
    EXPECT_EQ(Window.Log, std::vector<std::string>{"show"});
    EXPECT_EQ(W.Clipboard.Log, std::vector<std::string>{});
    EXPECT_EQ(W.StatusBar1.Text, "");

    Find->Key(TFindKey::Enter);
    EXPECT_EQ(W.Clipboard.Blocks[kCfText].Bytes, C("<?\"Имя\">") + '\0');
    EXPECT_EQ(Window.Log, (std::vector<std::string>{"show", "hide", "restore"}));
    ASSERT_EQ(W.PlaceholderDialog.Asks.size(), 2u);
    EXPECT_EQ(W.PlaceholderDialog.Asks[1].Owner, TDialogOwner::FindWindow);
}

TEST_F(FindFormTest, ChangedDocumentRefreshesTheListAndNeverKeepsARemovedTemplate) {
    StartWith({"alpha", "beta", "gamma"}, {"", "", ""});
    Find->Hotkey();
    Type("a");
    Find->Key(TFindKey::Down);
    Find->Key(TFindKey::Down);
    EXPECT_EQ(Selected(), "gamma");

    struct Step {
        std::function<void()> Change;
        std::vector<std::string> Rows;
        const char* Selected;
    };
    const Step steps[] = {
        {[&] { Add("delta"); }, {"alpha", "beta", "gamma", "delta"}, "gamma"},
        {[&] { Rename(0, "omega"); }, {"omega", "beta", "gamma", "delta"}, "gamma"},
        {[&] {
             Select(2);  // gamma, the selected row: gone, the first row is selected
             Run([&] { Form->Button3Click(); });
         },
         {"omega", "beta", "delta"}, "omega"},
        {[&] { Rename(0, "xyz"); }, {"beta", "delta"}, "beta"},
        {[&] {  // the module text counts: pasted into, "xyz" is found by it
             Select(0);
             W.Clipboard.PutFromOutside(kCfText, std::string("a module\0", 9));
             PasteModule();
         },
         {"beta", "delta", "xyz"}, "beta"},
    };
    for (const Step& step : steps) {
        step.Change();
        EXPECT_TRUE(Window.Shown);
        EXPECT_EQ(Rows(), step.Rows);
        EXPECT_EQ(Selected(), step.Selected);
        for (int row = 0; row < Find->RowCount(); ++row)
            EXPECT_EQ(Find->RowTemplate(row)->ParentNode(), Form->RootElement) << row;
    }
    Type("a module");
    EXPECT_EQ(Rows(), std::vector<std::string>{"xyz"});

    // Hidden, the window is built again at its next opening.
    Find->Key(TFindKey::Escape);
    Select(2);  // delta
    Run([&] { Form->Button3Click(); });
    EXPECT_EQ(Find->RowTemplate(0), nullptr);
    Find->Hotkey();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"xyz", "beta"}));
}

// A template freed by a change gives its memory to the next one made: the selection must not
// jump to a new template that sits where the removed one was. The find window hears of both
// changes at once here, as it would of a change that removes one template and adds another.
TEST_F(FindFormTest, SelectionNeverFollowsTheAddressOfARemovedTemplate) {
    StartWith({"alpha", "beta", "gamma"}, {"", "", ""});
    Find->Hotkey();
    Find->Key(TFindKey::Down);
    EXPECT_EQ(Selected(), "beta");
    Form->OnDocumentChanged = nullptr;
    Select(1);
    Run([&] { Form->Button3Click(); });
    // A template's parts are freed after it, so its blocks come back to the parts of the next
    // one made; once that one goes too, the block is a template's again.
    Add("delta");
    Select(2);
    Run([&] { Form->Button3Click(); });
    Add("epsilon");
    Find->DocumentChanged();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"alpha", "gamma", "epsilon"}));
    EXPECT_EQ(Selected(), "alpha");
}

// Another program changes the file and the main window reads it again: the open list shows
// the templates of the new document, none of the one let go.
TEST_F(FindFormTest, FileReadAgainAfterAnOutsideChangeRefreshesTheList) {
    fakes::FakeRepositoryFiles memory;
    const auto repo = [](const std::string& names) {
        std::string xml = "<Document d=\"x\">";
        for (const char name : names) xml += std::string("<Groops name=\"") + name + "\"><Controls/><Module/></Groops>";
        return xml + "</Document>";
    };
    memory.Files[FileName] = repo("AB");
    W.Files = &memory;
    Restart();
    Find = std::make_unique<TFindForm>(TFindPorts{Window, Boxes, W.StatusBar1, W.Application}, *Form);
    Form->OnDocumentChanged = [this] { Find->DocumentChanged(); };
    Find->Hotkey();
    Find->Key(TFindKey::Down);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"A", "B"}));

    memory.WriteOutside(FileName, repo("XBY"));
    Run([&] { Form->FormActivate(); });
    EXPECT_EQ(W.StatusBar1.Text, C("Файл шаблонов изменён другой программой и прочитан заново."));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"X", "B", "Y"}));
    for (int row = 0; row < Find->RowCount(); ++row)
        EXPECT_EQ(Find->RowTemplate(row)->ParentNode(), Form->RootElement) << row;
    Find->Key(TFindKey::Enter);
    EXPECT_EQ(W.StatusBar1.Text, C("Скопировано X!"));

    // Changed while the find window was hidden and the main window not activated: the hotkey
    // itself reads it again.
    memory.WriteOutside(FileName, repo("Z"));
    Find->Hotkey();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Z"}));
}

TEST_F(FindFormTest, UnavailableHotkeyIsSaidInTheMainStatusBar) {
    StartWith({}, {});
    Find->HotkeyUnavailable();
    EXPECT_EQ(W.StatusBar1.Text,
              C("Сочетание клавиш Ctrl+Shift+Insert занято другой программой: окно поиска шаблонов "
                "по нему не открывается"));
    EXPECT_FALSE(Window.Shown);
}

}  // namespace
}  // namespace tessara
