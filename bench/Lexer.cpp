// The module editor's colouring on a generated module text of about 1 MB: the whole text at the
// first paint, and a keystroke's relexing and repainting in its middle. CPU time.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ModuleLexer.h"
#include "bench/Generator.h"
#include "bench/Measure.h"
#include "platform/Charset.h"

namespace tessara::bench {
namespace {

constexpr double kWholeTextTarget = 0.050;
constexpr size_t kTextBytes = 1000000;

// Lines of procedure bodies; %1 and %2 become identifiers, %n a number, %d a date, each line
// indented by the procedure's depth.
const std::vector<std::string>& Statements() {
    static const std::vector<std::string> statements = Words({
        "%1 = %2 + %n;",
        "%1 = %2 * %n.5 - %1 / 2; // пересчёт в валюту учёта",
        "Если %1 > %n И НЕ %2 = Неопределено Тогда\n\t%1 = %1 + 1;\nИначеЕсли %2 <> %1 Тогда\n"
        "\t%2 = Мин(%1, %2);\nИначе\n\tВозврат;\nКонецЕсли;",
        "Для Каждого СтрокаТаблицы Из %1 Цикл\n\tСтрокаТаблицы.%2 = СтрокаТаблицы.%2 + %n;\nКонецЦикла;",
        "Для Сч = 1 По %n Цикл\n\tЕсли Сч % 2 = 0 Тогда\n\t\tПродолжить;\n\tКонецЕсли;\n\t%1[Сч - 1] = Сч;\n"
        "КонецЦикла;",
        "Пока %1 < %n Цикл\n\t%1 = %1 + 1;\nКонецЦикла;",
        "Сообщить(\"Значение \"\"%1\"\": \" + Формат(%2, \"ЧЦ=15; ЧДЦ=2\"));",
        "%1 = Новый Структура(\"Сумма, Количество, Цена\", 0, 0, %n.25);",
        "%1 = Дата(%d);  %2 = '20240101120000';",
        "// %1 считается от %2: см. описание процедуры выше",
        "Попытка\n\t%1.Записать();\nИсключение\n\tСообщить(ОписаниеОшибки());\n\tВызватьИсключение;\n"
        "КонецПопытки;",
        "Запрос = Новый Запрос;\nЗапрос.Текст =\n\t\"ВЫБРАТЬ\n\t|\tТ.%1 КАК %1,\n\t|\tТ.%2 КАК %2\n"
        "\t//|\tТ.Цена КАК Цена\n\t|ИЗ\n\t|\tРегистрНакопления.Остатки КАК Т\n\t|ГДЕ\n"
        "\t|\tТ.Период <= &Дата\";\nЗапрос.УстановитьПараметр(\"Дата\", %2);",
        "%1 = ?(%2 = NULL, 0, %2);",
        "Результат = %1.%2(%n, Истина, Ложь);",
        "ТаблицаТоваров.Колонки.Добавить(\"%1\", Новый ОписаниеТипов(\"Число\", Новый КвалификаторыЧисла(15, 2)));",
        "НайденныеСтроки = ТаблицаТоваров.НайтиСтроки(Новый Структура(\"%1, %2\", %1, %2)); // без учёта склада",
        "ОбщегоНазначенияКлиентСервер.СообщитьПользователю(СтрШаблон(\"Не заполнено поле \"\"%1\"\"\"), , \"%2\");",
    });
    return statements;
}

const std::vector<std::string>& Identifiers() {
    static const std::vector<std::string> identifiers = Words(
        {"Сумма", "Количество", "Цена", "Контрагент", "ТекущийЭлемент", "Документ", "СтрокаТаблицы",
         "Номенклатура", "Склад", "ДатаДокумента", "ИтогоСумма", "Счетчик", "ЁмкостьТары",
         "ТаблицаТоваров", "ВалютаРасчетов", "СуммаНДС", "СтавкаНДС", "Организация", "_Кэш"});
    return identifiers;
}

std::string Substitute(const std::string& pattern, TRandom& rnd) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] != '%' || (next != '1' && next != '2' && next != 'n' && next != 'd')) {
            out += pattern[i];
            continue;
        }
        ++i;
        if (next == 'n') out += std::to_string(rnd.Below(10000));
        else if (next == 'd') out += "20" + std::to_string(10 + rnd.Below(15)) + ", 1, " + std::to_string(1 + rnd.Below(28));
        else out += rnd.Pick(Identifiers());
    }
    return out;
}

// Appends each line of Lines (split at "\n") indented by Depth tabs, with CR LF.
void AppendIndented(std::string& text, const std::string& lines, int depth) {
    size_t begin = 0;
    for (;;) {
        const size_t end = std::min(lines.find('\n', begin), lines.size());
        text.append(static_cast<size_t>(depth), '\t');
        text.append(lines, begin, end - begin);
        text += "\r\n";
        if (end == lines.size()) return;
        begin = end + 1;
    }
}

// A module of procedures and functions in regions, with directives, comments, conditions,
// loops, one-line and multi-line strings, dates, and now and then a procedure in English.
std::string GenerateModule() {
    TRandom rnd(20240611);
    std::string text;
    int region = 0;
    while (text.size() < kTextBytes) {
        if (rnd.Below(8) == 0 || region == 0) {
            if (region != 0) text += Cp1251("#КонецОбласти\r\n\r\n");
            text += Cp1251("#Область Область") + std::to_string(++region) + "\r\n\r\n";
        }
        const bool function = rnd.Below(3) == 0;
        const std::string name = rnd.Pick(Identifiers()) + std::to_string(rnd.Below(1000));
        text += Cp1251("// Обрабатывает ") + name + Cp1251(": заполняет табличную часть\r\n");
        text += rnd.Below(2) == 0 ? Cp1251("&НаСервере\r\n") : Cp1251("&НаКлиенте\r\n");
        if (rnd.Below(20) == 0) {
            text += "Procedure " + name + "(Value, Count) Export\r\n";
            text += "\tFor Each Item In Value Do\r\n\t\tIf Item.Count > Count Then\r\n\t\t\tBreak;\r\n"
                    "\t\tEndIf;\r\n\tEndDo;\r\nEndProcedure\r\n\r\n";
            continue;
        }
        text += Cp1251(function ? "Функция " : "Процедура ") + name + "(" + rnd.Pick(Identifiers()) +
                Cp1251(", Знач ") + rnd.Pick(Identifiers()) + Cp1251(" = Неопределено) Экспорт\r\n");
        text += Cp1251("\tПерем ") + rnd.Pick(Identifiers()) + ";\r\n";
        const size_t statements = 3 + rnd.Below(8);
        for (size_t i = 0; i < statements; ++i) {
            const int depth = rnd.Below(4) == 0 ? 2 : 1;
            if (depth == 2) text += Cp1251("\tЕсли ЗначениеЗаполнено(") + rnd.Pick(Identifiers()) + Cp1251(") Тогда\r\n");
            AppendIndented(text, Substitute(rnd.Pick(Statements()), rnd), depth);
            if (depth == 2) text += Cp1251("\tКонецЕсли;\r\n");
        }
        if (function) text += Cp1251("\tВозврат ") + rnd.Pick(Identifiers()) + ";\r\n";
        text += Cp1251(function ? "КонецФункции\r\n\r\n" : "КонецПроцедуры\r\n\r\n");
    }
    text += Cp1251("#КонецОбласти\r\n");
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t begin = 0;
    for (;;) {
        const size_t end = std::min(text.find("\r\n", begin), text.size());
        lines.push_back(text.substr(begin, end - begin));
        if (end == text.size()) return lines;
        begin = end + 2;
    }
}

// A keystroke in one line: the line before and after it, and lines it becomes (more than one
// when the key is Enter).
struct TKeystroke {
    const char* What;
    size_t Line;
    std::vector<std::string> After;
};

struct TKeystrokeResult {
    double Best = 1e9;
    TLineRange Repainted;
    size_t Runs = 0;
};

// Types the keystroke and takes it back, Runs times; times the typing: the relexing and the
// colour runs of every line it repaints.
TKeystrokeResult TimeKeystroke(TModuleColouring& colouring, std::vector<std::string>& lines,
                               const TKeystroke& key, int runs) {
    TKeystrokeResult result;
    const std::vector<std::string> before{lines[key.Line]};
    const TModuleLineSource source = [&](size_t line) { return std::string_view(lines[line]); };
    std::vector<TColourRun> lineRuns;
    auto replace = [&](const std::vector<std::string>& from, const std::vector<std::string>& to) {
        const auto at = lines.begin() + static_cast<std::ptrdiff_t>(key.Line);
        lines.erase(at, at + static_cast<std::ptrdiff_t>(from.size()));
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(key.Line), to.begin(), to.end());
    };
    for (int run = 0; run < runs; ++run) {
        replace(before, key.After);
        const double start = Now();
        const TLineRange repaint = colouring.Edit(key.Line, 1, key.After.size(), source);
        size_t painted = 0;
        for (size_t line = repaint.First; line < repaint.End; ++line) {
            ColourModuleLine(lines[line], colouring.LineState(line), lineRuns);
            painted += lineRuns.size();
        }
        result.Best = std::min(result.Best, Now() - start);
        result.Repainted = repaint;
        result.Runs = painted;
        replace(key.After, before);
        colouring.Edit(key.Line, key.After.size(), 1, source);
    }
    return result;
}

}  // namespace

int RunLexerBenchmark(int runs) {
    const std::string text = GenerateModule();
    std::vector<std::string> lines = SplitLines(text);
    std::printf("module editor colouring: generated module text of %zu bytes, %zu lines\n", text.size(),
                lines.size());

    TModuleColouring colouring;
    double whole = 1e9;
    size_t colourRuns = 0;
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        const std::vector<TColourRun> all = colouring.ColourText(text);
        whole = std::min(whole, Now() - start);
        colourRuns = all.size();
    }
    const bool met = whole <= kWholeTextTarget;
    std::printf("whole text (first paint): %.2f ms CPU, best of %d (%.0f MB/s), %zu colour runs; "
                "target <= %.0f ms: %s\n",
                whole * 1000, runs, static_cast<double>(text.size()) / 1e6 / whole, colourRuns,
                kWholeTextTarget * 1000, met ? "met" : "NOT MET");

    // Keystrokes in the middle of the text: in a line of code, and in a line of a multi-line
    // string (the query of the module's middle procedure).
    size_t code = lines.size() / 2;
    while (lines[code].find(" = ") == std::string::npos || colouring.LineState(code) != TLexState::Code) ++code;
    auto continues = [&](size_t line) {
        const size_t first = lines[line].find_first_not_of(" \t");
        return colouring.LineState(line) == TLexState::String && first != std::string::npos && lines[line][first] == '|';
    };
    size_t query = lines.size() / 2;
    while (!continues(query)) ++query;
    auto with = [](std::string line, size_t at, const std::string& typed) { return line.insert(at, typed); };
    const std::string& codeLine = lines[code];
    const size_t equals = codeLine.find(" = ");
    const TKeystroke keys[] = {
        {"a letter typed in a name", code, {with(codeLine, equals, "x")}},
        {"a quote that opens a string", code, {with(codeLine, equals, "\"")}},
        {"Enter in a line of code", code, {codeLine.substr(0, equals), codeLine.substr(equals)}},
        {"a letter typed in a query text", query, {with(lines[query], lines[query].size(), "x")}},
        {"a quote that closes a query early", query, {with(lines[query], lines[query].find('|') + 1, "\"")}},
    };
    std::printf("%-36s %9s %13s %12s\n", "keystroke (CPU, best of runs)", "ms", "lines relexed", "colour runs");
    for (const TKeystroke& key : keys) {
        const TKeystrokeResult r = TimeKeystroke(colouring, lines, key, runs);
        std::printf("%-36s %9.4f %13zu %12zu\n", key.What, r.Best * 1000, r.Repainted.End - r.Repainted.First, r.Runs);
    }
    return met ? 0 : 1;
}

}  // namespace tessara::bench
