#!/usr/bin/env python3
"""Checks the template files tessik-elbow writes with outside tools.

DXF: ezdxf's audit and contents, LibreCAD's dxf2pdf rendering it.
PDF: the code checks on the first page as pdftotext and mutool read them
against the JSON's; qpdf --check and mutool info (a sound file), pdfinfo (page count and
size of every page for each paper), pdffonts (the reader's Adobe-GB1 font,
not embedded), pdftotext and mutool's text (the note, the tile labels), and
pages rasterised by pdftoppm and by mutool at a known resolution: the 100 mm
scale bar is measured, the Chinese page label has ink, and the outlines of
the SVG template land on the tiles where a true-scale tiling puts them. SVG: parsed as XML, its size in mm, one closed outline per piece
whose extent is the template width.

usage: template_files_check.py TESSIK_ELBOW
"""
import json
import math
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pdf_reading import (DPI, check, check_true_scale, dark, longest_dark_run, page_text,  # noqa: E402
                         pages, read_pgm, render, run_checks)

PAPERS = {"A4": (595.28, 841.89), "A3": (841.89, 1190.55), "letter": (612, 792)}
NOTE = "打印时选择\"实际大小\"（100%），打印后用比例尺核对。"


def elbow(exe, extra, workdir):
    args = [exe, "--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381", "--view", "top"] + extra
    return subprocess.run(args, capture_output=True, text=True, cwd=workdir)


def check_sound(pdf):
    """qpdf and mutool both read the file without a complaint."""
    q = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
    check(q.returncode == 0 and "WARNING" not in q.stdout + q.stderr, "qpdf --check: %s %s" % (q.stdout, q.stderr))
    m = subprocess.run(["mutool", "info", pdf], capture_output=True, text=True)
    complaints = [l for l in m.stderr.splitlines() if l.strip() and "ICC support" not in l]
    check(m.returncode == 0 and not complaints, "mutool info: %s" % complaints)


def check_cjk_ink(pdf, workdir):
    """The page label 下料表 on the first page (4 mm high, right of the scale
    bar) has ink in each of its three character cells, and the cells differ
    (not three boxes for missing glyphs)."""
    for tool in ("poppler", "mupdf"):
        pgm = render(tool, pdf, 1, os.path.join(workdir, "cjk"), DPI)
        width, _, pixels = pgm
        portrait = pgm[1] > pgm[0]
        bar_y = (297 if portrait else 210) - 8 - 12
        cells = []
        for k in range(3):
            x_lo, x_hi = int((112 + 4 * k) / 25.4 * DPI), int((112 + 4 * k + 4) / 25.4 * DPI)
            y_lo, y_hi = int((bar_y - 4) / 25.4 * DPI), int((bar_y + 1) / 25.4 * DPI)
            cells.append(tuple(pixels[y * width + x] < 128 for y in range(y_lo, y_hi) for x in range(x_lo, x_hi)))
        inked = [sum(c) for c in cells]
        print("%s: ink of the three characters of the page label: %s" % (tool, inked))
        check(all(n > 20 for n in inked), "%s: a Chinese character of the page label has no ink %s" % (tool, inked))
        check(len(set(cells)) == 3, "%s: the page label's characters look alike" % tool)


def check_table_text_inside(exe, workdir):
    """On the cut-list page every word, as poppler places it, stays inside the
    8 mm margins, for an elbow whose facts make a line longer than A4 is wide."""
    pdf = os.path.join(workdir, "long_lines.pdf")
    run = subprocess.run([exe, "--angle", "90", "--segments", "0", "--diameter", "273", "--radius", "200",
                          "--wall", "9", "--template-pdf", pdf], capture_output=True, text=True)
    check(run.returncode == 0, "long lines: exit %d %s" % (run.returncode, run.stderr))
    html = subprocess.run(["pdftotext", "-bbox", "-f", "1", "-l", "1", pdf, "-"], capture_output=True,
                          text=True).stdout
    page_width = float(re.search(r'<page width="([\d.]+)"', html).group(1))
    words = [(float(a), float(b), w) for a, b, w in re.findall(r'xMin="([\d.]+)" yMin="[\d.]+" xMax="([\d.]+)"'
                                                                 r' yMax="[\d.]+">([^<]*)<', html)]
    margin = 8 / 25.4 * 72
    outside = [w for a, b, w in words if a < margin - 0.5 or b > page_width - margin + 0.5]
    check(len(words) > 50 and not outside, "words outside the margins: %s" % outside)
    check("割缝）" in "".join(w for _, _, w in words), "the wrapped fact line lost its end")


def check_pdf(exe, workdir):
    svg = os.path.join(workdir, "sheet.svg")
    run = elbow(exe, ["--template-svg", svg], workdir)
    check(run.returncode == 0, "svg for the pdf: exit %d %s" % (run.returncode, run.stderr))
    for paper, (w, h) in PAPERS.items():
        pdf = os.path.join(workdir, "t_%s.pdf" % paper)
        run = elbow(exe, ["--template-pdf", pdf, "--paper", paper], workdir)
        check(run.returncode == 0 and run.stderr == "", "%s: exit %d %s" % (paper, run.returncode, run.stderr))
        check_sound(pdf)
        sizes = pages(pdf)
        check(len(sizes) >= 2, "%s: %d pages" % (paper, len(sizes)))
        for i, (pw, ph) in enumerate(sizes):
            ok = any(math.isclose(pw, a, abs_tol=1) and math.isclose(ph, b, abs_tol=1) for a, b in ((w, h), (h, w)))
            check(ok, "%s page %d is %gx%g pts" % (paper, i + 1, pw, ph))
        tiles = len(sizes) - 2  # the cut list fits one page at 16 divisions; then the tile map
        texts = {
            "pdftotext": subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout,
            "mutool": subprocess.run(["mutool", "draw", "-q", "-F", "txt", "-o", "-", pdf], capture_output=True,
                                     text=True).stdout,
        }
        for tool, text in texts.items():
            check(text.count(NOTE) == len(sizes),
                  "%s %s: note on %d of %d pages" % (tool, paper, text.count(NOTE), len(sizes)))
            for i in range(1, tiles + 1):
                check("%d/%d" % (i, tiles) in text, "%s %s: no tile label %d/%d" % (tool, paper, i, tiles))
            check("中节" in text and "205.9" in text, "%s %s: cut list missing" % (tool, paper))
        check_true_scale(pdf, svg, paper, workdir)
    fonts = subprocess.run(["pdffonts", os.path.join(workdir, "t_A4.pdf")], capture_output=True, text=True).stdout
    check(re.search(r"STSong-Light\s+CID Type 0\s+UniGB-UCS2-H\s+no", fonts) is not None,
          "not the reader's own Chinese font:\n" + fonts)
    check_cjk_ink(os.path.join(workdir, "t_A4.pdf"), workdir)
    check_table_text_inside(exe, workdir)

    # The scale bar of the first tile page of the A4 file, measured on a raster.
    for tool in ("poppler", "mupdf"):
        pgm = render(tool, os.path.join(workdir, "t_A4.pdf"), 3, os.path.join(workdir, "page"))
        portrait = pgm[1] > pgm[0]
        page_height = 297 if portrait else 210
        run = longest_dark_run(pgm, page_height - 8 - 22, page_height - 8)
        length = run / DPI * 25.4
        print("%s scale bar: %d px at %d dpi = %.2f mm" % (tool, run, DPI, length))
        check(abs(length - 100) <= 0.3, "%s: scale bar measures %.2f mm" % (tool, length))


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


DXF_JUDGE = r"""
import json, math, sys, ezdxf
from ezdxf import bbox
doc = ezdxf.readfile(sys.argv[1])
a = doc.audit()
msp = doc.modelspace()
cut = msp.query('*[layer=="CUT"]')
out = {"errors": len(a.errors), "fixes": len(a.fixes), "version": doc.dxfversion,
       "units": doc.header.get("$INSUNITS"), "cut": len(cut),
       "closed": all(e.dxftype() == "LWPOLYLINE" and e.closed for e in cut),
       "layers": all(doc.layers.has_entry(n) for n in ("CUT", "MARK", "BEVEL", "TEXT")),
       "texts": [t.dxf.text for t in msp.query('TEXT[layer=="TEXT"]')],
       "outlines": [[p[:2] for p in e.get_points("xy")] for e in cut],
       "marks": [[list(e.dxf.start)[:2], list(e.dxf.end)[:2]] for e in msp.query('LINE[layer=="MARK"]')],
       "bevels": len(msp.query('LWPOLYLINE[layer=="BEVEL"]')),
       "extmin": list(doc.header["$EXTMIN"])[:2], "extmax": list(doc.header["$EXTMAX"])[:2]}
geometry = bbox.extents(msp.query('LWPOLYLINE LINE'))
everything = bbox.extents(msp)
out["geometry"] = [list(geometry.extmin)[:2], list(geometry.extmax)[:2]]
out["everything"] = [list(everything.extmin)[:2], list(everything.extmax)[:2]]
out["textHeight"] = max(t.dxf.height for t in msp.query("TEXT"))
print(json.dumps(out))
"""


def shoelace(points):
    return abs(sum(x1 * y2 - x2 * y1 for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]))) / 2


def inside(points, x, y):
    result = False
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            result = not result
    return result


def edge_distance(points, x, y):
    best = math.inf
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
        best = min(best, math.hypot(x1 + t * dx - x, y1 + t * dy - y))
    return best


# An elbow of 90 degrees in three middle pieces: theta = 11.25, R 381, D 273.
DXF_CASES = [
    # name, options, template diameter, seam angle, kerf, plate
    ("pipe", [], 273, 0.0, 0.0, False),
    ("plate, side seam, kerf", ["--wall", "9.27", "--template-diameter", "plate", "--seam", "side", "--kerf", "3"],
     273 - 9.27, math.pi / 2, 3.0, True),
]


def check_dxf_case(exe, workdir, name, options, dt, seam, kerf, plate):
    """ezdxf's audit and contents against a model of the development: the area of
    every closed outline, marks inside the outlines and clear of the cut, the
    station lines where the ordinate table stands, the header's extents ezdxf's."""
    dxf = os.path.join(workdir, "t.dxf")
    run = elbow(exe, ["--template-dxf", dxf] + options, workdir)
    check(run.returncode == 0, "dxf %s: exit %d %s" % (name, run.returncode, run.stderr))
    audit = subprocess.run(["/usr/bin/python3", "-c", DXF_JUDGE, dxf], capture_output=True, text=True)
    check(audit.returncode == 0, "ezdxf: " + audit.stderr)
    if audit.returncode != 0:
        return dxf
    got = json.loads(audit.stdout)
    check([got[k] for k in ("errors", "fixes", "version", "units", "cut", "closed", "layers")] ==
          [0, 0, "AC1015", 4, 2, True, True], "dxf %s audit/contents: %r" % (name, got))
    texts = got["texts"]
    check(any(t.startswith("端节 × 2") for t in texts) and any(t.startswith("中节 × 3") for t in texts),
          "dxf %s labels: %r" % (name, texts))
    check("端节（第 1、5 节）" in texts and "中节（第 2 至 4 节）" in texts, "dxf %s piece names: %r" % (name, texts))
    check(got["bevels"] == (6 if plate else 0), "dxf %s: %d surface lines" % (name, got["bevels"]))
    theta = math.radians(11.25)
    w = math.pi * dt
    along, square = kerf / 2 / math.cos(theta), kerf / 2
    side = square if plate else 0
    lengths = {"end": 381 * math.tan(theta) + along + square, "middle": 2 * (381 * math.tan(theta) + along)}
    outlines = sorted(got["outlines"], key=lambda o: min(p[1] for p in o))  # the end piece lies lowest
    for kind, outline in zip(("end", "middle"), outlines):
        # The mean length along the pipe times the width: cos phi averages out round the pipe.
        area = (w + 2 * side) * lengths[kind]
        check(math.isclose(shoelace(outline), area, rel_tol=1e-6),
              "dxf %s %s area %.4f, model %.4f" % (name, kind, shoelace(outline), area))
        x0 = min(p[0] for p in outline) + side
        marks = [m for m in got["marks"] if all(inside(outline, *p) for p in m)]
        for m in marks:
            for k in range(11):
                px, py = (m[0][i] + (m[1][i] - m[0][i]) * k / 10 for i in (0, 1))
                check(edge_distance(outline, px, py) > 0.9, "dxf %s: a mark at %.2f,%.2f touches the cut" % (name, px, py))
        # Stations every 1/16 of a turn from the extrados and the quarters, seen from the seam.
        want = sorted({round(dt / 2 * ((2 * math.pi * k / 16 - seam) % (2 * math.pi)), 6) for k in range(16)} - {0.0})
        across = sorted(round(m[0][0] - x0, 6) for m in marks if m[0][0] == m[1][0])
        check(across == want, "dxf %s %s: lines across at %r, stations at %r" % (name, kind, across, want))
    # The header bounds what is drawn: the lines exactly, the texts within a text height.
    (gx0, gy0), (gx1, gy1) = got["geometry"]
    (ex0, ey0), (ex1, ey1) = got["everything"]
    (hx0, hy0), (hx1, hy1) = got["extmin"], got["extmax"]
    h = got["textHeight"]
    check(hx0 <= gx0 + 1e-6 and hy0 <= gy0 + 1e-6 and hx1 >= gx1 - 1e-6 and hy1 >= gy1 - 1e-6,
          "dxf %s: header extents %r-%r miss the outlines %r" % (name, got["extmin"], got["extmax"], got["geometry"]))
    check(all(abs(a - b) <= h for a, b in zip((hx0, hy0, hx1, hy1), (ex0, ey0, ex1, ey1))),
          "dxf %s: header extents %r-%r, ezdxf's %r" % (name, got["extmin"], got["extmax"], got["everything"]))
    return dxf


def check_pdf_code_check(exe, workdir):
    """The first page states the code checks as the JSON has them: the verdict,
    the governing equation and the numbers put in, read back by poppler and mupdf."""
    data = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")
    pdf = os.path.join(workdir, "check.pdf")
    for radius, passes in (("381", True), ("150", False)):
        args = [exe, "--angle", "90", "--segments", "3", "--diameter", "273", "--radius", radius, "--wall", "9.27",
                "--view", "top", "--data", data, "--fabrication", "--pressure", "2", "--temperature", "200",
                "--template-pdf", pdf]
        run = subprocess.run(args, capture_output=True, text=True, cwd=workdir)
        check(run.returncode == 0, "code-check pdf: exit %d %s" % (run.returncode, run.stderr))
        if run.returncode != 0:
            continue
        checked = json.loads(run.stdout)["fabrication"]["codeCheck"]
        pressure = checked["pressure"]
        check(checked["pass"] == passes, "codeCheck pass %r for R %s" % (checked["pass"], radius))
        wanted = ["规范校核", "R1 = %.1f mm" % float(radius), "A/tanθ + D/2 = %.1f mm" % checked["minimumRadius"]["minimum"],
                  "P = 2 MPa", "S = %.1f MPa" % pressure["S"], "Pm = %.3f MPa" % pressure["pm"],
                  "式 (%s) 起控" % pressure["governing"], "结论：" + ("满足" if passes else "不满足")]
        for tool in ("poppler", "mupdf"):
            text = re.sub(r"[ \t]+", " ", page_text(tool, pdf, 1))  # mupdf spaces out after some glyphs
            missing = [w for w in wanted if w not in text]
            check(not missing, "%s: page 1 lacks %r (R %s)" % (tool, missing, radius))
            check(("结论：不满足" in text) != passes, "%s: page 1 verdict wrong for R %s" % (tool, radius))


def check_dxf(exe, workdir):
    for case in DXF_CASES:
        dxf = check_dxf_case(exe, workdir, *case)
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
    return run_checks([check_pdf, check_svg, check_dxf, check_pdf_code_check])


if __name__ == "__main__":
    sys.exit(main())
