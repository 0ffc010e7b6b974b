"""What the template checks share: reading PDF pages with poppler and mupdf
(page sizes, text, grey rasters and what is inked where), the SVG's outlines
in sheet millimetres, the tiling a true-scale print must follow, and the
failures collected by check().
"""
import math
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

DPI = 200
PAPERS_MM = {"A4": (210, 297), "A3": (297, 420), "letter": (215.9, 279.4)}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL", message)


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


def longest_dark_run(pgm, top_mm, bottom_mm, dpi=DPI):
    """The longest run of dark pixels along a row between top_mm and bottom_mm from the page's top."""
    width, height, pixels = pgm
    best = 0
    for row in range(int(top_mm / 25.4 * dpi), min(height, int(bottom_mm / 25.4 * dpi))):
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


def page_text(tool, pdf, page):
    if tool == "poppler":
        args = ["pdftotext", "-f", str(page), "-l", str(page), pdf, "-"]
    else:
        args = ["mutool", "draw", "-q", "-F", "txt", "-o", "-", pdf, str(page)]
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


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


def run_checks(steps):
    """Runs each step(exe, workdir) in one temporary folder; the exit status."""
    exe = sys.argv[1]
    with tempfile.TemporaryDirectory() as workdir:
        for step in steps:
            step(exe, workdir)
    print("%d failures" % len(failures))
    return 1 if failures else 0
