#!/usr/bin/env python3
"""The tiled template PDF as a fitter prints it, judged by poppler and GEOS.

A large elbow (1422 mm on A4) and a small one: pdfinfo's page count is the cut
list, the tile map and exactly the tiles a piece meets (shapely decides that
from the SVG outlines, independently of the program); pdftotext finds on every
page the elbow's identification, on each tile page its row, column and the
names of the pieces on it, and on the map every tile. The 100 mm scale bar is
measured at 300 dpi with and without a printer correction, and a corrected
print still lands every outline point where the corrected scale puts it.
A measured bar out of range is refused and no file is written.

usage: template_print_check.py TESSIK_ELBOW
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pdf_reading as pr  # noqa: E402

DATE = "2026-01-02"
PIECE_NAMES = ["端节", "中节"]
check = pr.check


def page_texts(pdf, count):
    return [pr.page_text("poppler", pdf, i) for i in range(1, count + 1)]


def bar_pixels(pdf, page, workdir, dpi=300):
    pgm = pr.render("poppler", pdf, page, os.path.join(workdir, "bar"), dpi)
    page_height = 297 if pgm[1] > pgm[0] else 210
    return pr.longest_dark_run(pgm, page_height - 30, page_height - 8, dpi)


PT_MM = 25.4 / 72


def names_on_tiles(pdf, svg, tiles, tw, th, sheet_h, first_tile_page=3, scale=1.0):
    """Every piece named on a tile by its grey name lies there (the name's middle
    on the piece or on its outline where only a sliver reaches in), and no name
    stands on another piece. Judged from pdftotext's word boxes and GEOS."""
    from shapely.geometry import Point, Polygon
    outlines = pr.svg_outlines(svg)[0]
    pieces = [Polygon(o) for o in outlines]
    for i, (r, c, on) in enumerate(tiles):
        page = first_tile_page + i
        box = subprocess.run(["pdftotext", "-bbox", "-f", str(page), "-l", str(page), pdf, "-"],
                             capture_output=True, text=True, check=True).stdout
        x0, y1 = -5 + c * (tw - 10), sheet_h + 5 - r * (th - 10)
        named = set()
        for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>', box):
            word = m.group(5)
            if word not in PIECE_NAMES:
                continue
            px = (float(m.group(1)) + float(m.group(3))) / 2 * PT_MM
            py = (float(m.group(2)) + float(m.group(4))) / 2 * PT_MM
            if not (8 < px < 8 + tw * scale and 8 < py < 8 + th * scale):
                continue  # the footer's words
            at = Point(x0 + (px - 8) / scale, y1 - (py - 8) / scale)
            own = PIECE_NAMES.index(word)
            # Outlines are listed end piece first; a label ("端节 × 2") stands beside, on no piece.
            on_pieces = [k for k, poly in enumerate(pieces) if poly.contains(at)]
            if own < len(pieces) and pieces[own].distance(at) <= 1.0 and not any(k != own for k in on_pieces):
                named.add(own)
            elif on_pieces:
                check(False, "tile %d-%d: %s written on the %s" % (r + 1, c + 1, word, PIECE_NAMES[on_pieces[0]]))
        missing = [PIECE_NAMES[k] for k in on if k not in named]
        check(not missing, "tile %d-%d: %s not named on its piece" % (r + 1, c + 1, missing))


def check_large_elbow(exe, workdir):
    pdf, svg = os.path.join(workdir, "big.pdf"), os.path.join(workdir, "big.svg")
    args = [exe, "--angle", "90", "--segments", "5", "--diameter", "1422", "--radius", "1422", "--date", DATE,
            "--template-pdf", pdf, "--template-svg", svg]
    run = subprocess.run(args, capture_output=True, text=True, cwd=workdir)
    check(run.returncode == 0, "1422 mm: exit %d %s" % (run.returncode, run.stderr))
    outlines, sheet_w, sheet_h = pr.svg_outlines(svg)
    tiles, tw, th, pw, ph = pr.tiles_model(sheet_w, sheet_h, 210, 297, outlines)
    count = len(pr.pages(pdf))
    print("1422 mm on A4: %d pages, %d tiles meet a piece" % (count, len(tiles)))
    check(count == len(tiles) + 2, "1422 mm: %d pages for %d tiles, a cut list and a map" % (count, len(tiles)))
    check(count < 120, "1422 mm: still %d pages" % count)
    texts = page_texts(pdf, count)
    ident = "弯头：外径 1422 mm 弯角 90° 曲率半径 1422 mm 中节 5（共 7 节） " + DATE
    flat = [re.sub(r"\s+", " ", t) for t in texts]
    check(all(ident in t for t in flat), "identification missing on pages %s" %
          [i + 1 for i, t in enumerate(flat) if ident not in t])
    check("拼接图" in flat[1], "page 2 is not the tile map")
    for i, (r, c, on) in enumerate(tiles):
        name = "%d-%d" % (r + 1, c + 1)
        check("#%d %s" % (i + 1, name) in flat[1] or ("#%d" % (i + 1) in flat[1] and name in flat[1]),
              "map lacks tile #%d %s" % (i + 1, name))
        t = flat[i + 2]
        check("%d/%d 第 %d 行 第 %d 列" % (i + 1, len(tiles), r + 1, c + 1) in t,
              "tile %d: no row and column %s" % (i + 1, name))
        named = re.search(r"本页：(\S+)", t)
        wanted = "、".join(PIECE_NAMES[k] for k in on)
        check(named is not None and named.group(1) == wanted,
              "tile %s: pieces %r, GEOS says %r" % (name, named and named.group(1), wanted))
        for k in on:
            check(t.count(PIECE_NAMES[k]) >= 2, "tile %s: %s not named on the tile" % (name, PIECE_NAMES[k]))
    names_on_tiles(pdf, svg, tiles, tw, th, sheet_h)


def check_small_elbow_names(exe, workdir):
    """A small elbow seamed at the side: its end piece reaches some tiles only in the overlap band."""
    pdf, svg = os.path.join(workdir, "side.pdf"), os.path.join(workdir, "side.svg")
    run = subprocess.run([exe, "--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381",
                          "--seam", "side", "--kerf", "2", "--template-pdf", pdf, "--template-svg", svg],
                         capture_output=True, text=True, cwd=workdir)
    check(run.returncode == 0, "273 mm side seam: exit %d %s" % (run.returncode, run.stderr))
    outlines, sheet_w, sheet_h = pr.svg_outlines(svg)
    tiles, tw, th, pw, ph = pr.tiles_model(sheet_w, sheet_h, 210, 297, outlines)
    names_on_tiles(pdf, svg, tiles, tw, th, sheet_h)


def check_correction(exe, workdir):
    """The bar prints 100 mm after the correction a measured bar asks for."""
    svg = os.path.join(workdir, "small.svg")
    base = [exe, "--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381"]
    subprocess.run(base + ["--template-svg", svg], check=True, capture_output=True, cwd=workdir)
    for measured in (None, 98.0, 103.5):
        pdf = os.path.join(workdir, "c%s.pdf" % measured)
        extra = ["--printed-bar", repr(measured)] if measured else []
        run = subprocess.run(base + ["--template-pdf", pdf] + extra, capture_output=True, text=True, cwd=workdir)
        check(run.returncode == 0, "--printed-bar %s: exit %d %s" % (measured, run.returncode, run.stderr))
        scale = 100 / measured if measured else 1.0
        # The bar, and half a 0.25 mm end tick beyond each end.
        want = (100 * scale + 0.25) / 25.4 * 300
        for page in (1, 3):
            px = bar_pixels(pdf, page, workdir)
            print("printed bar %s, page %d: %d px at 300 dpi, %.1f wanted" % (measured, page, px, want))
            check(abs(px - want) <= 2, "--printed-bar %s page %d: bar %d px, want %.1f" % (measured, page, px, want))
        if measured:
            pr.check_true_scale(pdf, svg, "A4", workdir, scale)


def check_refusals(exe, workdir):
    for value in ("50", "130", "abc", "nan"):
        pdf = os.path.join(workdir, "refused.pdf")
        run = subprocess.run([exe, "--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381",
                              "--template-pdf", pdf, "--printed-bar", value], capture_output=True, text=True)
        check(run.returncode != 0 and "--printed-bar" in run.stderr and not os.path.exists(pdf),
              "--printed-bar %s: exit %d, %r" % (value, run.returncode, run.stderr))


def main():
    return pr.run_checks([check_large_elbow, check_small_elbow_names, check_correction, check_refusals])


if __name__ == "__main__":
    sys.exit(main())
