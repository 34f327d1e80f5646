// Placeholders in a module text: what the scan finds, the fields the copy asks for, and the
// text filled in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Placeholders.h"
#include "platform/Charset.h"

namespace tessara {
namespace {

std::string C(std::string_view utf8) { return Cp1251(utf8); }

// The parts as one line: text in [], a cursor mark as <?>, a placeholder as {prompt|kind|args}.
std::string Described(std::string_view module, const std::vector<TModulePart>& parts) {
    std::string out;
    for (const TModulePart& part : parts) {
        if (part.Type == TPartType::Text) {
            out += "[" + std::string(module.substr(part.Begin, part.End - part.Begin)) + "]";
        } else if (part.Type == TPartType::CursorMark) {
            out += "<?>";
        } else {
            out += "{" + part.Prompt + "|" + part.Kind;
            for (const std::string& arg : part.Args) out += "|" + arg;
            out += "}";
        }
    }
    return out;
}

TEST(PlaceholderParse, PartsOfTheModuleText) {
    const struct Case {
        const char* Module;
        const char* Parts;
        bool Asks;  // HasPlaceholders
    } cases[] = {
        {"", "", false},
        {"plain text", "[plain text]", false},
        {"a<?>b", "[a]<?>[b]", false},
        {"<<?>>", "[<]<?>[>]", false},
        {R"(<?"Имя">)", "{Имя|}", true},
        {R"(x = <?"Имя", ОбъектМетаданных, "Справочник">;)", "[x = ]{Имя|ОбъектМетаданных|Справочник}[;]", true},
        {R"(<?"", ВыборВарианта, "Да", "Истина", "Нет", "Ложь">)", "{|ВыборВарианта|Да|Истина|Нет|Ложь}", true},
        {R"(<?"Say ""hi""", K, "a""b", """", "">)", R"({Say "hi"|K|a"b|"|})", true},
        {"<?\"p\" ,\tK\t,  \"a\"  ,\"b\"   >", "{p|K|a|b}", true},
        {R"(<?"", датаВРЕМЯ><?"", Вид_2Ґї>)", "{|датаВРЕМЯ}{|Вид_2Ґї}", true},
        {R"(<?"a>b, <?>">)", "{a>b, <?>|}", true},
        {R"(<?"a", K, <?"b">>)", R"([<?"a", K, ]{b|}[>])", true},
        {R"(<?"a <?"b">)", R"([<?"a ]{b|})", true},
        // Malformed: plain text.
        {"<?", "[<?]", false},
        {"<? >", "[<? >]", false},
        {"<?x>", "[<?x>]", false},
        {R"(<? "p">)", R"([<? "p">])", false},
        {R"(<?"never closes)", R"([<?"never closes])", false},
        {R"(<?"a"">)", R"([<?"a"">])", false},
        {R"(<?"p" x>)", R"([<?"p" x>])", false},
        {R"(<?"p",>)", R"([<?"p",>])", false},
        {R"(<?"p", , "a">)", R"([<?"p", , "a">])", false},
        {R"(<?"p", "a">)", R"([<?"p", "a">])", false},
        {R"(<?"p", K, a>)", R"([<?"p", K, a>])", false},
        {R"(<?"p", K "a">)", R"([<?"p", K "a">])", false},
        {R"(<?"p", K, "a",>)", R"([<?"p", K, "a",>])", false},
        {R"(<?"p", K-L>)", R"([<?"p", K-L>])", false},
        // A placeholder stays on its line.
        {"<?\"p\"\r\n>", "[<?\"p\"\r\n>]", false},
        {"<?\"a\nb\">", "[<?\"a\nb\">]", false},
        {"<?\"p\",\nK>", "[<?\"p\",\nK>]", false},
        {"<?\"a\n<?\"b\">", "[<?\"a\n]{b|}", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Module);
        const std::string module = C(c.Module);
        const std::vector<TModulePart> parts = ParseModuleText(module);
        EXPECT_EQ(Described(module, parts), C(c.Parts));
        EXPECT_EQ(HasPlaceholders(module), c.Asks);
        // The parts cover the text in order; a mark or placeholder is its own bytes.
        size_t at = 0;
        for (const TModulePart& part : parts) {
            EXPECT_EQ(part.Begin, at);
            EXPECT_LT(part.Begin, part.End);
            if (part.Type != TPartType::Text) {
                EXPECT_EQ(module.substr(part.Begin, 2), "<?");
                EXPECT_EQ(module[part.End - 1], '>');
            }
            at = part.End;
        }
        EXPECT_EQ(at, module.size());
    }
}

// The fields as one line each: type, label, options, initial value and the parts they fill.
std::string Described(const TPlaceholderField& field) {
    const char* types[] = {"text", "choice", "date"};
    std::string out = std::string(types[static_cast<int>(field.Type)]) + " " + field.Label;
    for (const TChoiceOption& option : field.Options) out += " [" + option.Label + "=" + option.Insert + "]";
    out += field.Type == TFieldType::Choice ? " =" + std::to_string(field.Initial.Choice) : " =" + field.Initial.Text;
    out += " @";
    for (const size_t part : field.Parts) out += " " + std::to_string(part);
    return out;
}

TEST(PlaceholderFields, OneFieldPerValueAsked) {
    const TDateTime now{2024, 2, 1, 3, 4, 5};
    const struct Case {
        const char* What;
        const char* Module;
        std::vector<const char*> Fields;
        const char* Prompts;
    } cases[] = {
        {"none", "a<?>b<?x>", {}, ""},
        {"distinct prompts once each", R"(<?"Имя">+<?"Вид">+<?"Имя">)",
         {"text Имя = @ 0 4", "text Вид = @ 2"}, "Имя, Вид"},
        {"the kind case aside", R"(<?"Д", ДатаВремя> <?"Д", датавремя>)",
         {"date Д =01.02.2024 03:04:05 @ 0 2"}, "Д"},
        {"another kind, another field", R"(<?"Имя"><?"Имя", ОбъектМетаданных, "a"><?"Имя", объектметаданных, "b">)",
         {"text Имя = @ 0", "text Имя (ОбъектМетаданных) = @ 1 2"}, "Имя, Имя (ОбъектМетаданных)"},
        {"labels of empty prompts", R"(<?""><?"", ДатаВремя><?"", Объект><?"", выборварианта, "a", "1">)",
         {"text Значение = @ 0", "date ДатаВремя =01.02.2024 03:04:05 @ 1", "text Объект = @ 2",
          "choice выборварианта [a=1] =0 @ 3"},
         "Значение, ДатаВремя, Объект, выборварианта"},
        {"a prompt with quotes", R"(<?"Say ""hi""">)", {R"(text Say "hi" = @ 0)"}, R"(Say "hi")"},
        {"choice", R"(<?"Вид", ВыборВарианта, "Да", "Истина", "Нет", "Ложь">)",
         {"choice Вид [Да=Истина] [Нет=Ложь] =0 @ 0"}, "Вид"},
        {"a last label inserts itself", R"(<?"Вид", ВыборВарианта, "Да", "1", "Прочее">)",
         {"choice Вид [Да=1] [Прочее=Прочее] =0 @ 0"}, "Вид"},
        {"a choice of nothing asks for a text", R"(<?"Вид", ВыборВарианта>)", {"text Вид = @ 0"}, "Вид"},
        {"choices share only the same options",
         R"(<?"В", ВыборВарианта, "a", "1"><?"В", ВыборВарианта, "b", "2"><?"В", ВЫБОРВАРИАНТА, "a", "1">)",
         {"choice В [a=1] =0 @ 0 2", "choice В [b=2] =0 @ 1"}, "В"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string module = C(c.Module);
        std::vector<std::string> fields;
        for (const TPlaceholderField& field : PlaceholderFields(ParseModuleText(module), now))
            fields.push_back(Described(field));
        std::vector<std::string> expected;
        for (const char* field : c.Fields) expected.push_back(C(field));
        EXPECT_EQ(fields, expected);
        EXPECT_EQ(PlaceholderPrompts(module), C(c.Prompts));
    }
    EXPECT_EQ(FormatDateTime({987, 12, 31, 23, 59, 9}), "31.12.0987 23:59:09");
}

TEST(PlaceholderFill, ValuesInPlaceEverythingElseKept) {
    const std::string bytes("\r\n\t\0\xFF<?x><?\"", 11);
    const struct Case {
        const char* What;
        std::string Module;
        std::vector<TFieldValue> Values;
        std::string Filled;
    } cases[] = {
        {"marks dropped", "a<?>b<?><?>", {}, "ab"},
        {"a typed text", C(R"(Привет, <?"Имя">!)"), {{C("Мир"), 0}}, C("Привет, Мир!")},
        {"one value for each of its placeholders", C(R"(<?"x">+<?"y">+<?"x">)"), {{"1", 0}, {"2", 0}}, "1+2+1"},
        {"the chosen option's insert text",
         C(R"(З = <?"В", ВыборВарианта, "Да", "Истина", "Нет", "Ложь">;)"), {{"", 1}}, C("З = Ложь;")},
        {"a choice past the options inserts nothing", C(R"(<<?"В", ВыборВарианта, "a", "1">>)"), {{"", 2}}, "<>"},
        {"a date as typed", C(R"(// <?"", ДатаВремя>)"), {{"01.01.2000 00:00:00", 0}}, "// 01.01.2000 00:00:00"},
        {"no values: the initial ones",
         C(R"(<?"", ДатаВремя> <?"В", ВыборВарианта, "a", "1"> <?"т">)"), {}, "01.02.2024 03:04:05 1 "},
        {"other bytes kept", bytes + C(R"(<?"p"><?"q)") + bytes, {{"v", 0}}, bytes + "v" + C(R"(<?"q)") + bytes},
        {"a value with quotes and marks goes in as typed", C(R"(<?"p">)"), {{R"("<?>")", 0}}, R"("<?>")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const std::vector<TModulePart> parts = ParseModuleText(c.Module);
        const std::vector<TPlaceholderField> fields = PlaceholderFields(parts, {2024, 2, 1, 3, 4, 5});
        EXPECT_EQ(FillPlaceholders(c.Module, parts, fields, c.Values), c.Filled);
    }
}

}  // namespace
}  // namespace tessara
