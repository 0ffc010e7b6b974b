#!/usr/bin/env python3
"""Checks tessik-elbow's proposals and weight against an independent model.

Each case writes a fresh book.ini with random values (and random layout:
line breaks, blanks, a stray word, now and then a damaged cell), draws a diameter (often right at a range
edge), an angle, and sometimes a given radius or segment count, a wall
thickness and a density text, runs the program and compares the proposal
texts, the out-of-range message and the weight text with the model below.
The seed is printed; ELBOW_MODEL_SEED=<seed> replays a run.

usage: standards_model.py TESSIK_ELBOW [COUNT]
"""
import json
import math
import os
import random
import struct
import subprocess
import sys
import tempfile

PI = 3.1415926
BLANK = "(空白)"
MESSAGE = "此范围内尚未给出标准，请自行输入！"
RANGES = [(80, 220), (220.00001, 450), (450.00001, 800), (800.00001, 1400),
          (1400.00001, 3000), (3000.00001, 4400)]
ROWS = {90: 1, 60: 2, 45: 3, 30: 4}
EDGES = [79.9, 80, 219, 220, 220.000005, 220.00001, 450, 450.000005, 450.00001, 800, 800.000001,
         800.00001, 1400, 1400.00001, 3000, 3000.000005, 3000.00001, 4400, 4400.5, 5000, 50]


def single(x):
    """Rounds to IEEE single precision; None when out of its range."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return None


def general(value, digits):
    """Decimal text with at most `digits` significant digits."""
    if value == 0:
        return "0"
    mant, exp = ("%.*e" % (digits - 1, abs(value))).split("e")
    exp = int(exp)
    mant = mant.replace(".", "").rstrip("0") or "0"
    sign = "-" if value < 0 else ""
    if exp >= digits or exp < -5:
        body = mant[0] + ("." + mant[1:] if len(mant) > 1 else "")
        return "%s%sE%s%02d" % (sign, body, "-" if exp < 0 else "+", abs(exp))
    if exp < 0:
        return sign + "0." + "0" * (-exp - 1) + mant
    whole = mant[:exp + 1].ljust(exp + 1, "0")
    frac = mant[exp + 1:]
    return sign + whole + ("." + frac if frac else "")


def number(text):
    try:
        t = text.strip(" ")
        if not t or any(c not in "0123456789.+-eE" for c in t):
            return None
        return float(t)
    except ValueError:
        return None


def lookup(book, diameter_text, angle_text):
    """The proposal: (radius text, segments text, out of range, radius too long to write)."""
    d = number(diameter_text[1:] if diameter_text.startswith("*") else diameter_text)
    ab = number(angle_text)
    if d is None or ab is None:
        return None
    column = next((i for i, (lo, hi) in enumerate(RANGES) if lo <= d <= hi), None)
    out = column is None
    column = 5 if out else column
    row = ROWS.get(ab)
    count = book[row][column] if row else None
    # A damaged cell proposes nothing: no radius at or below 0, no count the
    # segment field cannot hold.
    sound_count = count is not None and 0 <= count <= 32767 and count == int(count)
    segments = general(count, 15) if sound_count else BLANK
    # Nor a radius the field cannot write as a length: infinite, or only with
    # an exponent; the program says why.
    radius = book[0][column] * d
    text = general(radius, 15) if radius > 0 and math.isfinite(radius) else None
    too_long = radius > 0 and (text is None or "E+" in text)
    return (text if text and not too_long else BLANK), segments, out, too_long


def weight(angle, segments_text, diameter_text, radius_text, wall_text, density_text):
    """The weight field's text, or None when the design fields are unusable."""
    ab = number(angle)
    n = number(segments_text)
    d = number(diameter_text[1:] if diameter_text.startswith("*") else diameter_text)
    r = number(radius_text)
    if None in (ab, n, d, r):
        return None
    n = round(n)  # Python rounds half to even, as the segment field is read
    b = ab / (n + 1)
    x = b / 2 / 180 * PI
    c1 = math.sin(x) * (r - d / 2) * 2
    c2 = math.sin(x) * (d / 2 + r) * 2
    cz, bh = number(density_text), number(wall_text)
    cz = single(cz) if cz is not None else None
    bh = single(bh) if bh is not None else None
    if cz is None or bh is None:
        return BLANK
    w = single((d - bh) * PI * bh * (c1 + c2) / 2 * (n + 1) * cz / 1e9)
    return BLANK if w is None or math.isinf(w) else general(w, 7)


def book_text(rng, values):
    words = ["%r" % v if rng.random() < 0.5 else "%g" % v for v in values]
    if rng.random() < 0.3:
        words.insert(rng.randrange(len(words)), "半径")
    layout = rng.choice(["rows", "one", "column"])
    if layout == "rows":
        lines = [",".join(words[i:i + 6]) for i in range(0, len(words), 6)]
    elif layout == "one":
        lines = [" , ".join(words)]
    else:
        lines = words
    return "\r\n".join(lines) + "\r\n"


def main():
    exe = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    seed = int(os.environ.get("ELBOW_MODEL_SEED", random.randrange(1 << 30)))
    rng = random.Random(seed)
    print("seed", seed)
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for case in range(count):
            factors = [round(rng.uniform(0.5, 3), rng.choice([0, 1, 2, 3])) for _ in range(6)]
            counts = [rng.randint(0, 8) for _ in range(24)]
            values = factors + counts
            if rng.random() < 0.15:  # a damaged cell
                values[rng.randrange(30)] = rng.choice([-1, 0, -2.5, 1.5, 40000])
            if rng.random() < 0.1:  # factors whose radius is too long to write, or nearly
                values[:6] = [rng.choice([1e300, 1e308, 4e12, 3e11, 2.27e11]) for _ in range(6)]
            book = [values[i * 6:(i + 1) * 6] for i in range(5)]
            with open(os.path.join(folder, "book.ini"), "w", encoding="utf-8", newline="") as f:
                f.write(book_text(rng, values))

            d = rng.choice(EDGES) if rng.random() < 0.4 else round(rng.uniform(60, 4600), rng.choice([0, 1, 2, 5]))
            diameter = rng.choice(["", "*"]) + repr(d)
            angle = rng.choice(["90", "60", "45", "30", "90.0", "75", "45.5", "4.5E1"])
            args = [exe, "--angle", angle, "--diameter", diameter, "--data", folder, "--view", "top"]
            given_radius = repr(round(d * rng.uniform(0.6, 3), 2)) if rng.random() < 0.2 else None
            given_segments = str(rng.randint(0, 6)) if rng.random() < 0.2 else None
            if given_radius:
                args += ["--radius", given_radius]
            if given_segments:
                args += ["--segments", given_segments]
            wall = rng.choice(["10", "3.2", "22.2", "0.75", repr(round(rng.uniform(0.5, 60), 3)), "(空白)", "5000"])
            density = rng.choice([None, "7850", "7.93E3", "2700", "", "钢"])
            args += ["--wall", wall]
            if density is not None:
                args += ["--density", density]

            run = subprocess.run(args, capture_output=True, text=True)
            proposal = lookup(book, diameter, angle) if not (given_radius and given_segments) else None
            radius_text = given_radius or (proposal[0] if proposal else BLANK)
            segments_text = given_segments or (proposal[1] if proposal else BLANK)
            expected_weight = weight(angle, segments_text, diameter, radius_text, wall,
                                     "7850" if density is None else density)
            problem = None
            said = MESSAGE in run.stderr
            if proposal and said != proposal[2]:
                problem = "out-of-range message %r, expected %r" % (said, proposal[2])
            elif proposal and ("得不到可用的弯曲半径" in run.stderr) != proposal[3]:
                problem = "radius told %r, expected %r" % (not proposal[3], proposal[3])
            elif expected_weight is None:
                if run.returncode != 2:
                    problem = "exit %d, expected 2 (unusable fields)" % run.returncode
            elif run.returncode != 0:
                problem = "exit %d: %s" % (run.returncode, run.stderr)
            else:
                got = json.loads(run.stdout)
                want = {"radius": proposal[0], "segments": proposal[1], "outOfRange": proposal[2]} if proposal else None
                # codeRadius, the code check of the proposal, is judged by codecheck_model.py.
                shown = {k: v for k, v in got["proposal"].items() if k != "codeRadius"} if "proposal" in got else None
                if shown != want:
                    problem = "proposal %r, expected %r" % (got.get("proposal"), want)
                elif got.get("weight") != expected_weight:
                    problem = "weight %r, expected %r" % (got.get("weight"), expected_weight)
            if problem:
                print("FAIL", " ".join(args[1:]), ":", problem)
                failures += 1
    print("%d passed, %d failed" % (count - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
