#!/usr/bin/env python3
"""Checks the template files tessik-elbow writes with outside tools.

DXF: ezdxf's audit and contents, LibreCAD's dxf2pdf rendering it.
PDF: pdfinfo (page count and size of every page for each paper), pdffonts
(the CJK font embedded), pdftotext (the note, the tile labels), and a page
rasterised by pdftoppm at a known resolution on which the 100 mm scale bar is
measured. SVG: parsed as XML, its size in mm, one closed outline per piece
whose extent is the template width.

usage: template_files_check.py TESSIK_ELBOW
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

DPI = 200
PAPERS = {"A4": (595.28, 841.89), "A3": (841.89, 1190.55), "letter": (612, 792)}
NOTE = "打印时选择\"实际大小\"（100%），打印后用比例尺核对。"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL", message)


def elbow(exe, extra, workdir):
    args = [exe, "--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381", "--view", "top"] + extra
    return subprocess.run(args, capture_output=True, text=True, cwd=workdir)


def pages(pdf):
    info = subprocess.run(["pdfinfo", "-f", "1", "-l", "999", pdf], capture_output=True, text=True).stdout
    sizes = [tuple(map(float, m)) for m in re.findall(r"Page +\d+ size: +([\d.]+) x ([\d.]+) pts", info)]
    return sizes


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(maxsplit=4)
    assert parts[0] == b"P5", parts[0]
    width, height = int(parts[1]), int(parts[2])
    pixels = parts[4][:width * height] if len(parts[4]) >= width * height else parts[4]
    return width, height, pixels


def longest_dark_run(pgm, top_mm, bottom_mm):
    width, height, pixels = pgm
    best = 0
    for row in range(int(top_mm / 25.4 * DPI), min(height, int(bottom_mm / 25.4 * DPI))):
        run = 0
        for x in range(width):
            if pixels[row * width + x] < 128:
                run += 1
                best = max(best, run)
            else:
                run = 0
    return best


def check_pdf(exe, workdir):
    for paper, (w, h) in PAPERS.items():
        pdf = os.path.join(workdir, "t_%s.pdf" % paper)
        run = elbow(exe, ["--template-pdf", pdf, "--paper", paper], workdir)
        check(run.returncode == 0, "%s: exit %d %s" % (paper, run.returncode, run.stderr))
        sizes = pages(pdf)
        check(len(sizes) >= 2, "%s: %d pages" % (paper, len(sizes)))
        for i, (pw, ph) in enumerate(sizes):
            ok = any(math.isclose(pw, a, abs_tol=1) and math.isclose(ph, b, abs_tol=1) for a, b in ((w, h), (h, w)))
            check(ok, "%s page %d is %gx%g pts" % (paper, i + 1, pw, ph))
        text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
        tiles = len(sizes) - 1  # the cut list fits one page at 16 divisions
        check(text.count(NOTE) == len(sizes), "%s: note on %d of %d pages" % (paper, text.count(NOTE), len(sizes)))
        for i in range(1, tiles + 1):
            check("%d/%d" % (i, tiles) in text, "%s: no tile label %d/%d" % (paper, i, tiles))
        check("中节" in text and "205.9" in text, "%s: cut list missing" % paper)
    fonts = subprocess.run(["pdffonts", os.path.join(workdir, "t_A4.pdf")], capture_output=True, text=True).stdout
    check(re.search(r"WenQuanYi\S*\s+CID TrueType\s+Identity-H\s+yes", fonts) is not None, "font not embedded:\n" + fonts)

    # The scale bar of the first tile page of the A4 file, measured on a raster.
    base = os.path.join(workdir, "page")
    subprocess.run(["pdftoppm", "-gray", "-r", str(DPI), "-f", "2", "-l", "2", "-singlefile",
                    os.path.join(workdir, "t_A4.pdf"), base], check=True)
    pgm = read_pgm(base + ".pgm")
    portrait = pgm[1] > pgm[0]
    page_height = 297 if portrait else 210
    run = longest_dark_run(pgm, page_height - 8 - 22, page_height - 8)
    length = run / DPI * 25.4
    print("scale bar: %d px at %d dpi = %.2f mm" % (run, DPI, length))
    check(abs(length - 100) <= 0.3, "scale bar measures %.2f mm" % length)


def check_svg(exe, workdir):
    svg = os.path.join(workdir, "t.svg")
    run = elbow(exe, ["--template-svg", svg], workdir)
    check(run.returncode == 0, "svg: exit %d %s" % (run.returncode, run.stderr))
    root = ET.parse(svg).getroot()
    ns = "{http://www.w3.org/2000/svg}"
    check(root.get("width").endswith("mm") and root.get("height").endswith("mm"), "svg size not in mm")
    view = list(map(float, root.get("viewBox").split()))
    check(math.isclose(view[2], float(root.get("width")[:-2])), "svg viewBox is not one unit per mm")
    outlines = [p.get("d") for g in root.iter(ns + "g") if g.get("id") == "CUT" for p in g.iter(ns + "path")]
    check(len(outlines) == 2, "svg has %d outlines" % len(outlines))
    for d in outlines:
        check(d.strip().endswith("Z"), "svg outline not closed")
        xs = [float(c.split(",")[0]) for c in d.strip("MZ ").split()]
        check(math.isclose(max(xs) - min(xs), math.pi * 273, abs_tol=1e-3), "svg outline width %g" % (max(xs) - min(xs)))


def check_dxf(exe, workdir):
    dxf = os.path.join(workdir, "t.dxf")
    run = elbow(exe, ["--template-dxf", dxf], workdir)
    check(run.returncode == 0, "dxf: exit %d %s" % (run.returncode, run.stderr))
    audit = subprocess.run(["/usr/bin/python3", "-c", r"""
import math, sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
a = doc.audit()
msp = doc.modelspace()
cut = msp.query('*[layer=="CUT"]')
out = [len(a.errors), len(a.fixes), doc.dxfversion, doc.header.get("$INSUNITS"), len(cut),
       all(e.dxftype() == "LWPOLYLINE" and e.closed for e in cut),
       len(msp.query('LINE[layer=="MARK"]')), [t.dxf.text for t in msp.query('TEXT[layer=="TEXT"]')]]
if not all(doc.layers.has_entry(name) for name in ("CUT", "MARK", "TEXT")):
    sys.exit("a template layer is missing from the LAYER table")
for e in cut:
    pts = [p[:2] for p in e.get_points("xy")]
    out.append(round(max(p[0] for p in pts) - min(p[0] for p in pts), 6))
    out.append(all(pts[i] != pts[(i + 1) % len(pts)] for i in range(len(pts))))
print(repr(out))
""", dxf], capture_output=True, text=True)
    check(audit.returncode == 0, "ezdxf: " + audit.stderr)
    if audit.returncode == 0:
        got = eval(audit.stdout)
        width = round(math.pi * 273, 6)
        check(got[:7] == [0, 0, "AC1015", 4, 2, True, 9], "dxf audit/contents: %r" % got[:7])
        check(len(got[7]) == 2 and got[7][0].startswith("端节 × 2") and got[7][1].startswith("中节 × 3"),
              "dxf labels: %r" % got[7])
        check(got[8:] == [width, True, width, True], "dxf outlines: %r" % got[8:])
    librecad = shutil.which("librecad")
    if librecad:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        pdf = os.path.join(workdir, "t.pdf")  # dxf2pdf names it after the drawing
        lc = subprocess.run([librecad, "dxf2pdf", "-o", pdf, dxf], capture_output=True, text=True, env=env,
                            cwd=workdir, timeout=120)
        check(lc.returncode == 0 and os.path.exists(pdf), "librecad dxf2pdf failed: %s" % lc.stderr[-300:])
        if os.path.exists(pdf):
            base = os.path.join(workdir, "lc")
            subprocess.run(["pdftoppm", "-gray", "-r", "50", "-singlefile", pdf, base], check=True)
            width, height, pixels = read_pgm(base + ".pgm")
            inked = sum(1 for v in pixels if v < 128)
            print("LibreCAD rendering: %d of %d pixels inked" % (inked, width * height))
            check(inked > 200, "LibreCAD rendered an empty page")


def main():
    exe = sys.argv[1]
    with tempfile.TemporaryDirectory() as workdir:
        check_pdf(exe, workdir)
        check_svg(exe, workdir)
        check_dxf(exe, workdir)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
