// Finding templates: the 1251 case folding, the words of a search, and which templates a
// search finds in which order.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/FindUnit.h"
#include "platform/Charset.h"
#include "xml/XXmlDom.h"

namespace tessara {
namespace {

std::string C(std::string_view utf8) { return Cp1251(utf8); }

TEST(FindFolding, CapitalsAndYoFoldToSmallLetters) {
    struct Case {
        const char* Text;
        const char* Folded;
    };
    const Case cases[] = {
        {"ABCXYZ abcxyz 09@[`{", "abcxyz abcxyz 09@[`{"},
        {"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ", "абвгдежзийклмнопрстуфхцчшщъыьэюя"},
        {"абвгдежзийклмнопрстуфхцчшщъыьэюя", "абвгдежзийклмнопрстуфхцчшщъыьэюя"},
        {"Ёлка ёлка ЕЛКА", "елка елка елка"},
        {"ЂЃЉЊЌЋЏЎЈҐЄЇІЅ", "ђѓљњќћџўјґєїіѕ"},
        {"«Печать…» №5 —", "«печать…» №5 —"},
    };
    for (const Case& c : cases) EXPECT_EQ(FoldText(C(c.Text)), C(c.Folded)) << c.Text;
    // Every byte that is not a capital letter stays itself.
    for (int b = 0; b < 256; ++b) {
        const unsigned char folded = FoldLetter(static_cast<unsigned char>(b));
        EXPECT_EQ(FoldLetter(folded), folded) << b;  // folding twice changes nothing
    }
    EXPECT_EQ(FoldLetter(0), 0);
    EXPECT_EQ(FoldLetter(0xFF), 0xFF);
}

TEST(FindFolding, SearchIsSplitIntoFoldedWords) {
    EXPECT_EQ(SearchWords(""), std::vector<std::string>{});
    EXPECT_EQ(SearchWords(" \t  "), std::vector<std::string>{});
    EXPECT_EQ(SearchWords(C("  Форма\tСПИСКА  x ")),
              (std::vector<std::string>{C("форма"), C("списка"), "x"}));
}

// A repository of templates given as name and module text, and the names a search finds.
class FindMatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = new TXmlDElement("Document");
        Document->AppendChild(Root);
    }
    void Template(const std::string& name, const std::string& module, bool withModule = true) {
        TRef<TXmlDElement> templ(new TXmlDElement("Groops"));
        templ->SetAttribute("name", name);
        TRef<TXmlDElement> controls(new TXmlDElement("Controls"));
        controls->SetText("{\"Dialogs\"}");
        templ->AppendChild(controls.Get());
        if (withModule) {
            TRef<TXmlDElement> moduleElement(new TXmlDElement("Module"));
            moduleElement->SetText(module);
            templ->AppendChild(moduleElement.Get());
        }
        Root->AppendChild(templ.Get());
    }
    std::vector<std::string> Names(const TFindResult& result) const { return Names(Index, result); }
    static std::vector<std::string> Names(const TFindIndex& index, const TFindResult& result) {
        std::vector<std::string> names;
        for (size_t i = 0; i < result.Items.size(); ++i) {
            std::string name = index.Template(result.Items[i])->GetAttribute("name", std::string());
            names.push_back((i < result.NameMatches ? "N:" : "M:") + name);
        }
        return names;
    }

    TRef<TXmlDDocument> Document{new TXmlDDocument()};
    TXmlDElement* Root = nullptr;
    TFindIndex Index;
};

TEST_F(FindMatchTest, NamesFirstThenModuleTextsEachInRepositoryOrder) {
    Template(C("Печать накладной"), C("Процедура Печать()\r\nКонецПроцедуры"));
    Template(C("Ввод остатков"), C("// печать на принтер"));
    Template(C("Отчёт Продажи"), C("Сумма = Цена * Количество;"));
    Template(C("ПЕЧАТЬ счёта"), C("Сообщить(\"Ёмкость\");"));
    Template(C("Список"), C("ЦЕНА ёмкость"));
    Template(C("Без модуля"), "", false);
    Template("Form list", "If Form.Visible Then");
    // A module text stored in two pieces is searched as one text.
    Template(C("Частями"), C("Процедура Сло"));
    Root->LastChild()->LastChild()->AppendChild(TRef<TXmlDCDATASection>(new TXmlDCDATASection(C("жить()"))).Get());
    Root->AppendChild(TRef<TXmlDComment>(new TXmlDComment(" a comment, not a template ")).Get());
    Index.Build(Root);
    ASSERT_EQ(Index.Count(), 8u);

    struct Case {
        const char* Search;
        std::vector<const char*> Found;
    };
    const Case cases[] = {
        // Case and "ё" do not matter; name matches come before module matches.
        {"печать", {"N:Печать накладной", "N:ПЕЧАТЬ счёта", "M:Ввод остатков"}},
        {"ПЕЧАТЬ", {"N:Печать накладной", "N:ПЕЧАТЬ счёта", "M:Ввод остатков"}},
        {"счет", {"N:ПЕЧАТЬ счёта"}},
        {"СЧЁТ", {"N:ПЕЧАТЬ счёта"}},
        {"отчет", {"N:Отчёт Продажи"}},
        {"ЕМКОСТЬ", {"M:ПЕЧАТЬ счёта", "M:Список"}},
        {"цена", {"M:Отчёт Продажи", "M:Список"}},
        // Several words must all be found, each in the name or the module text.
        {"печать счёта", {"N:ПЕЧАТЬ счёта"}},
        {"  счёта   печать ", {"N:ПЕЧАТЬ счёта"}},
        {"печать процедура", {"M:Печать накладной"}},
        {"печать ёмкость", {"M:ПЕЧАТЬ счёта"}},
        {"цена список", {"M:Список"}},
        {"цена печать", {}},
        // Latin letters fold too; words are parts of words.
        {"FORM", {"N:Form list"}},
        {"visible", {"M:Form list"}},
        {"ис", {"N:Список"}},  // not the Latin "is" of "Visible"
        {"нет такого", {}},
        {"\"", {"M:ПЕЧАТЬ счёта"}},
        {"сложить", {"M:Частями"}},
        // An empty search finds every template, in repository order.
        {"",
         {"N:Печать накладной", "N:Ввод остатков", "N:Отчёт Продажи", "N:ПЕЧАТЬ счёта",
          "N:Список", "N:Без модуля", "N:Form list", "N:Частями"}},
        {"   ",
         {"N:Печать накладной", "N:Ввод остатков", "N:Отчёт Продажи", "N:ПЕЧАТЬ счёта",
          "N:Список", "N:Без модуля", "N:Form list", "N:Частями"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> expected;
        for (const char* name : c.Found) {
            const std::string n(name);
            expected.push_back(n.substr(0, 2) + C(n.substr(2)));
        }
        const TFindResult all = Index.Match(C(c.Search));
        EXPECT_EQ(Names(all), expected) << c.Search;
        // Looking only at what a shorter search found gives the same.
        const std::string search = C(c.Search);
        if (search.size() > 1) {
            const TFindResult shorter = Index.Match(search.substr(0, search.size() - 1));
            EXPECT_EQ(Names(Index.Match(search, shorter.InRepositoryOrder())), expected) << c.Search;
        }
    }
}

TEST_F(FindMatchTest, RepositoryOrderMergesTheGroupsAndRebuildingForgetsTheOldTemplates) {
    Template("b1", "a");
    Template("a2", "");
    Template("b3", "a");
    Template("a4", "");
    Index.Build(Root);
    const TFindResult found = Index.Match("a");
    EXPECT_EQ(found.Items, (std::vector<uint32_t>{1, 3, 0, 2}));
    EXPECT_EQ(found.InRepositoryOrder(), (std::vector<uint32_t>{0, 1, 2, 3}));

    Root->RemoveChild(Root->FirstChild());
    Index.Build(Root);
    EXPECT_EQ(Index.Count(), 3u);
    EXPECT_EQ(Names(Index.Match("b")), std::vector<std::string>{"N:b3"});
    // Positions beyond the index (from a search before the rebuild) are passed over.
    EXPECT_EQ(Names(Index.Match("b", {1, 3, 7})), std::vector<std::string>{"N:b3"});

    Index.Build(nullptr);
    EXPECT_EQ(Index.Count(), 0u);
    EXPECT_TRUE(Index.Match("").Items.empty());
}

// Typing, erasing and pasting through TFindSearch finds exactly what a fresh search of the
// same text finds, whatever the previous texts found and where.
TEST_F(FindMatchTest, SearchAsTypedAgreesWithAFreshSearch) {
    // Words whose beginnings occur early and whole words late; in names, modules or both.
    Template("ab", "xx ab abc abcd");
    Template("abc name", "a");
    Template("x", "ab a b abd abcd");
    Template("abd", "abc");
    Template("", "b ab abc");
    Template("ba", "");
    Template("a b", "cd dc abcd");
    TFindSearch search;
    search.Build(Root);
    Index.Build(Root);  // the same positions: Names() reads both results
    struct Case {
        std::vector<const char*> Texts;  // the search box, one state after another
    };
    const Case cases[] = {
        {{"a", "ab", "abc", "abcd", "abcde"}},
        {{"a", "ab", "ab ", "ab a", "ab ab", "ab abc", "ab abcd"}},
        {{"abcd", "abc", "ab", "a", "", "b", "ba"}},           // erasing, then typing afresh
        {{"ab", "abc", "ab", "abd", "abdx", "abd", "ab"}},
        {{"b", "b ", "b a", "b ab", "b abc", "b ab", "b a", "b"}},
        {{"abc", "x abc", "x abcd", "cd", "cd dc", "c"}},      // pasted over: no common start
        {{" ", "  a", "  ab  ", "  ab  c", "  ab  cd"}},
    };
    for (const Case& c : cases) {
        search.Update(std::string());
        for (const char* text : c.Texts) {
            const TFindResult& typed = search.Update(text);
            EXPECT_EQ(Names(typed), Names(Index.Match(text))) << text;
        }
    }
    // Many steps in a row: the oldest are let go, the results stay right.
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += i % 2 == 0 ? "a" : " ";
        ASSERT_EQ(Names(search.Update(text)), Names(Index.Match(text))) << i;
    }
    while (!text.empty()) {
        text.pop_back();
        ASSERT_EQ(Names(search.Update(text)), Names(Index.Match(text))) << text.size();
    }
}

// An index built again after changes takes over what an earlier build folded, and finds what
// a fresh build of the changed document finds, after each kind of change: a rename, a new
// module text (also one in two pieces), a template added, removed, moved, or added again with
// the texts of another, and a document read again whole.
TEST_F(FindMatchTest, BuiltAgainAfterChangesFindsWhatAFreshBuildFinds) {
    std::mt19937 rng(11);
    const std::vector<std::string> words = {C("Печать"), C("Отчёт"), "Form", C("ёмкость"), C("Цена"), "zq", C("ЦЕНА")};
    const auto text = [&] {
        std::string t;
        for (unsigned n = rng() % 4; n > 0; --n) t += words[rng() % words.size()] + (rng() % 2 ? " " : "\r\n");
        return t;
    };
    const auto templateAt = [&](size_t k) {
        std::vector<TXmlDElement*> all;
        for (TXmlDNode* c = Root->FirstChild(); c != nullptr; c = c->NextSibling())
            if (c->NodeType() == ntElement) all.push_back(static_cast<TXmlDElement*>(c));
        return all.empty() ? nullptr : all[k % all.size()];
    };
    for (int i = 0; i < 12; ++i) Template(text(), text());
    Root->AppendChild(TRef<TXmlDComment>(new TXmlDComment("c")).Get());
    Index.Build(Root);
    const std::vector<std::string> searches = {"", C("печать"), "form", C("емкость цена"), "zq", C("отчет zq"), "q", "\r"};
    for (int step = 0; step < 300; ++step) {
        TXmlDElement* templ = templateAt(rng());
        switch (rng() % 7) {
        case 0:
            if (templ != nullptr) templ->SetAttribute("name", text());
            break;
        case 1:
            if (templ != nullptr) templ->LastChild()->SetText(text());
            break;
        case 2:
            if (templ != nullptr) {
                templ->LastChild()->SetText(text());
                templ->LastChild()->AppendChild(TRef<TXmlDCDATASection>(new TXmlDCDATASection(text())).Get());
            }
            break;
        case 3:
            Template(text(), text());
            break;
        case 4:
            if (templ != nullptr) Root->RemoveChild(templ);
            break;
        case 5:
            if (templ != nullptr) {
                TRef<TXmlDNode> moved(templ);
                Root->RemoveChild(templ);
                Root->InsertChild(templ, static_cast<int>(rng() % (Root->ChildNodes()->Count() + 1)));
            }
            break;
        default:
            if (templ != nullptr) {
                const TXmlDNode* module = templ->LastChild();
                std::string storage;
                Template(templ->GetAttribute("name", std::string()), std::string(TextOf(module, storage)));
            }
            break;
        }
        if (step % 50 == 49) {  // the document read again: every template new, the texts the same
            TRef<TXmlDElement> copy(static_cast<TXmlDElement*>(Root->CloneNode()));
            for (TXmlDNode* c = Root->FirstChild(); c != nullptr; c = Root->FirstChild()) Root->RemoveChild(c);
            while (TXmlDNode* c = copy->FirstChild()) {
                TRef<TXmlDNode> keep(c);
                copy->RemoveChild(c);
                Root->AppendChild(c);
            }
        }
        Index.Build(Root);
        TFindIndex fresh;
        fresh.Build(Root);
        ASSERT_EQ(Index.Count(), fresh.Count()) << step;
        EXPECT_EQ(Index.ByteCounts(), fresh.ByteCounts()) << step;
        for (const std::string& search : searches)
            ASSERT_EQ(Names(Index.Match(search)), Names(fresh, fresh.Match(search))) << step << " " << search;
    }
}

}  // namespace
}  // namespace tessara
