#!/usr/bin/env python3
"""The program's own figures: how long Tessara.exe takes to show its list and to save at close.

Run it (after `cmake --build --preset win64` and `cmake --build --preset native --target
tessara_bench`) with the one command

    bench/program_figures.sh [build/win64] [--sizes 1000,10000,100000] [--runs 3] [--names]

which sets up Wine and Xvfb and then runs this script. For each size it generates a repository
with the benchmark's generator (once), and for every run places a fresh copy of it as
1CDialogControls.xml in a fresh working directory; an empty working directory (no file) is
measured in the same run. figures_probe.exe (built here from figures_probe.cpp) starts the
program inside Wine and times, with the performance counter:

  appear from CreateProcess until the main window is visible (it is shown before the
        repository is read);
  show  from CreateProcess until the main window is visible and its list holds every template;
  save  from posting WM_CLOSE until the file has been replaced (the expected size and a new
        write time) and the process has exited (the larger of the two).

After each run the saved file must equal the input byte for byte (the empty directory must get
the new repository's bytes). The runs go round the sizes in turn, so that a change in the load
of the machine touches every size alike. It prints best and median per size and the ratios of
the bests and of the medians against the empty directory (on a loaded machine the bests are the
steadier); `--names` adds the largest repository with its texts emptied, which splits the start
of the largest into its load and its list fill. The target is a window with 100,000 templates that
appears within 2x the empty one's time; the time until its full list is printed beside it.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

REPO = "1CDialogControls.xml"
NEW_REPOSITORY = '<Document desctiption="Список контролов Тессар"/>'.encode("cp1251")
TIMEOUT_MS = 300000
OLD_TIME = 978307200  # 2001-01-01: the copy's write time, so that any save changes it


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def build_probe(root, out):
    source = os.path.join(root, "bench", "figures_probe.cpp")
    exe = os.path.join(out, "figures_probe.exe")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(source):
        subprocess.run(["x86_64-w64-mingw32-g++-posix", "-std=c++20", "-O2", "-Wall", "-Wextra", "-static",
                        "-o", exe, source, "-luser32"], check=True)
    return exe


def generate(bench, data, sizes):
    """Paths and byte sizes of the generated repositories, generating those that are missing."""
    files = {}
    missing = [n for n in sizes if not os.path.exists(os.path.join(data, f"repository_{n}.xml.done"))]
    if missing:
        print(f"generating {','.join(map(str, missing))} templates...", file=sys.stderr, flush=True)
        out = subprocess.run([bench, "--generate-only", "--dir", data, "--sizes", ",".join(map(str, missing))],
                             check=True, stdout=subprocess.PIPE, text=True).stdout
        for line in out.splitlines():
            path, _, size = line.split()
            with open(path + ".done", "w") as mark:
                mark.write(size)
    for n in sizes:
        path = os.path.join(data, f"repository_{n}.xml")
        with open(path + ".done") as mark:
            size = int(mark.read())
        if os.path.getsize(path) != size:
            raise SystemExit(f"{path}: {os.path.getsize(path)} bytes, generated {size}")
        files[n] = path
    return files


def names_only(source):
    """The same repository with every template's texts emptied: the same list to fill, next to
    nothing to parse. Its time against the full file's splits the start into load and fill."""
    target = source[:-len(".xml")] + "_names.xml"
    if not os.path.exists(target + ".done"):
        with open(source, "rb") as f:
            data = f.read()
        data = re.sub(rb"<Controls>.*?</Controls><Module>.*?</Module>", b"<Controls/><Module/>", data, flags=re.S)
        with open(target, "wb") as f:
            f.write(data)
        with open(target + ".done", "w") as mark:
            mark.write(str(len(data)))
    return target


def same_bytes(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(1 << 22), fb.read(1 << 22)
            if x != y:
                return False
            if not x:
                return True


def run_once(probe, exe, work, templates, source):
    """One start and close: (show ms, save ms, details) or raises on any failure."""
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    target = os.path.join(work, REPO)
    if source:
        shutil.copyfile(source, target)
        os.utime(target, (OLD_TIME, OLD_TIME))
        expected = os.path.getsize(source)
    else:
        expected = len(NEW_REPOSITORY)
    out_path, err_path = os.path.join(work, "..", "probe.out"), os.path.join(work, "..", "probe.err")
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        rc = subprocess.run(["wine", probe, windows_path(exe), REPO, str(templates), str(expected), str(TIMEOUT_MS)],
                            cwd=work, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                            timeout=3 * TIMEOUT_MS / 1000).returncode
    line = open(out_path, "rb").read().decode("utf-8", "replace").strip().splitlines()
    line = line[-1] if line else ""
    if rc != 0 or not line.startswith("ok "):
        raise RuntimeError(f"probe failed ({rc}): {line}")
    fields = dict(f.split("=") for f in line[3:].split())
    t = {k: float(v) for k, v in fields.items()}
    if source:
        if not same_bytes(target, source):
            raise RuntimeError("the saved file differs from the input")
    elif open(target, "rb").read() != NEW_REPOSITORY:
        raise RuntimeError("the empty directory did not get the new repository's bytes")
    shutil.rmtree(work, ignore_errors=True)
    return t["list"], max(t["saved"], t["exit"]), t


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.abspath(os.path.join(here, ".."))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build", nargs="?", default=os.path.join(root, "build", "win64"))
    ap.add_argument("--bench", default=os.path.join(root, "build", "native", "bench", "tessara_bench"))
    ap.add_argument("--sizes", default="1000,10000,100000")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--names", action="store_true",
                    help="also the largest repository with its texts emptied (where the start's time goes)")
    args = ap.parse_args()

    exe = os.path.join(args.build, "app", "win32", "Tessara.exe")
    if not os.path.exists(exe):
        raise SystemExit(f"{exe} missing: build the win64 preset first")
    out = os.path.join(args.build, "figures")
    os.makedirs(out, exist_ok=True)
    probe = build_probe(root, out)
    sizes = [int(s) for s in args.sizes.split(",") if s]
    files = generate(args.bench, os.path.join(out, "data"), sizes)
    cases = [(0, None)] + [(n, files[n]) for n in sizes]
    labels = {n: ("empty" if n == 0 else str(n)) for n, _ in cases}
    if args.names and sizes:
        largest = max(sizes)
        cases.append((-largest, names_only(files[largest])))
        labels[-largest] = f"{largest}n"

    appear = {n: [] for n, _ in cases}
    show = {n: [] for n, _ in cases}
    save = {n: [] for n, _ in cases}
    # One start first, not counted: Wine's first start of a program loads its libraries cold.
    run_once(probe, exe, os.path.join(out, "work"), 0, None)
    for run in range(args.runs):
        for n, source in cases:
            s, c, t = run_once(probe, exe, os.path.join(out, "work"), abs(n), source)
            appear[n].append(t["visible"])
            show[n].append(s)
            save[n].append(c)
            print(f"run {run + 1} {labels[n]:>7}: created {t['created']:8.1f}  visible {t['visible']:8.1f}  "
                  f"list {t['list']:8.1f}  saved {t['saved']:8.1f}  exit {t['exit']:8.1f} ms",
                  file=sys.stderr, flush=True)

    def against_empty(values, base):
        return min(values) / min(base), statistics.median(values) / statistics.median(base)

    def cells(values, base):
        best, median = against_empty(values, base)
        return f"{min(values):11.0f} {statistics.median(values):9.0f} {best:6.2f} {median:6.2f}"

    columns = {"appear": appear, "list": show, "save": save}
    print(f"Tessara.exe under Wine, {args.runs} runs each, milliseconds; ratios against the empty directory, "
          f"of the bests and of the medians")
    print(f"{'templates':>10} {'MB':>7} | " +
          " | ".join(f"{name + ' best':>11} {'median':>9} {'ratios':>13}" for name in columns))
    for n, source in cases:
        mb = os.path.getsize(source) / 1e6 if source else 0.0
        print(f"{labels[n]:>10} {mb:7.1f} | " + " | ".join(cells(v[n], v[0]) for v in columns.values()))
    if args.names and sizes:
        print(f"{max(sizes)}n: the same templates with their texts emptied (the list fill without the big load)")
    largest = max(sizes) if sizes else 0
    if largest:
        best, median = against_empty(appear[largest], appear[0])
        verdict = "met" if max(best, median) <= 2.0 else "NOT met"
        print(f"target: window with {largest} templates appears within 2x the empty one: {best:.2f}x (bests), "
              f"{median:.2f}x (medians), {verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
