#!/usr/bin/env python3
"""End-to-end tests of Tessara.exe: the real program under Wine and Xvfb, driven from outside.

run.sh sets up the Wine prefix and the display and then runs this script:

    e2e.py --exe Tessara.exe --driver e2e_driver.exe --out DIR [TEST...]

Each test starts the program in a fresh working directory under DIR/work/, drives it through
the driver and checks the window, the clipboard bytes and the file bytes exactly (the driver,
the program and the run are in harness.py). Screenshots go to DIR. One line per test; the last
line is "e2e: N passed, M failed".
"""

import os
import re
import subprocess
import sys
import tempfile
import time

from harness import (BUTTON1, BUTTON2, BUTTON3, BUTTON4, BUTTON5, BUTTON_MORE, DESCRIPTION, DLG_FORMS,
                     EDT_NAME, INS_CONTROLS, INS_MODULE, LABEL1, LABEL2, LABEL3, MAIN, MEMO, REPO,
                     STATUS, VK_DOWN, VK_ESCAPE, VK_RETURN, VK_TAB, VK_UP, Failed, Tests, check, check_true, cp1251,
                     main, parse, poll, read, repository, word)

NUL = b"\0"
HISTORY = "1CDialogControls.history"  # the folder of the repository's dated copies
NEW_REPOSITORY = '<Document desctiption="Список контролов Тессар"/>'.encode("cp1251")
LIST_INDEX_ERROR = "List index out of bounds (-1)"
CANNOT_CREATE = "Cannot create file 1CDialogControls.xml."
ASK_CONTROLS = "Контролы уже существуют!\r\nЗаменить?"
ASK_MODULE = "Текст модуля уже существует!\r\nЗаменить?"

LIST_HINT = ("Список шаблонов с данными модуля и формы \r\nДвойным щелчком можно скопировать данные "
             "шаблона в буфер обмена \r\nА после нажатия правой кнопки мыши можно выбрать вариант "
             "вставки из буфера обмена")

NARROW, WIDE, CLIENT_HEIGHT = 268, 621, 282

MEMO_LINES = [
    "Схема работы программы:",
    "1) Добавление нового шаблона - пишем название шаблона, ",
    'нажимаем "Добавить";',
    "2) Добавление контролов в шаблон - в Конфигураторе выделяем ",
    'контролы, в Конфигураторе нажимаем "Копировать" (Ctrl+C),',
    'далее переключаемся в программу, нажимаем "Вставить", ',
    "выбираем нужный вариант вставки",
    "3) Добавление части текста модуля в шаблон - в Конфигураторе ",
    "выделяем нужный текст в окне модуля, ",
    'в Конфигураторе нажимаем "Копировать" (Ctrl+C),',
    'далее переключаемся в программу, нажимаем "Вставить", ',
    "выбираем нужный вариант вставки",
    "4) Копирование данных из шаблона в Конфигуратор - встаем на ",
    'нужный шаблон, нажимаем "Копировать", ',
    "переключаемся в Конфигуратор, переключаемся в окно ",
    'формы/диалога, нажимаем "Вставить" (Ctrl+V), ',
    "затем можно переключиться в окно модуля и также вставить ",
    "текст в модуль.",
]

# The layout: control, (left, top, width, height) in client coordinates, caption.
LAYOUT = [
    (BUTTON5, (8, 8, 89, 22), "Копировать"),
    (BUTTON4, (128, 8, 89, 22), "Вставить"),
    (BUTTON_MORE, (240, 8, 17, 25), ">>"),
    (LABEL3, (8, 40, 93, 13), "Список шаблонов:"),
    (DLG_FORMS, (8, 56, 249, 121), None),
    (LABEL1, (8, 182, 53, 26), "Название \r\nшаблона"),
    (EDT_NAME, (62, 184, 195, 21), ""),
    (BUTTON1, (9, 211, 65, 22), "Добавить"),
    (BUTTON2, (75, 211, 92, 22), "Изменить"),
    (BUTTON3, (168, 211, 65, 22), "Удалить"),
    (LABEL2, (8, 240, 209, 13), None),
    (MEMO, (264, 8, 345, 241), "\r\n".join(MEMO_LINES)),
]


test = Tests()


# ---------------------------------------------------------------------------------------------
# Start-up, the window, the memo toggle


@test
def startup(s):
    work = s.workdir("startup")
    icons_before = int(s.driver("tray").split()[1])
    p = s.start(work)
    check(p.width(), NARROW, "outer width at start")
    check(int(p.d("client").split()[1]), CLIENT_HEIGHT, "client height")
    left, top, right, bottom = p.rect()
    sw, sh = (int(v) for v in p.d("screen").split()[:2])
    check_true(abs(left - (sw - (right - left)) // 2) <= 1 and abs(top - (sh - (bottom - top)) // 2) <= 1,
               f"window centred on the {sw}x{sh} screen: at {left},{top} size {right - left}x{bottom - top}")
    check(p.text(MAIN), "Tessara", "caption")
    for control, pos, caption in LAYOUT:
        check(tuple(int(v) for v in p.d(f"pos {control}").split()), pos, f"position of control {control}")
        if caption is not None:
            check(p.text(control), caption, f"text of control {control}")
    check(p.text(LABEL2) != "", True, "the credits label has a text")
    check((p.enabled(BUTTON1), p.enabled(BUTTON2), p.enabled(BUTTON3)), (True, False, False),
          "Button1/2/3 enabled at start")
    check(p.items(), ([], -1), "template list")
    check(p.status(), "", "status bar")
    check(p.focus(), str(EDT_NAME), "focused control")
    check(p.state(), (True, False), "window visible, not minimized")
    check(p.tray(), (True, icons_before + 1), "tray icon present")
    check(p.appwin(), (True, False), "taskbar-button window exists and is hidden")
    check(p.d("taskbar"), "0", "windows with a taskbar button")
    p.screenshot("window-narrow")
    check_true(not os.path.exists(os.path.join(work, REPO)) or read(os.path.join(work, REPO)) == NEW_REPOSITORY,
               "nothing but a new repository written before the close")
    p.close()
    check(read(os.path.join(work, REPO)), NEW_REPOSITORY, "repository written at close")
    check(s.driver("tray").split()[1], str(icons_before), "tray icons after the end")


@test
def memo_toggle(s):
    p = s.start(s.workdir("memo_toggle"))
    left, top, _, bottom = p.rect()
    for width, caption in [(WIDE, "<<"), (NARROW, ">>"), (WIDE, "<<")]:
        p.click(BUTTON_MORE)
        l2, t2, r2, b2 = p.rect()
        check((r2 - l2, l2, t2, b2), (width, left, top, bottom), "outer width (left, top, bottom unchanged)")
        check(p.text(BUTTON_MORE), caption, "ButtonMore caption")
        check(p.focus(), str(EDT_NAME), "focus after the toggle")
        if width == WIDE:
            p.screenshot("window-wide")
        p.repaint_check(f"the toggle to width {width}")
    p.close()


DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def pixel(png, x, y):
    """The colour of one pixel of a screenshot, as ImageMagick names it."""
    r = subprocess.run(["convert", png, "-crop", f"1x1+{x}+{y}", "-format", "%[pixel:p{0,0}]", "info:"],
                       stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)
    if r.returncode != 0:
        raise Failed(f"cannot read a pixel of {png}: {r.stderr.strip()}")
    return r.stdout.strip()


def scaled(value, dpi):
    """A laid-out value at a DPI, rounded as the program rounds it: to the nearest pixel, halves
    away from zero."""
    product = value * dpi
    return (abs(product) + 48) // 96 * (1 if product >= 0 else -1)


def log_pixels(value=None):
    """Wine's display DPI (its LogPixels setting, read by every program that starts afterwards):
    read (None when not set), set to a value, or removed (0)."""
    if value is None:
        args = ["query", DESKTOP_KEY, "/v", "LogPixels"]
    elif value == 0:
        args = ["delete", DESKTOP_KEY, "/v", "LogPixels", "/f"]
    else:
        args = ["add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(value), "/f"]
    # Wine's output goes to a file: a pipe could be held open by its background services.
    with tempfile.TemporaryFile() as out:
        done = subprocess.run(["wine", "reg", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                              timeout=60, check=False)
        out.seek(0)
        answer = out.read()
    if value is None:
        found = re.search(rb"LogPixels\s+REG_DWORD\s+0x([0-9a-fA-F]+)", answer)
        return int(found.group(1), 16) if found else None
    check(done.returncode, 0, f"wine reg {args[0]} LogPixels")
    return value


# The setting as it was before scale_150 changed it, kept beside the prefix until it is put back.
KEPT_LOG_PIXELS = os.path.join(os.environ.get("TESSARA_WINE_DIR", "."), "logpixels-before.txt")


def restore_log_pixels():
    """Puts back the display DPI that a run killed during scale_150 left at 144."""
    if not os.path.exists(KEPT_LOG_PIXELS):
        return
    with open(KEPT_LOG_PIXELS, encoding="ascii") as f:
        value = int(f.read().strip() or 0)
    if log_pixels() != (value or None):
        log_pixels(value)
    os.remove(KEPT_LOG_PIXELS)


@test
def scale_150(s):
    """At 144 DPI, set for this test alone, the window is laid out at 150%: every laid-out value
    times 1.5, the client part of the outer width too, with the frame Wine draws there."""
    p = s.start(s.workdir("scale_100"))
    frame_at_96 = p.width() - int(p.d("client").split()[0])
    p.close()
    before = log_pixels()
    with open(KEPT_LOG_PIXELS, "w", encoding="ascii") as f:
        f.write(str(before or 0))
    log_pixels(144)
    try:
        p = s.start(s.workdir("scale_150"))
        check(p.d("awareness"), "2", "DPI awareness of the window (2: per monitor)")
        width, height = (int(v) for v in p.d("client").split())
        frame = p.width() - width
        check((width, height), (scaled(NARROW - frame_at_96, 144), scaled(CLIENT_HEIGHT, 144)),
              "client area at start")
        check(p.width(), scaled(NARROW - frame_at_96, 144) + frame, "outer width at start")
        measured = [f"frame at 96 DPI {frame_at_96}, at 144 DPI {frame}; outer width {p.width()}, "
                    f"client {width}x{height}"]
        for control, pos, _ in LAYOUT:
            at = tuple(int(v) for v in p.d(f"pos {control}").split())
            want = tuple(scaled(v, 144) for v in pos)
            measured.append(f"control {control}: laid out {pos}, at 150% {at}")
            if control in (LABEL1, LABEL2, LABEL3):  # a label grows to its text, never shrinks
                check_true(at[:2] == want[:2] and at[2] >= want[2] and at[3] >= want[3],
                           f"position of label {control}: {at}, laid out {want}")
            else:
                check(at, want, f"position of control {control}")
        check(tuple(int(v) for v in p.d(f"pos {STATUS}").split()),
              (0, height - scaled(19, 144), width, scaled(19, 144)), "status bar along the bottom")
        check(int(p.d(f"itemheight {DLG_FORMS}")), scaled(13, 144), "list item height")
        p.screenshot("window-narrow-150")
        for layout_width, name in [(WIDE, "window-wide-150"), (NARROW, None)]:
            p.click(BUTTON_MORE)
            check(p.width(), scaled(layout_width - frame_at_96, 144) + frame, "outer width after the toggle")
            check(p.focus(), str(EDT_NAME), "focus after the toggle")
            measured.append(f"after the toggle: outer width {p.width()}")
            if name:
                p.screenshot(name)
        # The find window opens at the same scale: its size, and its search box and list
        # filling it inside the scaled margins.
        p.add("Печать")
        p.add("Отчёт")
        s.xdotool("mousemove", "40", "40")
        measured.append(f"find window opened by {open_find_window(s)}")
        f = [int(v) for v in s.driver("find-rect").split()]
        box = [int(v) for v in s.driver(f"find-rect {FIND_SEARCH}").split()]
        rows = [int(v) for v in s.driver(f"find-rect {FIND_LIST}").split()]
        check((f[2] - f[0], f[3] - f[1]), (scaled(480, 144), scaled(300, 144)), "the find window's size")
        border, margin = box[0] - f[0] - scaled(4, 144), scaled(4, 144)
        check((box[1] - f[1] - border, box[3] - box[1], box[2]),
              (margin, scaled(22, 144), f[2] - border - margin), "the search box at 150%")
        check((rows[0], rows[1] - box[3], rows[2], rows[3]),
              (box[0], margin, f[2] - border - margin, f[3] - border - margin), "the find list at 150%")
        check(find_rows(s), (2, 0), "the find window's rows")
        measured.append(f"find window {f}, search box {box}, list {rows}")
        shot = p.screenshot("find-window-150", rect=f)
        # Painted where it stands: the list's right edge drawn as its left one (a list moved
        # without its frame repainted keeps the edge of its old size).
        middle = (rows[1] + rows[3]) // 2 - f[1]
        check(pixel(shot, rows[2] - 1 - f[0], middle), pixel(shot, rows[0] - f[0], middle),
              "the find list's right edge as its left")
        s.driver(f"find-key {VK_ESCAPE}")
        s.driver("find-wait 5000 hidden")
        with open(os.path.join(s.out, "scale_150.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(measured) + "\n")
        p.close()
    finally:
        s.cleanup()
        restore_log_pixels()
    check(log_pixels(), before, "LogPixels after the test")


@test
def hints(s):
    p = s.start(s.workdir("hints"))
    table = [
        (BUTTON5, "Копировать данные шаблона в буфер обмена"),
        (BUTTON4, "Вставить данные из буфера обмена в шаблон"),
        (BUTTON_MORE, "Показать развернутую подсказку справа"),
        (DLG_FORMS, LIST_HINT),
        (BUTTON1, "Добавить новый шаблон"),
        (LABEL2, "Двойным щелчком можно создать письмо для нас"),
    ]
    for control, hint in table:
        check(p.hint(control, hint), hint, f"hint of control {control}")
    p.click(BUTTON_MORE)
    check(p.hint(BUTTON_MORE, "Спрятать развернутую подсказку"), "Спрятать развернутую подсказку",
          "hint of ButtonMore with the memo shown")
    p.click(BUTTON_MORE)
    check(p.hint(BUTTON_MORE, "Показать развернутую подсказку справа"), "Показать развернутую подсказку справа",
          "hint of ButtonMore with the memo hidden again")
    p.close()


@test
def keyboard(s):
    p = s.start(s.workdir("keyboard"))
    p.add("A")
    p.add("B")
    # Tab walks the controls in tab order, past the disabled Button2 and Button3. (The clicks
    # of the adds left the focus on Button1.)
    cycle = [BUTTON1, DLG_FORMS, EDT_NAME, BUTTON4, BUTTON5, MEMO, BUTTON_MORE]
    first = int(p.focus())
    check(first in cycle, True, f"focus {first} on a control of the tab order")
    walked = []
    for _ in cycle:
        p.d(f"key focus {VK_TAB} 9")
        p.d("sync")
        walked.append(int(p.focus()))
    at = cycle.index(first) + 1
    check(walked, cycle[at:] + cycle[:at], f"focus after each Tab from control {first}")

    # Enter and Esc in the name box: no default or cancel button, nothing happens.
    p.type_name("C")
    for vk in (VK_RETURN, VK_ESCAPE):
        p.d(f"key {EDT_NAME} {vk} {vk}")
        p.d("sync")
    check(p.items(), (["A", "B"], -1), "Enter and Esc in the name box add nothing")
    check((p.running(), p.state()), (True, (True, False)), "Esc leaves the window open")

    # The arrow keys in the list select like a click does.
    p.d(f"key {DLG_FORMS} {VK_DOWN}")
    p.d("sync")
    check((p.items()[1], p.text(EDT_NAME), p.enabled(BUTTON2)), (0, "A", True), "after Down in the list")
    p.d(f"key {DLG_FORMS} {VK_DOWN}")
    p.d("sync")
    check((p.items()[1], p.text(EDT_NAME)), (1, "B"), "after a second Down")
    p.close()


VK_DELETE, VK_F2, VK_F10, VK_C_KEY, VK_V_KEY = 0x2E, 0x71, 0x79, 0x43, 0x56


def entry_point(p, index):
    """A screen point in the middle of the height of a list entry (the list scrolled to its top)."""
    left, top, _, _ = p.rect(DLG_FORMS)
    return left + 30, top + 2 + 13 * index + 6


def click_entry(s, p, index):
    """A real click on a list entry: it is selected and the list has the focus."""
    x, y = entry_point(p, index)
    s.xdotool("mousemove", str(x), str(y), "click", "1")
    poll(f"entry {index} selected by the click", lambda: p.items()[1] == index, timeout=3)
    poll("the list focused", lambda: p.focus() == str(DLG_FORMS), timeout=3)


@test
def list_keys(s):
    """Enter, Delete, Ctrl+Up, Ctrl+Down, Ctrl+C, Ctrl+V, Shift+F10 and F2 typed in the template
    list."""
    templates = [("A", "ca", "ma"), ("B", "cb", "mb"), ("C", "cc", "mc"), ("D", "", "")]
    work = s.workdir("list_keys", {REPO: repository(*templates)})
    p = s.start(work)
    click_entry(s, p, 3)
    p.d(f"chord none {VK_DELETE}")
    poll("D deleted", lambda: p.items()[0] == ["A", "B", "C"], timeout=3)
    check(read(os.path.join(work, REPO)), repository(*templates[:3]), "file after Delete")

    click_entry(s, p, 1)
    p.d(f"chord none {VK_RETURN}")
    poll("the copy by Enter", lambda: p.status() == "Скопировано B!", timeout=3)
    check(clip(s, "dlg"), (2, b"cb"), "controls copied by Enter")

    # The first-letter jump of the list stays.
    p.d(f"chord none {VK_C_KEY}")
    poll("the jump to C", lambda: p.items()[1] == 2, timeout=3)
    check(p.text(EDT_NAME), "C", "the name box after the jump")

    p.d(f"chord ctrl {VK_UP}")
    poll("C moved up", lambda: p.items() == (["A", "C", "B"], 1), timeout=3)
    check(p.status(), "Шаблон «C» перемещён на место 2 из 3.", "status after Ctrl+Up")
    p.d(f"chord ctrl {VK_UP}")
    poll("C moved up again", lambda: p.items() == (["C", "A", "B"], 0), timeout=3)
    p.d(f"chord ctrl {VK_UP}")  # at the top: nothing
    p.d("sync")
    check(p.items(), (["C", "A", "B"], 0), "Ctrl+Up at the top")
    p.d(f"chord ctrl {VK_DOWN}")
    poll("C moved down", lambda: p.items() == (["A", "C", "B"], 1), timeout=3)
    check(p.status(), "Шаблон «C» перемещён на место 2 из 3.", "status after Ctrl+Down")
    moved = repository(templates[0], templates[2], templates[1])
    check(read(os.path.join(work, REPO)), moved, "file after the moves")

    # Ctrl+C copies, Ctrl+V pastes what the clipboard holds with the menu item's question,
    # Shift+F10 opens the paste menu at the selected entry.
    s.driver("clip-put")
    p.d(f"chord ctrl {VK_C_KEY}")
    poll("the copy by Ctrl+C", lambda: clip(s, "dlg") == (2, b"cc"), timeout=3)
    check(p.status(), "Скопировано C!", "status after Ctrl+C")
    s.driver(f"clip-put dlg={word(b'new')}")
    p.d(f"chord ctrl {VK_V_KEY}")
    p.expect_box(ASK_CONTROLS, "ok,cancel", False)
    p.answer("ok")
    poll("the paste by Ctrl+V", lambda: p.status() == "Вставлены контролы в C!", timeout=3)
    moved = repository(templates[0], ("C", "new", "mc"), templates[1])
    check(read(os.path.join(work, REPO)), moved, "file after Ctrl+V")
    p.d(f"chord shift {VK_F10}")
    menu = [int(v) for v in p.d("menu 3000").split()]
    x, y = entry_point(p, 1)
    check_true(abs(menu[1] - (y + 7)) <= 2 and menu[0] <= x, f"the menu at the selected entry: {menu}")
    p.d(f"menukey {VK_ESCAPE}")
    p.d("nomenu 3000")

    p.d(f"chord none {VK_F2}")
    poll("F2 focuses the name box", lambda: p.focus() == str(EDT_NAME), timeout=3)
    check(p.text(EDT_NAME), "C", "the name box after F2")
    p.close()
    check(read(os.path.join(work, REPO)), moved, "file at the end")
    p = s.start(work)
    check(p.items(), (["A", "C", "B"], -1), "the order after a restart")
    p.close()


@test
def preview_tip(s):
    """The tooltip of an entry shows its template's preview, none for an empty template, and
    the list's own hint away from the entries; a screenshot of it goes to the build tree."""
    templates = [("A", "{abc}", "Процедура А()\n\tСообщить(1);\nКонецПроцедуры"), ("B", "", ""),
                 ("C", "", "\n".join(f"строка {n}" for n in range(1, 10)))]
    p = s.start(s.workdir("preview_tip", {REPO: repository(*templates)}))
    first = "Процедура А()\r\n    Сообщить(1);\r\nКонецПроцедуры\r\nДанные контролов: 5 байт"
    check(p.hint(DLG_FORMS, first, at=entry_point(p, 0)), first, "the tip of entry A")
    tip = tuple(int(v) for v in p.d("tooltiprect").split())
    window = p.rect()
    p.screenshot("preview-tooltip", rect=(min(tip[0], window[0]), min(tip[1], window[1]),
                                          max(tip[2], window[2]), max(tip[3], window[3])))
    # Straight on to another entry: the tip follows it.
    third = "\r\n".join(f"строка {n}" for n in range(1, 9)) + "\r\n…"
    x, y = entry_point(p, 2)
    s.xdotool("mousemove", str(x), str(y))
    check(p.tip(third), third, "the tip of entry C, moved to from A")
    # An empty template shows none, well after a tip would have shown.
    x, y = entry_point(p, 1)
    s.xdotool("mousemove", str(x), str(y))
    p.d("notooltip 3000")
    time.sleep(1.5)
    p.d("notooltip 0")
    check(p.hint(DLG_FORMS, LIST_HINT, at=entry_point(p, 5)), LIST_HINT, "the list's hint below the entries")
    p.close()


@test
def drag_move(s):
    """An entry dragged with the mouse onto another place moves there in the list and the file;
    a plain click moves nothing."""
    templates = [("A", "ca", "ma"), ("B", "cb", "mb"), ("C", "cc", "mc"), ("D", "", "")]
    work = s.workdir("drag_move", {REPO: repository(*templates)})
    p = s.start(work)
    x, y = entry_point(p, 0)
    s.xdotool("mousemove", str(x), str(y), "mousedown", "1")
    for step in range(1, 6):
        s.xdotool("mousemove", str(x), str(y + step * 6))
    s.xdotool("mouseup", "1")
    poll("A dragged to the third place", lambda: p.items() == (["B", "C", "A", "D"], 2), timeout=3)
    check(p.status(), "Шаблон «A» перемещён на место 3 из 4.", "status after the drag")
    check(p.text(EDT_NAME), "A", "the name box after the drag")
    moved = repository(templates[1], templates[2], templates[0], templates[3])
    check(read(os.path.join(work, REPO)), moved, "file after the drag")
    click_entry(s, p, 3)
    check(p.items(), (["B", "C", "A", "D"], 3), "the list after a click")
    check(p.text(EDT_NAME), "D", "the name box after a click")
    p.close()
    check(read(os.path.join(work, REPO)), moved, "file at the end")


LOOK_NAMES = ["Apple", "apricot", "Альфа", "[Zeta", "Ёлка", "ёж", "Оконч&ание", "",
              "Очень длинное название шаблона, которое не помещается в строку списка",
              "Таб\tназвание"] + [f"Шаблон {n:02}" for n in range(1, 21)]


@test
def list_look(s):
    """The template list as it draws its entries (screenshots list-*.png, compared across
    builds) and the first-letter jump: the next entry after the focused one starting with the
    letter, either case, from the top again after the last."""
    work = s.workdir("list_look", {REPO: repository(*((n, "", "") for n in LOOK_NAMES))})
    p = s.start(work)
    check(p.items(), (LOOK_NAMES, -1), "entries as the file has them")

    def still(name):
        s.xdotool("mousemove", "0", "0")
        p.d("notooltip 10000")
        p.d("sync")
        p.screenshot(name)

    still("list-unselected")
    click_entry(s, p, 0)
    still("list-selected-focused")
    p.select(10)
    still("list-scrolled-focused")
    left, top, right, bottom = p.rect(EDT_NAME)
    s.xdotool("mousemove", str((left + right) // 2), str((top + bottom) // 2), "click", "1")
    poll("the name box focused", lambda: p.focus() == str(EDT_NAME), timeout=3)
    still("list-scrolled-unfocused")

    p.select(0)
    # Each typed letter: where the selection goes and what the name box then shows.
    for char, index in [("a", 1), ("A", 0), ("z", 3), ("q", 3), ("\u0428", 10), ("\u0451", 4),
                        ("\u0451", 5), ("\u0401", 4), ("\u0448", 10)]:
        p.d(f"key {DLG_FORMS} 0 {ord(char)}")
        p.d("sync")
        check((p.items()[1], p.text(EDT_NAME)), (index, LOOK_NAMES[index]), f"after typing {char!r}")
    p.close()


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


@test
def dropped_files(s):
    """Repository files dropped on the window: their templates appended, identical ones passed
    over, a broken file shown in the error box."""
    mine = [("A", "ca", "ma"), ("B", "cb", "mb")]
    work = s.workdir("dropped_files", {
        REPO: repository(*mine),
        "colleague.xml": repository(("C", "cc", "mc"), ("A", "ca", "ma"), ("Б", "", "модуль")),
        "broken.xml": repository(("X", "", ""))[:30],
    })
    p = s.start(work)
    p.d(f"drop {word(wine_path(os.path.join(work, 'colleague.xml')))}")
    poll("the dropped templates", lambda: p.items()[0] == ["A", "B", "C", "Б"], timeout=5)
    check(p.status(), "Добавлено шаблонов: 2, пропущено одинаковых: 1.", "status after the drop")
    taken = mine + [("C", "cc", "mc"), ("Б", "", "модуль")]
    check(read(os.path.join(work, REPO)), repository(*taken), "file after the drop")

    p.d(f"drop {word(wine_path(os.path.join(work, 'broken.xml')))}")
    title, text, buttons, icon = p.message_box()
    check((title, buttons, icon), ("Tessara", "ok", True), "the error box of a broken file")
    check_true(text != "", "the reader's message is shown")
    p.answer("ok")
    p.d("sync")
    check(p.items()[0], ["A", "B", "C", "Б"], "nothing added from the broken file")
    check(read(os.path.join(work, REPO)), repository(*taken), "file after the broken drop")
    p.close()


# ---------------------------------------------------------------------------------------------
# The tray icon and minimizing


def minimize(p):
    p.d("minimize")
    p.d("sync")
    poll("the window to be minimized", lambda: p.state() != (True, False))
    # The window system hides the taskbar button after the minimize has been handled.
    poll("the taskbar button to go", lambda: p.appwin() == (True, False))
    check(p.d("taskbar"), "0", "windows with a taskbar button when minimized")
    check(p.tray()[0], True, "tray icon while minimized")


def expect_restored(p, taskbar_button):
    check(p.state(), (True, False), "window restored")
    poll("the taskbar button to be shown", lambda: p.appwin() == (True, taskbar_button))
    # The focus comes back with the activation, which a loaded machine may deliver late.
    poll("the focus back in the name box", lambda: p.focus() == str(EDT_NAME))


@test
def tray_icon(s):
    p = s.start(s.workdir("tray_icon"))
    # Window open: only the left double click does something (it brings the window to the front).
    for lparam, front in [(0x200, False), (0x201, False), (0x202, False), (0x204, False),
                          (0x205, False), (0x206, False), (0x207, False), (0x203, True)]:
        brought = p.d(f"tray-click {lparam:#x} {5000 if front else 300}") == "1"
        check(brought, front, f"window brought to the front by {lparam:#x} while open")
        check(p.state(), (True, False), f"window state after {lparam:#x} while open")
        check(p.appwin(), (True, False), f"no taskbar button after {lparam:#x} while open")

    # Minimized: moves, single clicks and releases leave it in the tray.
    minimize(p)
    for lparam in (0x200, 0x201, 0x202, 0x205, 0x207, 0x208):
        p.d(f"post 0x400 0 {lparam:#x}")
        p.d("sync")
        check(p.state() != (True, False), True, f"still minimized after {lparam:#x}")
        check(p.appwin(), (True, False), f"still no taskbar button after {lparam:#x}")

    # Right press, right double click and left double click restore; the left double click
    # also brings the window to the front. (A restore activates the window by itself, so the
    # right button's restore may come to the front too: that is not checked.)
    for lparam in (0x204, 0x206, 0x203):
        brought = p.d(f"tray-click {lparam:#x} {5000 if lparam == 0x203 else 0}") == "1"
        poll(f"the window to be restored by {lparam:#x}", lambda: p.state() == (True, False))
        expect_restored(p, True)
        if lparam == 0x203:
            check(brought, True, "window brought to the front by 0x203 while minimized")
        minimize(p)
    p.d("tray-click 0x204 0")
    poll("the window to be restored", lambda: p.state() == (True, False))

    # The focus comes back to the control that had it: here the list, clicked with the mouse.
    p.add("A")
    left, top, _, _ = p.rect(DLG_FORMS)
    s.xdotool("mousemove", str(left + 30), str(top + 8), "click", "1")
    poll("the click in the list", lambda: p.focus() == str(DLG_FORMS), timeout=3)
    check(p.items(), (["A"], 0), "the clicked entry is selected")
    check(p.text(EDT_NAME), "A", "the name box shows the clicked entry")
    minimize(p)
    p.d("tray-click 0x203 5000")
    poll("the window to be restored", lambda: p.state() == (True, False))
    check(p.focus(), str(DLG_FORMS), "focus back in the list after the restore")
    p.close()


@test
def shell_restart(s):
    """A new taskbar (the shell restarted) gets the icon again."""
    p = s.start(s.workdir("shell_restart"))
    check(p.tray()[0], True, "tray icon at start")
    p.d("tray-delete")
    check(p.tray()[0], False, "tray icon after the shell lost it")
    p.d("send TaskbarCreated 0 0")
    poll("the icon to be added again", lambda: p.tray()[0], timeout=5)
    p.d("tray-click 0x203 5000")
    check(p.state(), (True, False), "the new icon's messages reach the window")
    p.close()
    check(p.tray()[0], False, "tray icon after the end")


# ---------------------------------------------------------------------------------------------
# The template list


@test
def list_editing(s):
    work = s.workdir("list_editing")
    p = s.start(work)
    p.add("A")
    check(p.items(), (["A"], -1), "list after the first add")
    check(p.text(EDT_NAME), "", "name box cleared after the add")
    p.add("Форма")
    p.add("")
    p.add("A")
    check(p.items(), (["A", "Форма", "", "A"], -1), "list after four adds (empty and repeated names)")
    check((p.enabled(BUTTON2), p.enabled(BUTTON3)), (False, False), "Button2/3 after adds")

    p.select(1)
    check(p.text(EDT_NAME), "Форма", "name box shows the selected entry")
    check((p.enabled(BUTTON2), p.enabled(BUTTON3)), (True, True), "Button2/3 with a selection")
    p.add("Новый")
    check(p.items(), (["A", "Форма", "", "A", "Новый"], 1), "an add keeps the selection")

    p.select(0)
    p.type_name("B")
    p.click(BUTTON2)
    check(p.status(), "Изменено название c Aна B", "status after rename")
    check(p.status().encode("cp1251")[18:20], b"c ", "the Latin c in the rename status")
    check(p.items(), (["B", "Форма", "", "A", "Новый"], 0), "list after rename")
    p.repaint_check("a rename")
    check(p.text(EDT_NAME), "", "name box cleared after rename")

    p.select(3)
    p.type_name("")
    p.click(BUTTON2)
    check(p.status(), "Изменено название c Aна ", "status after a rename to the empty name")

    p.select(1)
    p.click(BUTTON3)
    check(p.items(), (["B", "", "", "Новый"], -1), "list after delete")
    check(p.status(), "Удален шаблон «Форма». Вернуть его: Ctrl+Z.", "status after delete")
    check(p.text(EDT_NAME), "", "name box cleared after delete")
    check((p.enabled(BUTTON2), p.enabled(BUTTON3)), (True, True), "Button2/3 stay enabled after delete")
    p.repaint_check("a delete")

    # Nothing selected: each of rename, delete and copy fails with the list's index error.
    s.driver("clip-put text=h:6b65657000")
    for button in (BUTTON2, BUTTON3, BUTTON5):
        p.type_name("X")
        p.d(f"postclick {button}")
        p.expect_error(LIST_INDEX_ERROR)
        check(p.items(), (["B", "", "", "Новый"], -1), f"list unchanged after button {button} failed")
    check(p.status(), "Удален шаблон «Форма». Вернуть его: Ctrl+Z.", "status unchanged by the failures")
    check(s.driver("clip-get text"), "5 6b65657000", "clipboard unchanged by the failed copy")
    check(p.state(), (True, False), "window still open after the error boxes")
    p.close()
    check(read(os.path.join(work, REPO)),
          repository(("B", "", ""), ("", "", ""), ("", "", ""), ("Новый", "", "")), "repository file")


@test
def saved_after_every_change(s):
    """Every change reaches the file at once: a program that is killed loses nothing."""
    work = s.workdir("saved_after_every_change")
    p = s.start(work)
    path = os.path.join(work, REPO)

    def add_two():
        p.add("Первый")
        p.add("Второй")

    def paste():
        p.select(1)
        s.driver(f"clip-put dlg={word(b'{d}')} text={word(cp1251('модуль') + NUL)}")
        p.paste(INS_CONTROLS)
        p.paste(INS_MODULE)

    def rename():
        p.select(0)
        p.type_name("Новое имя")
        p.click(BUTTON2)

    def delete():
        p.select(0)
        p.click(BUTTON3)

    steps = [
        ("add", add_two, repository(("Первый", "", ""), ("Второй", "", ""))),
        ("paste", paste, repository(("Первый", "", ""), ("Второй", "{d}", "модуль"))),
        ("rename", rename, repository(("Новое имя", "", ""), ("Второй", "{d}", "модуль"))),
        ("delete", delete, repository(("Второй", "{d}", "модуль"))),
    ]
    for name, action, expected in steps:
        action()
        check(read(path), expected, f"file after {name}")
    p.kill()
    check(read(path), steps[-1][2], "file after the program was killed")
    check(sorted(os.listdir(work)), [REPO], "no temporary files left beside the repository")


# ---------------------------------------------------------------------------------------------
# The clipboard


CONTROLS = cp1251('{"Dialogs",{"Frame",{"-11","0","MS Sans Serif"}},{"Controls",'
                  '{"Кнопка1","&<>\'\\""}}}\r\n')
MODULE = cp1251('Процедура Кнопка1Нажатие(Элемент)\r\n\tЕсли а < б И в > г Тогда\r\n'
                '\t\tСообщить("Привет & пока");\r\n\tКонецЕсли;\r\nКонецПроцедуры\r\n')


def clip(s, fmt):
    """(size, bytes) of the clipboard's block in a format, or None."""
    answer = s.driver(f"clip-get {fmt}")
    if answer == "none":
        return None
    size, data = answer.split()
    return int(size), bytes.fromhex("" if data == "-" else data)


@test
def paste_and_replace(s):
    work = s.workdir("paste_and_replace")
    p = s.start(work)
    p.add("Шаблон")
    p.add("Other")
    p.select(0)
    s.driver(f"clip-put dlg={word(CONTROLS)} text={word(MODULE + NUL)}")
    p.paste(INS_CONTROLS)
    check(p.status(), "Вставлены контролы в Шаблон!", "status after pasting controls")
    p.paste(INS_MODULE)
    check(p.status(), "Вставлен текст модуль в Шаблон!", "status after pasting module text")

    # Both texts exist now: each paste asks first, and Cancel changes nothing.
    before = p.status()
    s.driver(f"clip-put dlg={word(b'{new}')} text={word(cp1251('новый') + NUL)}")
    p.paste(INS_CONTROLS, "cancel", ASK_CONTROLS)
    p.paste(INS_MODULE, "cancel", ASK_MODULE)
    check(p.status(), before, "status after Cancel")
    p.click(BUTTON5)
    check(clip(s, "dlg"), (len(CONTROLS), CONTROLS), "controls kept after Cancel")
    check(clip(s, "text"), (len(MODULE) + 1, MODULE + b"\0"), "module text kept after Cancel")

    s.driver(f"clip-put dlg={word(b'{new}')} text={word(cp1251('новый') + NUL)}")
    p.paste(INS_CONTROLS, "ok", ASK_CONTROLS)
    check(p.status(), "Вставлены контролы в Шаблон!", "status after OK")
    p.paste(INS_MODULE, "ok", ASK_MODULE)
    check(p.status(), "Вставлен текст модуль в Шаблон!", "status after OK")

    # A zero byte in the controls data ends it.
    p.select(1)
    s.driver("clip-put dlg=h:7b617d007a7a")
    p.paste(INS_CONTROLS)
    p.close()
    check(read(os.path.join(work, REPO)),
          repository(("Шаблон", "{new}", "новый"), ("Other", "{a}", "")), "repository file")


@test
def copy_exact_bytes(s):
    work = s.workdir("copy_exact_bytes")
    p = s.start(work)
    p.add("A")
    p.add("Пусто")
    p.add("Полный")
    p.select(0)
    s.driver("clip-put dlg=h:6162 text=h:7800")
    p.paste(INS_CONTROLS)
    p.paste(INS_MODULE)
    p.select(2)
    s.driver(f"clip-put dlg={word(CONTROLS)} text={word(MODULE + NUL)}")
    p.paste(INS_CONTROLS)
    p.paste(INS_MODULE)

    # Data of other formats on the clipboard before the copy is gone after it.
    s.driver(f"clip-put utext={word('чужой текст'.encode('utf-16-le') + bytes(2))} "
             "E2E.Private=h:0102030405")
    p.select(0)
    p.click(BUTTON5)
    check(p.status(), "Скопировано A!", "status after copy")
    check(clip(s, "dlg"), (2, b"ab"), "controls block: exactly the 2 bytes, no zero")
    check(clip(s, "text"), (2, b"x\0"), "CF_TEXT block: the text and one zero byte")
    check(clip(s, "E2E.Private"), None, "a private format put before the copy")
    check(clip(s, "locale"), (4, bytes.fromhex("19040000")), "CF_LOCALE put with the text: Russian")
    check(clip(s, "utext"), (4, "x\0".encode("utf-16-le")), "Unicode text derived from CF_TEXT")

    # Cyrillic, quotes, ampersands and CRLF pass unchanged, both ways.
    p.select(2)
    p.click(BUTTON5)
    check(clip(s, "dlg"), (len(CONTROLS), CONTROLS), "controls bytes exact")
    check(clip(s, "text"), (len(MODULE) + 1, MODULE + b"\0"), "module bytes exact")
    check(clip(s, "utext")[1].decode("utf-16-le").rstrip("\0"), MODULE.decode("cp1251"),
          "Unicode programs read the 1251 text right")

    # A template with both texts empty.
    p.select(1)
    p.click(BUTTON5)
    check(p.status(), "Скопировано Пусто!", "status after copying an empty template")
    check(clip(s, "text"), (1, b"\0"), "empty module text: one zero byte")
    # Wine refuses a zero-length block; the program then puts one zero byte, which every
    # reader takes for empty data.
    check(clip(s, "dlg"), (1, b"\0"), "empty controls data")

    # Copy from the list by a real double click on an entry that was not selected: it selects
    # the entry first, then copies.
    p.select(1)
    left, top, _, _ = p.rect(DLG_FORMS)
    s.xdotool("mousemove", str(left + 30), str(top + 2 + 13 * 0 + 6), "click", "--repeat", "2",
              "--delay", "80", "1")
    poll("the copy by double click", lambda: p.status() == "Скопировано A!", timeout=3)
    check(p.items()[1], 0, "the double-clicked entry is selected")
    check(p.text(EDT_NAME), "A", "the name box shows the double-clicked entry")
    check(clip(s, "dlg"), (2, b"ab"), "controls after the double click")
    p.screenshot("window-with-templates")
    p.close()
    check(read(os.path.join(work, REPO)),
          repository(("A", "ab", "x"), ("Пусто", "", ""),
                     ("Полный", CONTROLS.decode("cp1251"), MODULE.decode("cp1251"))), "repository file")


@test
def unicode_text(s):
    """Module text from a Unicode program typed under an English keyboard layout, and back."""
    work = s.workdir("unicode_text")
    p = s.start(work)
    p.add("Юникод")
    p.add("Китай")
    p.select(0)
    text = "Процедура ПриОткрытии() ё №\r\n\tВозврат \"<&>\";"
    s.driver(f"clip-put utext={word(text.encode('utf-16-le') + bytes(2))} locale=h:09040000")
    derived = clip(s, "text")
    check_true(derived is not None and derived[1].rstrip(NUL) != cp1251(text),
               f"the system's CF_TEXT for the English layout is not the text ({derived})")
    # Through the real menu: "Вставить модуль" is enabled for Unicode text alone.
    p.d(f"postclick {BUTTON4}")
    p.d("menu 3000")
    p.d(f"menukey {VK_DOWN} {VK_DOWN} {VK_RETURN}")
    p.d("nomenu 3000")
    p.d("sync")
    check(p.status(), "Вставлен текст модуль в Юникод!", "status after the Unicode paste")

    # Characters that 1251 lacks become "?", and the status line counts them.
    p.select(1)
    s.driver(f"clip-put utext={word('a中b😀?'.encode('utf-16-le') + bytes(2))}")
    p.paste(INS_MODULE)
    check(p.status(), "Вставлен текст модуль в Китай! Символов, которых нет в кодировке "
          "Windows-1251, заменено на «?»: 2.", "status after replacing characters")

    # The copy puts the text as Unicode too: another program reads the original text back.
    p.select(0)
    p.click(BUTTON5)
    check(clip(s, "utext"), (2 * (len(text) + 1), text.encode("utf-16-le") + bytes(2)),
          "CF_UNICODETEXT of the copy")
    check(clip(s, "text"), (len(cp1251(text)) + 1, cp1251(text) + NUL), "CF_TEXT of the copy")
    check(clip(s, "locale"), (4, bytes.fromhex("19040000")), "CF_LOCALE of the copy")
    p.close()
    check(read(os.path.join(work, REPO)),
          repository(("Юникод", "", text), ("Китай", "", "a?b??")), "repository file")


def x_get(target):
    """The X clipboard's data for a target, as an X program reads it."""
    try:
        r = subprocess.run(["xclip", "-selection", "clipboard", "-t", target, "-o"], stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=5, check=False)
    except subprocess.TimeoutExpired:
        return None
    return r.stdout if r.returncode == 0 else None


@test
def x_clipboard(s):
    """X programs and the program exchange both formats through Wine's clipboard bridge."""
    work = s.workdir("x_clipboard")
    p = s.start(work)
    p.add("X")
    p.select(0)
    module = "Процедура Х()\n\tВозврат;\nКонецПроцедуры\n"
    owners = []
    try:
        text = cp1251(module.replace("\n", "\r\n"))
        for target, data, fmt, wine_data, item, status in [
                ("1S DIALOG EDITOR", CONTROLS, "dlg", CONTROLS, INS_CONTROLS, "Вставлены контролы в X!"),
                ("UTF8_STRING", module.encode("utf-8"), "text", text, INS_MODULE, "Вставлен текст модуль в X!")]:
            source = os.path.join(work, "..", "x_clipboard.in")
            with open(source, "wb") as f:
                f.write(data)
            command = ["xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i", source]

            started = []

            def seen():
                # Wine's bridge now and then misses a new X owner, or claims the selection back:
                # an owner that has gone, or is not seen within a few seconds, starts again.
                if not started or owners[-1].poll() is not None or time.monotonic() - started[-1] > 4:
                    if owners and owners[-1].poll() is None:
                        owners[-1].kill()
                        owners[-1].wait(timeout=5)
                    owners.append(subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
                    started.append(time.monotonic())
                # Exact bytes: data of an earlier copy must not pass for the X data.
                return (clip(s, fmt) or (0, b""))[1].split(NUL)[0] == wine_data

            # Slowly: Wine's bridge imports the X data only while no one else holds the
            # clipboard, and every look of ours opens it.
            poll(f"Wine to see the X data under {target}", seen, timeout=20, interval=0.4)
            p.d(f"command {item}")
            p.d("sync")
            check(p.status(), status, f"status after pasting {target} data from X")
        p.click(BUTTON5)
        check(clip(s, "dlg"), (len(CONTROLS), CONTROLS), "controls from X, exact")
        check(clip(s, "text"), (len(text) + 1, text + NUL), "text from X: 1251 with CRLF")
        # And back: X programs read what the copy put.
        poll("X to see the copied controls", lambda: x_get("1S DIALOG EDITOR") == CONTROLS, timeout=10)
        poll("X to see the copied text", lambda: x_get("UTF8_STRING") == module.encode("utf-8"), timeout=10)
    finally:
        for owner in owners:
            if owner.poll() is None:
                owner.kill()
                owner.wait(timeout=5)
    p.close()


@test
def paste_menu(s):
    p = s.start(s.workdir("paste_menu"))
    p.add("A")
    p.add("B")
    bl, bt, _, _ = p.rect(BUTTON4)

    def open_menu():
        p.d(f"postclick {BUTTON4}")
        left, top, _, _ = (int(v) for v in p.d("menu 3000").split())
        check((left, top), (bl, bt), "the paste menu opens at Button4's top-left corner")

    def choose(index):
        open_menu()
        p.d(f"menukey {' '.join([str(VK_DOWN)] * (index + 1))} {VK_RETURN}")
        p.d("nomenu 3000")
        p.d("sync")

    # Nothing selected: both items disabled.
    s.driver(f"clip-put dlg={word(b'{c}')} text={word(b'm' + bytes(1))}")
    for index in (0, 1):
        choose(index)
        check(p.status(), "", f"menu item {index} with nothing selected")
    # Only text on the clipboard: "Вставить модуль" works, "Вставить контролы" does not.
    p.select(1)
    s.driver(f"clip-put text={word(b'mod' + bytes(1))}")
    choose(0)
    check(p.status(), "", "paste controls with only text on the clipboard")
    choose(1)
    check(p.status(), "Вставлен текст модуль в B!", "paste module text through the menu")
    s.driver(f"clip-put dlg={word(b'{c}')}")
    choose(0)
    check(p.status(), "Вставлены контролы в B!", "paste controls through the menu")
    # Esc closes the menu and does nothing.
    open_menu()
    p.screenshot("paste-menu")
    p.d(f"menukey {VK_ESCAPE}")
    p.d("nomenu 3000")
    # The right button over the list opens the same menu at the mouse, selection unchanged.
    left, top, _, _ = p.rect(DLG_FORMS)
    s.xdotool("mousemove", str(left + 40), str(top + 2 + 6), "click", "3")
    ml, mt, _, _ = (int(v) for v in p.d("menu 3000").split())
    check((ml, mt), (left + 40, top + 8), "the menu opens at the mouse")
    check(p.items()[1], 1, "the right button leaves the selection")
    p.d(f"menukey {VK_ESCAPE}")
    p.d("nomenu 3000")
    p.close()


# ---------------------------------------------------------------------------------------------
# The repository file


@test
def three_templates(s):
    original = repository(("Первый", "{1}", "Процедура А()\r\nКонецПроцедуры"),
                          ("Второй", "", "'<&>\""), ("Третий", "{3}", ""))
    work = s.workdir("three_templates", {REPO: original})
    p = s.start(work)
    check(p.items(), (["Первый", "Второй", "Третий"], -1), "templates listed in file order")
    p.select(0)
    p.click(BUTTON5)
    check(clip(s, "text")[1], cp1251("Процедура А()\r\nКонецПроцедуры") + b"\0", "module text from the file")
    p.close()
    check(read(os.path.join(work, REPO)), original, "the file written back unchanged")


@test
def indented_file(s):
    text = ('<Document desctiption="Мои шаблоны">\r\n  <Groops name="A &amp; B">\r\n'
            '    <Controls>{x}</Controls>\r\n    <Module>   </Module>\r\n  </Groops>\r\n'
            '  <Groops name="C">\r\n    <Controls/>\r\n    <Module>\r\n   </Module>\r\n  </Groops>\r\n'
            '</Document>\r\n')
    work = s.workdir("indented_file", {REPO: cp1251(text)})
    p = s.start(work)
    check(p.items(), (["A & B", "C"], -1), "templates of an indented file")
    p.close()
    check(read(os.path.join(work, REPO)),
          repository(("A & B", "{x}", "   "), ("C", "", ""), description="Мои шаблоны"),
          "an indented file is written back on one line")


@test
def special_texts_survive(s):
    name = "a&b<c>\"d'e Ёё"
    module = cp1251("Строка 1\r\nСтрока 2 & <тег>\r\n\r\n")
    work = s.workdir("special_texts_survive")
    p = s.start(work)
    p.add(name)
    p.add("Форма")
    p.select(0)
    s.driver(f"clip-put dlg={word(CONTROLS)} text={word(module + NUL)}")
    p.paste(INS_CONTROLS)
    p.paste(INS_MODULE)
    p.select(1)
    s.driver(f"clip-put text={word(cp1251('Процедура') + NUL)}")
    p.paste(INS_MODULE)
    p.close()
    saved = read(os.path.join(work, REPO))
    check(saved, repository((name, CONTROLS.decode("cp1251"), module.decode("cp1251")),
                            ("Форма", "", "Процедура")), "repository file")

    p = s.start(work)
    check(p.items(), ([name, "Форма"], -1), "names after a restart")
    p.select(0)
    p.click(BUTTON5)
    check(clip(s, "dlg"), (len(CONTROLS), CONTROLS), "controls after a restart")
    check(clip(s, "text"), (len(module) + 1, module + b"\0"), "module text after a restart")
    p.close()
    check(read(os.path.join(work, REPO)), saved, "the file after the second run")


@test
def broken_file(s):
    original = cp1251('<Document desctiption="d"><Groops name="A"><Controls/><Module>м</Module></Groops>'
                      '<Groops name="B"><Controls/><Module/></Groops><Groops name="C" <')
    work = s.workdir("broken_file", {REPO: original})
    p = s.start(work, visible=False)  # the error box may come before the window shows
    title, text, buttons, icon = p.message_box()
    check((title, buttons, icon), ("Tessara", "ok", True), "error box at start")
    check_true(text.startswith("Ошибка в XML-документе: ") or text.startswith("XML: "),
               f"the reader's message in the error box, got {text!r}")
    p.screenshot("broken-file-error", box=True)
    p.answer("ok")
    p.d("wait-main 5000")
    check(p.state(), (True, False), "window open after the load error")
    listed = p.items()
    check((listed[0][:2], listed[1]), (["A", "B"], -1), "the templates read before the error are listed")
    p.add("D")
    p.close()
    # The original bytes are kept beside the file, which now holds what was read and the change.
    kept = [f for f in sorted(os.listdir(work)) if os.path.isfile(os.path.join(work, f)) and
            read(os.path.join(work, f)) == original]
    check_true(kept and kept[0] != REPO and kept[0] in text,
               f"the original kept under the name the box gave; files: {sorted(os.listdir(work))}")
    saved = read(os.path.join(work, REPO))
    check_true(saved.startswith(repository(("A", "", "м"), ("B", "", ""), description="d")[:-len("</Document>")])
               and saved.endswith(repository(("D", "", ""))[len(f'<Document desctiption="{DESCRIPTION}">'
                                                                 .encode("cp1251")):]),
               f"the repository file after the close holds A, B, ... D: {saved!r}")


@test
def locked_file(s):
    original = repository(("A", "", ""))
    work = s.workdir("locked_file", {REPO: original})
    event = f"TessaraE2EHold{os.getpid()}"
    hold_out = os.path.join(s.out, "hold.out")
    with open(hold_out, "wb") as out:
        holder = subprocess.Popen(["wine", s.driver.exe, "hold", os.path.join(work, REPO), event, "60000"],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
    try:
        poll("the file to be held", lambda: b"ok held" in read(hold_out), timeout=20)
        p = s.start(work)
        check(p.items(), (["A"], -1), "a held file still loads")
        # A change is saved at once; that fails now, is reported, and is tried again later.
        p.add("B")
        check(p.status(), "Изменения не сохранены в файл, попытка будет повторена: " + CANNOT_CREATE,
              "status after a change that cannot be saved")
        check(read(os.path.join(work, REPO)), original, "the held file unchanged")
        for attempt in (1, 2):
            p.d("close")
            p.expect_error(CANNOT_CREATE)
            p.d("sync")
            check((p.running(), p.state()), (True, (True, False)), f"window open after failed close {attempt}")
        s.driver(f"release {event}")
        holder.wait(timeout=20)
        # The end of the session saves what could not be saved before.
        check(p.d("send 0x11 0 0"), "1", "WM_QUERYENDSESSION lets the session end")
        p.d("send 0x16 1 0")
        check(read(os.path.join(work, REPO)), repository(("A", "", ""), ("B", "", "")),
              "the file written at the end of the session")
        p.close()
        check(read(os.path.join(work, REPO)), repository(("A", "", ""), ("B", "", "")),
              "the file written once it is free")
    finally:
        if holder.poll() is None:
            holder.kill()


# ---------------------------------------------------------------------------------------------
# Other programs and the repository file: a second start, an outside change, a file held
# without sharing, a linked file

READ_AGAIN = "Файл шаблонов изменён другой программой и прочитан заново."
CANNOT_OPEN = "Cannot open file 1CDialogControls.xml."


def activate(p):
    """Another window takes the foreground and the program's comes back, as when the user
    switches to it: the tray icon's double click, which brings the window to the front."""
    check(p.d("tray-click 0x203 5000"), "1", "the window brought to the front")
    p.d("sync")


@test
def second_start(s):
    work = s.workdir("second_start")
    p = s.start(work)
    p.add("A")
    saved = os.stat(os.path.join(work, REPO)).st_mtime_ns
    minimize(p)
    # A second start in the same folder: it asks the first window forward and ends by itself.
    with open(os.path.join(s.out, "second_start.wine.log"), "ab") as out:
        second = subprocess.Popen(["wine", s.exe], cwd=work, stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        try:
            check(second.wait(timeout=30), 0, "the second start's exit status")
        except subprocess.TimeoutExpired:
            second.kill()
            raise
    poll("the first window to come forward from the tray", lambda: p.state() == (True, False), timeout=10)
    poll("the taskbar button to be shown", lambda: p.appwin() == (True, True))
    check(p.focus(), str(BUTTON1), "focus back on the button that had it")
    poll("the first window in the foreground", lambda: p.d("foreground") == "1", timeout=5)
    check(p.running(), True, "the first program still runs")
    check(p.items(), (["A"], -1), "the first program's list")
    check(os.stat(os.path.join(work, REPO)).st_mtime_ns, saved, "the file untouched by the second start")
    p.add("B")
    p.close()
    check(read(os.path.join(work, REPO)), repository(("A", "", ""), ("B", "", "")), "the file at the end")


@test
def outside_rewrite(s):
    work = s.workdir("outside_rewrite", {REPO: repository(("A", "", ""))})
    p = s.start(work)
    check(p.items(), (["A"], -1), "list at start")
    # Another program (a sync tool, an editor) writes the file while the program runs.
    outside = repository(("A", "", ""), ("Снаружи", "", "м"))
    with open(os.path.join(work, REPO), "wb") as f:
        f.write(outside)
    activate(p)
    check(p.items(), (["A", "Снаружи"], -1), "list after the activation")
    check(p.status(), READ_AGAIN, "status after the activation")
    p.add("B")
    check(read(os.path.join(work, REPO)), repository(("A", "", ""), ("Снаружи", "", "м"), ("B", "", "")),
          "the file after the next add holds both")
    p.close()


@test
def held_without_sharing(s):
    original = repository(("A", "к", "м"), ("Б", "", ""))
    work = s.workdir("held_without_sharing", {REPO: original})
    event = f"TessaraE2EHoldAlone{os.getpid()}"
    hold_out = os.path.join(s.out, "hold.out")
    with open(hold_out, "wb") as out:
        holder = subprocess.Popen(["wine", s.driver.exe, "hold", os.path.join(work, REPO), event, "60000", "alone"],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
    try:
        poll("the file to be held", lambda: b"ok held" in read(hold_out), timeout=20)
        p = s.start(work, visible=False)  # the error box may come before the window shows
        p.expect_error(CANNOT_OPEN + "\r\nФайл шаблонов не будет перезаписан, пока его не удастся прочитать.")
        p.d("wait-main 5000")
        check(p.items(), ([], -1), "nothing listed while the file cannot be read")
        p.add("Новый")
        check(p.status(), "Изменение не выполнено: файл шаблонов не удаётся прочитать: " + CANNOT_OPEN,
              "status after a change while the file is held")
        check(p.items(), ([], -1), "the change not applied")
        check(read(os.path.join(work, REPO)), original, "the held file untouched")
        s.driver(f"release {event}")
        holder.wait(timeout=20)
        # Free again: the activation reads it, and work goes on with every original template.
        activate(p)
        check(p.items(), (["A", "Б"], -1), "list once the file can be read")
        check(p.status(), "Файл шаблонов прочитан.", "status once the file can be read")
        p.add("Новый")
        p.close()
        check(read(os.path.join(work, REPO)), repository(("A", "к", "м"), ("Б", "", ""), ("Новый", "", "")),
              "every original template and the new one in the file")
        check(sorted(os.listdir(work)), [HISTORY, REPO], "no backup copy and no temporary file")
    finally:
        if holder.poll() is None:
            holder.kill()

    # Held all the time: closing writes nothing and closes.
    with open(hold_out, "wb") as out:
        holder = subprocess.Popen(["wine", s.driver.exe, "hold", os.path.join(work, REPO), event, "60000", "alone"],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
    try:
        poll("the file to be held", lambda: b"ok held" in read(hold_out), timeout=20)
        kept = read(os.path.join(work, REPO))
        p = s.start(work, visible=False)
        p.expect_error(CANNOT_OPEN + "\r\nФайл шаблонов не будет перезаписан, пока его не удастся прочитать.")
        p.d("wait-main 5000")
        p.close()
        check(read(os.path.join(work, REPO)), kept, "the file after a close while it was held")
    finally:
        s.driver(f"release {event}")
        holder.wait(timeout=20)


@test
def linked_file(s):
    work = s.workdir("linked_file")
    os.makedirs(os.path.join(work, "sync"))
    target = os.path.join(work, "sync", REPO)
    with open(target, "wb") as f:
        f.write(repository(("A", "", "")))
    os.symlink(os.path.join("sync", REPO), os.path.join(work, REPO))
    p = s.start(work)
    check(p.items(), (["A"], -1), "list read through the link")
    p.add("B")
    check(os.path.islink(os.path.join(work, REPO)), True, "still a link after a change")
    check(read(target), repository(("A", "", ""), ("B", "", "")), "the link's target holds the change")
    p.close()
    check(os.readlink(os.path.join(work, REPO)), os.path.join("sync", REPO), "still the same link at the end")
    check(read(target), repository(("A", "", ""), ("B", "", "")), "the target at the end")
    check((sorted(os.listdir(work)), os.listdir(os.path.join(work, "sync"))), ([HISTORY, REPO, "sync"], [REPO]),
          "no temporary file on either side, the history beside the link")


# ---------------------------------------------------------------------------------------------


# ---------------------------------------------------------------------------------------------
# The find window and its hotkey


FIND_SEARCH, FIND_LIST = 301, 302


def find_rows(s):
    """(rows, selected row) of the find window's list."""
    count, selected = s.driver("find-rows").split()
    return int(count), int(selected)


def foreground(s):
    """The class of the active window (the main window is "TmForm")."""
    answer = s.driver("foreground")
    return "TmForm" if answer == "1" else parse(answer.split(" ", 2)[2])[0]


def x_focus():
    """The name of the X window that has the input focus."""
    r = subprocess.run(["xdotool", "getwindowfocus", "getwindowname"], stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=10, check=False)
    return r.stdout.decode("utf-8", errors="replace").strip()


def find_type(s, letters):
    """Latin small letters typed into the find window's search box, one key at a time (the
    program's message loop makes the characters of the key presses). Returns once the box
    holds them: the list follows the box within the same message, while a sent message
    overtakes posted keys and so cannot tell that they were handled."""
    before = s.driver.words("find-text")[0]
    for letter in letters:
        s.driver(f"find-key {ord(letter.upper())}")
    poll(f"the search box to hold {before + letters!r}",
         lambda: s.driver.words("find-text")[0] == before + letters)


def open_find_window(s):
    """The hotkey, pressed on the X keyboard; when Wine does not pass it on, the WM_HOTKEY
    message the program registered for, posted. Returns how it came."""
    s.xdotool("key", "ctrl+shift+Insert")
    try:
        s.driver("find-wait 5000 shown")
        return "X"
    except Failed:
        s.driver("find-hotkey")
        s.driver("find-wait 5000 shown")
        return "WM_HOTKEY"


@test
def find_window(s):
    """The hotkey opens the find window over another program; typing leaves the one template
    whose module text holds the fragment; Enter copies it exactly and gives the activation back."""
    controls = '{"Dialogs",{"Frame"}} & <b>'
    module = 'Процедура Найти()\r\n\tzqx = "Ёж";\r\nКонецПроцедуры'
    work = s.workdir("find_window", {REPO: repository(
        ("Печать", "{}", "Процедура Печать()"), ("Отчёт zq", "{x}", "zq"), ("Поиск", controls, module))})
    p = s.start(work)
    other = subprocess.Popen(["wine", "notepad"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    log = open(os.path.join(s.out, "find_window.log"), "w", encoding="utf-8")
    try:
        poll("another program to be the active window", lambda: foreground(s) == "Notepad", timeout=20)
        poll("the X input focus on the other program", lambda: "Блокнот" in x_focus(), timeout=20)
        s.xdotool("mousemove", "200", "150")
        log.write(f"hotkey by {open_find_window(s)}\n")
        check(foreground(s), "TessaraFind", "the active window after the hotkey")
        check(find_rows(s), (3, 0), "every template, the first selected")
        left, top, right, bottom = (int(v) for v in s.driver("find-rect").split())
        check((left, top), (200, 150), "the find window's corner: at the mouse pointer")
        # Typed into the search box as the keyboard delivers keys (Wine does not always give the
        # X input focus to a window activated by a hotkey): "zq" is in a name and a module
        # text, "zqx" only in one module text.
        find_type(s, "zq")
        check(find_rows(s), (2, 0), "rows for zq")
        find_type(s, "x")
        check(find_rows(s), (1, 0), "rows for zqx")
        check(s.driver.words("find-text")[0], "zqx", "the search box")
        path = os.path.join(s.out, "find-window.png")
        subprocess.run(["import", "-silent", "-window", "root", "-crop",
                        f"{right - left}x{bottom - top}+{left}+{top}", "+repage", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=False)
        s.driver(f"find-key {VK_RETURN}")
        s.driver("find-wait 5000 hidden")
        # Read back by another program (the driver), exactly.
        check(clip(s, "dlg"), (len(cp1251(controls)), cp1251(controls)), "controls copied")
        check(clip(s, "text"), (len(cp1251(module)) + 1, cp1251(module) + NUL), "module copied")
        check(clip(s, "utext")[1].decode("utf-16-le").rstrip("\0"), module, "module copied as Unicode")
        check(p.status(), "Скопировано Поиск!", "the main window's status line")
        check(p.items()[1], -1, "the main window's list selection, untouched")
        poll("the other program active again", lambda: foreground(s) == "Notepad", timeout=5)

        # At the screen's corner the window stays inside the work area; it opens with an empty
        # search; Esc and the hotkey hide it and give the activation back.
        width, height, wl, wt, wr, wb = (int(v) for v in s.driver("screen").split())
        s.xdotool("mousemove", str(width - 2), str(height - 2))
        for hide in ("Escape", "hotkey"):
            log.write(f"hotkey by {open_find_window(s)}\n")
            left, top, right, bottom = (int(v) for v in s.driver("find-rect").split())
            check_true(wl <= left and right <= wr and wt <= top and bottom <= wb,
                       f"find window {left},{top},{right},{bottom} inside the work area {wl},{wt},{wr},{wb}")
            check(find_rows(s), (3, 0), "rows after opening again")
            check(s.driver.words("find-text")[0], "", "the search box after opening again")
            if hide == "Escape":
                s.driver(f"find-key {VK_ESCAPE}")
            else:
                s.driver("find-hotkey")
            s.driver("find-wait 5000 hidden")
            poll("the other program active after hiding", lambda: foreground(s) == "Notepad", timeout=5)
    finally:
        log.close()
        other.kill()
        other.wait(timeout=10)
    p.close()


# ---------------------------------------------------------------------------------------------
# Placeholders filled in at copy time


PH_AS_IS, PH_LABEL, PH_FIELD = 401, 1000, 2000
PH_OK, PH_CANCEL = 1, 2
PH_MODULE = ('Процедура <?"Имя">()\r\n\tСообщить("<?"Имя">");<?>\r\n'
             '\tРежим = "<?"", ВыборВарианта, "Первый", "1", "Второй", "2">";\r\nКонецПроцедуры')
PH_FILLED = 'Процедура Тест()\r\n\tСообщить("Тест");\r\n\tРежим = "2";\r\nКонецПроцедуры'
PH_TEMPLATE = ("Подстановки", "{c}", PH_MODULE)
OUTSIDE_TEXT = cp1251("чужой текст") + NUL


def open_placeholder_dialog(s, p):
    """The copy by the "Копировать" button (posted: the dialog's own loop holds the program);
    gives the dialog's rectangle once it is the active window."""
    p.d(f"postclick {BUTTON5}")
    rect = tuple(int(v) for v in s.driver("ph-wait 5000 shown").split())
    poll("the dialog to be the active window", lambda: foreground(s) == "#32770", timeout=5)
    return rect


def ph_focus(s, control, what):
    poll(what, lambda: s.driver("ph-focus") == str(control), timeout=5)


@test
def placeholder_copy(s):
    """A copy of a template with placeholders asks for their values first: typed in the
    dialog through the keyboard, they are in the text another program reads; Esc copies
    nothing and leaves the clipboard as another program left it."""
    original = repository(PH_TEMPLATE)
    work = s.workdir("placeholder_copy", {REPO: original})
    p = s.start(work)
    p.select(0)
    s.driver(f"clip-put text={word(OUTSIDE_TEXT)}")
    left, top, right, bottom = open_placeholder_dialog(s, p)
    ml, mt, mr, mb = p.rect()
    check_true(abs((left + right) - (ml + mr)) <= 2 and abs((top + bottom) - (mt + mb)) <= 2,
               f"the dialog {left},{top},{right},{bottom} centred over the main window {ml},{mt},{mr},{mb}")
    texts = {control: s.driver.words(f"ph-text {control}")[0]
             for control in (0, PH_LABEL, PH_LABEL + 1, PH_FIELD, PH_FIELD + 1, PH_OK, PH_AS_IS, PH_CANCEL)}
    check(texts, {0: "Копирование шаблона «Подстановки»", PH_LABEL: "Имя", PH_LABEL + 1: "ВыборВарианта",
                  PH_FIELD: "", PH_FIELD + 1: "Первый", PH_OK: "Копировать", PH_AS_IS: "Как есть",
                  PH_CANCEL: "Отмена"}, "the dialog's texts: one field per placeholder prompt, the first option")
    check(s.driver("ph-focus"), str(PH_FIELD), "the first field has the focus")
    p.screenshot("placeholder-dialog", rect=(left, top, right, bottom))
    check(clip(s, "text"), (len(OUTSIDE_TEXT), OUTSIDE_TEXT), "nothing copied while the dialog asks")

    # Typed on the keyboard: the name, Tab to the list and Shift+Tab back, Tab again, the
    # second option, Enter.
    s.driver(f"input text={word('Тест')} {VK_TAB}")
    ph_focus(s, PH_FIELD + 1, "Tab to the drop-down list")
    s.driver(f"input shift+{VK_TAB}")
    ph_focus(s, PH_FIELD, "Shift+Tab back to the name")
    check(s.driver.words(f"ph-text {PH_FIELD}")[0], "Тест", "the name as typed")
    s.driver(f"input {VK_TAB} {VK_DOWN} {VK_RETURN}")
    s.driver("ph-wait 5000 gone")
    poll("the copy's status line", lambda: p.status() == "Скопировано Подстановки!", timeout=5)
    filled = cp1251(PH_FILLED)
    check(clip(s, "utext"), (2 * (len(PH_FILLED) + 1), PH_FILLED.encode("utf-16-le") + bytes(2)),
          "CF_UNICODETEXT: the values in place, no cursor mark")
    check(clip(s, "text"), (len(filled) + 1, filled + NUL), "CF_TEXT: the same text in 1251")
    check(clip(s, "dlg"), (3, b"{c}"), "the controls as they are")

    # Esc: nothing copied, the clipboard as another program left it.
    s.driver(f"clip-put text={word(OUTSIDE_TEXT)}")
    open_placeholder_dialog(s, p)
    s.driver(f"input {VK_ESCAPE}")
    s.driver("ph-wait 5000 gone")
    p.d("sync")
    check(clip(s, "text"), (len(OUTSIDE_TEXT), OUTSIDE_TEXT), "the other program's text after Esc")
    check(clip(s, "dlg"), None, "no controls put after Esc")
    check(p.status(), "Скопировано Подстановки!", "the status line after Esc")
    p.close()
    check(read(os.path.join(work, REPO)), original, "the repository unchanged by the copies")


@test
def placeholder_from_find_window(s):
    """Enter in the find window opens the dialog over it; Esc goes back to the find window,
    which stays open; Enter in the dialog then copies and hides the find window."""
    p = s.start(s.workdir("placeholder_from_find_window", {REPO: repository(PH_TEMPLATE)}))
    s.driver(f"clip-put text={word(OUTSIDE_TEXT)}")
    s.xdotool("mousemove", "200", "150")
    open_find_window(s)
    for answer in (VK_ESCAPE, VK_RETURN):
        s.driver(f"find-key {VK_RETURN}")
        left, top, right, bottom = (int(v) for v in s.driver("ph-wait 5000 shown").split())
        fl, ft, fr, fb = (int(v) for v in s.driver("find-rect").split())
        check_true(abs((left + right) - (fl + fr)) <= 2 and abs((top + bottom) - (ft + fb)) <= 2,
                   f"the dialog {left},{top},{right},{bottom} centred over the find window {fl},{ft},{fr},{fb}")
        poll("the dialog to be the active window", lambda: foreground(s) == "#32770", timeout=5)
        s.driver("find-wait 1000 shown")
        s.driver(f"input text={word('Тест')} {VK_TAB} {VK_DOWN} {answer}")
        s.driver("ph-wait 5000 gone")
        if answer == VK_ESCAPE:
            poll("the find window active again", lambda: foreground(s) == "TessaraFind", timeout=5)
            s.driver("find-wait 1000 shown")
            check(clip(s, "text"), (len(OUTSIDE_TEXT), OUTSIDE_TEXT), "the clipboard after Esc")
    s.driver("find-wait 5000 hidden")
    filled = cp1251(PH_FILLED)
    check(clip(s, "text"), (len(filled) + 1, filled + NUL), "CF_TEXT of the copy from the find window")
    check(p.status(), "Скопировано Подстановки!", "the main window's status line")
    p.close()


@test
def placeholder_dialog_150(s):
    """At 150% the placeholder dialog is laid out at that scale (screenshot
    placeholder-dialog-150.png)."""
    before = log_pixels()
    with open(KEPT_LOG_PIXELS, "w", encoding="ascii") as f:
        f.write(str(before or 0))
    log_pixels(144)
    try:
        p = s.start(s.workdir("placeholder_dialog_150", {REPO: repository(PH_TEMPLATE)}))
        p.select(0)
        rect = open_placeholder_dialog(s, p)
        sizes = {}
        for control in (PH_FIELD, PH_OK, PH_AS_IS, PH_CANCEL):
            left, top, right, bottom = (int(v) for v in s.driver(f"ph-rect {control}").split())
            sizes[control] = (right - left, bottom - top)
        field_width = sizes[PH_FIELD][0]
        check(sizes, {PH_FIELD: (field_width, scaled(21, 144)), PH_OK: (scaled(89, 144), scaled(22, 144)),
                      PH_AS_IS: (scaled(89, 144), scaled(22, 144)), PH_CANCEL: (scaled(89, 144), scaled(22, 144))},
              "the name field and the buttons at 150%")
        check_true(field_width >= scaled(220, 144), f"the name field's width {field_width} at 150%")
        p.screenshot("placeholder-dialog-150", rect=rect)
        s.driver(f"input {VK_ESCAPE}")
        s.driver("ph-wait 5000 gone")
        p.close()
    finally:
        s.cleanup()
        restore_log_pixels()
    check(log_pixels(), before, "LogPixels after the test")


# ---------------------------------------------------------------------------------------------
# Undo, redo and the repository's history

VK_Y_KEY, VK_Z_KEY = 0x59, 0x5A


@test
def undo_delete(s):
    """The second of three templates deleted with the Delete key, brought back with Ctrl+Z in
    its place with every byte, deleted again with Ctrl+Y; the history folder holds the file as
    it was at start."""
    templates = [("Первый", "{1}", "Процедура А()\r\nКонецПроцедуры"), ("Второй", "{2 \"x\"}", "'<&>\"\r\n\t"),
                 ("Третий", "", "m3")]
    original = repository(*templates)
    without = repository(templates[0], templates[2])
    work = s.workdir("undo_delete", {REPO: original})
    repo = os.path.join(work, REPO)
    p = s.start(work)
    click_entry(s, p, 1)
    p.d(f"chord none {VK_DELETE}")
    poll("the template deleted", lambda: p.items()[0] == ["Первый", "Третий"], timeout=3)
    check(read(repo), without, "file after Delete")
    check(p.status(), "Удален шаблон «Второй». Вернуть его: Ctrl+Z.", "status after Delete")
    p.d(f"chord ctrl {VK_Z_KEY}")
    poll("the delete undone", lambda: p.items() == (["Первый", "Второй", "Третий"], 1), timeout=3)
    check(read(repo), original, "file after Ctrl+Z")
    check(p.status(), "Отменено: удаление шаблона «Второй».", "status after Ctrl+Z")
    p.d(f"chord ctrl {VK_Y_KEY}")
    poll("the delete made again", lambda: p.items() == (["Первый", "Третий"], -1), timeout=3)
    check(read(repo), without, "file after Ctrl+Y")
    history = os.path.join(work, HISTORY)
    copies = sorted(os.listdir(history))
    check(len(copies), 1, f"copies in the history folder: {copies}")
    check_true(re.fullmatch(r"1CDialogControls \d{4}-\d\d-\d\d \d\d-\d\d-\d\d\.xml", copies[0]) is not None,
               f"the copy's name: {copies[0]}")
    check(read(os.path.join(history, copies[0])), original, "the history copy: the file as it was at start")
    p.close()

    # A second run keeps the file as it stands at its first save: two copies, oldest first.
    p = s.start(work)
    p.add("Четвёртый")
    p.close()
    copies = sorted(os.listdir(history))
    print(f"  history after two runs: {copies}")
    check(len(copies), 2, f"copies after the second run: {copies}")
    check(read(os.path.join(history, copies[1])), without, "the second run's copy")



# ---------------------------------------------------------------------------------------------
# The module editor

EDITOR_NAME, EDITOR_TEXT, EDITOR_FIND, EDITOR_STATUS = 402, 403, 405, 406
EDIT_MODULE = 203  # the list menu's "Изменить модуль…"
VK_BACK, VK_END, VK_HOME, VK_F3 = 0x08, 0x23, 0x24, 0x72
VK_E_KEY, VK_F_KEY, VK_S_KEY = 0x45, 0x46, 0x53

# A module text with every kind of token the editor colours.
COLOURED_MODULE = "\n".join([
    "#Область Пример",
    "&НаКлиенте",
    "Процедура Показать(Знач Сумма) Экспорт",
    "\t// Сумма и дата документа",
    "\tДата = '20240101';",
    "\tЕсли Сумма > 10.5 Тогда",
    '\t\tСообщить("Итого: <?"Сумма", Число> руб.");',
    "\tКонецЕсли;",
    '\tТекст = "ВЫБРАТЬ',
    "\t|\tТ.Поле",
    '\t|ИЗ Т";<?>',
    "КонецПроцедуры",
    "#КонецОбласти",
])


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def open_editor(p, how):
    """Opens the editor of the selected template by Ctrl+E in the list or the list menu's
    command; gives its caption."""
    if how == "Ctrl+E":
        p.d(f"chord ctrl {VK_E_KEY}")
    else:
        p.d(f"command {EDIT_MODULE}")
    return p.d.words("editor-wait 10000")[0]


def editor_text(p, control=EDITOR_TEXT):
    return p.d.words(f"editor-text {control}")[0]


def editor_repaint_check(s, p, after_what):
    """What the editor shows now is what a full repaint paints: no line is left in old colours
    or with old text. The caret (which blinks) is left out."""
    p.d("sync")
    rect = tuple(int(v) for v in p.d.words("editor-wait 5000")[1:5])
    before = p.screenshot("editor-repaint-before", rect=rect)
    caret = p.d("editor-redraw")
    after = p.screenshot("editor-repaint-after", rect=rect)
    if caret != "-":
        cl, ct, cr, cb = (int(v) for v in caret.split())
        box = f"rectangle {cl - rect[0] - 2},{ct - rect[1]} {cr - rect[0] + 2},{cb - rect[1]}"
        for path in (before, after):
            subprocess.run(["convert", path, "-fill", "black", "-draw", box, path], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=False)
    differing = s.differing_pixels(before, after)
    if differing:
        subprocess.run(["cp", before, os.path.join(s.out, "editor-stale-paint.png")], check=False)
    check(differing, 0, f"pixels that a repaint of the editor changes after {after_what} (see editor-stale-paint.png)")


@test
def editor(s):
    """Ctrl+E opens the selected template's module text in the editor; typed at its end, saved
    with Ctrl+S and closed with Esc, the text is in the file, and the main window's Ctrl+Z
    brings the old text back. The list menu's item and Ctrl+E in the find window open it too."""
    module = "Процедура Тест()\n\tСообщить(1);\nКонецПроцедуры"
    templates = [("A", "ca", "ma"), ("Шаблон", "cb", module)]
    work = s.workdir("editor", {REPO: repository(*templates)})
    path = os.path.join(work, REPO)
    p = s.start(work)
    click_entry(s, p, 1)
    caption = open_editor(p, "Ctrl+E")
    check(caption, "Шаблон — Tessara", "the editor's caption")
    check(p.d.words("editor-focus")[0], str(EDITOR_TEXT), "the control with the focus")
    check(editor_text(p), crlf(module), "the text in the editor")
    check(editor_text(p, EDITOR_NAME), "Шаблон", "the name box")
    check(editor_text(p, EDITOR_STATUS), "Строка 1, столбец 1", "the status line")

    p.d(f"input ctrl+{VK_END}")
    p.d(f"input {VK_RETURN}")
    p.d(f"input text={word('// проверка')}")
    poll("the typed text in the editor", lambda: editor_text(p) == crlf(module) + "\r\n// проверка", timeout=5)
    poll("the status line", lambda: editor_text(p, EDITOR_STATUS) == "Строка 4, столбец 12    изменён", timeout=5)
    editor_repaint_check(s, p, "typing a line")
    # A quote typed at the start of line 2 makes the lines after it a string; Backspace and
    # the editor's own Ctrl+Z take it back, and each time the lines show their colours.
    p.d(f"input ctrl+{VK_HOME}")
    p.d(f"input {VK_DOWN}")
    p.d(f"input text={word(chr(34))}")
    poll("the quote typed", lambda: editor_text(p).startswith("Процедура Тест()\r\n\"\t"), timeout=5)
    editor_repaint_check(s, p, "a quote that opens a string")
    p.d(f"input {VK_BACK}")
    poll("the quote deleted", lambda: editor_text(p).startswith("Процедура Тест()\r\n\t"), timeout=5)
    p.d(f"input text={word(chr(34))}")
    poll("the quote typed again", lambda: editor_text(p).startswith("Процедура Тест()\r\n\"\t"), timeout=5)
    p.d(f"input ctrl+{VK_Z_KEY}")
    poll("the quote undone", lambda: editor_text(p) == crlf(module) + "\r\n// проверка", timeout=5)
    editor_repaint_check(s, p, "the editor's undo")
    check(read(path), repository(*templates), "the file before the save")
    p.d(f"input ctrl+{VK_S_KEY}")
    saved = repository(templates[0], ("Шаблон", "cb", crlf(module) + "\r\n// проверка"))
    poll("the file after Ctrl+S", lambda: read(path) == saved, timeout=5)
    check(editor_text(p, EDITOR_STATUS), "Строка 2, столбец 1", "the status line after the save")
    p.d(f"input {VK_ESCAPE}")
    p.d("editor-wait 5000 gone")
    check(read(path), saved, "the file after Esc")

    # The main window's undo takes the editor's save back.
    p.d(f"chord ctrl {VK_Z_KEY}")
    poll("the file after Ctrl+Z in the main window", lambda: read(path) == repository(*templates), timeout=5)

    # The list menu's item opens it too; Esc with a change asks, and No leaves the file.
    check(open_editor(p, "menu"), "Шаблон — Tessara", "the caption, opened from the menu")
    p.d(f"input text={word('x')}")
    poll("the typed letter", lambda: editor_text(p).startswith("x"), timeout=5)
    p.d(f"input {VK_ESCAPE}")
    p.expect_box("Сохранить изменения в шаблоне «Шаблон»?", "cancel,yes,no", True)
    p.answer(str(7))  # IDNO
    p.d("editor-wait 5000 gone")
    check(read(path), repository(*templates), "the file after No")

    # Ctrl+E in the find window opens its selected row's template.
    open_find_window(s)
    s.driver(f"input {VK_DOWN}")
    poll("the second row selected", lambda: find_rows(s) == (2, 1), timeout=3)
    s.driver(f"input ctrl+{VK_E_KEY}")
    check(p.d.words("editor-wait 10000")[0], "Шаблон — Tessara", "the caption, opened from the find window")
    s.driver("find-wait 5000 hidden")
    p.d(f"input {VK_ESCAPE}")
    p.d("editor-wait 5000 gone")
    p.close()
    check(read(path), repository(*templates), "the file at the end")


@test
def editor_find_paste_close(s):
    """Ctrl+F finds in the editor's text and F3 finds on; Ctrl+V pastes the clipboard's text
    without its formatting; closing the main window asks the editor about its changes first,
    and Cancel keeps the program running."""
    module = "один два\nтри один"
    templates = [("Ш", "", module)]
    work = s.workdir("editor_find_paste_close", {REPO: repository(*templates)})
    path = os.path.join(work, REPO)
    p = s.start(work)
    click_entry(s, p, 0)
    open_editor(p, "Ctrl+E")
    p.d(f"input ctrl+{VK_F_KEY}")
    poll("the find box focused", lambda: p.d.words("editor-focus")[0] == str(EDITOR_FIND), timeout=5)
    p.d(f"input text={word('ОДИН')}")
    p.d(f"input {VK_RETURN}")
    poll("the first find", lambda: p.d("editor-sel") == "0 4", timeout=5)
    p.d(f"input {VK_RETURN}")
    poll("the next find", lambda: p.d("editor-sel") == "13 17", timeout=5)
    p.d(f"input {VK_ESCAPE}")
    poll("the text focused again", lambda: p.d.words("editor-focus")[0] == str(EDITOR_TEXT), timeout=5)
    p.d(f"input {VK_F3}")
    poll("F3 finds round the end", lambda: p.d("editor-sel") == "0 4", timeout=5)
    # The clipboard's text replaces the selection, its line break as the editor keeps them.
    s.driver(f"clip-put utext={word('пять'.encode('utf-16-le') + bytes(2))}")
    p.d(f"input ctrl+{VK_V_KEY}")
    poll("the paste", lambda: editor_text(p) == "пять два\r\nтри один", timeout=5)
    p.d("close")
    p.expect_box("Сохранить изменения в шаблоне «Ш»?", "cancel,yes,no", True)
    p.answer("cancel")
    p.d("sync")
    check_true(p.running(), "the program runs on after Cancel")
    check(editor_text(p), "пять два\r\nтри один", "the editor's text after Cancel")
    p.d("close")
    p.expect_box("Сохранить изменения в шаблоне «Ш»?", "cancel,yes,no", True)
    p.answer(str(6))  # IDYES
    p.process.wait(timeout=10)
    check(read(path), repository(("Ш", "", "пять два\r\nтри один")), "the file after Yes at the close")


def editor_screenshot(s, p, name):
    """The editor of the selected template, with the coloured text in view, shot whole."""
    open_editor(p, "Ctrl+E")
    p.d("sync")
    left, top, right, bottom = (int(v) for v in p.d.words("editor-wait 5000")[1:5])
    return p.screenshot(name, rect=(left, top, right, bottom))


@test
def editor_screens(s):
    """Screenshots of the editor with a module text that has every kind of token, at 100% and
    at 150%; in both the text has its colours (red keywords, green comments)."""
    templates = [("Раскраска", "", COLOURED_MODULE)]
    p = s.start(s.workdir("editor_screens", {REPO: repository(*templates)}))
    click_entry(s, p, 0)
    shot = editor_screenshot(s, p, "editor")
    check_true(colour_count(shot, "#FF0000") > 50 and colour_count(shot, "#008000") > 50,
               "red and green text in the editor at 100%")
    p.d(f"input {VK_ESCAPE}")
    p.d("editor-wait 5000 gone")
    p.close()
    before = log_pixels()
    with open(KEPT_LOG_PIXELS, "w", encoding="ascii") as f:
        f.write(str(before or 0))
    log_pixels(144)
    try:
        p = s.start(s.workdir("editor_screens_150", {REPO: repository(*templates)}))
        p.select(0)
        p.d(f"command {EDIT_MODULE}")
        left, top, right, bottom = (int(v) for v in p.d.words("editor-wait 10000")[1:5])
        p.d("sync")
        shot = p.screenshot("editor-150", rect=(left, top, right, bottom))
        check_true(colour_count(shot, "#FF0000") > 100 and colour_count(shot, "#008000") > 100,
                   "red and green text in the editor at 150%")
        p.d(f"input {VK_ESCAPE}")
        p.d("editor-wait 5000 gone")
        p.close()
    finally:
        s.cleanup()
        restore_log_pixels()
    check(log_pixels(), before, "LogPixels after the test")


@test
def editor_timing(s):
    """Figures, not checks: a module text of 1 MB opened in the editor, and characters typed at
    its start and its end; the editor's own measures (TESSARA_EDITOR_TIMES) go to
    editor-timing.txt in the output folder."""
    block = "\n".join([
        "Процедура Обработка{n}(Знач Параметр) Экспорт",
        "\t// Расчёт суммы документа номер {n}",
        "\tСумма = Параметр * 1.5 + {n};",
        '\tЕсли Сумма > 100 Тогда Сообщить("Итого: " + Сумма); КонецЕсли;',
        "КонецПроцедуры",
        "",
    ])
    module, n = [], 0
    while sum(len(part) + 1 for part in module) < 1_000_000:
        module.append(block.format(n=n))
        n += 1
    module = "\n".join(module)
    work = s.workdir("editor_timing", {REPO: repository(("Большой", "", module))})
    times = os.path.join(work, "times.txt")
    os.environ["TESSARA_EDITOR_TIMES"] = "Z:" + times.replace("/", "\\")
    try:
        p = s.start(work)
    finally:
        del os.environ["TESSARA_EDITOR_TIMES"]
    click_entry(s, p, 0)
    began = time.monotonic()
    open_editor(p, "Ctrl+E")
    poll("the opening measured", lambda: os.path.exists(times) and b"opening until drawn" in read(times), timeout=120)
    seen = time.monotonic() - began
    for where in (VK_HOME, VK_END):
        p.d(f"input ctrl+{where}")
        for letter in "abc":
            lines = read(times).count(b"\n")
            p.d(f"input text={word(letter)}")
            poll("the keystroke measured", lambda: read(times).count(b"\n") > lines, timeout=120)
    p.d(f"input {VK_ESCAPE}")
    p.expect_box("Сохранить изменения в шаблоне «Большой»?", "cancel,yes,no", True)
    p.answer(str(7))  # IDNO
    p.d("editor-wait 5000 gone")
    p.close()
    with open(os.path.join(s.out, "editor-timing.txt"), "w", encoding="utf-8") as f:
        f.write(f"module text: {len(module.encode('cp1251'))} bytes, {module.count(chr(10)) + 1} lines\n")
        f.write(f"from Ctrl+E until the opening was measured, seen from outside: {seen * 1000:.0f} ms\n")
        f.write(read(times).decode("ascii", errors="replace").replace("\r\n", "\n"))


def colour_count(png, colour):
    """How many pixels of a screenshot have exactly this colour."""
    r = subprocess.run(["convert", png, "-fill", "black", "+opaque", colour, "-fill", "white", "-opaque", colour,
                        "-format", "%[fx:int(mean*w*h+0.5)]", "info:"],
                       stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)
    if r.returncode != 0:
        raise Failed(f"cannot count the colours of {png}: {r.stderr.strip()}")
    return int(r.stdout.strip())


if __name__ == "__main__":
    restore_log_pixels()
    sys.exit(main(test))
