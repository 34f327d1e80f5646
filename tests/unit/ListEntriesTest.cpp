// The template list's entries: texts read from the templates' names, and the first-letter jump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ListEntries.h"
#include "fakes/FormFixture.h"
#include "xml/XXmlDom.h"

namespace tessara {
namespace {

using fakes::C;

// Template elements with these attributes (name, value; "name" is the template's name).
class ListEntriesTest : public ::testing::Test {
protected:
    TXmlDElement* Template(std::vector<std::pair<std::string, std::string>> attributes) {
        Elements.emplace_back(new TXmlDElement("Groops"));
        for (const auto& [name, value] : attributes) Elements.back()->SetAttribute(name, value);
        return Elements.back().Get();
    }
    std::vector<TRef<TXmlDElement>> Elements;
    TListEntries Entries;
};

TEST_F(ListEntriesTest, TextsFollowTheNamesAndOnlyATextThatIsNotTheNameIsKept) {
    TXmlDElement* a = Template({{"name", "A"}});
    TXmlDElement* b = Template({{"id", "7"}, {"name", "B"}});
    TXmlDElement* unnamed = Template({});
    Entries.Add("A", a);
    Entries.Add("B", b);
    Entries.Add("", unnamed);
    EXPECT_EQ(Entries.Count(), 3);
    EXPECT_EQ(Entries.Text(2), "");

    // No copy: a changed name shows at once.
    a->GetAttributeNode("name")->Value = C("Новое");
    EXPECT_EQ(Entries.Text(0), C("Новое"));

    // A rename that changed the first attribute, not the name: the entry keeps the new text.
    b->Attributes()->Item(0)->SetNodeValue("X");
    Entries.SetText(1, "X");
    b->GetAttributeNode("name")->Value = "B2";
    EXPECT_EQ(Entries.Text(1), "X");
    Entries.SetText(1, "B2");  // the name again: it follows the name from now on
    b->GetAttributeNode("name")->Value = "B3";
    EXPECT_EQ(Entries.Text(1), "B3");

    Entries.Delete(0);
    Entries.Delete(5);
    Entries.Delete(-1);
    ASSERT_EQ(Entries.Count(), 2);
    EXPECT_EQ(Entries.Object(0), b);
    EXPECT_EQ(Entries.Object(1), unnamed);
    EXPECT_EQ(Entries.Object(2), nullptr);
    EXPECT_EQ(Entries.Object(-1), nullptr);
}

TEST_F(ListEntriesTest, FirstLetterJumpsToTheNextEntryStartingWithItInEitherCase) {
    const char* names[] = {"Apple", "apricot", "Альфа", "[Zeta", "Ёлка", "ёж", "[-x", "", "1st", "Щука"};
    for (const char* name : names) Entries.Add(C(name), Template({{"name", C(name)}}));
    struct Case {
        const char* Letter;
        int Focused, Expected;
    } const cases[] = {
        {"a", -1, 0}, {"a", 0, 1}, {"A", 1, 0},     // from the top again after the last
        {"z", 0, 3},  {"x", 0, 6}, {"[", 0, 3},     // "[" and "[-" are passed over, or matched
        {"-", 0, 6},  {"q", 2, -1}, {"]", 0, -1},   // "[-" counts as "[" too; no entry starts with it
        {"Ё", 0, 4},  {"ё", 4, 5}, {"ё", 5, 4},     // Cyrillic capitals and small letters alike
        {"е", 0, -1}, {"А", 0, 2}, {"а", 2, 2},     // "е" is not "ё"; the focused entry comes last
        {"1", 9, 8},  {"щ", 9, 9}, {"a", 99, 0},
    };
    for (const Case& c : cases) {
        const std::string letter = C(c.Letter);
        ASSERT_EQ(letter.size(), 1u);
        EXPECT_EQ(Entries.NextStartingWith(static_cast<unsigned char>(letter[0]), c.Focused), c.Expected)
            << c.Letter << " from " << c.Focused;
    }
    EXPECT_EQ(TListEntries().NextStartingWith('a', -1), -1);
}

}  // namespace
}  // namespace tessara
