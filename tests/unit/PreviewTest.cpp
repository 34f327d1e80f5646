// The preview a list entry shows.
#include <gtest/gtest.h>

#include <string>

#include "app/Preview.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;

TEST(PreviewTest, FirstLinesCutWithAnEllipsisAndTheControlsSize) {
    const std::string ellipsis = C("…");
    const std::string sixty(60, 'x');
    const struct Case {
        const char* What;
        TTemplateContent Content;
        std::string Preview;
    } cases[] = {
        {"both empty", {"A", "", ""}, ""},
        {"module only", {"A", "", "a\r\nb\r\n"}, "a\r\nb"},
        {"controls only", {"A", "12345", ""}, C("Данные контролов: 5 байт")},
        {"both", {"A", "xy", "a\nb"}, "a\r\nb\r\n" + C("Данные контролов: 2 байт")},
        {"a line of sixty stays whole", {"A", "", sixty}, sixty},
        {"a longer line is cut", {"A", "", sixty + "y"}, std::string(59, 'x') + ellipsis},
        {"tabs become blanks", {"A", "", "\tx"}, "    x"},
        {"eight lines shown", {"A", "", "1\n2\n3\n4\n5\n6\n7\n8"}, "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8"},
        {"more are cut", {"A", "", "1\n2\n3\n4\n5\n6\n7\n8\n9"},
         "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n" + ellipsis},
        {"empty lines inside stay", {"A", "", "a\n\nb"}, "a\r\n\r\nb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(TemplatePreview(c.Content), c.Preview);
    }
}

class PreviewFormTest : public fakes::FormFixture {};

TEST_F(PreviewFormTest, EachEntryShowsItsOwnTemplate) {
    Start("<Document desctiption=\"d\"><Groops name=\"A\"><Controls>abc</Controls><Module>m</Module></Groops>"
          "<Groops name=\"B\"><Controls/><Module/></Groops></Document>");
    EXPECT_EQ(Form->DlgFormsPreview(0), "m\r\n" + C("Данные контролов: 3 байт"));
    EXPECT_EQ(Form->DlgFormsPreview(1), "");
    EXPECT_EQ(Form->DlgFormsPreview(2), "");
    EXPECT_EQ(Form->DlgFormsPreview(-1), "");
}

TEST_F(PreviewFormTest, TheListHintAwayFromTheEntries) {
    Start("<Document desctiption=\"d\"><Groops name=\"A\"><Controls/><Module>m</Module></Groops>"
          "<Groops name=\"B\"><Controls/><Module/></Groops></Document>");
    const std::string listHint = Texts().DlgFormsHint;
    const struct {
        int Index;
        std::string Hint;
    } cases[] = {{0, "m"}, {1, ""}, {2, listHint}, {-1, listHint}};
    for (const auto& c : cases) EXPECT_EQ(Form->DlgFormsHintAt(c.Index), c.Hint) << c.Index;
}

}  // namespace
}  // namespace tessara
