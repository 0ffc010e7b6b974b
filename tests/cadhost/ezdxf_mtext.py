"""MTEXT strings as ezdxf's MTextParser reads them, the judge of tessik-cad's.

  ezdxf_mtext.py < LINES   each line a JSON string; one JSON list per line out:
                           ["w", CHAR, ACI, RGB, HEIGHT, WIDTH, TRACKING, OBLIQUE,
                            BOLD, ITALIC, UNDER, OVER, STRIKE, ALIGN, FAMILY]
                           for each character of a word, ["p"] for a new
                           paragraph, ["s", TOP, BOTTOM, KIND] for a stack.
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
        elif t.type == TokenType.STACK:
            top, bottom, kind = t.data
            out.append(["s", top, bottom, kind])
        elif t.type == TokenType.WORD:
            rgb = -1 if c.rgb is None else (c.rgb[0] << 16 | c.rgb[1] << 8 | c.rgb[2])
            face = c.font_face
            family = "" if face.family == "sans-serif" else face.family
            for ch in t.data:
                out.append(["w", ch, c.aci, rgb, rounded(c.cap_height), rounded(c.width_factor),
                            rounded(c.char_tracking_factor), rounded(c.oblique), face.weight == "bold",
                            face.style == "italic", bool(c.underline), bool(c.overline), bool(c.strike_through),
                            int(c.align), family])
    print(json.dumps(out, ensure_ascii=False))
