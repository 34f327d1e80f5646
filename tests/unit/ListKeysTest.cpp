// Keys in the template list and moving templates, through the fake ports.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/ListKeys.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;
using Names = std::vector<std::string>;

class ListKeysTest : public fakes::FormFixture {
protected:
    // Three templates A, B, C, with controls and module text "cA", "mA", ...; B selected.
    void StartWithThree() {
        std::string xml = "<Document desctiption=\"d\">";
        for (const char* name : {"A", "B", "C"})
            xml += std::string("<Groops name=\"") + name + "\"><Controls>c" + name + "</Controls><Module>m" +
                   name + "</Module></Groops>";
        Start(xml + "</Document>");
        Select(1);
    }
    bool Key(unsigned virtualKey, unsigned modifiers) {
        bool handled = false;
        Run([&] { handled = Form->DlgFormsKeyDown(virtualKey, modifiers); });
        return handled;
    }
    // The names in the saved file, in their order.
    Names SavedNames() {
        Names names;
        const std::string file = SavedFile();
        for (size_t at = file.find("name=\""); at != std::string::npos; at = file.find("name=\"", at + 1))
            names.push_back(file.substr(at + 6, file.find('"', at + 6) - at - 6));
        return names;
    }
};

TEST_F(ListKeysTest, EachKeyRunsItsCommandOnTheSelectedEntry) {
    struct Case {
        const char* What;
        unsigned Key, Modifiers;
        std::function<void(fakes::FakeWindowSystem&, unsigned dialogFormat)> Before;
        std::function<void()> Check;
    };
    auto none = [](fakes::FakeWindowSystem&, unsigned) {};
    const Case cases[] = {
        {"Enter copies", kVkReturn, 0, none, [this] {
             EXPECT_EQ(W.Clipboard.Bytes(DialogFormat()), "cB");
             EXPECT_EQ(W.Clipboard.Bytes(kCfText), std::string("mB\0", 3));
             EXPECT_EQ(W.StatusBar1.Text, C("Скопировано B!"));
         }},
        {"Ctrl+C copies", kVkC, kModCtrl, none, [this] {
             EXPECT_EQ(W.Clipboard.Bytes(DialogFormat()), "cB");
         }},
        {"Delete deletes", kVkDelete, 0, none, [this] {
             EXPECT_EQ(W.DlgForms.Texts(), (Names{"A", "C"}));
             EXPECT_EQ(SavedNames(), (Names{"A", "C"}));
         }},
        {"F2 goes to the name box with the name selected", kVkF2, 0,
         [](fakes::FakeWindowSystem& w, unsigned) { w.edtName.Value = "typed"; },
         [this] {
             EXPECT_EQ(W.edtName.Value, "B");
             EXPECT_TRUE(W.edtName.AllSelected);
             EXPECT_EQ(W.Window.NameBoxFocused, 2);  // once at the start, once now
         }},
        {"Ctrl+V pastes the controls when they are there", kVkV, kModCtrl,
         [](fakes::FakeWindowSystem& w, unsigned format) {
             w.Clipboard.PutFromOutside(format, "new");
             w.Clipboard.Blocks[kCfText] = {std::string("text\0", 5)};
             w.Boxes.Answers = {true};
         },
         [this] {
             EXPECT_EQ(ControlsOf(1), "new");
             EXPECT_EQ(ModuleOf(1), "mB");
             ASSERT_EQ(W.Boxes.Questions.size(), 1u);
             EXPECT_EQ(W.Boxes.Questions[0].Text, C("Контролы уже существуют!\r\nЗаменить?"));
             EXPECT_EQ(W.StatusBar1.Text, C("Вставлены контролы в B!"));
         }},
        {"Ctrl+V pastes the text without controls", kVkV, kModCtrl,
         [](fakes::FakeWindowSystem& w, unsigned) {
             w.Clipboard.PutFromOutside(kCfText, std::string("text\0", 5));
             w.Boxes.Answers = {false};
         },
         [this] {
             EXPECT_EQ(ModuleOf(1), "mB");  // the question was answered Cancel
             ASSERT_EQ(W.Boxes.Questions.size(), 1u);
             EXPECT_EQ(W.Boxes.Questions[0].Text, C("Текст модуля уже существует!\r\nЗаменить?"));
         }},
        {"the context-menu key opens the paste menu at the entry", kVkApps, 0, none,
         [this] { EXPECT_EQ(W.PopupMenu.Popups, (Names{"100,226"})); }},
        {"Shift+F10 too", kVkF10, kModShift, none,
         [this] { EXPECT_EQ(W.PopupMenu.Popups, (Names{"100,226"})); }},
        {"Ctrl+Up moves up", kVkUp, kModCtrl, none, [this] {
             EXPECT_EQ(W.DlgForms.Texts(), (Names{"B", "A", "C"}));
             EXPECT_EQ(W.DlgForms.Selected, 0);
             EXPECT_EQ(SavedNames(), (Names{"B", "A", "C"}));
             EXPECT_EQ(W.StatusBar1.Text, C("Шаблон «B» перемещён на место 1 из 3."));
         }},
        {"Ctrl+Down moves down", kVkDown, kModCtrl, none, [this] {
             EXPECT_EQ(W.DlgForms.Texts(), (Names{"A", "C", "B"}));
             EXPECT_EQ(W.DlgForms.Selected, 2);
             EXPECT_EQ(SavedNames(), (Names{"A", "C", "B"}));
             EXPECT_EQ(ModuleOf(2), "mB");
             EXPECT_EQ(W.StatusBar1.Text, C("Шаблон «B» перемещён на место 3 из 3."));
         }},
        {"Ctrl+E opens the module editor", kVkE, kModCtrl, none, [this] {
             EXPECT_EQ(W.Editors.Edited, std::vector<TXmlDElement*>{W.DlgForms.ItemObject(1)});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        StartWithThree();
        c.Before(W, DialogFormat());
        EXPECT_TRUE(Key(c.Key, c.Modifiers));
        c.Check();
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
        EXPECT_FALSE(W.Clipboard.IsOpen);
    }
}

TEST_F(ListKeysTest, OtherKeysAndCombinationsAreLeftToTheList) {
    const struct {
        unsigned Key, Modifiers;
    } cases[] = {
        {'B', 0}, {kVkUp, 0}, {kVkDown, kModShift}, {kVkC, 0}, {kVkV, kModCtrl | kModShift},
        {kVkReturn, kModAlt}, {kVkDelete, kModCtrl}, {kVkF10, 0}, {kVkUp, kModCtrl | kModAlt},
        {kVkE, 0}, {kVkE, kModCtrl | kModShift},
    };
    StartWithThree();
    const std::string file = SavedFile();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Key) + " " + std::to_string(c.Modifiers));
        EXPECT_FALSE(Key(c.Key, c.Modifiers));
    }
    EXPECT_EQ(W.DlgForms.Texts(), (Names{"A", "B", "C"}));
    EXPECT_EQ(SavedFile(), file);
    EXPECT_EQ(W.StatusBar1.Text, "");
    EXPECT_TRUE(W.PopupMenu.Popups.empty());
    EXPECT_TRUE(W.Editors.Edited.empty());
}

TEST_F(ListKeysTest, MovesAtTheEndsOrWithoutSelectionDoNothing) {
    EXPECT_EQ(MovedIndex(0, 3, -1), std::nullopt);
    EXPECT_EQ(MovedIndex(2, 3, +1), std::nullopt);
    EXPECT_EQ(MovedIndex(-1, 3, +1), std::nullopt);
    EXPECT_EQ(MovedIndex(0, 0, +1), std::nullopt);
    EXPECT_EQ(MovedIndex(0, 1, +1), std::nullopt);
    EXPECT_EQ(MovedIndex(1, 3, -1), 0);
    EXPECT_EQ(MovedIndex(1, 3, +1), 2);

    StartWithThree();
    const std::string file = SavedFile();
    const struct {
        int Selected;
        unsigned Key;
    } cases[] = {{0, kVkUp}, {2, kVkDown}, {-1, kVkUp}, {-1, kVkDown}};
    for (const auto& c : cases) {
        Select(c.Selected);
        EXPECT_TRUE(Key(c.Key, kModCtrl));
        EXPECT_EQ(W.DlgForms.Selected, c.Selected);
    }
    // Without a selection, copy, delete and paste have nothing to act on either.
    W.Clipboard.PutFromOutside(DialogFormat(), "x");
    for (unsigned key : {kVkReturn, kVkDelete}) EXPECT_TRUE(Key(key, 0));
    EXPECT_TRUE(Key(kVkV, kModCtrl));
    EXPECT_EQ(W.DlgForms.Texts(), (Names{"A", "B", "C"}));
    EXPECT_EQ(SavedFile(), file);
    EXPECT_EQ(W.StatusBar1.Text, "");
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
}

TEST_F(ListKeysTest, ADraggedEntryMovesToWhereItIsDropped) {
    const struct Case {
        int From, To;    // the pressed entry, and where the list's selection followed the mouse
        Names Order;     // in the list and in the file
        int Selected;    // afterwards
        std::string Status;
    } cases[] = {
        {0, 2, {"B", "C", "A"}, 2, C("Шаблон «A» перемещён на место 3 из 3.")},
        {2, 0, {"C", "A", "B"}, 0, C("Шаблон «C» перемещён на место 1 из 3.")},
        {1, 2, {"A", "C", "B"}, 2, C("Шаблон «B» перемещён на место 3 из 3.")},
        // A click: pressed and released on one entry.
        {1, 1, {"A", "B", "C"}, 1, ""},
        // Nothing pressed, or a drop the list cannot have.
        {-1, 0, {"A", "B", "C"}, 0, ""},
        {0, 3, {"A", "B", "C"}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.From) + " -> " + std::to_string(c.To));
        StartWithThree();
        const std::string file = SavedFile();
        if (c.To < W.DlgForms.Count()) Select(c.To);
        Run([&] { Form->DlgFormsDragged(c.From, c.To); });
        EXPECT_EQ(W.DlgForms.Texts(), c.Order);
        EXPECT_EQ(W.DlgForms.Selected, c.Selected);
        EXPECT_EQ(W.StatusBar1.Text, c.Status);
        if (c.Status.empty()) EXPECT_EQ(SavedFile(), file);
        else EXPECT_EQ(SavedNames(), c.Order);
        // The name box shows the selected entry, the moved one after a move.
        EXPECT_EQ(W.edtName.Value, c.Order[static_cast<size_t>(c.Selected)]);
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    }
}

TEST_F(ListKeysTest, MovePassesOverCommentsAndKeepsTheOrderAcrossARestart) {
    Start("<Document desctiption=\"d\"><Groops name=\"A\"><Controls/><Module/></Groops><!--note-->"
          "<Groops name=\"B\"><Controls/><Module/></Groops><Groops name=\"C\"><Controls/><Module/></Groops>"
          "</Document>");
    Select(2);
    Key(kVkUp, kModCtrl);
    Key(kVkUp, kModCtrl);
    EXPECT_EQ(W.DlgForms.Texts(), (Names{"C", "A", "B"}));
    EXPECT_EQ(W.DlgForms.Selected, 0);
    Key(kVkDown, kModCtrl);
    EXPECT_NE(SavedFile().find("<Groops name=\"C\"><Controls/><Module/></Groops><!--note-->"), std::string::npos);
    // A drag over more than one place passes over the comment too, which stays where it was.
    Run([&] { Form->DlgFormsDragged(0, 2); });
    EXPECT_EQ(W.DlgForms.Texts(), (Names{"C", "B", "A"}));
    EXPECT_NE(SavedFile().find("<Groops name=\"C\"><Controls/><Module/></Groops><!--note--><Groops name=\"B\">"),
              std::string::npos);
    Run([&] { Form->DlgFormsDragged(2, 0); });
    Restart();
    EXPECT_EQ(W.DlgForms.Texts(), (Names{"A", "C", "B"}));
}

}  // namespace
}  // namespace tessara
