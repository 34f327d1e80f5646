#include "app/Texts.h"

#include <iterator>

#include "platform/Charset.h"

namespace tessara {
namespace {

TTexts MakeTexts() {
    TTexts t;
    t.MainCaption = "Tessara";
    t.TrayTip = "Tessara v1.0";

    t.Button5Caption = Cp1251("Копировать");
    t.Button5Hint = Cp1251("Копировать данные шаблона в буфер обмена");
    t.Button4Caption = Cp1251("Вставить");
    t.Button4Hint = Cp1251("Вставить данные из буфера обмена в шаблон");
    t.ButtonMoreShow = ">>";
    t.ButtonMoreShowHint = Cp1251("Показать развернутую подсказку справа");
    t.ButtonMoreHide = "<<";
    t.ButtonMoreHideHint = Cp1251("Спрятать развернутую подсказку");
    t.Label3Caption = Cp1251("Список шаблонов:");
    t.DlgFormsHint = Cp1251(
        "Список шаблонов с данными модуля и формы \r\n"
        "Двойным щелчком можно скопировать данные шаблона в буфер обмена \r\n"
        "А после нажатия правой кнопки мыши можно выбрать вариант вставки из буфера обмена");
    t.Label1Caption = Cp1251("Название \r\nшаблона");
    t.Button1Caption = Cp1251("Добавить");
    t.Button1Hint = Cp1251("Добавить новый шаблон");
    t.Button2Caption = Cp1251("Изменить");
    t.Button2Hint = Cp1251("Изменить наименование шаблона");
    t.Button3Caption = Cp1251("Удалить");
    t.Button3Hint = Cp1251("Удалить шаблон");
    t.Label2Caption = Cp1251("Tessara v1.0 — написать разработчикам");
    t.Label2Hint = Cp1251("Двойным щелчком можно создать письмо для нас");
    t.InsControlsCaption = Cp1251("Вставить контролы");
    t.InsModuleCaption = Cp1251("Вставить модуль");

    t.MemoOfHints = Cp1251(
        "Схема работы программы:\r\n"
        "1) Добавление нового шаблона - пишем название шаблона, \r\n"
        "нажимаем \"Добавить\";\r\n"
        "2) Добавление контролов в шаблон - в Конфигураторе выделяем \r\n"
        "контролы, в Конфигураторе нажимаем \"Копировать\" (Ctrl+C),\r\n"
        "далее переключаемся в программу, нажимаем \"Вставить\", \r\n"
        "выбираем нужный вариант вставки\r\n"
        "3) Добавление части текста модуля в шаблон - в Конфигураторе \r\n"
        "выделяем нужный текст в окне модуля, \r\n"
        "в Конфигураторе нажимаем \"Копировать\" (Ctrl+C),\r\n"
        "далее переключаемся в программу, нажимаем \"Вставить\", \r\n"
        "выбираем нужный вариант вставки\r\n"
        "4) Копирование данных из шаблона в Конфигуратор - встаем на \r\n"
        "нужный шаблон, нажимаем \"Копировать\", \r\n"
        "переключаемся в Конфигуратор, переключаемся в окно \r\n"
        "формы/диалога, нажимаем \"Вставить\" (Ctrl+V), \r\n"
        "затем можно переключиться в окно модуля и также вставить \r\n"
        "текст в модуль.");

    // The project's two contact addresses.
    t.MailLinkSupport = Cp1251("mailto:\"Tessara — поддержка\" <support@tessara.dev>");
    t.MailLinkSuggestions = Cp1251("mailto:\"Tessara — предложения\" <suggestions@tessara.dev>");

    t.RepositoryFileName = "1CDialogControls.xml";
    t.DialogEditorFormatName = "1S DIALOG EDITOR";
    t.RootTag = "Document";
    t.DescriptionAttribute = "desctiption";
    t.DefaultDescription = Cp1251("Список контролов Тессар");
    t.TemplateTag = "Groops";
    t.NameAttribute = "name";
    t.ControlsTag = "Controls";
    t.ModuleTag = "Module";

    // The "c" before the blank is the Latin letter.
    t.StatusRenamedFrom = Cp1251("Изменено название ") + "c ";
    t.StatusRenamedTo = Cp1251("на ");
    t.StatusCopied = Cp1251("Скопировано ");
    t.StatusControlsPasted = Cp1251("Вставлены контролы в ");
    t.StatusModulePasted = Cp1251("Вставлен текст модуль в ");
    t.StatusEnd = std::string(1, '!');
    t.StatusCharactersReplaced = Cp1251(" Символов, которых нет в кодировке Windows-1251, заменено на «?»: ");
    t.StatusSaveFailed = Cp1251("Изменения не сохранены в файл, попытка будет повторена: ");
    t.StatusBackupMade = Cp1251("Копия исходного файла шаблонов сохранена как ");
    t.StatusHotkeyUnavailable = Cp1251("Сочетание клавиш Ctrl+Shift+Insert занято другой программой: "
                                       "окно поиска шаблонов по нему не открывается");
    t.StatusRead = Cp1251("Файл шаблонов прочитан.");
    t.StatusReadAgain = Cp1251("Файл шаблонов изменён другой программой и прочитан заново.");
    t.StatusSelectedGone = Cp1251("Файл шаблонов изменён другой программой и прочитан заново; "
                                  "выбранного шаблона в нём больше нет, изменение не выполнено.");
    t.StatusChangedOnBothSides = Cp1251("Файл шаблонов изменён другой программой, а изменения "
                                        "здесь ещё не записаны: перед записью он будет сохранён как копия.");
    t.StatusChangeRefused = Cp1251("Изменение не выполнено: файл шаблонов не удаётся прочитать: ");
    t.StatusCannotRead = Cp1251("Файл шаблонов не удаётся прочитать: ");
    t.StatusMovedPrefix = Cp1251("Шаблон «");
    t.StatusMovedTo = Cp1251("» перемещён на место ");
    t.StatusMovedOf = Cp1251(" из ");
    t.PreviewEllipsis = Cp1251("…");
    t.PreviewControlsSize = Cp1251("Данные контролов: ");
    t.PreviewBytes = Cp1251(" байт");
    t.StatusDropAdded = Cp1251("Добавлено шаблонов: ");
    t.StatusDropPassedOver = Cp1251(", пропущено одинаковых: ");
    t.StatusDropNoTemplatesIn = Cp1251(" В файле ");
    t.StatusDropNoTemplates = Cp1251(" нет шаблонов.");
    t.StatusDeleted = Cp1251("Удален шаблон ");
    t.StatusDeletedUndo = Cp1251(". Вернуть его: Ctrl+Z.");
    t.StatusUndone = Cp1251("Отменено: ");
    t.StatusRedone = Cp1251("Сделано снова: ");
    const char* changeNames[] = {"добавление шаблона", "переименование шаблона", "удаление шаблона",
                                 "вставка контролов в шаблон", "вставка модуля в шаблон",
                                 "перемещение шаблона", "добавление шаблонов из файлов",
                                 "изменение шаблона"};
    for (size_t i = 0; i < std::size(changeNames); ++i) t.ChangeNames[i] = Cp1251(changeNames[i]);
    t.StatusNothingToUndo = Cp1251("Отменять нечего.");
    t.StatusNothingToRedo = Cp1251("Делать снова нечего.");
    t.StatusHistoryLost = Cp1251(
        "Файл шаблонов был прочитан заново после изменения другой программой: прежние изменения отменить нельзя.");
    t.StatusHistoryFailed = Cp1251("Копия файла шаблонов в истории не сохранена: ");
    t.StatusEdited = Cp1251("Сохранен шаблон ");
    t.StatusEditedIntoNew = Cp1251("Шаблона больше нет: текст сохранен в новый шаблон ");

    t.AskReplaceControls = Cp1251("Контролы уже существуют!\r\nЗаменить?");
    t.AskReplaceModule = Cp1251("Текст модуля уже существует!\r\nЗаменить?");

    // The placeholder dialog.
    t.PlaceholderTitle = Cp1251("Копирование шаблона ");
    t.PlaceholderCopy = Cp1251("Копировать");
    t.PlaceholderAsIs = Cp1251("Как есть");
    t.PlaceholderCancel = Cp1251("Отмена");
    t.PreviewPlaceholders = Cp1251("Подстановки: ");
    t.PlaceholderValueLabel = Cp1251("Значение");

    t.InTemplate = Cp1251("В шаблоне «");
    t.NoControlsElement = Cp1251("» нет элемента с данными контролов");
    t.NoModuleElement = Cp1251("» нет элемента с текстом модуля после данных контролов");
    t.QuoteOpen = Cp1251("«");
    t.QuoteClose = Cp1251("»");
    t.BackupMade = Cp1251("Исходный файл сохранён без изменений как ");
    t.BackupFailed = Cp1251("Копию исходного файла сделать не удалось, и он не будет перезаписан, "
                            "пока копия не сделана: ");
    t.BackupStillFailing = Cp1251("Файл шаблонов не перезаписан: не удалось сохранить копию "
                                  "исходного файла: ");
    t.NotWrittenUntilRead = Cp1251("Файл шаблонов не будет перезаписан, пока его не удастся прочитать.");
    t.CloseCannotCompare = Cp1251("Файл шаблонов не перезаписан: не удалось прочитать его, чтобы "
                                  "проверить, не изменила ли его другая программа: ");

    // The module editor.
    t.EditModuleCaption = Cp1251("Изменить модуль…");
    t.EditorCaptionEnd = Cp1251(" — Tessara");
    t.EditorNameLabel = Cp1251("Название:");
    t.EditorFindLabel = Cp1251("Найти:");
    t.EditorStatusLine = Cp1251("Строка ");
    t.EditorStatusColumn = Cp1251(", столбец ");
    t.EditorStatusModified = Cp1251("    изменён");
    t.EditorNotFound = Cp1251("Не найдено: ");
    t.EditorAskSave = Cp1251("Сохранить изменения в шаблоне «");
    t.EditorAskSaveEnd = Cp1251("»?");
    t.EditorAskReplaced = Cp1251(" символов нет в кодировке Windows-1251; они будут заменены на «?». Сохранить?");
    return t;
}

}  // namespace

const TTexts& Texts() {
    static const TTexts texts = MakeTexts();
    return texts;
}

}  // namespace tessara
