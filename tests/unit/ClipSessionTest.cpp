// A long scripted session of random user actions and clipboard changes against the fakes.
// After every step the list, the document, the status bar, the error box and the file on
// disk are compared with a plain model of what the user should see; at the end the saved
// file is read back by a new run of the program and compared as well.
#include <gtest/gtest.h>

#include <random>

#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

struct ModelTemplate {
    std::string Name, Controls, Module;
};

// What a text reads as after a save and a load: whitespace spanning a line break is dropped.
std::string AfterReload(const std::string& text) {
    if (text.find_first_of("\r\n") == std::string::npos) return text;
    for (char c : text)
        if (static_cast<unsigned char>(c) > 32) return text;
    return std::string();
}

class ClipSessionTest : public fakes::FormFixture {
protected:
    std::mt19937 Random{20261208};
    std::vector<ModelTemplate> Model;
    int Selected = -1;
    std::string NameBox;
    std::string Status;
    size_t Errors = 0;
    bool Changed = false;

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(Random); }
    bool Chance(int percent) { return Pick(100) < percent; }

    std::string RandomText(bool allowZero) {
        static const std::string pieces[] = {"a", "Z", " ", "&", "<", ">", "\"", "'", "\r\n", "\n", "\t",
                                             "&amp;", "]]>", "-->", "1"};
        std::string text;
        const int length = Pick(4) == 0 ? 0 : Pick(12);
        for (int i = 0; i < length; ++i) {
            const int kind = Pick(10);
            if (kind < 6) text += pieces[Pick(static_cast<int>(std::size(pieces)))];
            else if (kind < 9) text += static_cast<char>(0xC0 + Pick(64));  // Cyrillic letters
            else if (allowZero) text += '\0';
            else text += '.';
        }
        return text;
    }

    void ExpectError(const std::string& text) {
        ++Errors;
        ASSERT_EQ(W.Boxes.Errors.size(), Errors);
        EXPECT_EQ(W.Boxes.Errors.back().Text, text);
    }

    void Step() {
        const int n = static_cast<int>(Model.size());
        const bool busy = Chance(5);
        W.Clipboard.Busy = busy;
        // Pastes weigh double, so that templates fill up and the replace questions come often.
        int action = Pick(14);
        if (action >= 12) action = action == 12 ? 7 : 8;
        switch (action) {
        case 0:  // add
            if (n > 15) break;
            W.edtName.Value = NameBox;
            Run([&] { Form->Button1Click(); });
            Model.push_back({NameBox, "", ""});
            NameBox.clear();
            Changed = true;
            break;
        case 1:  // select
            Selected = Pick(n + 1) - 1;
            W.DlgForms.Selected = Selected;
            Run([&] { Form->DlgFormsClick(); });
            if (Selected >= 0) NameBox = Model[static_cast<size_t>(Selected)].Name;
            break;
        case 2:  // type
            NameBox = RandomText(false);
            W.edtName.Value = NameBox;
            break;
        case 3:  // rename
            Run([&] { Form->Button2Click(); });
            if (Selected < 0) {
                ExpectError("List index out of bounds (-1)");
            } else {
                ModelTemplate& t = Model[static_cast<size_t>(Selected)];
                Status = C("Изменено название c ") + t.Name + C("на ") + NameBox;
                t.Name = NameBox;
                NameBox.clear();
                Changed = true;
            }
            break;
        case 4:  // delete
            Run([&] { Form->Button3Click(); });
            if (Selected < 0) {
                ExpectError("List index out of bounds (-1)");
            } else {
                Status = C("Удален шаблон «") + Model[static_cast<size_t>(Selected)].Name + C("». Вернуть его: Ctrl+Z.");
                Model.erase(Model.begin() + Selected);
                Selected = -1;
                NameBox.clear();
                Changed = true;
            }
            break;
        case 5: {  // copy
            Run([&] { Form->DlgFormsDblClick(); });
            if (Selected < 0) {
                ExpectError("List index out of bounds (-1)");
            } else if (busy) {
                ExpectError("Cannot open clipboard.");
            } else {
                const ModelTemplate& t = Model[static_cast<size_t>(Selected)];
                EXPECT_EQ(W.Clipboard.Bytes(DialogFormat()), t.Controls);
                EXPECT_EQ(W.Clipboard.Bytes(kCfText), t.Module + '\0');
                Status = C("Скопировано ") + t.Name + "!";
            }
            break;
        }
        case 6: {  // another program puts something
            W.Clipboard.Blocks.clear();
            W.Clipboard.AnnouncedWithoutData.clear();
            const int what = Pick(4);
            if (what == 0 || what == 2) W.Clipboard.Blocks[DialogFormat()] = {RandomText(true)};
            if (what == 1 || what == 2) W.Clipboard.Blocks[kCfText] = {RandomText(true) + '\0'};
            if (what == 3) W.Clipboard.Blocks[2] = {"picture"};
            break;
        }
        case 7: {  // paste controls
            const bool has = W.Clipboard.Blocks.count(DialogFormat()) != 0;
            const std::string data = W.Clipboard.Bytes(DialogFormat());
            bool asked = false, answer = Chance(50);
            if (!busy && has && Selected >= 0 && !Model[static_cast<size_t>(Selected)].Controls.empty()) {
                asked = true;
                W.Boxes.Answers = {answer};
            }
            const size_t questions = W.Boxes.Questions.size();
            Run([&] { Form->insContronClick(); });
            EXPECT_EQ(W.Boxes.Questions.size(), questions + (asked ? 1 : 0));
            if (busy) {
                ExpectError("Cannot open clipboard.");
            } else if (has && Selected >= 0 && (!asked || answer)) {
                ModelTemplate& t = Model[static_cast<size_t>(Selected)];
                t.Controls = data.substr(0, data.find('\0'));
                Status = C("Вставлены контролы в ") + t.Name + "!";
                Changed = true;
            }
            break;
        }
        case 8: {  // paste module
            const bool has = W.Clipboard.Blocks.count(kCfText) != 0;
            const std::string data = W.Clipboard.Bytes(kCfText);
            bool asked = false, answer = Chance(50);
            if (has && Selected >= 0 && !Model[static_cast<size_t>(Selected)].Module.empty()) {
                asked = true;
                W.Boxes.Answers = {answer};
            }
            const size_t questions = W.Boxes.Questions.size();
            Run([&] { Form->insModuleClick(); });
            EXPECT_EQ(W.Boxes.Questions.size(), questions + (asked ? 1 : 0));
            if (has && Selected >= 0 && (!asked || answer)) {
                if (busy) {
                    ExpectError("Cannot open clipboard.");
                } else {
                    ModelTemplate& t = Model[static_cast<size_t>(Selected)];
                    t.Module = data.substr(0, data.find('\0'));
                    Status = C("Вставлен текст модуль в ") + t.Name + "!";
                    Changed = true;
                }
            }
            break;
        }
        case 9: {  // open the paste menu
            W.PopupMenu.InsControlsEnabled.reset();
            W.PopupMenu.InsModuleEnabled.reset();
            W.PopupMenu.Popups.clear();
            Run([&] { Form->Button4Click(); });
            if (busy && Selected >= 0) {
                ExpectError("Cannot open clipboard.");
                EXPECT_TRUE(W.PopupMenu.Popups.empty());
            } else {
                EXPECT_EQ(W.PopupMenu.Popups.size(), 1u);
                EXPECT_EQ(W.PopupMenu.InsControlsEnabled,
                          Selected >= 0 && W.Clipboard.Blocks.count(DialogFormat()) != 0);
                EXPECT_EQ(W.PopupMenu.InsModuleEnabled, Selected >= 0 && W.Clipboard.Blocks.count(kCfText) != 0);
            }
            break;
        }
        case 10:
            Run([&] { Form->MemoOfHintsShowOrHide(); });
            break;
        case 11:  // tray and minimize
            W.Application.Minimized = Chance(50);
            Run([&] { Form->TrayIconMessage(TTrayEvent::LeftDoubleClick); });
            break;
        }
        W.Clipboard.Busy = false;
    }

    void Check(int step) {
        SCOPED_TRACE("step " + std::to_string(step));
        ASSERT_EQ(W.DlgForms.Size(), Model.size());
        EXPECT_EQ(W.DlgForms.Selected, Selected);
        EXPECT_EQ(W.edtName.Value, NameBox);
        EXPECT_EQ(W.StatusBar1.Text, Status);
        EXPECT_EQ(W.Boxes.Errors.size(), Errors);
        EXPECT_FALSE(W.Clipboard.IsOpen);
        ASSERT_EQ(Form->RootElement->ChildNodes()->Count(), static_cast<int>(Model.size()));
        TXmlDNode* node = Form->RootElement->FirstChild();
        for (size_t i = 0; i < Model.size(); ++i, node = node->NextSibling()) {
            ASSERT_EQ(W.DlgForms.ItemObject(i), node);
            EXPECT_EQ(W.DlgForms.ItemText(i), Model[i].Name);
            auto* element = static_cast<TXmlDElement*>(node);
            EXPECT_EQ(element->GetAttribute("name", "?"), Model[i].Name);
            EXPECT_EQ(element->FirstChild()->GetText(), Model[i].Controls);
            EXPECT_EQ(element->FirstChild()->NextSibling()->GetText(), Model[i].Module);
        }
        if (Changed) {
            EXPECT_EQ(SavedFile(), Xml());
        }
    }
};

TEST_F(ClipSessionTest, ThousandsOfRandomStepsMatchTheModel) {
    Start();
    for (int step = 0; step < 3000; ++step) {
        Step();
        Check(step);
        if (HasFatalFailure() || HasFailure()) return;
    }
    Close();
    EXPECT_EQ(SavedFile(), Xml());
    EXPECT_EQ(W.Boxes.Errors.size(), Errors);

    // A new run reads back what the session left.
    Restart();
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    ASSERT_EQ(W.DlgForms.Size(), Model.size());
    for (size_t i = 0; i < Model.size(); ++i) {
        EXPECT_EQ(W.DlgForms.ItemText(i), Model[i].Name) << i;
        EXPECT_EQ(ControlsOf(static_cast<int>(i)), AfterReload(Model[i].Controls)) << i;
        EXPECT_EQ(ModuleOf(static_cast<int>(i)), AfterReload(Model[i].Module)) << i;
    }
}

}  // namespace
}  // namespace tessara
