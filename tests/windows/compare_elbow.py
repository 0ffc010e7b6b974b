#!/usr/bin/env python3
"""tessik-elbow on Linux against tessik-elbow.exe under wine, over a set of designs.

    compare_elbow.py LINUX_EXE WINDOWS_EXE DATA_DIR WORK_DIR

Both programs run in folders of their own under WORK_DIR named with Chinese
characters and spaces, with a copy of the shipped data in a folder named so
too, and are given the same relative arguments, so their output may not
differ by a path. For each design the exit status, standard error and
standard output must be the same bytes, and so must the template files.

Where the bytes differ, the difference is allowed only inside numbers that
agree to 1e-12 relative (or one unit in the last printed place): the two C
runtimes' sin, cos, tan, atan2 and hypot differ in the last bit for some
arguments (glibc and MinGW's msvcrt), and a round-trip number shows every
bit. Such designs are counted and listed; any other difference fails. A PDF
is compared as bytes and, where those differ, page by page as pdftoppm
renders it (same page count, same sizes, every pixel within 1 of 255 of the
Linux page), since its coordinates are printed with fixed decimals.
Exit status 0 when everything agrees, 1 otherwise.
"""

import os
import re
import shutil
import subprocess
import sys

NUMBER = re.compile(rb"-?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?")
FOLDER = "设计 一"
DATA = "弯头 数据"

# (name, arguments); the template files are written beside the program's folder.
DESIGNS = [
    ("front 90/2", ["--angle", "90", "--segments", "2", "--diameter", "*100", "--radius", "150"]),
    ("left at point", ["--angle", "90", "--segments", "2", "--diameter", "*100", "--radius", "150",
                       "--view", "left", "--at", "1000,500"]),
    ("right 45/1", ["--angle", "45", "--segments", "1", "--diameter", "219", "--radius", "300", "--view", "right",
                    "--at=-5,2,7"]),
    ("proposal 90", ["--angle", "90", "--diameter", "*1422", "--wall", "28", "--data", DATA]),
    ("proposal 60", ["--angle", "60", "--diameter", "325", "--data", DATA, "--view", "left"]),
    ("proposal 30 weight", ["--angle", "30", "--diameter", "*89", "--wall", "4.5", "--density", "7930",
                            "--data", DATA]),
    ("segments half even", ["--angle", "120", "--segments", "2.5", "--diameter", "508", "--radius", "762"]),
    ("top draws nothing", ["--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381",
                           "--view", "top"]),
    ("fabrication", ["--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381", "--view", "top",
                     "--fabrication", "--wall", "8"]),
    ("fabrication 24 divisions mean", ["--angle", "75", "--segments", "2", "--diameter", "610", "--radius", "900",
                                       "--fabrication", "--divisions", "24", "--wall", "10",
                                       "--template-diameter", "mean"]),
    ("templates", ["--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381", "--view", "top",
                   "--fabrication", "--template-pdf", "模板 图.pdf", "--template-svg", "模板 图.svg",
                   "--template-dxf", "模板 图.dxf"]),
    ("templates A3", ["--angle", "45", "--segments", "1", "--diameter", "159", "--radius", "240",
                      "--fabrication", "--paper", "A3", "--template-pdf", "a3 模板.pdf", "--template-svg",
                      "a3 模板.svg", "--template-dxf", "a3 模板.dxf"]),
    # Refused before anything is written, with the same words on both systems.
    ("template onto a folder", ["--angle", "90", "--segments", "2", "--diameter", "100", "--radius", "150",
                                "--fabrication", "--template-svg", DATA]),
    ("template onto a read-only file", ["--angle", "90", "--segments", "2", "--diameter", "100", "--radius", "150",
                                        "--fabrication", "--template-dxf", "只读 模板.dxf"]),
    ("bad field", ["--angle", "abc", "--segments", "2", "--diameter", "100", "--radius", "150"]),
    ("no diameter", ["--angle", "90"]),
    ("unknown option", ["--angle", "90", "--diameter", "100", "--bogus", "1"]),
    ("help", ["--help"]),
]


def template_files(args):
    return [args[i + 1] for i, a in enumerate(args[:-1])
            if a.startswith("--template-") and a != "--template-diameter" and args[i + 1] != DATA]


def numbers_close(a, b):
    if a == b:
        return True
    try:
        x, y = float(a), float(b)
    except ValueError:
        return False
    if abs(x - y) <= 1e-12 * max(abs(x), abs(y)):
        return True
    # Fixed decimals rounded from values a bit apart: one unit in the last place.
    if b"." in a and b"." in b and b"e" not in a.lower() and b"e" not in b.lower():
        places = len(a.split(b".")[1])
        if places == len(b.split(b".")[1]) and abs(x - y) <= 1.000001 * 10 ** -places:
            return True
    return False


def compare_text(linux, windows):
    """None when the same bytes, 'numbers' when only last-bit numbers differ, else a description."""
    if linux == windows:
        return None
    split_l, split_w = NUMBER.split(linux), NUMBER.split(windows)
    nums_l, nums_w = NUMBER.findall(linux), NUMBER.findall(windows)
    if split_l != split_w or len(nums_l) != len(nums_w):
        i = next((k for k in range(min(len(linux), len(windows))) if linux[k] != windows[k]),
                 min(len(linux), len(windows)))
        return "differ at byte %d: %r / %r" % (i, linux[max(0, i - 40):i + 40], windows[max(0, i - 40):i + 40])
    for a, b in zip(nums_l, nums_w):
        if not numbers_close(a, b):
            return "number %s / %s" % (a.decode(), b.decode())
    return "numbers"


def render(pdf, out_prefix):
    subprocess.run(["pdftoppm", "-r", "40", "-gray", pdf, out_prefix], check=True)
    folder = os.path.dirname(out_prefix)
    base = os.path.basename(out_prefix)
    pages = sorted(f for f in os.listdir(folder) if f.startswith(base + "-") and f.endswith(".pgm"))
    return [open(os.path.join(folder, p), "rb").read() for p in pages]


def compare_pdf(linux_pdf, windows_pdf, work):
    a, b = open(linux_pdf, "rb").read(), open(windows_pdf, "rb").read()
    if a == b:
        return None
    if shutil.which("pdftoppm") is None:
        return "PDF bytes differ and pdftoppm is missing"
    pages_l = render(linux_pdf, os.path.join(work, "render-linux"))
    pages_w = render(windows_pdf, os.path.join(work, "render-windows"))
    if len(pages_l) != len(pages_w) or not pages_l:
        return "PDF pages %d / %d" % (len(pages_l), len(pages_w))
    for n, (p, q) in enumerate(zip(pages_l, pages_w), 1):
        if len(p) != len(q):
            return "PDF page %d size differs" % n
        if any(abs(x - y) > 1 for x, y in zip(p, q)):
            return "PDF page %d renders differently" % n
    return "pdf pages"


def main():
    linux_exe, windows_exe, data_dir, work = map(os.path.abspath, sys.argv[1:5])
    shutil.rmtree(work, ignore_errors=True)
    folders = {}
    for side in ("linux", "windows"):
        folders[side] = os.path.join(work, side, FOLDER)
        os.makedirs(os.path.join(folders[side], DATA))
        for f in ("book.ini", "gbhd.ini", "zjxl.ini"):
            shutil.copy(os.path.join(data_dir, f), os.path.join(folders[side], DATA, f))
        # wine shows a file without write permission as FILE_ATTRIBUTE_READONLY.
        read_only = os.path.join(folders[side], "只读 模板.dxf")
        with open(read_only, "w") as f:
            f.write("kept\n")
        os.chmod(read_only, 0o444)
    failures, near = [], []
    for name, args in DESIGNS:
        runs = {
            "linux": subprocess.run([linux_exe] + args, cwd=folders["linux"], capture_output=True,
                                    env=dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")),
            "windows": subprocess.run(["wine", windows_exe] + args, cwd=folders["windows"], capture_output=True),
        }
        l, w = runs["linux"], runs["windows"]
        problems = []
        if l.returncode != w.returncode:
            problems.append("exit %d / %d" % (l.returncode, w.returncode))
        for stream in ("stdout", "stderr"):
            verdict = compare_text(getattr(l, stream), getattr(w, stream))
            if verdict == "numbers":
                near.append("%s: %s" % (name, stream))
            elif verdict:
                problems.append("%s %s" % (stream, verdict))
        for f in template_files(args):
            lf, wf = os.path.join(folders["linux"], f), os.path.join(folders["windows"], f)
            if not os.path.exists(lf) or not os.path.exists(wf):
                problems.append("%s written: %s / %s" % (f, os.path.exists(lf), os.path.exists(wf)))
                continue
            if f.endswith(".pdf"):
                verdict = compare_pdf(lf, wf, os.path.join(work, "linux"))
            else:
                verdict = compare_text(open(lf, "rb").read(), open(wf, "rb").read())
            if verdict in ("numbers", "pdf pages"):
                near.append("%s: %s (%s)" % (name, f, verdict))
            elif verdict:
                problems.append("%s %s" % (f, verdict))
        status = "FAIL" if problems else "ok"
        print("%-32s %s %s" % (name, status, "; ".join(problems)))
        if problems:
            failures.append(name)
    same = len(DESIGNS) - len(failures)
    print("%d of %d designs agree; %d outputs differ only in the last bit of numbers or in PDF bytes:"
          % (same, len(DESIGNS), len(near)))
    for n in near:
        print("   ", n)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
