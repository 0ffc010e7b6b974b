#!/usr/bin/env python3
"""Checks tessik-elbow against an independent model of the mitred elbow.

The model works from the elbow's geometry (segments, mitre joints, the views
seen along the inlet axis) rather than from the program's formulas, on random
parameter sets drawn afresh at every run (the seed is printed, so a failure
can be replayed with ELBOW_MODEL_SEED=<seed>).

usage: elbow_model.py TESSIK_ELBOW [COUNT]
"""
import json
import math
import os
import random
import subprocess
import sys

PI = 3.1415926  # the tool's value of pi, used for every angle


def rad(deg):
    return deg / 180 * PI


def design(angle, segments, diameter, radius):
    n = round(segments)  # half to even, as the segment field is read
    b = angle / (n + 1)
    return dict(DblAB=angle, IntN=n, DblD=diameter, DblR=radius, DblB=b, DblA=b / 2,
                DblR1=radius - diameter / 2, DblR2=radius + diameter / 2,
                DblC1=2 * (radius - diameter / 2) * math.sin(rad(b / 2)),
                DblC2=2 * (radius + diameter / 2) * math.sin(rad(b / 2)))


def model(p, px, py, view):
    a, ab, n, d = p["DblA"], p["DblAB"], p["IntN"], p["DblD"]
    cx, cy = px, py - p["DblR"]
    l1 = p["DblR1"] / math.cos(rad(a))   # mitre vertices lie beyond the radius
    l2 = p["DblR2"] / math.cos(rad(a))

    def at(r, phi):
        return (cx + r * math.sin(rad(phi)), cy + r * math.cos(rad(phi)))

    joints = [a + k * p["DblB"] for k in range(n + 1)]
    out = []
    if view == "front":
        out.append(("line", (px, py - d / 2), (px, py + d / 2)))
        out += [("line", at(l1, t), at(l2, t)) for t in joints]
        out.append(("line", (px, py - d / 2), (px + l1 * math.sin(rad(a)), py - d / 2)))
        out.append(("line", (px, py + d / 2), (px + l2 * math.sin(rad(a)), py + d / 2)))
        out.append(("line", at(l1, ab - a), at(p["DblR1"], ab)))
        out.append(("line", at(l2, ab - a), at(p["DblR2"], ab)))
        for t0, t1 in zip(joints, joints[1:]):
            out.append(("line", at(l1, t0), at(l1, t1)))
            out.append(("line", at(l2, t0), at(l2, t1)))
        out.append(("line", at(p["DblR1"], ab), at(p["DblR2"], ab)))
        out.append(("arc", (cx, cy), p["DblR"], rad(90 - ab), PI / 2))
        return out
    if view not in ("left", "right"):
        return out
    lower, upper = (PI, 2 * PI), (0.0, PI)
    for k, t in enumerate(joints):
        yi, yo = at(l1, t)[1], at(l2, t)[1]
        halves = upper if view == "right" else (lower if k > 0 else None)
        out.append(("ellipse", (px, (yi + yo) / 2), (d / 2, 0), abs(yi - yo) / d, halves))
    yi, yo = at(p["DblR1"], ab)[1], at(p["DblR2"], ab)[1]
    yc = (yi + yo) / 2
    if ab == 90:
        out.append(("line", (px - d / 2, yc), (px + d / 2, yc)))
    else:
        out.append(("ellipse", (px, yc), (d / 2, 0), abs(yi - yo) / d, lower if view == "left" else None))
    out.append(("line", (px - d / 2, py), (px - d / 2, yc)))
    out.append(("line", (px + d / 2, py), (px + d / 2, yc)))
    return out


def close(x, y, scale):
    return abs(x - y) <= 1e-9 * scale


def compare(expected, got, scale):
    if len(expected) != len(got):
        return "entity count %d, expected %d" % (len(got), len(expected))
    for i, (e, g) in enumerate(zip(expected, got)):
        if g["type"] != e[0]:
            return "entity %d is %s, expected %s" % (i, g["type"], e[0])
        if any(v[2] != 0 for v in (g.get("start"), g.get("end"), g.get("center")) if v):
            return "entity %d has z != 0" % i
        if e[0] == "line":
            vals = [(g["start"][0], e[1][0]), (g["start"][1], e[1][1]), (g["end"][0], e[2][0]), (g["end"][1], e[2][1])]
        elif e[0] == "arc":
            vals = [(g["center"][0], e[1][0]), (g["center"][1], e[1][1]), (g["radius"], e[2])]
            # The start angle is where the outlet's ray meets the centre line.
            if not math.isclose(g["startAngle"], e[3], abs_tol=1e-9) or g["endAngle"] != e[4]:
                return "entity %d arc angles %r" % (i, g)
        else:
            vals = [(g["center"][0], e[1][0]), (g["center"][1], e[1][1]), (g["majorAxis"][0], e[2][0]),
                    (g["majorAxis"][1], e[2][1])]
            if not math.isclose(g["ratio"], e[3], rel_tol=1e-9, abs_tol=1e-12):
                return "entity %d ratio %r, expected %r" % (i, g["ratio"], e[3])
            halves = (g["startAngle"], g["endAngle"]) if "startAngle" in g else None
            if (halves is None) != (e[4] is None) or (halves and not all(
                    math.isclose(h, x, abs_tol=1e-12) for h, x in zip(halves, e[4]))):
                return "entity %d ellipse angles %r, expected %r" % (i, halves, e[4])
        for v, x in vals:
            if not close(v, x, scale):
                return "entity %d: %r, expected %r" % (i, g, e)
    return None


def main():
    exe = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    seed = int(os.environ.get("ELBOW_MODEL_SEED", random.randrange(1 << 30)))
    rng = random.Random(seed)
    print("seed", seed)
    failures = 0
    for case in range(count):
        diameter = round(rng.uniform(20, 4400), rng.choice([0, 1, 3]))
        radius = round(diameter * rng.uniform(0.6, 3), 2)
        angle = rng.choice([30, 45, 60, 90, round(rng.uniform(5, 180), 4)])
        segments = rng.choice([0, 1, 2, 3, 5, 8, 20, 2.5, 3.5])
        view = rng.choice(["front", "left", "right", "top"])
        px, py = round(rng.uniform(-1e4, 1e4), 3), round(rng.uniform(-1e4, 1e4), 3)
        star = rng.choice(["", "*"])
        args = [exe, "--angle", repr(angle), "--segments", repr(segments), "--diameter", star + repr(diameter),
                "--radius", repr(radius), "--view", view, "--at", "%r,%r,%r" % (px, py, rng.uniform(-9, 9))]
        run = subprocess.run(args, capture_output=True, text=True)
        if run.returncode != 0:
            print("FAIL exit", run.returncode, args, run.stderr)
            failures += 1
            continue
        got = json.loads(run.stdout)
        p = design(angle, segments, diameter, radius)
        scale = max(abs(px), abs(py), diameter, radius) * 4
        problem = None
        for key in ("DblAB", "DblA", "DblB", "DblD", "DblR", "DblR1", "DblR2", "DblC1", "DblC2"):
            if not close(got["parameters"][key], p[key], scale):
                problem = "%s = %r, expected %r" % (key, got["parameters"][key], p[key])
        if got["parameters"]["IntN"] != p["IntN"]:
            problem = "IntN = %r, expected %r" % (got["parameters"]["IntN"], p["IntN"])
        problem = problem or compare(model(p, px, py, view), got["entities"], scale)
        if problem:
            print("FAIL", " ".join(args[1:]), ":", problem)
            failures += 1
    print("%d passed, %d failed" % (count - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
