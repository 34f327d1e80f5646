#!/usr/bin/env python3
"""Hostile conditions for the real Tessara.exe under Wine: strange repository files, the program
killed while it saves a large repository, and a clipboard held by another program.

Uses the harness of ../harness.py (its driver, its Program and Suite classes) with tests of its own:

    hostile.py --exe Tessara.exe --driver e2e_driver.exe --out DIR [TEST...]

The last line is "e2e: N passed, M failed", as the main suite's.
"""

import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness import (BUTTON5, EDT_NAME, REPO, Failed, Tests, check, check_true, cp1251, main,  # noqa: E402
                     poll, read, repository, word)

test = Tests()

READER = "Ошибка в XML-документе: "
BACKUP = "Исходный файл сохранён без изменений как «1CDialogControls.xml.bad»."


def standard_error(message):
    """The standard error box's text: a full stop after a last byte that sorts after "."."""
    return message + "." if message and cp1251(message[-1])[0] > ord(".") else message


def files_of(work):
    return sorted(os.listdir(work))


def start_expecting(s, work, error):
    """Starts the program; with `error`, expects that text in the error box first and presses OK."""
    p = s.start(work, visible=error is None)
    if error is not None:
        title, text, buttons, icon = p.message_box(20000)
        check((title, text, buttons, icon), ("Tessara", error, "ok", True), "error box at start")
        p.answer("ok")
        p.d("wait-main 20000")
    else:
        p.d("nomsgbox")
    return p


def hostile_case(s, name, data, error, names, timeout=60.0):
    """One strange file: the right message (or none), the window keeps working, a file that did
    not load is kept byte for byte, and what is written loads again without a message."""
    work = s.workdir("hostile_" + name, {REPO: data})
    p = start_expecting(s, work, None if error is None else standard_error(error) + "\r\n" + BACKUP)
    check(p.state(), (True, False), "window open")
    check(p.items(), (names, -1), "templates listed")
    if error is not None:
        check(read(os.path.join(work, REPO + ".bad")) == data, True, "the original kept as .bad")
    p.add("Новый")
    p.select(len(names))
    p.click(BUTTON5)
    check(p.status(), "Скопировано Новый!", "copy works")
    p.close(timeout=timeout)
    check_true(all(not f.endswith(".tmp") for f in files_of(work)), f"no temporary files: {files_of(work)}")
    p = start_expecting(s, work, None)
    check(p.items(), (names + ["Новый"], -1), "templates after a restart")
    p.close(timeout=timeout)


CASES = [
    ("empty", b"", None, []),
    ("whitespace", b" \r\n\t \r\n", None, []),
    ("comment_only", cp1251("<!-- только комментарий -->"), None, []),
    ("truncated_start_tag", b'<Document desctiption="d"><Groops name="A"><Controls/><Module/></Groops><Gro',
     READER + 'ожидается ">" для открывающего тэга элемента', ["A"]),
    ("truncated_value", b'<Document desctiption="d"><Groops name="A',
     READER + "ожидается атрибут элемента", [""]),
    ("truncated_comment", b'<Document><Groops name="A"/><!-- c', READER + 'ожидается "-->"', ["A"]),
    ("truncated_cdata", b'<Document><Groops name="A"><Controls><![CDATA[x', READER + 'ожидается "]]"', ["A"]),
    ("truncated_pi", b'<Document><Groops name="A"/><?pi x', READER + 'ожидается "?>"', ["A"]),
    ("truncated_doctype", b'<!DOCTYPE Document [', READER + 'ожидается ">" для типа документа', []),
    ("truncated_end_tag", b'<Document><Groops name="A"></Groops', READER + 'ожидается ">" для закрывающего тэга элемента',
     ["A"]),
    ("truncated_after_lt", b'<Document><Groops name="A"/><', READER + "неожидаемое завершение текста", ["A"]),
    ("bytes_0_and_98", b'<Document><Groops name="a\x98b"><Controls>c\x00d\x98</Controls><Module>m\x98\x00n</Module>'
     b'</Groops></Document>', None, ["a\u0098b"]),
    ("several_roots", b'<Document><Groops name="A"/></Document><Other><Groops name="B"/></Other>', None, ["A"]),
    ("doctype_in_root", b'<Document><Groops name="A"/><!DOCTYPE x></Document>',
     'XML: узел "element" не может содержать подузел "documenttype"', ["A"]),
]


@test
def hostile_files(s):
    for name, data, error, names in CASES:
        try:
            hostile_case(s, name, data, error, names)
        except Failed as e:
            raise Failed(f"{name}: {e}")
        finally:
            s.cleanup()


@test
def hostile_million_nested_tags(s):
    hostile_case(s, "nested", b"<a>" * 1000000, None, [""])


@test
def hostile_long_name(s):
    long_name = "Я" * 100000
    data = cp1251(f'<Document><Groops name="{long_name}"><Controls/><Module/></Groops></Document>')
    hostile_case(s, "long_name", data, None, [long_name])


@test
def hostile_100mb_module(s):
    line = cp1251("Сообщить(\"a < b & c > d\");\r\n")
    module = line * (100 * 1024 * 1024 // len(line))
    data = (b'<Document><Groops name="M"><Controls/><Module>' +
            module.replace(b"&", b"&amp;").replace(b"<", b"&lt;").replace(b">", b"&gt;").replace(b'"', b"&quot;") +
            b"</Module></Groops></Document>")
    hostile_case(s, "big_module", data, None, ["M"], timeout=120.0)


@test
def hostile_kill_during_save(s):
    """Every change saves; a kill at any moment leaves the old or the new file, complete."""
    templates = [(f"Шаблон {i}", "{" + "x" * 2000 + "}", "Процедура\r\n" * 200) for i in range(2000)]
    old = repository(*templates)
    work = s.workdir("hostile_kill", {REPO: old})
    path = os.path.join(work, REPO)
    rng = random.Random(1)
    outcomes = {"old": 0, "new": 0}
    cut = 0

    def added(name):
        return old[:-len(b"</Document>")] + cp1251(f'<Groops name="{name}"><Controls/><Module/></Groops>') + \
            b"</Document>"

    # How long an add takes until its save is complete, so that the kills fall before, inside
    # and just after the save.
    p = s.start(work)
    p.d(f"settext {EDT_NAME} {word('K')}")
    started = time.monotonic()
    p.d("postclick 101")
    new = added("K")
    while read(path) != new and time.monotonic() - started < 30:
        time.sleep(0.002)
    took = time.monotonic() - started
    check_true(read(path) == new, "the add is saved")
    p.close(timeout=60)
    s.program = None
    old = new
    # TESSARA_HOSTILE_KILLS sets how many kills (30 by default) for a longer campaign.
    for attempt in range(int(os.environ.get("TESSARA_HOSTILE_KILLS", "30"))):
        temps_before = {f for f in files_of(work) if f.endswith(".tmp")}
        p = s.start(work)
        new = added(f"K{attempt}")
        p.d(f"settext {EDT_NAME} {word('K' + str(attempt))}")
        p.d("postclick 101")
        time.sleep(rng.uniform(0.0, took * 1.3))
        p.kill()
        s.program = None
        # A new temporary file beside it: the kill cut a save off (a later save removes it).
        temps = {f for f in files_of(work) if f.endswith(".tmp")}
        if temps - temps_before:
            cut += 1
        got = read(path)
        if got == old:
            outcomes["old"] += 1
        elif got == new:
            outcomes["new"] += 1
            old = new
        else:
            raise Failed(f"attempt {attempt}: the file is neither the old nor the new version ({len(got)} bytes)")
    # The file that is left loads without a message, and the next save removes the temporary
    # files the killed saves left behind.
    left = [f for f in files_of(work) if f.endswith(".tmp")]
    p = start_expecting(s, work, None)
    check_true(len(p.items()[0]) >= 2000, "the templates load after the kills")
    p.close(timeout=60)
    s.hostile_kill_outcomes = outcomes
    print(f"  an add with its save: {took * 1000:.0f} ms; kills: {outcomes}, of them inside a save: {cut}; "
          f"temporary files at the end: {len(left)}, after the next save: {files_of(work)}", flush=True)
    check_true(all(not f.endswith(".tmp") for f in files_of(work)), f"no temporary files: {files_of(work)}")


@test
def hostile_busy_clipboard(s):
    work = s.workdir("hostile_busy_clipboard", {REPO: repository(("A", "c", "m"))})
    p = s.start(work)
    p.select(0)
    log = open(os.path.join(s.out, "busy.out"), "ab")
    holder = subprocess.Popen(["wine", s.driver.exe, "clip-busy", "4000"], stdout=log, stderr=log)
    try:
        def held():
            try:
                s.driver("clip-formats")
                return False
            except Failed:
                return True
        poll("the other program holding the clipboard", held, timeout=15)
        p.d(f"postclick {BUTTON5}")
        p.expect_error("Cannot open clipboard.")
        check(p.status(), "", "no status after the failed copy")
        holder.wait(timeout=20)
        p.click(BUTTON5)
        check(p.status(), "Скопировано A!", "copy once the clipboard is free")
        p.close()
    finally:
        if holder.poll() is None:
            holder.kill()


if __name__ == "__main__":
    sys.exit(main(test))
