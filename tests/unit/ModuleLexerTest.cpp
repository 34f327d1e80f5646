// The module text's lexer: the tokens of a line and the state carried into the next, the
// colour runs, and the lines an edit makes repaint.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ModuleLexer.h"
#include "platform/Charset.h"

namespace tessara {
namespace {

using enum TLexState;

// Tokens as "K[Если] I[А]", each with its text; a token that begins before the end of the one
// before it shows as "overlap".
std::string Render(const std::string& line, const std::vector<TToken>& tokens) {
    static const char kKinds[] = "KINSDCPOH";  // in TTokenKind's order
    std::string out;
    size_t end = 0;
    for (const TToken& t : tokens) {
        if (t.Begin < end || t.Length == 0) out += "overlap ";
        end = t.Begin + t.Length;
        out += kKinds[static_cast<size_t>(t.Kind)];
        out += "[" + Cp1251ToUtf8(line.substr(t.Begin, t.Length)) + "] ";
    }
    if (!out.empty()) out.pop_back();
    return out;
}

TEST(ModuleLexer, LinesGiveTheirTokensAndTheStateTheNextLineStartsIn) {
    struct Case {
        const char8_t* Line;
        TLexState Start;
        const char8_t* Tokens;
        TLexState Next;
    };
    const Case cases[] = {
        // Keywords of both languages, in any case; identifiers with Cyrillic letters, Ё and "_".
        {u8"Если Сумма > 0 Тогда", Code, u8"K[Если] I[Сумма] O[>] N[0] K[Тогда]", Code},
        {u8"если СУММА>=10.5 ТОГДА", Code, u8"K[если] I[СУММА] O[>=] N[10.5] K[ТОГДА]", Code},
        {u8"КОНЕЦЕСЛИ;конецЦикла", Code, u8"K[КОНЕЦЕСЛИ] O[;] K[конецЦикла]", Code},
        {u8"if Count <> 0 Then Return Undefined; ENDIF;", Code,
         u8"K[if] I[Count] O[<>] N[0] K[Then] K[Return] K[Undefined] O[;] K[ENDIF] O[;]", Code},
        {u8"For Each Item In List Do", Code, u8"K[For] K[Each] I[Item] K[In] I[List] K[Do]", Code},
        {u8"Перем Ёлка Экспорт; ЁЖИК = ёжик", Code,
         u8"K[Перем] I[Ёлка] K[Экспорт] O[;] I[ЁЖИК] O[=] I[ёжик]", Code},
        {u8"Ёсли ЕслиНет Если2 _Если NULL null", Code,
         u8"I[Ёсли] I[ЕслиНет] I[Если2] I[_Если] K[NULL] K[null]", Code},
        {u8"_Имя1 = Имя_2.Поле3", Code, u8"I[_Имя1] O[=] I[Имя_2] O[.] I[Поле3]", Code},
        {u8"Возврат НЕ А ИЛИ Б и В", Code, u8"K[Возврат] K[НЕ] I[А] K[ИЛИ] I[Б] K[и] I[В]", Code},
        // Numbers: one decimal point, and only before a digit.
        {u8"12.5.3 1. 7abc", Code, u8"N[12.5] O[.] N[3] N[1] O[.] N[7] I[abc]", Code},
        // Operators and punctuation.
        {u8"М[0] = ?(А, Б % 2, -В) * Г / Д;", Code,
         u8"I[М] O[[] N[0] O[]] O[=] O[?] O[(] I[А] O[,] I[Б] O[%] N[2] O[,] O[-] I[В] O[)] O[*] I[Г] "
         u8"O[/] I[Д] O[;]",
         Code},
        {u8"~Метка: А<=Б", Code, u8"O[~] I[Метка] O[:] I[А] O[<=] I[Б]", Code},
        // Strings: "" is a quote inside; a string open at the line's end carries on.
        {u8"Т = \"Он сказал \"\"да\"\"\";", Code, u8"I[Т] O[=] S[\"Он сказал \"\"да\"\"\"] O[;]", Code},
        {u8"Т = \"\"\"\" + \"\"", Code, u8"I[Т] O[=] S[\"\"\"\"] O[+] S[\"\"]", Code},
        {u8"Запрос.Текст = \"ВЫБРАТЬ", Code, u8"I[Запрос] O[.] I[Текст] O[=] S[\"ВЫБРАТЬ]", String},
        {u8"\t|\tТ.Ссылка КАК \"\"Ссылка\"\"", String, u8"S[|\tТ.Ссылка КАК \"\"Ссылка\"\"]", String},
        {u8"  |ИЗ Т\"; // конец", String, u8"S[|ИЗ Т\"] O[;] C[// конец]", Code},
        {u8"|\"", String, u8"S[|\"]", Code},
        // A line of the string commented out, or an empty one, keeps the string open.
        {u8"\t//|\tТ.Поле", String, u8"C[//|\tТ.Поле]", String},
        {u8" \t", String, u8"", String},
        {u8"", String, u8"", String},
        // Any other line ends the string state and is code, a string in it opening another.
        {u8"Сообщить(Текст);", String, u8"I[Сообщить] O[(] I[Текст] O[)] O[;]", Code},
        {u8"А = \"x", String, u8"I[А] O[=] S[\"x]", String},
        {u8"|Т\"", Code, u8"O[|] I[Т] S[\"]", String},
        // Dates stay on their line.
        {u8"Дата = '20240101';", Code, u8"I[Дата] O[=] D['20240101'] O[;]", Code},
        {u8"Дата = '2024", Code, u8"I[Дата] O[=] D['2024]", Code},
        // Comments, also after code; one "/" divides.
        {u8"А = Б / 2; // Если \"не строка", Code, u8"I[А] O[=] I[Б] O[/] N[2] O[;] C[// Если \"не строка]", Code},
        {u8"//", Code, u8"C[//]", Code},
        // Preprocessor lines, in both languages, up to a comment after them.
        {u8"#Если Сервер Тогда", Code, u8"P[#Если Сервер Тогда]", Code},
        {u8"  #КонецЕсли  ", Code, u8"P[#КонецЕсли]", Code},
        {u8"#ИначеЕсли Клиент Тогда", Code, u8"P[#ИначеЕсли Клиент Тогда]", Code},
        {u8"#Область Основное // \"заметка", Code, u8"P[#Область Основное] C[// \"заметка]", Code},
        {u8"#Region Main", String, u8"P[#Region Main]", Code},
        {u8"А = 1; #Если", Code, u8"I[А] O[=] N[1] O[;] O[#] K[Если]", Code},
        // Compile directives are coloured as the preprocessor is; a lone "&" is punctuation.
        {u8"&НаКлиенте", Code, u8"P[&НаКлиенте]", Code},
        {u8"&Перед(\"Записать\")", Code, u8"P[&Перед] O[(] S[\"Записать\"] O[)]", Code},
        {u8"А & Б", Code, u8"I[А] O[&] I[Б]", Code},
        // Placeholders and cursor marks are tokens of their own wherever they stand; no quote
        // or "//" inside one begins or ends anything around it.
        {u8"А = <?\"Сумма\", Число>;<?>", Code, u8"I[А] O[=] H[<?\"Сумма\", Число>] O[;] H[<?>]", Code},
        {u8"С = \"Итого: <?\"Сумма\"> руб.\";", Code,
         u8"I[С] O[=] S[\"Итого: ] H[<?\"Сумма\">] S[ руб.\"] O[;]", Code},
        {u8"С = \"<?\"А\">", Code, u8"I[С] O[=] S[\"] H[<?\"А\">]", String},
        {u8"\t|<?\"Вид\", ВыборВарианта, \"А\", \"\"\"Б\"\"\">\";", String,
         u8"S[|] H[<?\"Вид\", ВыборВарианта, \"А\", \"\"\"Б\"\"\">] S[\"] O[;]", Code},
        {u8"Адрес = <?\"http://сайт\">; // <?\"x\"> и <?>", Code,
         u8"I[Адрес] O[=] H[<?\"http://сайт\">] O[;] C[// ] H[<?\"x\">] C[ и ] H[<?>]", Code},
        {u8"#Если <?\"Условие\"> Тогда // <?>", Code, u8"P[#Если ] H[<?\"Условие\">] P[ Тогда] C[// ] H[<?>]", Code},
        {u8"Д = '<?\"Дата, 'год'\", ДатаВремя>';", Code, u8"I[Д] O[=] D['] H[<?\"Дата, 'год'\", ДатаВремя>] D['] O[;]", Code},
        // What the placeholder grammar does not take stays code: a broken one is operators.
        {u8"А <? Б <?\"x\"", Code, u8"I[А] O[<] O[?] I[Б] O[<] O[?] S[\"x\"]", Code},
        {u8"А = <?\"не закрыт", Code, u8"I[А] O[=] O[<] O[?] S[\"не закрыт]", String},
    };
    std::vector<TToken> tokens{{0, 1, TTokenKind::Keyword}};  // replaced, not added to
    for (const Case& c : cases) {
        const std::string line = Cp1251(c.Line);
        SCOPED_TRACE(Cp1251ToUtf8(line));
        const TLexState next = LexModuleLine(line, c.Start, tokens);
        EXPECT_EQ(Render(line, tokens), Cp1251ToUtf8(Cp1251(c.Tokens)));
        EXPECT_EQ(next, c.Next);
    }
}

// Every keyword of both languages as spelled, in small letters and in capitals.
TEST(ModuleLexer, EveryKeywordInAnyCase) {
    const std::string keywords = Cp1251(
        u8"Процедура Функция КонецПроцедуры КонецФункции Перем Экспорт Знач Если Тогда ИначеЕсли Иначе "
        u8"КонецЕсли Для Каждого Из По Цикл КонецЦикла Пока Возврат Продолжить Прервать Попытка "
        u8"Исключение КонецПопытки ВызватьИсключение Перейти Новый И ИЛИ НЕ Истина Ложь Неопределено "
        u8"NULL Procedure Function EndProcedure EndFunction Var Export Val If Then ElsIf Else EndIf For "
        u8"Each In To Do EndDo While Return Continue Break Try Except EndTry Raise Goto New And Or Not "
        u8"True False Undefined");
    auto shifted = [&](bool capitals) {
        std::string text = keywords;
        for (char& ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            const bool capital = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF);
            const bool small = (c >= 'a' && c <= 'z') || c >= 0xE0;
            if (capitals && small) ch = static_cast<char>(c - 0x20);
            if (!capitals && capital) ch = static_cast<char>(c + 0x20);
        }
        return text;
    };
    for (const std::string& line : {keywords, shifted(false), shifted(true)}) {
        std::vector<TToken> tokens;
        LexModuleLine(line, Code, tokens);
        ASSERT_EQ(tokens.size(), 69u);
        for (const TToken& t : tokens)
            EXPECT_EQ(t.Kind, TTokenKind::Keyword) << Cp1251ToUtf8(line.substr(t.Begin, t.Length));
    }
}

// Runs as "red[Если ]blue[А]", so that what each covers shows.
std::string Render(const std::string& text, const std::vector<TColourRun>& runs) {
    auto name = [](TRgb c) -> std::string {
        for (const TTokenKind kind : {TTokenKind::Keyword, TTokenKind::Identifier, TTokenKind::String,
                                      TTokenKind::Comment, TTokenKind::Preprocessor, TTokenKind::Placeholder})
            if (c == TokenColour(kind)) {
                static const char* const kNames[] = {"red", "blue", "", "black", "", "green", "brown", "", "magenta"};
                return kNames[static_cast<size_t>(kind)];
            }
        return "?";
    };
    std::string out;
    size_t end = 0;
    for (const TColourRun& r : runs) {
        if (r.Begin != end || r.Length == 0) out += "gap ";
        end = r.Begin + r.Length;
        out += name(r.Colour) + "[" + Cp1251ToUtf8(text.substr(r.Begin, r.Length)) + "]";
    }
    if (end != text.size()) out += " short";
    return out;
}

TEST(ModuleLexer, ColourRunsCoverTheTextAndChangeOnlyWithTheColour) {
    struct Case {
        const char8_t* Text;
        const char8_t* Runs;
    };
    const Case cases[] = {
        {u8"", u8""},
        {u8" \t ", u8"black[ \t ]"},
        {u8"  Если А = 1 Тогда", u8"red[  Если ]blue[А ]red[= ]black[1 ]red[Тогда]"},
        {u8"КонецЕсли;", u8"red[КонецЕсли;]"},
        {u8"Т = \"а\" + '2024' + 5; // к", u8"blue[Т ]red[= ]black[\"а\" ]red[+ ]black['2024' ]red[+ ]black[5]"
                                       u8"red[; ]green[// к]"},
        // Line breaks (CR LF, a lone LF, a lone CR) go with the run before them.
        {u8"&НаСервере\r\nПроцедура П()\n\tА = \"x\r\t|y\";\r\n",
         u8"brown[&НаСервере\r\n]red[Процедура ]blue[П]red[()\n\t]blue[А ]red[= ]black[\"x\r\t|y\"]red[;\r\n]"},
        {u8"Т = \"<?>\" + <?\"Б\">", u8"blue[Т ]red[= ]black[\"]magenta[<?>]black[\" ]red[+ ]magenta[<?\"Б\">]"},
    };
    for (const Case& c : cases) {
        const std::string text = Cp1251(c.Text);
        SCOPED_TRACE(Cp1251ToUtf8(text));
        TModuleColouring colouring;
        EXPECT_EQ(Render(text, colouring.ColourText(text)), Cp1251ToUtf8(Cp1251(c.Runs)));
        if (text.find_first_of("\r\n") == std::string::npos) {
            std::vector<TColourRun> runs;
            ColourModuleLine(text, Code, runs);
            EXPECT_EQ(Render(text, runs), Cp1251ToUtf8(Cp1251(c.Runs)));
        }
    }
}

TEST(ModuleLexer, AnEditRepaintsItsLinesAndThoseWhoseStartStateChanged) {
    using Lines = std::vector<const char8_t*>;
    const Lines module = {
        u8"Процедура П()",          // 0
        u8"\tА = 1;",               // 1
        u8"\t|Б",                   // 2: code, as line 1 ends in code
        u8"\t|В\"; // \"",          // 3: in code its string closes in the comment
        u8"\tЗапрос = \"ВЫБРАТЬ",   // 4
        u8"\t//|\tТ.Поле",          // 5
        u8"\t|ИЗ Т\"; // \"",        // 6
        u8"КонецПроцедуры",         // 7
    };
    struct Case {
        const char* What;
        size_t First, Removed;
        Lines Inserted;
        TLineRange Repaint;
    };
    const Case cases[] = {
        {"a letter typed with no state change", 1, 1, {u8"\tАБ = 1;"}, {1, 2}},
        {"a letter typed inside a string", 6, 1, {u8"\t|ИЗ Тт\"; // \""}, {6, 7}},
        {"a string opened runs to where it closes", 1, 1, {u8"\tА = \"1;"}, {1, 4}},
        {"a string closed early ends its continuation", 4, 1, {u8"\tЗапрос = \"ВЫБРАТЬ\""}, {4, 7}},
        {"a string opened before a line of code", 0, 1, {u8"Процедура П(\""}, {0, 2}},
        {"a line split in two", 1, 1, {u8"\tА =", u8" 1;"}, {1, 3}},
        {"two lines joined", 0, 2, {u8"Процедура П()\tА = 1;"}, {0, 1}},
        {"a line deleted with no state change", 1, 1, {}, {1, 1}},
        {"the comment inside the string deleted", 5, 1, {}, {5, 5}},
        {"a line inserted at the end", 8, 0, {u8"\""}, {8, 9}},
        {"the whole text replaced", 0, 8, {u8"А = \"", u8"|", u8"|"}, {0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<std::string> before, after;
        for (const char8_t* line : module) before.push_back(Cp1251(line));
        after = before;
        after.erase(after.begin() + static_cast<std::ptrdiff_t>(c.First),
                    after.begin() + static_cast<std::ptrdiff_t>(c.First + c.Removed));
        for (size_t i = 0; i < c.Inserted.size(); ++i)
            after.insert(after.begin() + static_cast<std::ptrdiff_t>(c.First + i), Cp1251(c.Inserted[i]));
        auto join = [](const std::vector<std::string>& lines) {
            std::string text;
            for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
            return text;
        };
        TModuleColouring colouring;
        colouring.ColourText(join(before));
        std::vector<size_t> asked;
        const TLineRange repaint = colouring.Edit(c.First, c.Removed, c.Inserted.size(), [&](size_t line) {
            asked.push_back(line);
            return std::string_view(after.at(line));
        });
        EXPECT_EQ(repaint, c.Repaint);
        // Only the repainted lines were lexed, and every line's state is as a whole pass has it.
        std::vector<size_t> repainted;
        for (size_t line = repaint.First; line < repaint.End; ++line) repainted.push_back(line);
        EXPECT_EQ(asked, repainted);
        TModuleColouring whole;
        whole.ColourText(join(after));
        ASSERT_EQ(colouring.LineCount(), after.size());
        for (size_t line = 0; line <= after.size(); ++line)
            EXPECT_EQ(colouring.LineState(line), whole.LineState(line)) << "line " << line;
    }
}

TEST(ModuleLexer, AnEditOutsideTheTextOrLeavingNoLineIsRefused) {
    TModuleColouring colouring;
    colouring.ColourText("a\r\nb");
    const TModuleLineSource lines = [](size_t) { return std::string_view(); };
    EXPECT_THROW(colouring.Edit(3, 0, 1, lines), std::out_of_range);
    EXPECT_THROW(colouring.Edit(1, 2, 1, lines), std::out_of_range);
    EXPECT_THROW(colouring.Edit(0, 2, 0, lines), std::invalid_argument);
    EXPECT_EQ(colouring.LineCount(), 2u);
    // A fresh colouring holds one empty line.
    EXPECT_EQ(TModuleColouring().Edit(0, 1, 1, [](size_t) { return std::string_view("\""); }), (TLineRange{0, 1}));
}

}  // namespace
}  // namespace tessara
