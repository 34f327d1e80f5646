"""The end-to-end harness: the real Tessara.exe under Wine and Xvfb, driven from outside.

A suite (e2e.py, hostile/hostile.py) collects its test functions in a Tests list and hands it
to main(), which reads the command line

    SUITE.py --exe Tessara.exe --driver e2e_driver.exe --out DIR [TEST...]

and runs the named tests (all without names). Each test gets the Suite: it makes fresh working
directories under DIR/work/, starts the program in one (a Program), and talks to the driver (a
Win32 console program of ours, driver.cpp, that sends window messages and uses the clipboard
like another program on the desktop). Checks raise Failed. One line per test; the last line is
"e2e: N passed, M failed".
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import traceback

# Control identifiers of the main window.
BUTTON1, BUTTON2, BUTTON3, BUTTON4, BUTTON5, BUTTON_MORE = 101, 102, 103, 104, 105, 106
DLG_FORMS, EDT_NAME = 110, 111
LABEL1, LABEL2, LABEL3 = 121, 122, 123
MEMO, STATUS = 130, 140
INS_CONTROLS, INS_MODULE = 201, 202
MAIN = 0  # the driver's name for the main window itself

VK_TAB, VK_RETURN, VK_ESCAPE, VK_UP, VK_DOWN = 0x09, 0x0D, 0x1B, 0x26, 0x28

REPO = "1CDialogControls.xml"
DESCRIPTION = "Список контролов Тессар"


class Failed(Exception):
    """A check of a test did not hold."""


def check(actual, expected, what):
    if actual != expected:
        raise Failed(f"{what}: expected {expected!r}, got {actual!r}")


def check_true(condition, what):
    if not condition:
        raise Failed(what)


def poll(what, ready, timeout=5.0, interval=0.05):
    """Calls ready() every `interval` seconds until it gives a true value, at most `timeout`
    seconds."""
    end = time.monotonic() + timeout
    while True:
        value = ready()
        if value:
            return value
        if time.monotonic() >= end:
            raise Failed(f"timed out waiting for {what}")
        time.sleep(interval)


def word(text):
    """A driver argument carrying any text (as UTF-8) or bytes exactly."""
    data = text if isinstance(text, bytes) else text.encode("utf-8")
    return "h:" + data.hex()


def quoted(text):
    """A text as the driver quotes its results."""
    out = text.replace("\\", "\\\\").replace('"', '\\"')
    return '"' + out.replace("\r", "\\r").replace("\n", "\\n").replace("\t", "\\t") + '"'


def cp1251(text):
    return text.encode("cp1251")


def xml_escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&apos;"))


def repository(*templates, description=DESCRIPTION):
    """The bytes the program writes for templates given as (name, controls, module)."""
    if not templates:
        return cp1251(f'<Document desctiption="{xml_escape(description)}"/>')
    out = f'<Document desctiption="{xml_escape(description)}">'
    for name, controls, module in templates:
        out += f'<Groops name="{xml_escape(name)}">'
        out += f"<Controls>{xml_escape(controls)}</Controls>" if controls else "<Controls/>"
        out += f"<Module>{xml_escape(module)}</Module>" if module else "<Module/>"
        out += "</Groops>"
    return cp1251(out + "</Document>")


_ESCAPE = re.compile(rb'\\(x[0-9a-f]{2}|.)')


def _unquote(body):
    def one(m):
        e = m.group(1)
        if e.startswith(b"x"):
            return bytes([int(e[1:], 16)])
        return {b"r": b"\r", b"n": b"\n", b"t": b"\t"}.get(e, e)
    return _ESCAPE.sub(one, body).decode("utf-8")


def parse(result):
    """Splits a driver result into words; quoted words become their texts."""
    words, data = [], result.encode("utf-8")
    for m in re.finditer(rb'"((?:[^"\\]|\\.)*)"|(\S+)', data):
        words.append(_unquote(m.group(1)) if m.group(1) is not None else m.group(2).decode())
    return words


class Driver:
    """The Win32 driver under Wine, one process for the whole run: command lines go to its
    stdin, and its answers (one line per command) come back through a file, never a pipe."""

    def __init__(self, exe, logdir):
        self.exe, self.logdir = exe, logdir
        self.log = open(os.path.join(logdir, "driver.log"), "a", encoding="utf-8")
        self.process = None

    def _start(self):
        self.answers_path = os.path.join(self.logdir, "driver.out")
        self.answers = open(self.answers_path, "wb")
        self.reader = open(self.answers_path, "rb")
        self.pending = b""
        self.process = subprocess.Popen(["wine", self.exe], stdin=subprocess.PIPE, stdout=self.answers,
                                        stderr=open(os.path.join(self.logdir, "driver.err"), "ab"))

    def _answer(self, deadline):
        while b"\n" not in self.pending:
            chunk = self.reader.read()
            if chunk:
                self.pending += chunk
                continue
            if self.process.poll() is not None:
                raise Failed(f"the driver ended (status {self.process.returncode})")
            if time.monotonic() > deadline:
                raise Failed("the driver did not answer in time")
            time.sleep(0.003)
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode("utf-8", errors="replace").rstrip("\r")

    def run(self, *lines, timeout=60):
        if self.process is None or self.process.poll() is not None:
            self._start()
        began = time.monotonic()
        self.process.stdin.write(("\n".join(lines) + "\n").encode("utf-8"))
        self.process.stdin.flush()
        answers = [self._answer(began + timeout) for _ in lines]
        self.log.write(f"# {time.monotonic() - began:.3f}s\n")
        for line, answer in zip(lines, answers):
            self.log.write(f"> {line}\n< {answer}\n")
        self.log.flush()
        for line, answer in zip(lines, answers):
            if not answer.startswith("ok"):
                raise Failed(f"driver: {line.split()[0]}: {answer}")
        return [answer[3:] for answer in answers]

    def __call__(self, line, **kw):
        return self.run(line, **kw)[0]

    def words(self, line):
        return parse(self(line))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()


class Program:
    """One run of Tessara.exe in a working directory."""

    def __init__(self, suite, workdir, visible=True):
        self.suite, self.workdir, self.d = suite, workdir, suite.driver
        self.out = open(os.path.join(workdir, "..", os.path.basename(workdir) + ".wine.log"), "ab")
        # Under load Wine now and then fails to start a program at all ("ShellExecuteEx" from
        # its start fallback, and the process ends at once). Only that is tried again: a
        # program that runs but shows no window still fails.
        for attempt in range(3):
            self.out.flush()
            self.log_start = self.out.tell()
            self.process = subprocess.Popen(["wine", suite.exe], cwd=workdir,
                                            stdin=subprocess.DEVNULL,
                                            stdout=self.out, stderr=self.out)
            try:
                self.d("wait-main 20000" if visible else "wait-main 20000 created")
                return
            except Failed:
                never_ran = self.process.poll() is not None and self._wine_could_not_start()
                self.kill()
                if not never_ran or attempt == 2:
                    raise

    def _wine_could_not_start(self):
        self.out.flush()
        with open(self.out.name, "rb") as log:
            log.seek(self.log_start)
            return b"ShellExecuteEx" in log.read()

    # ---- reading the window ----
    def text(self, control):
        return self.d.words(f"text {control}")[0]

    def enabled(self, control):
        return self.d(f"enabled {control}") == "1"

    def rect(self, control=MAIN):
        return tuple(int(v) for v in self.d(f"rect {control}").split())

    def width(self):
        left, _, right, _ = self.rect()
        return right - left

    def items(self):
        """(entries, selected index) of the template list."""
        w = self.d.words(f"lb {DLG_FORMS}")
        return w[2:], int(w[1])

    def status(self):
        return self.text(STATUS)

    def focus(self):
        return self.d("focus")

    def tray(self):
        """(the shell knows our icon, icons shown in the tray window)."""
        known, count = self.d("tray").split()
        return known == "1", int(count)

    def appwin(self):
        """(the taskbar-button window exists, it is visible)."""
        w = self.d.words("appwin")
        return w[0] == "1", w[1] == "1"

    def state(self):
        """(main window visible, main window minimized)."""
        visible, iconic = self.d("state").split()
        return visible == "1", iconic == "1"

    def message_box(self, timeout_ms=5000):
        """(title, text, buttons, has icon) of the open message box."""
        title, text, buttons, icon = self.d.words(f"msgbox {timeout_ms}")
        return title, text, buttons, icon == "icon=1"

    # ---- acting ----
    def click(self, control):
        self.d(f"click {control}")

    def type_name(self, text):
        self.d(f"settext {EDT_NAME} {word(text)}")

    def add(self, name):
        self.d.run(f"settext {EDT_NAME} {word(name)}", f"click {BUTTON1}")

    def select(self, index):
        self.d(f"select {DLG_FORMS} {index}")

    def answer(self, button):
        self.d(f"answer {button}")

    def expect_box(self, text, buttons, icon, title="Tessara"):
        box = self.message_box()
        check(box, (title, text, buttons, icon), "message box")

    def expect_error(self, text):
        """The standard error box with this text; pressed OK."""
        self.expect_box(text, "ok", True)
        self.answer("ok")

    def paste(self, item, answer=None, question=None):
        """Chooses a paste menu item; answers its replace question when one is expected."""
        self.d(f"command {item}")
        if answer:
            self.expect_box(question, "ok,cancel", False)
            self.answer(answer)
        self.d("sync")
        self.d("nomsgbox")

    def hint(self, control, expected, at=None):
        """Rests the mouse on a control (at a screen point of it, or in its middle) and waits
        for its tool tip to show `expected`; gives the text the tip shows."""
        # First to a spot of the window without a hint, until no tip shows; then onto the
        # control, at a point it has not seen yet, so that it gets a fresh mouse move.
        l3, t3, r3, b3 = self.rect(LABEL3)
        self.suite.xdotool("mousemove", str(r3 + 20), str((t3 + b3) // 2))
        self.d("notooltip 10000")
        self.hovers = getattr(self, "hovers", 0) + 1
        if at is None:
            left, top, right, bottom = self.rect(control)
            at = ((left + right) // 2, (top + bottom) // 2)
        self.suite.xdotool("mousemove", str(at[0] + self.hovers % 3 - 1), str(at[1] + self.hovers % 2))
        return self.tip(expected)

    def tip(self, expected):
        """Waits for the tool tip to show `expected`; gives the text it shows."""
        try:
            return parse(self.d(f"until 10000 {word(quoted(expected))} tooltip 0"))[0]
        except Failed as e:
            return str(e)

    def repaint_check(self, after_what):
        """What the window shows now is what a full repaint paints: nothing stale is left on
        the screen. Only the client area counts (the frame shows activation, which may still be
        changing); the name box is left out (its caret blinks), and the mouse is moved off the
        window first (no tool tip over it)."""
        self.suite.xdotool("mousemove", "0", "0")
        self.d("notooltip 10000")
        self.d("sync")
        before = self.screenshot("repaint-before", client=True)
        self.d("redraw")
        after = self.screenshot("repaint-after", client=True)
        left, top, _, _ = (int(v) for v in self.d("clientrect").split())
        el, et, er, eb = self.rect(EDT_NAME)
        box = f"rectangle {el - left},{et - top} {er - left},{eb - top}"
        for path in (before, after):
            subprocess.run(["convert", path, "-fill", "black", "-draw", box, path], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=False)
        differing = self.suite.differing_pixels(before, after)
        if differing:
            shutil.copy(before, os.path.join(self.suite.out, "stale-paint.png"))
        check(differing, 0, f"pixels that a repaint changes after {after_what} (see stale-paint.png)")

    def screenshot(self, name, control=MAIN, client=False, box=False, rect=None):
        if rect:
            left, top, right, bottom = rect
        elif box:
            left, top, right, bottom = (int(v) for v in self.d("msgboxrect").split())
        elif client:
            left, top, right, bottom = (int(v) for v in self.d("clientrect").split())
        else:
            left, top, right, bottom = self.rect(control)
        path = os.path.join(self.suite.out, name + ".png")
        subprocess.run(["import", "-silent", "-window", "root", "-crop",
                        f"{right - left}x{bottom - top}+{left}+{top}", "+repage", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=False)
        return path

    # ---- ending ----
    def running(self):
        return self.process.poll() is None

    def close(self, timeout=10.0):
        """Closes the window and waits for the program to end."""
        self.d("close")
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failed("the program did not end after its window was closed")
        self.d("gone-main 5000")

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(timeout=10)


class Suite:
    def __init__(self, exe, driver, out):
        self.exe, self.out = exe, out
        self.driver = Driver(driver, out)
        self.program = None

    def workdir(self, name, files=None):
        path = os.path.join(self.out, "work", name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        for fname, data in (files or {}).items():
            with open(os.path.join(path, fname), "wb") as f:
                f.write(data)
        return path

    def start(self, workdir, visible=True):
        self.program = Program(self, workdir, visible)
        return self.program

    @staticmethod
    def differing_pixels(a, b):
        r = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], stdin=subprocess.DEVNULL,
                           capture_output=True, text=True, timeout=30, check=False)
        try:
            return int(float(r.stderr.split()[0]))
        except (IndexError, ValueError):
            raise Failed(f"cannot compare {a} and {b}: {r.stderr.strip()}")

    @staticmethod
    def xdotool(*args):
        subprocess.run(["xdotool", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=10, check=False)

    def cleanup(self):
        if self.program:
            self.program.kill()
            self.program = None


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Tests(list):
    """A suite's tests in their order; used as the decorator that adds one."""

    def __call__(self, func):
        self.append(func)
        return func


def main(tests, argv=None):
    """Runs the named tests of `tests` (all of them without names) and reports each one; gives
    the exit status."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--driver", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("tests", nargs="*")
    args = ap.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    suite = Suite(os.path.abspath(args.exe), os.path.abspath(args.driver), os.path.abspath(args.out))
    selected = [t for t in tests if not args.tests or t.__name__ in args.tests]
    unknown = set(args.tests) - {t.__name__ for t in tests}
    if unknown:
        print(f"unknown tests: {' '.join(sorted(unknown))}", file=sys.stderr)
    result = open(os.path.join(suite.out, "result.txt"), "w", encoding="utf-8")

    def say(line):
        print(line, flush=True)
        result.write(line + "\n")
        result.flush()

    run_start = time.monotonic()
    passed, failed = 0, len(unknown)
    for t in selected:
        start = time.monotonic()
        try:
            t(suite)
            passed += 1
            say(f"PASS {t.__name__} ({time.monotonic() - start:.1f}s)")
        except Exception as e:  # a failed check, a driver failure or a harness error
            failed += 1
            detail = str(e) if isinstance(e, Failed) else traceback.format_exc().strip().splitlines()[-1]
            say(f"FAIL {t.__name__} ({time.monotonic() - start:.1f}s): {detail}")
            with open(os.path.join(suite.out, "failures.log"), "a", encoding="utf-8") as log:
                log.write(f"== {t.__name__}\n{traceback.format_exc()}\n")
        finally:
            suite.cleanup()
            try:
                suite.driver("gone-main 5000")
            except Failed:
                pass
    suite.driver.stop()
    say(f"{os.path.basename(os.path.dirname(suite.out))}: {time.monotonic() - run_start:.0f} s, "
        f"screenshots and logs in {suite.out}")
    say(f"e2e: {passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1
