"""MTEXT strings as ezdxf's MTextParser reads them, the judge of tessik-cad's.

  ezdxf_mtext.py < LINES   each line a JSON string; one JSON list per line out:
                           ["w", CHAR, ACI, RGB, HEIGHT, WIDTH, TRACKING, OBLIQUE,
                            BOLD, ITALIC, UNDER, OVER, STRIKE, ALIGN, FAMILY,
                           [INDENT, LEFT, RIGHT, PALIGN, [[KIND, AT]...]]]
                           for each character of a word, ["p"] for a new
                           paragraph, ["c"] for a new column, ["t"] for a
                           tab, ["s", TOP, BOTTOM, KIND] for a stack.
                           RGB is 0xRRGGBB or -1; FAMILY "" for the default.

Exit status 77 when ezdxf is not installed.
"""
import json
import sys

try:
    from ezdxf.tools.text import MTextParser, TokenType
except ImportError:
    sys.exit(77)


def rounded(x):
    return round(float(x), 6)


for line in sys.stdin:
    text = json.loads(line)
    out = []
    for t in MTextParser(text):
        c = t.ctx
        if t.type == TokenType.NEW_PARAGRAPH:
            out.append(["p"])
        elif t.type == TokenType.NEW_COLUMN:
            out.append(["c"])
        elif t.type == TokenType.TABULATOR:
            out.append(["t"])
        elif t.type == TokenType.STACK:
            top, bottom, kind = t.data
            out.append(["s", top, bottom, kind])
        elif t.type == TokenType.WORD:
            rgb = -1 if c.rgb is None else (c.rgb[0] << 16 | c.rgb[1] << 8 | c.rgb[2])
            face = c.font_face
            p = c.paragraph
            tabs = [[t[0], rounded(t[1:])] if isinstance(t, str) else ["l", rounded(t)] for t in p.tab_stops]
            para = [rounded(p.indent), rounded(p.left), rounded(p.right), int(p.align), tabs]
            family = "" if face.family == "sans-serif" else face.family
            for ch in t.data:
                out.append(["w", ch, c.aci, rgb, rounded(c.cap_height), rounded(c.width_factor),
                            rounded(c.char_tracking_factor), rounded(c.oblique), face.weight == "bold",
                            face.style == "italic", bool(c.underline), bool(c.overline), bool(c.strike_through),
                            int(c.align), family, para])
    print(json.dumps(out, ensure_ascii=False))
