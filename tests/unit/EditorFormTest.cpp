// The module editor through fake windows over a main window with its own fakes: opening,
// the modified flag, saving as a change of the document, the close question's answers, a
// template gone at save, characters Windows-1251 lacks, the colours painted and the keys.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/EditorForm.h"
#include "app/ListKeys.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

// The editor's window as its text control behaves: typed text takes the colour of the
// character before it until it is painted.
class FakeEditorWindow : public IEditorWindow {
public:
    std::string Caption, Name, Status;
    std::u16string Chars;
    std::vector<TRgb> Colours;  // per character
    size_t Painted = 0;         // characters painted, all calls together
    size_t SelectedBegin = 0, SelectedEnd = 0;
    int Forward = 0;
    bool Closed = false;
    std::deque<TAnswer> SaveAnswers;
    std::deque<bool> OkAnswers;
    std::vector<std::string> Questions, Errors;

    TAnswer AskYesNoCancel(const std::string& text, const std::string&) override {
        Questions.push_back(text);
        if (SaveAnswers.empty()) throw std::logic_error("unexpected question");
        const TAnswer answer = SaveAnswers.front();
        SaveAnswers.pop_front();
        return answer;
    }
    bool AskOkCancel(const std::string& text, const std::string&) override {
        Questions.push_back(text);
        if (OkAnswers.empty()) throw std::logic_error("unexpected question");
        const bool answer = OkAnswers.front();
        OkAnswers.pop_front();
        return answer;
    }
    void ShowError(const std::string& text, const std::string&) override { Errors.push_back(text); }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    std::string NameText() const override { return Name; }
    void SetNameText(const std::string& name) override { Name = name; }
    void SetText(const std::u16string& text) override {
        Chars = text;
        Colours.assign(text.size(), TRgb{});
    }
    std::u16string Text() const override { return Chars; }
    void ReplaceText(size_t begin, size_t end, const std::u16string& text) override { Edit(begin, end, text); }
    void Select(size_t begin, size_t end) override {
        if (begin > end || end > Chars.size()) throw std::logic_error("selection outside the text");
        SelectedBegin = begin, SelectedEnd = end;
    }
    void PaintRuns(const std::vector<TColourRun>& runs) override {
        for (const TColourRun& run : runs) {
            if (run.Begin + run.Length > Chars.size()) throw std::logic_error("run outside the text");
            std::fill_n(Colours.begin() + static_cast<std::ptrdiff_t>(run.Begin), run.Length, run.Colour);
            Painted += run.Length;
        }
    }
    void SetStatus(const std::string& text) override { Status = text; }
    void BringForward() override { ++Forward; }
    void Close() override { Closed = true; }

    void Edit(size_t begin, size_t end, const std::u16string& text) {
        const TRgb inherited = begin > 0 ? Colours[begin - 1] : TRgb{};
        Chars.replace(begin, end - begin, text);
        const auto at = Colours.begin() + static_cast<std::ptrdiff_t>(begin);
        Colours.insert(Colours.erase(at, at + static_cast<std::ptrdiff_t>(end - begin)), text.size(), inherited);
    }
    // The colour of the first character of Part.
    TRgb ColourOf(std::u16string_view part) const { return Colours.at(Chars.find(part)); }
};

std::u16string U(std::string_view utf8) { return Cp1251ToUtf16(Cp1251(utf8)); }

class EditorFormTest : public fakes::FormFixture {
protected:
    // Templates named by the first of each pair, holding the second as their module text.
    void StartWith(const std::vector<std::pair<std::string, std::string>>& templates) {
        std::string xml = "<Document desctiption=\"d\">";
        for (const auto& [name, module] : templates)
            xml += "<Groops name=\"" + C(name) + "\"><Controls>c</Controls><Module>" + C(module) + "</Module></Groops>";
        Start(xml + "</Document>");
        Editors = std::make_unique<TEditorForms>([this](TEditorForm&) {
            auto window = std::make_unique<FakeEditorWindow>();
            Windows.push_back(window.get());
            return window;
        });
        Editors->SetMain(Form.get());
        W.Editors.Target = Editors.get();
        Form->OnDocumentChanged = [this] { Editors->DocumentChanged(); };
    }
    void OpenWithKey(int index) {
        Select(index);
        Run([&] { Form->DlgFormsKeyDown(kVkE, kModCtrl); });
    }
    TEditorForm& Editor() { return Editors->Form(0); }
    FakeEditorWindow& Window() { return *Windows.at(0); }
    // The user types Text over characters [Begin, End), and the control shows the lines.
    void Type(size_t begin, size_t end, std::string_view utf8) {
        Window().Edit(begin, end, U(utf8));
        Editor().TextReplaced(begin, end, U(utf8));
        Editor().Paint(0, Window().Chars.size());
    }
    void TypeAtEnd(std::string_view utf8) {
        const size_t end = Window().Chars.size();
        Type(end, end, utf8);
    }
    std::string SavedModuleOf(int index) { return ModuleOf(index); }

    std::unique_ptr<TEditorForms> Editors;
    std::vector<FakeEditorWindow*> Windows;
};

TEST_F(EditorFormTest, EachWayOfOpeningShowsTheTemplateAndASecondBringsTheSameWindowForward) {
    const std::function<void()> ways[] = {
        [this] { OpenWithKey(1); },
        [this] {
            Select(1);
            W.PopupMenu.Choice = TPasteItem::EditModule;
            Run([&] { Form->DlgFormsContextMenu(5, 5); });
        },
        [this] { Run([&] { Form->EditTemplate(W.DlgForms.ItemObject(1)); }); },
    };
    for (const auto& open : ways) {
        Windows.clear();
        StartWith({{"А", "x"}, {"Отчёт", "Если А Тогда\r\n\tБ = 1;\nКонецЕсли"}});
        const std::string file = SavedFile();
        open();
        open();
        ASSERT_EQ(Windows.size(), 1u);
        EXPECT_EQ(Window().Forward, 2);
        EXPECT_EQ(Window().Caption, C("Отчёт — Tessara"));
        EXPECT_EQ(Window().Name, C("Отчёт"));
        EXPECT_EQ(Window().Chars, U("Если А Тогда\r\tБ = 1;\rКонецЕсли"));
        EXPECT_EQ(Window().Status, C("Строка 1, столбец 1"));
        EXPECT_EQ(Editor().Template(), W.DlgForms.ItemObject(1));
        EXPECT_FALSE(Editor().Modified());
        // Opening and closing writes nothing.
        EXPECT_TRUE(Editor().Close());
        EXPECT_TRUE(Window().Closed);
        EXPECT_TRUE(Window().Questions.empty());
        EXPECT_EQ(SavedFile(), file);
        EXPECT_EQ(Editors->Count(), 0u);
    }
    // Nothing is selected: nothing opens.
    Windows.clear();
    StartWith({{"А", "x"}});
    OpenWithKey(-1);
    EXPECT_TRUE(Windows.empty());
}

TEST_F(EditorFormTest, TheModifiedFlagFollowsTheTextAndTheNameAgainstWhatWasSaved) {
    struct Case {
        const char* What;
        std::function<void()> Do;
        bool Modified;
        const char* Status;
    };
    const Case cases[] = {
        {"nothing done", [] {}, false, "Строка 1, столбец 1"},
        {"a letter typed", [this] { Type(1, 1, "Б"); }, true, "Строка 1, столбец 3    изменён"},
        {"typed and undone", [this] { Type(1, 1, "Б"); Editor().Undo(); }, false,
         "Строка 1, столбец 2"},
        {"undone and redone", [this] { Type(3, 3, "\r"); Editor().Undo(); Editor().Redo(); },
         true, "Строка 2, столбец 1    изменён"},
        {"typed and deleted again", [this] { Type(0, 0, "x"); Type(0, 1, ""); }, false,
         "Строка 1, столбец 1"},
        {"the name edited", [this] { Window().Name = "B"; Editor().NameEdited(); }, true,
         "Строка 1, столбец 1    изменён"},
        {"saved", [this] { Type(1, 1, "Б"); Editor().Save(); }, false, "Строка 1, столбец 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Windows.clear();
        StartWith({{"А", "Ааа\r\nБбб"}});
        OpenWithKey(0);
        c.Do();
        EXPECT_EQ(Editor().Modified(), c.Modified);
        EXPECT_EQ(Window().Status, C(c.Status));
    }
}

TEST_F(EditorFormTest, ASaveIsOneChangeOfTheDocumentThatTheListAndTheFileFollow) {
    StartWith({{"А", "Процедура П()\r\nКонецПроцедуры"}, {"Б", "b"}});
    OpenWithKey(0);
    TypeAtEnd("\r// проверка");
    Window().Name = C("Новое имя");
    EXPECT_TRUE(Editor().Save());
    EXPECT_EQ(SavedModuleOf(0), C("Процедура П()\r\nКонецПроцедуры\r\n// проверка"));
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{C("Новое имя"), C("Б")}));
    EXPECT_EQ(SavedFile(), Xml());
    EXPECT_EQ(Window().Caption, C("Новое имя — Tessara"));
    EXPECT_EQ(W.StatusBar1.Text, C("Сохранен шаблон «Новое имя»!"));
    EXPECT_FALSE(Editor().Modified());
    // One change of the main window: its undo brings the old name and text back, in the
    // document, the file and the editor, whose user has not edited them since.
    Run([&] { Form->Undo(); });
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{C("А"), C("Б")}));
    EXPECT_EQ(SavedModuleOf(0), C("Процедура П()\r\nКонецПроцедуры"));
    EXPECT_EQ(SavedFile(), Xml());
    EXPECT_EQ(Window().Chars, U("Процедура П()\rКонецПроцедуры"));
    EXPECT_EQ(Window().Name, C("А"));
    Run([&] { Form->Redo(); });
    EXPECT_EQ(SavedModuleOf(0), C("Процедура П()\r\nКонецПроцедуры\r\n// проверка"));
    EXPECT_EQ(Window().Chars, U("Процедура П()\rКонецПроцедуры\r// проверка"));
    EXPECT_FALSE(Editor().Modified());
    // A save with nothing changed writes nothing.
    const std::string file = SavedFile();
    EXPECT_TRUE(Editor().Save());
    EXPECT_EQ(SavedFile(), file);

    // What the editor did not change stays as the main window changed it meanwhile.
    Rename(0, C("Третье имя"));
    EXPECT_EQ(Window().Name, C("Третье имя"));  // a name not edited follows the template's
    TypeAtEnd("!");
    EXPECT_TRUE(Editor().Save());
    EXPECT_EQ(W.DlgForms.ItemText(0), C("Третье имя"));
    EXPECT_EQ(SavedModuleOf(0), C("Процедура П()\r\nКонецПроцедуры\r\n// проверка!"));
}

TEST_F(EditorFormTest, TheCloseQuestionsThreeAnswers) {
    struct Case {
        TAnswer Answer;
        bool Closed;
        const char* Module;  // in the file afterwards
    };
    const Case cases[] = {
        {TAnswer::Yes, true, "старый текст!"},
        {TAnswer::No, true, "старый текст"},
        {TAnswer::Cancel, false, "старый текст"},
    };
    for (const Case& c : cases) {
        Windows.clear();
        StartWith({{"Шаблон", "старый текст"}});
        OpenWithKey(0);
        TypeAtEnd("!");
        Window().SaveAnswers = {c.Answer};
        EXPECT_EQ(Editor().Close(), c.Closed);
        EXPECT_EQ(Window().Questions, std::vector<std::string>{C("Сохранить изменения в шаблоне «Шаблон»?")});
        EXPECT_EQ(Window().Closed, c.Closed);
        EXPECT_EQ(Editors->Count(), c.Closed ? 0u : 1u);
        EXPECT_EQ(SavedModuleOf(0), C(c.Module));
        EXPECT_NE(SavedFile().find(C(c.Module) + "</Module>"), std::string::npos);
    }
    // Closing all: each editor with changes asks; Cancel keeps it and ends the round.
    Windows.clear();
    StartWith({{"А", "a"}, {"Б", "b"}});
    OpenWithKey(0);
    OpenWithKey(1);
    Windows[0]->Name = "A2";
    Windows[1]->Name = "B2";
    Windows[0]->SaveAnswers = {TAnswer::No};
    Windows[1]->SaveAnswers = {TAnswer::Cancel};
    EXPECT_FALSE(Editors->CloseAll());
    EXPECT_TRUE(Windows[0]->Closed);
    EXPECT_FALSE(Windows[1]->Closed);
    Windows[1]->SaveAnswers = {TAnswer::Yes};
    EXPECT_TRUE(Editors->CloseAll());
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{C("А"), "B2"}));
}

TEST_F(EditorFormTest, ATemplateGoneAtTheSaveComesBackAsANewOneThatTheEditorFollows) {
    StartWith({{"А", "a"}, {"Б", "b"}});
    OpenWithKey(0);
    TypeAtEnd("1");
    Select(0);
    Run([&] { Form->Button3Click(); });  // deleted in the main window
    ASSERT_EQ(W.DlgForms.Texts(), std::vector<std::string>{C("Б")});
    EXPECT_TRUE(Editor().Save());
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{C("Б"), C("А")}));
    EXPECT_EQ(SavedModuleOf(1), "a1");
    EXPECT_EQ(Editor().Template(), W.DlgForms.ItemObject(1));
    EXPECT_EQ(W.StatusBar1.Text, C("Шаблона больше нет: текст сохранен в новый шаблон «А»."));
    // The next save changes that template; no other is added.
    TypeAtEnd("2");
    EXPECT_TRUE(Editor().Save());
    EXPECT_EQ(W.DlgForms.Count(), 2);
    EXPECT_EQ(SavedModuleOf(1), "a12");
}

TEST_F(EditorFormTest, CharactersTheCodePageLacksAreReplacedOnlyWhenTheUserAgrees) {
    for (const bool agree : {true, false}) {
        SCOPED_TRACE(agree);
        Windows.clear();
        StartWith({{"А", "Сумма"}});
        OpenWithKey(0);
        const std::string file = SavedFile();
        Type(0, 0, "");  // nothing
        Window().Edit(0, 0, u"\u03b1\u03b2 ");
        Editor().TextReplaced(0, 0, u"\u03b1\u03b2 ");
        Window().OkAnswers = {agree};
        EXPECT_EQ(Editor().Save(), agree);
        EXPECT_EQ(Window().Questions, std::vector<std::string>{C(
            "2 символов нет в кодировке Windows-1251; они будут заменены на «?». Сохранить?")});
        if (agree) {
            EXPECT_EQ(SavedModuleOf(0), C("?? Сумма"));
            EXPECT_EQ(Window().Chars, U("?? Сумма"));  // the editor shows what was saved
            EXPECT_FALSE(Editor().Modified());
        } else {
            EXPECT_EQ(SavedFile(), file);
            EXPECT_TRUE(Editor().Modified());
        }
    }
}

TEST_F(EditorFormTest, LinesArePaintedWhenTheyComeIntoViewAndAgainWhenAnEditChangesTheirColours) {
    StartWith({{"А", "А = 1;\r\n|Б = 2;\r\nВ = 3;\r\n// к"}});
    OpenWithKey(0);
    FakeEditorWindow& w = Window();
    EXPECT_EQ(w.Painted, 0u);
    Editor().Paint(0, 7);  // the first two lines are in view
    // Counted in characters painted: the line break between two runs of one colour goes with
    // them.
    EXPECT_EQ(w.Painted, 6u + 1u + 7u);
    EXPECT_EQ(w.ColourOf(u"А"), TokenColour(TTokenKind::Identifier));
    EXPECT_EQ(w.ColourOf(u"Б"), TokenColour(TTokenKind::Identifier));
    EXPECT_EQ(w.ColourOf(u"В"), TRgb{});  // not in view yet
    Editor().Paint(0, 7);
    EXPECT_EQ(w.Painted, 14u);  // nothing twice
    Editor().Paint(0, w.Chars.size());
    EXPECT_EQ(w.ColourOf(u"//"), TokenColour(TTokenKind::Comment));
    // A string opened in line 1 goes on in line 2, whose "|" continues it; line 3 is code again
    // and starts as it did, so line 4 is not painted again.
    w.Painted = 0;
    Type(4, 4, "\"");
    EXPECT_EQ(w.ColourOf(u"Б"), TokenColour(TTokenKind::String));
    EXPECT_EQ(w.ColourOf(u"В"), TokenColour(TTokenKind::Identifier));
    EXPECT_EQ(w.Painted, 7u + 1u + 7u + 6u);
    // Placeholders have their colour, also inside strings.
    TypeAtEnd("\rС = \"<?\"Имя\">\";");
    EXPECT_EQ(w.ColourOf(u"<?"), TokenColour(TTokenKind::Placeholder));
    EXPECT_EQ(w.ColourOf(u"С"), TokenColour(TTokenKind::Identifier));
}

TEST_F(EditorFormTest, UndoRedoAndFindActOnTheWindowsText) {
    StartWith({{"А", "один два"}});
    OpenWithKey(0);
    FakeEditorWindow& w = Window();
    Type(5, 8, "т");  // typed over "два" selected
    Type(6, 6, "р");
    Type(7, 7, "и");
    Type(8, 8, "!");
    Editor().Undo();  // the typing, with the selection it replaced, comes back selected
    EXPECT_EQ(w.Chars, U("один два"));
    EXPECT_EQ(std::make_pair(w.SelectedBegin, w.SelectedEnd), std::make_pair(size_t{5}, size_t{8}));
    Editor().Redo();
    EXPECT_EQ(w.Chars, U("один три!"));
    EXPECT_EQ(Editor().Text().Text(), w.Chars);
    // Find selects the next place, round the end, and says when there is none.
    Editor().SelectionChanged(0, 0);
    EXPECT_TRUE(Editor().FindNext(U("ТРИ"), true));
    EXPECT_EQ(std::make_pair(w.SelectedBegin, w.SelectedEnd), std::make_pair(size_t{5}, size_t{8}));
    EXPECT_TRUE(Editor().FindNext(U("один"), true));
    EXPECT_EQ(w.SelectedBegin, 0u);
    EXPECT_FALSE(Editor().FindNext(U("пять"), true));
    EXPECT_EQ(w.Status, C("Не найдено: «пять»"));
    // An edit the window cannot place is found by comparing the whole text.
    w.Edit(0, 4, U("ноль"));
    Editor().TextChanged();
    EXPECT_EQ(Editor().Text().Text(), U("ноль три!"));
    Editor().Undo();
    EXPECT_EQ(w.Chars, U("один три!"));
}

TEST(EditorKeys, EachKeyAndItsCommand) {
    const struct {
        unsigned Key, Modifiers;
        TEditorCommand Command;
    } cases[] = {
        {'S', kModCtrl, TEditorCommand::Save},
        {kVkEscape, 0, TEditorCommand::Close},
        {'F', kModCtrl, TEditorCommand::Find},
        {kVkF3, 0, TEditorCommand::FindNext},
        {kVkF3, kModShift, TEditorCommand::FindPrevious},
        {'Z', kModCtrl, TEditorCommand::Undo},
        {kVkBack, kModAlt, TEditorCommand::Undo},
        {'Y', kModCtrl, TEditorCommand::Redo},
        {'Z', kModCtrl | kModShift, TEditorCommand::Redo},
        {'S', 0, TEditorCommand::None},
        {'S', kModCtrl | kModAlt, TEditorCommand::None},
        {kVkEscape, kModShift, TEditorCommand::None},
        {'A', kModCtrl, TEditorCommand::None},  // the control's own
    };
    for (const auto& c : cases) EXPECT_EQ(EditorKeyCommand(c.Key, c.Modifiers), c.Command) << c.Key << " " << c.Modifiers;
}

}  // namespace
}  // namespace tessara
