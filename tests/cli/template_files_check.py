#!/usr/bin/env python3
"""Checks the template files tessik-elbow writes with outside tools.

DXF: ezdxf's audit and contents, LibreCAD's dxf2pdf rendering it.
PDF: qpdf --check and mutool info (a sound file), pdfinfo (page count and
size of every page for each paper), pdffonts (the reader's Adobe-GB1 font,
not embedded), pdftotext and mutool's text (the note, the tile labels), and
pages rasterised by pdftoppm and by mutool at a known resolution: the 100 mm
scale bar is measured, the Chinese page label has ink, and the outlines of
the SVG template land on the tiles where a true-scale tiling puts them. SVG: parsed as XML, its size in mm, one closed outline per piece
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
PAPERS_MM = {"A4": (210, 297), "A3": (297, 420), "letter": (215.9, 279.4)}
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


def render(tool, pdf, page, base, dpi=DPI):
    """One page as an 8-bit grey raster, by poppler or by mupdf."""
    if tool == "poppler":
        subprocess.run(["pdftoppm", "-gray", "-r", str(dpi), "-f", str(page), "-l", str(page), "-singlefile",
                        pdf, base], check=True)
    else:
        subprocess.run(["mutool", "draw", "-q", "-r", str(dpi), "-c", "gray", "-o", base + ".pgm", pdf, str(page)],
                       check=True, capture_output=True)
    return read_pgm(base + ".pgm")


def dark(pgm, x_mm, y_mm, dpi, radius_px=0):
    width, height, pixels = pgm
    cx, cy = int(round(x_mm / 25.4 * dpi)), int(round(y_mm / 25.4 * dpi))
    for y in range(max(0, cy - radius_px), min(height, cy + radius_px + 1)):
        for x in range(max(0, cx - radius_px), min(width, cx + radius_px + 1)):
            if pixels[y * width + x] < 160:
                return True
    return False


def check_sound(pdf):
    """qpdf and mutool both read the file without a complaint."""
    q = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
    check(q.returncode == 0 and "WARNING" not in q.stdout + q.stderr, "qpdf --check: %s %s" % (q.stdout, q.stderr))
    m = subprocess.run(["mutool", "info", pdf], capture_output=True, text=True)
    complaints = [l for l in m.stderr.splitlines() if l.strip() and "ICC support" not in l]
    check(m.returncode == 0 and not complaints, "mutool info: %s" % complaints)


def tiles_model(sheet_w, sheet_h, paper_w, paper_h, outlines, scale=1.0):
    """The printed tiles: 8 mm margins, 24 mm footer, 10 mm overlap, the sheet
    padded by 5 mm, the page area shrunk by the scale correction; of the grid
    only the tiles that meet a piece (judged by GEOS), in reading order; the
    orientation with fewer such tiles (portrait on a tie).
    Returns (tiles [(row, column, [piece indexes])], tw, th, pw, ph)."""
    from shapely.geometry import Polygon, box
    polygons = [Polygon(o) for o in outlines]

    def count(length, tile):
        return 1 if length <= tile else math.ceil((length - 10) / (tile - 10))

    def layout(pw, ph):
        tw, th = (pw - 16) / scale, (ph - 16 - 24) / scale
        columns, rows = count(sheet_w + 10, tw), count(sheet_h + 10, th)
        tiles = []
        for r in range(rows):
            for c in range(columns):
                x0, y1 = -5 + c * (tw - 10), sheet_h + 5 - r * (th - 10)
                window = box(x0, y1 - th, x0 + tw, y1)
                on = [i for i, p in enumerate(polygons) if p.intersects(window)]
                if on:
                    tiles.append((r, c, on))
        return tiles, tw, th, pw, ph

    portrait, landscape = layout(paper_w, paper_h), layout(paper_h, paper_w)
    return landscape if len(landscape[0]) < len(portrait[0]) else portrait


def svg_outlines(svg):
    """The closed outlines of the SVG, in sheet mm (x right, y up), and the sheet's size."""
    root = ET.parse(svg).getroot()
    ns = "{http://www.w3.org/2000/svg}"
    height = float(root.get("height")[:-2])
    outlines = []
    for g in root.iter(ns + "g"):
        if g.get("id") != "CUT":
            continue
        for path in g.iter(ns + "path"):
            vs = [tuple(map(float, c.split(","))) for c in path.get("d").strip("MZ ").split()]
            outlines.append([(x - 10, height - 30 - y) for x, y in vs])
    return outlines, float(root.get("width")[:-2]) - 20, height - 40


def svg_outline_points(svg, step=4.0):
    """Points along the SVG outlines, in sheet mm (x right, y up)."""
    outlines, width, height = svg_outlines(svg)
    points = []
    for vs in outlines:
        for (x1, y1), (x2, y2) in zip(vs, vs[1:] + vs[:1]):
            n = max(1, int(math.hypot(x2 - x1, y2 - y1) / step))
            points += [(x1 + (x2 - x1) * k / n, y1 + (y2 - y1) * k / n) for k in range(n)]
    return points, width, height


def check_true_scale(pdf, svg, paper, workdir, scale=1.0, table_pages=1):
    """Every tile shows the sheet at `scale` (1:1 uncorrected): points of the
    SVG's outlines are inked where the tiling puts them, and not 3 mm beside,
    in both renderers. The tiles follow the cut list and the tile map."""
    points, sheet_w, sheet_h = svg_outline_points(svg)
    tiles, tw, th, pw, ph = tiles_model(sheet_w, sheet_h, *PAPERS_MM[paper], svg_outlines(svg)[0], scale)
    count = len(pages(pdf))
    check(count == len(tiles) + table_pages + 1,
          "%s: %d pages, the tiling gives %d tiles" % (paper, count, len(tiles)))
    dpi = 100
    for tool in ("poppler", "mupdf"):
        hits = misses = beside = 0
        for index, (r, c, _) in enumerate(tiles):
            x0, y1 = -5 + c * (tw - 10), sheet_h + 5 - r * (th - 10)
            inside = [(8 + (x - x0) * scale, 8 + (y1 - y) * scale) for x, y in points
                      if x0 + 3 < x < x0 + tw - 3 and y1 - th + 3 < y < y1 - 3]
            if not inside:
                continue
            pgm = render(tool, pdf, index + table_pages + 2, os.path.join(workdir, "tile"), dpi)
            for px, py in inside:
                if dark(pgm, px, py, dpi, 1):
                    hits += 1
                else:
                    misses += 1
                beside += dark(pgm, px + 3, py + 3, dpi, 0)
        total = hits + misses
        print("%s %s: %d of %d outline points inked in place, %d inked 3 mm beside" % (tool, paper, hits, total, beside))
        check(total > 100 and misses <= total // 50, "%s %s: %d of %d outline points missing" % (tool, paper, misses, total))
        check(beside < total // 4, "%s %s: %d of %d points inked 3 mm beside the outline" % (tool, paper, beside, total))


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
