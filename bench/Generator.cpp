#include "bench/Generator.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "platform/Charset.h"

namespace tessara::bench {

std::vector<std::string> Words(std::initializer_list<const char*> utf8) {
    std::vector<std::string> out;
    for (const char* w : utf8) out.push_back(Cp1251(w));
    return out;
}

namespace {

struct TVocabulary {
    std::vector<std::string> NameWords = Words(
        {"Форма", "Документ", "Справочник", "Поступление", "Реализация", "Товаров", "Услуг",
         "Контрагенты", "Номенклатура", "Выбора", "Списка", "Элемента", "Отчет", "Обработка",
         "Печать", "Накладная", "Счет", "Касса", "Банк", "Склад", "Сотрудники", "Зарплата",
         "Остатки", "Обороты", "Платежное", "Поручение", "Ввод", "Начальных", "Журнал"});
    // Names that hold the special characters, so attribute values carry entities too.
    std::vector<std::string> OddNames = Words(
        {"Отчет \"Продажи\" & остатки", "<Новая форма>", "Диалог 'Настройки'",
         "Цена > 0 & Количество < 10"});
    std::vector<std::string> ControlKinds = Words(
        {"Button", "Label", "Edit", "CheckBox", "Combobox", "ListBox", "Table", "GroupBox"});
    std::vector<std::string> Captions = Words(
        {"Кнопка", "Надпись", "Поле", "Флажок", "Список", "Таблица", "Рамка", "Сохранить",
         "Записать", "Закрыть", "ОК", "Отмена", "Печать...", "Дата:", "Сумма:", "Контрагент"});
    std::vector<std::string> Formulas = Words(
        {"Форма.Закрыть()", "ЗаписатьДокумент()", "ПриИзмененииСуммы()", "Сформировать()", "",
         "ОткрытьФорму(\"Справочник.Контрагенты\")"});
    std::vector<std::string> Hints = Words(
        {"Нажмите, чтобы сохранить документ", "Сумма документа в валюте учета", "",
         "Выберите контрагента из справочника", "Дата начала периода отчета"});
    std::vector<std::string> Identifiers = Words(
        {"Сумма", "Количество", "Цена", "Контрагент", "ТекущийЭлемент", "Форма", "Документ",
         "СтрокаТаблицы", "Номенклатура", "Склад", "ДатаДок", "ИтогоСумма", "Счетчик"});
    std::vector<std::string> Statements = Words(
        {"\tЕсли %1 > 0 И %2 < 100 Тогда\r\n\t\t%1 = %1 + 1;\r\n\tКонецЕсли;\r\n",
         "\tСообщить(\"Значение \"\"%1\"\" & итог: \" + %2);\r\n",
         "\t// проверка: %1 <> %2 && 'пусто'\r\n",
         "\tДля Сч = 1 По %1 Цикл\r\n\t\t%2 = %2 + Сч;\r\n\tКонецЦикла;\r\n",
         "\t%1 = Формат(%2, \"ЧЦ=15; ЧДЦ=2\");\r\n",
         "\tЕсли ПустоеЗначение(%1) = 1 Тогда\r\n\t\tПредупреждение(\"Не заполнено: <%1>\");"
         "\r\n\t\tВозврат;\r\n\tКонецЕсли;\r\n",
         "\tСтр = \"<b>\" + %1 + \"</b> & \" + %2;\r\n"});
    std::string Procedure = Cp1251("Процедура ");
    std::string EndProcedure = Cp1251("КонецПроцедуры\r\n\r\n");
    std::string Description = Cp1251("Список контролов Тессар");
};

std::string Substitute(const std::string& pattern, const std::string& a, const std::string& b) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            out += pattern[i + 1] == '1' ? a : b;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string MakeName(TRandom& rnd, const TVocabulary& v, uint64_t index) {
    if (rnd.Range(0, 7) == 0) return rnd.Pick(v.OddNames) + " " + std::to_string(index);
    std::string name;
    const uint64_t words = rnd.Range(2, 4);
    for (uint64_t i = 0; i < words; ++i) {
        if (i != 0) name += ' ';
        name += rnd.Pick(v.NameWords);
    }
    return name + " " + std::to_string(index);
}

void AppendQuotedList(std::string& out, std::initializer_list<std::string> items) {
    bool first = true;
    for (const std::string& item : items) {
        if (!first) out += ',';
        first = false;
        out += '"';
        out += item;
        out += '"';
    }
}

// The dialog editor's brace text: the frame with its font, then the controls.
std::string MakeControls(TRandom& rnd, const TVocabulary& v) {
    const uint64_t target = rnd.Range(1500, 2500);
    std::string out = "{\"Dialogs\",{\"Frame\",{";
    AppendQuotedList(out, {"-11", "0", "0", "0", "400", "0", "0", "0", "0", "204", "0", "0", "0",
                           "MS Sans Serif", "0", "0", "0", "0", "0", std::to_string(rnd.Range(200, 600)),
                           std::to_string(rnd.Range(100, 400)), "1", "0", "0", "0"});
    out += "}},\r\n{\"Controls\",{";
    int n = 0;
    while (out.size() < target) {
        if (n != 0) out += ",\r\n";
        ++n;
        const std::string& caption = rnd.Pick(v.Captions);
        out += '{';
        AppendQuotedList(out, {rnd.Pick(v.ControlKinds), caption + std::to_string(n),
                               std::to_string(rnd.Range(0, 400)), std::to_string(rnd.Range(0, 300)),
                               std::to_string(rnd.Range(10, 200)), std::to_string(rnd.Range(10, 40)),
                               "1342242816", "-11", "400", "204", "MS Sans Serif", caption,
                               rnd.Pick(v.Formulas), rnd.Pick(v.Hints), std::to_string(rnd.Range(0, 9999))});
        out += '}';
    }
    out += "}}}";
    return out;
}

std::string MakeModule(TRandom& rnd, const TVocabulary& v) {
    const uint64_t target = rnd.Range(1000, 3000);
    std::string out;
    while (out.size() < target) {
        out += v.Procedure + rnd.Pick(v.Identifiers) + "(" + rnd.Pick(v.Identifiers) + ")\r\n";
        const uint64_t statements = rnd.Range(2, 6);
        for (uint64_t i = 0; i < statements; ++i)
            out += Substitute(rnd.Pick(v.Statements), rnd.Pick(v.Identifiers), rnd.Pick(v.Identifiers));
        out += v.EndProcedure;
    }
    return out;
}

class TFileWriter {
public:
    explicit TFileWriter(const std::string& path) : File(std::fopen(path.c_str(), "wb")) {
        if (File == nullptr) throw std::runtime_error("cannot create " + path);
        Buffer.reserve(kChunk + 65536);
    }
    ~TFileWriter() {
        if (File != nullptr) std::fclose(File);
    }
    std::string& Out() { return Buffer; }
    void MaybeFlush() {
        if (Buffer.size() >= kChunk) Flush();
    }
    uint64_t Finish() {
        Flush();
        const bool ok = std::fclose(File) == 0;
        File = nullptr;
        if (!ok) throw std::runtime_error("write failed");
        return Written;
    }

private:
    static constexpr size_t kChunk = 1 << 20;
    void Flush() {
        if (!Buffer.empty() && std::fwrite(Buffer.data(), 1, Buffer.size(), File) != Buffer.size())
            throw std::runtime_error("write failed");
        Written += Buffer.size();
        Buffer.clear();
    }
    FILE* File;
    std::string Buffer;
    uint64_t Written = 0;
};

}  // namespace

void AppendEscaped(std::string& out, const std::string& text) {
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
}

TGeneratedFile GenerateRepository(const std::string& path, uint64_t templates) {
    const TVocabulary v;
    TRandom rnd(0x7E55A2A0ull + templates);
    TFileWriter file(path);
    TGeneratedFile result;
    std::string& out = file.Out();
    out += "<Document desctiption=\"";
    AppendEscaped(out, v.Description);
    out += "\">";
    for (uint64_t i = 0; i < templates; ++i) {
        const std::string name = MakeName(rnd, v, i + 1);
        out += "<Groops name=\"";
        AppendEscaped(out, name);
        out += "\">";
        result.TextBytes += name.size();
        // Now and then a template that was added but never filled, as the writer renders it.
        if (rnd.Range(0, 49) == 0) {
            out += "<Controls/><Module/>";
        } else {
            const std::string controls = MakeControls(rnd, v);
            const std::string module = MakeModule(rnd, v);
            out += "<Controls>";
            AppendEscaped(out, controls);
            out += "</Controls><Module>";
            AppendEscaped(out, module);
            out += "</Module>";
            result.TextBytes += controls.size() + module.size();
            for (const std::string* text : {&controls, &module})
                for (const char c : *text) result.CarriageReturns += c == '\r';
        }
        out += "</Groops>";
        file.MaybeFlush();
    }
    out += "</Document>";
    result.Bytes = file.Finish();
    result.Templates = templates;
    return result;
}

}  // namespace tessara::bench
