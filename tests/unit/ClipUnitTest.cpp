// The main window's handlers against fake ports: the window, the list and its editing, the
// clipboard exchange and the error box.
#include <gtest/gtest.h>

#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

class ClipUnitTest : public fakes::FormFixture {};

// ---- Window, memo toggle, tray icon, credits -----------------------------------------------

TEST_F(ClipUnitTest, StartsNarrowWithTrayIconAndNoTaskbarButton) {
    Start();
    EXPECT_EQ(W.Window.OuterWidth, 268);
    EXPECT_EQ(W.ButtonMore.Caption, ">>");
    EXPECT_EQ(W.ButtonMore.Hint, C("Показать развернутую подсказку справа"));
    EXPECT_EQ(W.Window.NameBoxFocused, 1);
    EXPECT_FALSE(W.Button2.Enabled);
    EXPECT_FALSE(W.Button3.Enabled);
    EXPECT_FALSE(W.Application.TaskbarButton);
    EXPECT_TRUE(W.Boxes.Errors.empty());

    ASSERT_EQ(W.TrayIcon.Added.size(), 1u);
    const TTrayIconData& icon = W.TrayIcon.Added[0];
    EXPECT_EQ(icon.uID, 1u);
    EXPECT_EQ(icon.szTip, "Tessara v1.0");

    ASSERT_EQ(W.Clipboard.Registered.count("1S DIALOG EDITOR"), 1u);
    EXPECT_EQ(DialogFormat(), W.Clipboard.Registered["1S DIALOG EDITOR"]);
}

TEST_F(ClipUnitTest, MemoToggleAlternatesWidthCaptionHintAndFocus) {
    Start();
    struct Expect {
        int Width;
        const char* Caption;
        const char* Hint;
    };
    const Expect clicks[] = {
        {621, "<<", "Спрятать развернутую подсказку"},
        {268, ">>", "Показать развернутую подсказку справа"},
        {621, "<<", "Спрятать развернутую подсказку"},
        {268, ">>", "Показать развернутую подсказку справа"},
    };
    int focus = W.Window.NameBoxFocused;
    for (const Expect& e : clicks) {
        Form->MemoOfHintsShowOrHide();
        EXPECT_EQ(W.Window.OuterWidth, e.Width);
        EXPECT_EQ(W.ButtonMore.Caption, e.Caption);
        EXPECT_EQ(W.ButtonMore.Hint, C(e.Hint));
        EXPECT_EQ(W.Window.NameBoxFocused, ++focus);
    }
}

TEST_F(ClipUnitTest, TrayIconMessages) {
    Start();
    struct Case {
        TTrayEvent Event;
        bool Minimized;
        const char* Log;  // what the application was asked, in order
    };
    const Case cases[] = {
        {TTrayEvent::LeftDoubleClick, true, "restore front "},
        {TTrayEvent::LeftDoubleClick, false, "front "},  // open: foreground only
        {TTrayEvent::RightButtonDown, true, "restore "},
        {TTrayEvent::RightButtonDown, false, ""},
        {TTrayEvent::RightDoubleClick, true, "restore "},
        {TTrayEvent::Other, true, ""},  // any other mouse event: nothing
    };
    for (const Case& c : cases) {
        W.Application.Log.clear();
        W.Application.Minimized = c.Minimized;
        Form->TrayIconMessage(c.Event);
        std::string log;
        for (const std::string& entry : W.Application.Log) log += entry + " ";
        EXPECT_EQ(log, c.Log) << "event " << static_cast<int>(c.Event);
    }
}

TEST_F(ClipUnitTest, MinimizeHidesTaskbarButtonAndRestoreBringsItBack) {
    Start();
    W.Application.TaskbarButton = true;
    W.Application.Minimized = true;
    Form->ApplicationMinimize();
    EXPECT_FALSE(W.Application.TaskbarButton);
    Form->TrayIconMessage(TTrayEvent::LeftDoubleClick);
    EXPECT_TRUE(W.Application.TaskbarButton);
    EXPECT_FALSE(W.Application.Minimized);
}

TEST_F(ClipUnitTest, CreditsOpenTwoMailLinks) {
    Start();
    Form->Label2Click();
    ASSERT_EQ(W.Shell.Links.size(), 2u);
    EXPECT_NE(W.Shell.Links[0], W.Shell.Links[1]);
    for (const std::string& link : W.Shell.Links) {
        EXPECT_EQ(link.rfind("mailto:\"", 0), 0u) << link;
        EXPECT_NE(link.find("\" <"), std::string::npos) << link;
        EXPECT_EQ(link.back(), '>') << link;
    }
}

TEST_F(ClipUnitTest, DestroyRemovesTrayIconAndEndsLoopEvenWhenRemovalRaises) {
    for (bool raises : {false, true}) {
        Start();
        W.TrayIcon.DeleteRaises = raises;
        Run([&] { Form->FormDestroy(); });
        ASSERT_EQ(W.TrayIcon.Deleted.size(), 1u);
        EXPECT_EQ(W.TrayIcon.Deleted[0].uID, 1u);
        EXPECT_TRUE(W.Application.Terminated) << raises;
        EXPECT_EQ(W.Boxes.Errors.size(), raises ? 1u : 0u);
    }
}

TEST_F(ClipUnitTest, TaskbarRestartPutsTheIconBack) {
    Start();
    W.TrayIcon.Present = false;
    Form->TaskbarCreated();
    EXPECT_TRUE(W.TrayIcon.Present);
    EXPECT_EQ(W.TrayIcon.Added.back().szTip, "Tessara v1.0");
}

// ---- The standard error box ----------------------------------------------------------------

TEST(StandardErrorBox, FullStopOnlyAfterBytesThatSortAfterDot) {
    struct Case {
        std::string Message, Shown;
    };
    const Case cases[] = {
        {"Cannot open clipboard", "Cannot open clipboard."},
        {"List index out of bounds (-1)", "List index out of bounds (-1)"},  // ')' is 0x29
        {"Done.", "Done."},
        {"Why?", "Why?."},            // '?' is 0x3F
        {"Stop!", "Stop!"},           // '!' is 0x21
        {"a-", "a-"},                 // 0x2D
        {"a/", "a/."},                // 0x2F
        {"x 1", "x 1."},
        {"", ""},
        {C("Ошибка в XML-документе: нет тэга"), C("Ошибка в XML-документе: нет тэга.")},  // 0xE0..0xFF
        {"quote\"", "quote\""},
        {"\x98", "\x98."},
    };
    for (const Case& c : cases) {
        fakes::FakeMessageBoxes boxes;
        ShowStandardError(boxes, Exception(c.Message), "Tessara");
        ASSERT_EQ(boxes.Errors.size(), 1u);
        EXPECT_EQ(boxes.Errors[0].Text, c.Shown);
        EXPECT_EQ(boxes.Errors[0].Title, "Tessara");
    }
}

// ---- List and editing ----------------------------------------------------------------------

TEST_F(ClipUnitTest, AddAppendsTemplateWithoutMovingSelection) {
    Start();
    Add("A");
    Add("B");
    Add("C");
    Select(1);
    Add("  D  ");
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"A", "B", "C", "  D  "}));
    EXPECT_EQ(W.DlgForms.Selected, 1);
    EXPECT_EQ(W.edtName.Value, "");
    EXPECT_EQ(W.StatusBar1.Text, "");
    TXmlDElement* added = W.DlgForms.ItemObject(3);
    EXPECT_EQ(Form->CurrentTemplate, added);
    EXPECT_EQ(Form->RootElement->LastChild(), added);
    EXPECT_EQ(added->GetXml(), "<Groops name=\"  D  \"><Controls/><Module/></Groops>");
    EXPECT_TRUE(W.Boxes.Errors.empty());
}

TEST_F(ClipUnitTest, AddAcceptsEmptyAndRepeatedNames) {
    Start();
    Add("");
    Add("same");
    Add("same");
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"", "same", "same"}));
    EXPECT_EQ(Xml(), "<Document desctiption=\"" + C("Список контролов Тессар") +
                         "\"><Groops name=\"\"><Controls/><Module/></Groops>"
                         "<Groops name=\"same\"><Controls/><Module/></Groops>"
                         "<Groops name=\"same\"><Controls/><Module/></Groops></Document>");
    EXPECT_NE(W.DlgForms.ItemObject(1), W.DlgForms.ItemObject(2));
}

TEST_F(ClipUnitTest, AddDoesNotTouchTheSelectedTemplatesModule) {
    Start();
    Add("first");
    Select(0);
    W.Clipboard.PutFromOutside(kCfText, std::string("text\0", 5));
    Add("second");
    EXPECT_EQ(ModuleOf(0), "");
    EXPECT_TRUE(W.Boxes.Questions.empty());
    EXPECT_EQ(W.Clipboard.Opens, 0);
}

TEST_F(ClipUnitTest, SelectingCopiesNameAndEnablesButtons) {
    Start();
    Add("one");
    Add("two");
    Select(1);
    EXPECT_EQ(W.edtName.Value, "two");
    EXPECT_TRUE(W.Button2.Enabled);
    EXPECT_TRUE(W.Button3.Enabled);
    W.edtName.Value = "typed";
    Select(-1);
    EXPECT_FALSE(W.Button2.Enabled);
    EXPECT_FALSE(W.Button3.Enabled);
    EXPECT_EQ(W.edtName.Value, "typed");
}

TEST_F(ClipUnitTest, RenameChangesDocumentEntryAndStatusKeepingSelection) {
    Start();
    Add("X");
    Add("A");
    Add("Y");
    Rename(1, "B");
    const std::string expected = C("Изменено название c Aна B");
    EXPECT_EQ(W.StatusBar1.Text, expected);
    EXPECT_EQ(static_cast<unsigned char>(W.StatusBar1.Text[C("Изменено название ").size()]), 0x63u);
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"X", "B", "Y"}));
    EXPECT_EQ(W.DlgForms.Selected, 1);
    EXPECT_EQ(W.edtName.Value, "");
    EXPECT_EQ(W.DlgForms.ItemObject(1)->GetAttribute("name", "?"), "B");

    Rename(1, "");
    EXPECT_EQ(W.StatusBar1.Text, C("Изменено название c Bна "));
    EXPECT_EQ(W.DlgForms.ItemText(1), "");
    EXPECT_EQ(W.DlgForms.ItemObject(1)->GetAttribute("name", "?"), "");
}

TEST_F(ClipUnitTest, DeleteRemovesSelectedTemplateAndLeavesButtonsEnabled) {
    Start();
    Add("A");
    Add("B");
    Add("C");
    Select(1);
    Run([&] { Form->Button3Click(); });
    EXPECT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(W.DlgForms.Selected, -1);
    EXPECT_EQ(W.edtName.Value, "");
    EXPECT_TRUE(W.Button2.Enabled);
    EXPECT_TRUE(W.Button3.Enabled);
    EXPECT_EQ(W.StatusBar1.Text, C("Удален шаблон «B». Вернуть его: Ctrl+Z."));
    EXPECT_EQ(Form->RootElement->ChildNodes()->Count(), 2);
    EXPECT_EQ(W.DlgForms.ItemObject(1), Form->RootElement->LastChild());
    EXPECT_TRUE(W.Boxes.Errors.empty());
}

TEST_F(ClipUnitTest, RenameDeleteAndCopyWithoutSelectionReportListIndexAndChangeNothing) {
    Start();
    Add("A");
    Select(0);
    Run([&] { Form->Button3Click(); });
    Add("B");
    const std::string xml = Xml();
    W.Clipboard.PutFromOutside(kCfText, std::string("keep\0", 5));
    W.StatusBar1.Text = "before";
    W.edtName.Value = "new";
    using Handler = void (TmForm::*)();
    for (Handler handler : {&TmForm::Button2Click, &TmForm::Button3Click, &TmForm::DlgFormsDblClick}) {
        W.Boxes.Errors.clear();
        Run([&] { (Form.get()->*handler)(); });
        ASSERT_EQ(W.Boxes.Errors.size(), 1u);
        EXPECT_EQ(W.Boxes.Errors[0].Text, "List index out of bounds (-1)");
        EXPECT_EQ(W.Boxes.Errors[0].Title, "Tessara");
        EXPECT_EQ(Xml(), xml);
        EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{"B"});
        EXPECT_EQ(W.StatusBar1.Text, "before");
        EXPECT_EQ(W.Clipboard.Bytes(kCfText), std::string("keep\0", 5));
    }
}

TEST_F(ClipUnitTest, RenamingTemplateWithoutAttributeReportsIndexZero) {
    Start("<Document><Groops><Controls/><Module/></Groops></Document>");
    ASSERT_EQ(W.DlgForms.Texts(), std::vector<std::string>{""});
    Rename(0, "new");
    EXPECT_EQ(LastError(), "List index out of bounds (0)");
    EXPECT_EQ(W.StatusBar1.Text, "");
    EXPECT_EQ(W.DlgForms.Texts(), std::vector<std::string>{""});
    EXPECT_EQ(Xml(), "<Document><Groops><Controls/><Module/></Groops></Document>");
}

// ---- Copy ----------------------------------------------------------------------------------

TEST_F(ClipUnitTest, CopyPutsExactBlocksAfterEmptyingTheClipboard) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.PutFromOutside(DialogFormat(), "ab");
    PasteControls();
    W.Clipboard.PutFromOutside(kCfText, std::string("x\0", 2));
    PasteModule();
    // Whatever was there before, in any format, is gone after the copy.
    W.Clipboard.PutFromOutside(2 /* CF_BITMAP */, "picture");
    W.Clipboard.Blocks[7 /* CF_OEMTEXT */] = {std::string("old\0", 4)};
    W.Clipboard.Log.clear();

    Copy();
    EXPECT_EQ(W.StatusBar1.Text, C("Скопировано T!"));
    EXPECT_EQ(W.Clipboard.Log, (std::vector<std::string>{
                                   "open", "empty", "set " + std::to_string(DialogFormat()),
                                   "set 1", "set 16", "set 13", "close"}));
    EXPECT_EQ(W.Clipboard.Blocks.size(), 4u);
    EXPECT_EQ(W.Clipboard.Blocks[DialogFormat()].Bytes, "ab");
    EXPECT_EQ(W.Clipboard.Blocks[kCfText].Bytes, std::string("x\0", 2));
    EXPECT_EQ(W.Clipboard.Blocks[kCfLocale].Bytes, std::string("\x19\x04\0\0", 4));
    EXPECT_EQ(W.Clipboard.Blocks[kCfUnicodeText].Bytes, std::string("x\0\0\0", 4));
    EXPECT_EQ(W.Clipboard.LiveBlocks, 0);
}

TEST_F(ClipUnitTest, CopyPutsTheModuleAsExactUnicodeText) {
    Start();
    Add("T");
    Select(0);
    // Every byte of 1251 but the zero: Cyrillic, "ё", "№", and 0x98, which has no character
    // and goes as U+0098 so that it comes back as itself.
    std::string module;
    for (int b = 1; b < 256; ++b) module += static_cast<char>(b);
    W.Clipboard.PutFromOutside(kCfText, module + '\0');
    PasteModule();
    Copy();
    EXPECT_EQ(W.Clipboard.Bytes(kCfText), module + '\0');
    const std::string& unicode = W.Clipboard.Blocks[kCfUnicodeText].Bytes;
    ASSERT_EQ(unicode.size(), 256u * 2);
    EXPECT_EQ(unicode.substr(0xB8 * 2 - 2, 2), "\x51\x04");  // "ё" U+0451
    EXPECT_EQ(unicode.substr(0xB9 * 2 - 2, 2), "\x16\x21");  // "№" U+2116
    EXPECT_EQ(unicode.substr(0x98 * 2 - 2, 2), std::string("\x98\0", 2));
    EXPECT_EQ(unicode.substr(510), std::string(2, '\0'));
    // Pasted back, the Unicode text gives the same bytes.
    Add("U");
    Select(1);
    PasteModule();
    EXPECT_EQ(ModuleOf(1), module);
    EXPECT_EQ(W.StatusBar1.Text, C("Вставлен текст модуль в U!"));
}

TEST_F(ClipUnitTest, CopyThatCannotAllocateLeavesTheClipboardAlone) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.PutFromOutside(kCfText, std::string("theirs\0", 7));
    W.Clipboard.Log.clear();
    W.Clipboard.FailAllocate = true;
    Copy();
    EXPECT_EQ(LastError(), "Out of memory.");
    EXPECT_EQ(W.Clipboard.Log, std::vector<std::string>{});  // never opened, never emptied
    EXPECT_EQ(W.Clipboard.Bytes(kCfText), std::string("theirs\0", 7));
    EXPECT_EQ(W.Clipboard.LiveBlocks, 0);
    EXPECT_EQ(W.StatusBar1.Text, "");
}

TEST_F(ClipUnitTest, CopyOfNewTemplatePutsEmptyBlocks) {
    Start();
    Add(C("Форма"));
    Select(0);
    Copy();
    EXPECT_EQ(W.Clipboard.Blocks[DialogFormat()].Bytes, "");
    EXPECT_EQ(W.Clipboard.Blocks[kCfText].Bytes, std::string(1, '\0'));
    EXPECT_EQ(W.StatusBar1.Text, C("Скопировано Форма!"));
}

TEST_F(ClipUnitTest, CopyWithBusyOrFailingClipboardReportsAndLeavesNothingOpen) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.Busy = true;
    Copy();
    EXPECT_EQ(LastError(), "Cannot open clipboard.");
    EXPECT_EQ(W.StatusBar1.Text, "");

    W.Clipboard.Busy = false;
    W.Clipboard.FailSetData = true;
    Copy();
    EXPECT_FALSE(W.Clipboard.IsOpen);
    EXPECT_EQ(W.StatusBar1.Text, "");
    EXPECT_EQ(W.Boxes.Errors.size(), 2u);
}

TEST_F(ClipUnitTest, CopyThenPasteGivesSecondTemplateTheSameTexts) {
    Start();
    Add("src");
    Add("dst");
    Select(0);
    const std::string controls = "{\"Form\",{1,2}}\r\n<&>";
    const std::string module = C("Процедура А()\r\n\tВозврат \"<&>'\";\r\nКонецПроцедуры");
    W.Clipboard.PutFromOutside(DialogFormat(), controls);
    PasteControls();
    W.Clipboard.PutFromOutside(kCfText, module + '\0');
    PasteModule();
    Copy();
    Select(1);
    PasteControls();
    PasteModule();
    EXPECT_EQ(ControlsOf(1), controls);
    EXPECT_EQ(ModuleOf(1), module);
    EXPECT_TRUE(W.Boxes.Questions.empty());
    EXPECT_TRUE(W.Boxes.Errors.empty());
}

// ---- Paste ---------------------------------------------------------------------------------

TEST_F(ClipUnitTest, PasteControlsAsksOnlyWhenDataExistsAndCancelChangesNothing) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.PutFromOutside(DialogFormat(), "first");
    PasteControls();
    EXPECT_TRUE(W.Boxes.Questions.empty());
    EXPECT_EQ(ControlsOf(0), "first");
    EXPECT_EQ(W.StatusBar1.Text, C("Вставлены контролы в T!"));

    W.StatusBar1.Text = "";
    W.Clipboard.PutFromOutside(DialogFormat(), "second");
    W.Boxes.Answers = {false};
    PasteControls();
    ASSERT_EQ(W.Boxes.Questions.size(), 1u);
    EXPECT_EQ(W.Boxes.Questions[0].Text, C("Контролы уже существуют!\r\nЗаменить?"));
    EXPECT_EQ(W.Boxes.Questions[0].Title, "Tessara");
    EXPECT_EQ(ControlsOf(0), "first");
    EXPECT_EQ(W.StatusBar1.Text, "");

    W.Boxes.Answers = {true};
    PasteControls();
    EXPECT_EQ(ControlsOf(0), "second");
    EXPECT_EQ(W.StatusBar1.Text, C("Вставлены контролы в T!"));
    EXPECT_FALSE(W.Clipboard.IsOpen);
}

TEST_F(ClipUnitTest, PasteModuleAsksOnlyWhenTextExistsAndCancelChangesNothing) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.PutFromOutside(kCfText, std::string("line1\r\nline2\0tail", 17));
    PasteModule();
    EXPECT_TRUE(W.Boxes.Questions.empty());
    EXPECT_EQ(ModuleOf(0), "line1\r\nline2");
    EXPECT_EQ(W.StatusBar1.Text, C("Вставлен текст модуль в T!"));

    W.StatusBar1.Text = "";
    W.Clipboard.PutFromOutside(kCfText, std::string("other\0", 6));
    W.Boxes.Answers = {false};
    PasteModule();
    ASSERT_EQ(W.Boxes.Questions.size(), 1u);
    EXPECT_EQ(W.Boxes.Questions[0].Text, C("Текст модуля уже существует!\r\nЗаменить?"));
    EXPECT_EQ(W.Boxes.Questions[0].Title, "Tessara");
    EXPECT_EQ(ModuleOf(0), "line1\r\nline2");
    EXPECT_EQ(W.StatusBar1.Text, "");

    W.Boxes.Answers = {true};
    PasteModule();
    EXPECT_EQ(ModuleOf(0), "other");
    EXPECT_EQ(W.StatusBar1.Text, C("Вставлен текст модуль в T!"));
}

// UTF-16LE bytes of a text, with its terminating zero.
std::string Utf16Block(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes + std::string(2, '\0');
}

TEST_F(ClipUnitTest, PasteModuleTakesUnicodeTextOverTheDerivedAnsiText) {
    struct Case {
        const char* What;
        std::u16string Unicode;  // empty: no CF_UNICODETEXT
        std::string Ansi;        // empty: no CF_TEXT
        const char* Module;      // UTF-8 of the stored 1251 text
        const char* Status;      // UTF-8
    };
    const Case cases[] = {
        // What an English keyboard layout gives: the system's CF_TEXT from code page 1252.
        {"unicode only", u"Процедура ПриОткрытии() ё №", "",
         "Процедура ПриОткрытии() ё №", "Вставлен текст модуль в T!"},
        {"disagreeing CF_TEXT", u"Процедура ПриОткрытии() ё №",
         std::string("????????? ???????????" "() ? ?\0", 28), "Процедура ПриОткрытии() ё №",
         "Вставлен текст модуль в T!"},
        {"no unicode", u"", C("Текст\r\n") + '\0', "Текст\r\n", "Вставлен текст модуль в T!"},
        {"line breaks and quotes pass unchanged", u"a\r\nb\n\"<&>\"\t", "", "a\r\nb\n\"<&>\"\t",
         "Вставлен текст модуль в T!"},
        // Outside 1251: a CJK character, an emoji (one character, two UTF-16 units), a lone
        // surrogate; "?" typed by the user is no replacement.
        {"characters 1251 lacks", u"Да? \u4E2D \U0001F600 \xD800!", "", "Да? ? ? ?!",
         "Вставлен текст модуль в T! Символов, которых нет в кодировке Windows-1251, заменено на «?»: 3."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Start(NewRepositoryXml());
        Add("T");
        Select(0);
        W.Clipboard.Blocks.clear();
        if (!c.Unicode.empty()) W.Clipboard.Blocks[kCfUnicodeText] = {Utf16Block(c.Unicode)};
        if (!c.Ansi.empty()) W.Clipboard.Blocks[kCfText] = {c.Ansi};
        Run([&] { Form->PopupMenuPopup(); });
        EXPECT_TRUE(W.PopupMenu.InsModuleEnabled);
        PasteModule();
        EXPECT_EQ(ModuleOf(0), C(c.Module));
        EXPECT_EQ(W.StatusBar1.Text, C(c.Status));
        EXPECT_FALSE(W.Clipboard.IsOpen);
    }
}

TEST_F(ClipUnitTest, PasteStopsSilentlyWithoutDataOrSelection) {
    Start();
    Add("T");
    // Nothing selected: neither paste acts, though the clipboard holds both.
    W.Clipboard.PutFromOutside(DialogFormat(), "c");
    PasteControls();
    W.Clipboard.PutFromOutside(kCfText, std::string("m\0", 2));
    PasteModule();
    EXPECT_EQ(ControlsOf(0), "");
    EXPECT_EQ(ModuleOf(0), "");
    // Selected, but the data is gone.
    Select(0);
    W.Clipboard.PutFromOutside(2, "picture");
    PasteControls();
    PasteModule();
    EXPECT_EQ(ControlsOf(0), "");
    EXPECT_EQ(ModuleOf(0), "");
    EXPECT_EQ(W.StatusBar1.Text, "");
    EXPECT_TRUE(W.Boxes.Errors.empty());
    EXPECT_FALSE(W.Clipboard.IsOpen);
}

TEST_F(ClipUnitTest, PasteControlsKeepsBytesUpToFirstZero) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.PutFromOutside(DialogFormat(), std::string("ab\0cd", 5));
    PasteControls();
    EXPECT_EQ(ControlsOf(0), "ab");
}

TEST_F(ClipUnitTest, PasteModuleWithAnnouncedButUndeliveredTextStoresEmpty) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.PutFromOutside(kCfText, std::string("old\0", 4));
    PasteModule();
    W.Clipboard.Blocks.clear();
    W.Clipboard.AnnouncedWithoutData.insert(kCfText);
    W.Boxes.Answers = {true};
    PasteModule();
    EXPECT_EQ(ModuleOf(0), "");
    EXPECT_EQ(W.StatusBar1.Text, C("Вставлен текст модуль в T!"));
}

TEST_F(ClipUnitTest, PasteWithBusyClipboardReportsAndChangesNothing) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.PutFromOutside(DialogFormat(), "c");
    W.Clipboard.Blocks[kCfText] = {std::string("m\0", 2)};
    W.Clipboard.Busy = true;
    PasteControls();
    PasteModule();
    EXPECT_EQ(W.Boxes.Errors.size(), 2u);
    EXPECT_EQ(LastError(), "Cannot open clipboard.");
    EXPECT_EQ(ControlsOf(0), "");
    EXPECT_EQ(ModuleOf(0), "");
}

// ---- Paste menu ----------------------------------------------------------------------------

TEST_F(ClipUnitTest, MenuEnableRules) {
    Start();
    Add("T");
    struct Case {
        bool Selected, Controls, Text, TextWithoutData;
        bool InsControls, InsModule;
    };
    const Case cases[] = {
        {false, true, true, false, false, false},
        {true, false, false, false, false, false},
        {true, true, false, false, true, false},
        {true, false, true, false, false, true},
        {true, true, true, false, true, true},
        {true, false, false, true, false, true},  // text format announced, no data yet
    };
    for (const Case& c : cases) {
        W.Clipboard.Blocks.clear();
        W.Clipboard.AnnouncedWithoutData.clear();
        if (c.Controls) W.Clipboard.Blocks[DialogFormat()] = {"c"};
        if (c.Text) W.Clipboard.Blocks[kCfText] = {std::string("t\0", 2)};
        if (c.TextWithoutData) W.Clipboard.AnnouncedWithoutData.insert(kCfText);
        Select(c.Selected ? 0 : -1);
        W.PopupMenu.Popups.clear();
        Run([&] { Form->Button4Click(); });
        EXPECT_EQ(W.PopupMenu.InsControlsEnabled, c.InsControls);
        EXPECT_EQ(W.PopupMenu.InsModuleEnabled, c.InsModule);
        EXPECT_EQ(W.PopupMenu.Popups, std::vector<std::string>{"button"});
        EXPECT_FALSE(W.Clipboard.IsOpen);
    }
}

TEST_F(ClipUnitTest, MenuDoesNotOpenWhenClipboardIsBusy) {
    Start();
    Add("T");
    Select(0);
    W.Clipboard.Busy = true;
    Run([&] { Form->DlgFormsContextMenu(10, 20); });
    EXPECT_TRUE(W.PopupMenu.Popups.empty());
    EXPECT_EQ(LastError(), "Cannot open clipboard.");
    W.Clipboard.Busy = false;
    Run([&] { Form->DlgFormsContextMenu(10, 20); });
    EXPECT_EQ(W.PopupMenu.Popups, std::vector<std::string>{"10,20"});
}

// The item the menu reports is run by the handler that opened the menu, from either opener;
// a dismissed menu changes nothing.
TEST_F(ClipUnitTest, ChosenMenuItemRunsBeforeTheOpenerReturns) {
    struct Case {
        bool FromButton;
        TPasteItem Choice;
        std::string Controls, Module;
    };
    const Case cases[] = {
        {true, TPasteItem::None, "", ""},
        {true, TPasteItem::InsControls, "c", ""},
        {true, TPasteItem::InsModule, "", "t"},
        {false, TPasteItem::None, "", ""},
        {false, TPasteItem::InsControls, "c", ""},
        {false, TPasteItem::InsModule, "", "t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Choice) + (c.FromButton ? 0 : 10));
        Start(NewRepositoryXml());
        Add("T");
        Select(0);
        W.Clipboard.Blocks[DialogFormat()] = {"c"};
        W.Clipboard.Blocks[kCfText] = {std::string("t\0", 2)};
        W.PopupMenu.Choice = c.Choice;
        const std::string savedBefore = SavedFile();
        if (c.FromButton) Run([&] { Form->Button4Click(); });
        else Run([&] { Form->DlgFormsContextMenu(10, 20); });
        EXPECT_EQ(W.PopupMenu.Popups.size(), 1u);
        EXPECT_EQ(ControlsOf(0), c.Controls);
        EXPECT_EQ(ModuleOf(0), c.Module);
        EXPECT_EQ(SavedFile() == savedBefore, c.Choice == TPasteItem::None);
        EXPECT_EQ(W.Boxes.Errors.size(), 0u);
        EXPECT_FALSE(W.Clipboard.IsOpen);
    }
}

// ---- Templates that lack their data elements -----------------------------------------------

TEST_F(ClipUnitTest, TemplateWithoutDataElementsIsReportedAndNothingChanges) {
    const std::string file =
        "<Document><Groops name=\"none\"/>"
        "<Groops name=\"half\"><Controls>c</Controls></Groops>"
        "<Groops name=\"mixed\"><!--note--><Controls>c</Controls>text<Module>m</Module></Groops>"
        "</Document>";
    Start(file);
    ASSERT_EQ(W.DlgForms.Texts(), (std::vector<std::string>{"none", "half", "mixed"}));
    const std::string noControls = C("В шаблоне «none» нет элемента с данными контролов.");
    const std::string noModule = C("В шаблоне «half» нет элемента с текстом модуля после данных контролов.");

    W.Clipboard.PutFromOutside(2, "picture");
    Select(0);
    Copy();
    EXPECT_EQ(LastError(), noControls);
    Select(1);
    Copy();
    EXPECT_EQ(LastError(), noModule);
    EXPECT_EQ(W.Clipboard.Bytes(2), "picture");

    W.Clipboard.PutFromOutside(DialogFormat(), "new");
    W.Clipboard.Blocks[kCfText] = {std::string("new\0", 4)};
    Select(0);
    PasteControls();
    EXPECT_EQ(LastError(), noControls);
    PasteModule();
    EXPECT_EQ(LastError(), noControls);
    Select(1);
    PasteModule();
    EXPECT_EQ(LastError(), noModule);
    EXPECT_EQ(W.Boxes.Errors.size(), 5u);
    EXPECT_TRUE(W.Boxes.Questions.empty());
    EXPECT_EQ(W.StatusBar1.Text, "");
    EXPECT_EQ(Xml(), file);

    // Comments and text between the data elements are passed over.
    Select(2);
    Copy();
    EXPECT_EQ(W.Clipboard.Bytes(DialogFormat()), "c");
    EXPECT_EQ(W.Clipboard.Bytes(kCfText), std::string("m\0", 2));
}

// The error box is titled with the executable's base name, whatever the file is called.
TEST_F(ClipUnitTest, ErrorBoxIsTitledWithTheApplicationsName) {
    Start();
    W.Application.ApplicationTitle = "Tessara-test";
    Select(-1);
    Run([&] { Form->Button3Click(); });
    ASSERT_EQ(W.Boxes.Errors.size(), 1u);
    EXPECT_EQ(W.Boxes.Errors[0].Title, "Tessara-test");
}

}  // namespace
}  // namespace tessara
