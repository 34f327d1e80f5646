// A copy of a template whose module text holds placeholders, through the fake dialog: the
// fields it is asked, what the clipboard then holds and what the status line says; a
// cancelled dialog; templates that ask nothing; the preview's line of the fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

const TDateTime kNow{2024, 3, 5, 7, 8, 9};

// A field as one line: label, then the options (choice) or the initial text (others).
std::string Described(const TPlaceholderField& field) {
    std::string out = Cp1251ToUtf8(field.Label);
    if (field.Type == TFieldType::Choice) {
        out += " [";
        for (const TChoiceOption& option : field.Options) out += Cp1251ToUtf8(option.Label) + ";";
        out += "] " + std::to_string(field.Initial.Choice);
    } else {
        out += " = " + Cp1251ToUtf8(field.Initial.Text);
    }
    return out;
}

class PlaceholderCopyTest : public fakes::FormFixture {
protected:
    // A repository with one template "Т" of these controls and this module text (UTF-8),
    // selected; the clock stands still.
    void StartWith(const std::string& module, const std::string& controls = "{ctl}") {
        Start(NewRepositoryXml());
        Form->Now = [] { return kNow; };
        Add(C("Т"));
        Select(0);
        W.Clipboard.PutFromOutside(DialogFormat(), controls);
        PasteControls();
        W.Clipboard.PutFromOutside(kCfText, C(module) + '\0');
        PasteModule();
        W.Clipboard.PutFromOutside(kCfText, std::string("before") + '\0');
        W.StatusBar1.Text.clear();
    }
    std::vector<std::string> AskedFields() const {
        std::vector<std::string> fields;
        for (const auto& asked : W.PlaceholderDialog.Asks)
            for (const TPlaceholderField& field : asked.Fields) fields.push_back(Described(field));
        return fields;
    }
    std::u16string CopiedUnicode() const {
        const std::string bytes = W.Clipboard.Bytes(kCfUnicodeText);
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
        return text.substr(0, text.find(u'\0'));
    }
    std::string CopiedText() const {
        const std::string text = W.Clipboard.Bytes(kCfText);
        return Cp1251ToUtf8(text.substr(0, text.find('\0')));
    }
};

TEST_F(PlaceholderCopyTest, TheDialogAsksEachFieldOnceAndTheCopyHoldsTheValues) {
    const char* const choice = R"(Режим = "<?"", ВыборВарианта, "Первый", "1", "Второй", "2">";)";
    const struct Case {
        const char* What;
        const char* Module;
        TPlaceholderReply Reply;
        std::vector<std::string> Fields;
        const char* Copied;
        const char* Status;
    } cases[] = {
        {"distinct prompts, each once", R"(<?"Имя"> = <?"Значение", Строка>;)",
         {TPlaceholderAnswer::Fill, {{u"а"}, {u"б"}}},
         {"Имя = ", "Значение (Строка) = "},
         "а = б;", "Скопировано Т!"},
        {"the same prompt shares its field; cursor marks go", R"(<?"Имя">(<?"Имя">)<?>;)",
         {TPlaceholderAnswer::Fill, {{u"x"}}},
         {"Имя = "},
         "x(x);", "Скопировано Т!"},
        {"a choice: its option labels, the first chosen", choice,
         {TPlaceholderAnswer::Fill, {{u"", 1}}},
         {"ВыборВарианта [Первый;Второй;] 0"},
         R"(Режим = "2";)", "Скопировано Т!"},
        {"a date offered as now", R"(Д = '<?"Когда", ДатаВремя>';)",
         {TPlaceholderAnswer::Fill, {{u"05.03.2024 07:08:09"}}},
         {"Когда = 05.03.2024 07:08:09"},
         "Д = '05.03.2024 07:08:09';", "Скопировано Т!"},
        {"as it is: placeholders and marks stay", R"(<?"Имя">(<?>))",
         {TPlaceholderAnswer::AsIs, {}},
         {"Имя = "},
         R"(<?"Имя">(<?>))", "Скопировано Т!"},
        {"characters 1251 lacks become ? and are counted", R"(<?"Имя">)",
         {TPlaceholderAnswer::Fill, {{u"a\u4E2Dб\U0001F600"}}},
         {"Имя = "},
         "a?б?",
         "Скопировано Т! Символов, которых нет в кодировке Windows-1251, заменено на «?»: 2."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        StartWith(c.Module);
        const std::string file = SavedFile();
        W.PlaceholderDialog.Replies = {c.Reply};
        Copy();
        EXPECT_EQ(AskedFields(), c.Fields);
        ASSERT_EQ(W.PlaceholderDialog.Asks.size(), 1u);
        EXPECT_EQ(W.PlaceholderDialog.Asks[0].Owner, TDialogOwner::MainWindow);
        EXPECT_EQ(W.PlaceholderDialog.Asks[0].Title, C("Копирование шаблона «Т»"));
        EXPECT_EQ(CopiedText(), c.Copied);
        EXPECT_EQ(CopiedUnicode(), Cp1251ToUtf16(C(c.Copied)));
        EXPECT_EQ(W.Clipboard.Bytes(DialogFormat()), "{ctl}");
        EXPECT_EQ(Cp1251ToUtf8(W.StatusBar1.Text), c.Status);
        EXPECT_EQ(SavedFile(), file);
        EXPECT_EQ(ModuleOf(0), C(c.Module));
        EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
    }
}

TEST_F(PlaceholderCopyTest, CancelLeavesTheClipboardUntouched) {
    StartWith(R"(<?"Имя">)");
    const std::vector<std::string> log = W.Clipboard.Log;
    W.PlaceholderDialog.Replies = {{TPlaceholderAnswer::Cancel, {}}};
    Copy();
    EXPECT_EQ(W.PlaceholderDialog.Asks.size(), 1u);
    EXPECT_EQ(W.Clipboard.Log, log);  // not even opened
    EXPECT_EQ(W.Clipboard.Bytes(kCfText), std::string("before") + '\0');
    EXPECT_EQ(W.StatusBar1.Text, "");
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();
}

TEST_F(PlaceholderCopyTest, WithoutPlaceholdersNothingIsAsked) {
    const struct Case {
        const char* What;
        const char* Module;
    } cases[] = {
        {"plain text", "Процедура А()\r\nКонецПроцедуры"},
        {"cursor marks alone stay", "А(<?>);"},
        {"broken placeholders are text", R"(<?"never closed)"},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        StartWith(c.Module);
        Copy();
        EXPECT_TRUE(W.PlaceholderDialog.Asks.empty());
        EXPECT_EQ(W.Clipboard.Bytes(kCfText), C(c.Module) + '\0');
        EXPECT_EQ(W.Clipboard.Bytes(DialogFormat()), "{ctl}");
        EXPECT_EQ(W.StatusBar1.Text, C("Скопировано Т!"));
    }
}

// The find window's copy asks over the find window; the texts it puts are those the template
// had when it was chosen, even when the main window deletes the template meanwhile.
TEST_F(PlaceholderCopyTest, FromTheFindWindowOverItAndWithTheTextsAsChosen) {
    StartWith(R"(<?"Имя">;)");
    W.PlaceholderDialog.Replies = {{TPlaceholderAnswer::Cancel, {}}, {TPlaceholderAnswer::Fill, {{u"x"}}}};
    TXmlDElement* templ = W.DlgForms.ItemObject(0);
    EXPECT_FALSE(Form->CopyTemplate(templ));
    W.PlaceholderDialog.WhileAsking = [&] { Run([&] { Form->Button3Click(); }); };
    EXPECT_TRUE(Form->CopyTemplate(templ));
    ASSERT_EQ(W.PlaceholderDialog.Asks.size(), 2u);
    EXPECT_EQ(W.PlaceholderDialog.Asks[0].Owner, TDialogOwner::FindWindow);
    EXPECT_EQ(W.DlgForms.Count(), 0);
    EXPECT_EQ(CopiedText(), "x;");
    EXPECT_EQ(W.Clipboard.Bytes(DialogFormat()), "{ctl}");
    EXPECT_EQ(W.StatusBar1.Text, C("Скопировано Т!"));
}

TEST_F(PlaceholderCopyTest, ThePreviewNamesTheFieldsInALastLine) {
    const struct Case {
        const char* What;
        const char* Module;
        const char* Controls;
        const char* Preview;
    } cases[] = {
        {"none", "А(<?>);", "", "А(<?>);"},
        {"each label once", R"(<?"Имя">(<?"Имя">, <?"", ВыборВарианта, "а", "1">))", "",
         "<?\"Имя\">(<?\"Имя\">, <?\"\", ВыборВарианта, \"а\", \"1\">)\r\n"
         "Подстановки: Имя, ВыборВарианта"},
        {"after the controls' size", R"(<?"Когда", ДатаВремя>)", "{c}",
         "<?\"Когда\", ДатаВремя>\r\nДанные контролов: 3 байт\r\nПодстановки: Когда"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        StartWith(c.Module, c.Controls);
        EXPECT_EQ(Cp1251ToUtf8(Form->DlgFormsPreview(0)), c.Preview);
    }
}

}  // namespace
}  // namespace tessara
