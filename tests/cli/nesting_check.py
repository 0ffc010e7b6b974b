#!/usr/bin/env python3
"""The nesting DXF and JSON judged by ezdxf and GEOS (shapely).

For random elbows, kerfs and sheet sizes: the DXF passes ezdxf's audit;
every piece is one closed outline on CUT lying inside exactly one stock
outline on STOCK, at least a kerf from its edges on plate; no two pieces
overlap, and pieces stay a kerf apart; the outlines' areas add up to the
JSON's, and the utilisation is what the DXF's areas give. On the pipe, an
independent model of the classic layout: the pipe is 2 J R tan(theta) plus
one kerf / cos(theta) per cut long, and each piece, cut square through the
pipe's developed surface at the first piece's long side, is alternately a
long and a short side of the cut list. A sheet too small for a piece is
refused with exit status 2 and no file.

usage: nesting_check.py TESSIK_ELBOW [CASES]
"""
import json
import math
import os
import random
import subprocess
import sys
import tempfile

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL", message)


READ = r"""
import json, sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
a = doc.audit()
msp = doc.modelspace()
def outlines(layer):
    return [dict(closed=e.closed, kind=e.dxftype(), points=[p[:2] for p in e.get_points("xy")])
            for e in msp.query('*[layer=="%s"]' % layer) if e.dxftype() == "LWPOLYLINE"]
print(json.dumps(dict(errors=len(a.errors), stock=outlines("STOCK"), cut=outlines("CUT"),
                      others=len(msp.query('*[layer=="CUT"]')) - len(outlines("CUT")),
                      texts=[t.dxf.text for t in msp.query('TEXT[layer=="TEXT"]')])))
"""


def run(exe, args, workdir):
    return subprocess.run([exe] + args, capture_output=True, text=True, cwd=workdir)


def judge(exe, args, workdir, name):
    from shapely.geometry import LineString, Polygon
    dxf = os.path.join(workdir, "nest.dxf")
    if os.path.exists(dxf):
        os.remove(dxf)
    r = run(exe, args + ["--fabrication", "--nest-dxf", dxf], workdir)
    if r.returncode != 0:
        check(False, "%s: exit %d %s" % (name, r.returncode, r.stderr[-300:]))
        return None
    fab = json.loads(r.stdout)["fabrication"]
    nest = fab["nesting"]
    got = subprocess.run(["/usr/bin/python3", "-c", READ, dxf], capture_output=True, text=True)
    check(got.returncode == 0, "%s: ezdxf %s" % (name, got.stderr[-300:]))
    d = json.loads(got.stdout)
    check(d["errors"] == 0 and d["others"] == 0, "%s: audit errors %d, loose CUT entities %d" % (name, d["errors"], d["others"]))
    check(all(o["closed"] for o in d["stock"] + d["cut"]), "%s: an open outline" % name)
    stocks = [Polygon(o["points"]) for o in d["stock"]]
    pieces = [Polygon(o["points"]) for o in d["cut"]]
    check(len(stocks) == nest["stocks"] and len(pieces) == len(nest["pieces"]),
          "%s: %d stocks, %d pieces in the DXF" % (name, len(stocks), len(pieces)))
    check(all(p.is_valid for p in pieces), "%s: a piece outline crosses itself" % name)
    kerf = nest["kerf"]
    for i, p in enumerate(pieces):
        holders = [s for s in stocks if s.buffer(1e-6).contains(p)]
        check(len(holders) == 1, "%s: piece %d lies in %d stocks" % (name, i + 1, len(holders)))
        if holders and nest["kind"] == "plate":
            edge = holders[0].exterior.distance(p)
            check(edge >= kerf - 1e-6, "%s: piece %d is %.4f mm from its sheet's edge, kerf %g" % (name, i + 1, edge, kerf))
    for i in range(len(pieces)):
        for j in range(i + 1, len(pieces)):
            overlap = pieces[i].intersection(pieces[j]).area
            check(overlap < 1e-6 * min(pieces[i].area, pieces[j].area),
                  "%s: pieces %d and %d overlap by %g mm2" % (name, i + 1, j + 1, overlap))
            if kerf > 0:
                gap = pieces[i].distance(pieces[j])
                check(gap >= kerf - 1e-6, "%s: pieces %d and %d are %.4f mm apart, kerf %g" % (name, i + 1, j + 1, gap, kerf))
    area = sum(p.area for p in pieces)
    check(math.isclose(area, nest["piecesArea"], rel_tol=1e-9), "%s: areas %r / %r" % (name, area, nest["piecesArea"]))
    used = sum(s.area for s in stocks)
    check(math.isclose(100 * area / used, nest["utilisation"], rel_tol=1e-9),
          "%s: utilisation %r, the DXF gives %r" % (name, nest["utilisation"], 100 * area / used))
    return fab, nest, pieces, stocks


def check_pipe(exe, workdir, rng):
    from shapely.geometry import LineString
    angle, segments = rng.choice([30, 45, 60, 90, 120]), rng.randint(0, 5)
    diameter = rng.choice([89, 159, 273, 508, 1016])
    radius = diameter * rng.uniform(0.6, 2.5)
    kerf = rng.choice([0, 0, 1.5, 3, 6])
    args = ["--angle", str(angle), "--segments", str(segments), "--diameter", str(diameter), "--radius",
            repr(radius), "--kerf", repr(kerf), "--nest", "pipe"]
    name = "pipe " + " ".join(args)
    judged = judge(exe, args, workdir, name)
    if not judged:
        return
    fab, nest, pieces, stocks = judged
    theta = math.radians(angle / (2 * (segments + 1)))
    joints = segments + 1
    model = 2 * joints * radius * math.tan(theta) + joints * kerf / math.cos(theta)
    check(math.isclose(nest["pipeLength"], model, rel_tol=1e-9), "%s: pipe %r, model %r" % (name, nest["pipeLength"], model))
    check(math.isclose(nest["waste"], joints * kerf / math.cos(theta), rel_tol=1e-9, abs_tol=1e-9),
          "%s: waste %r" % (name, nest["waste"]))
    # Each piece cut square through the developed surface just beside the
    # first piece's long side: long and short sides alternate.
    sides = {p["kind"]: (p["long"], p["short"]) for p in fab["pieces"]}
    x = 1e-4
    for i, (p, info) in enumerate(zip(pieces, nest["pieces"])):
        cut = p.intersection(LineString([(x, -1e9), (x, 1e9)])).length
        want = sides[info["kind"]][1 if i % 2 else 0]
        check(abs(cut - want) < 0.01, "%s: piece %d is %.4f long at the extrados, the cut list says %.4f" %
              (name, i + 1, cut, want))
        check(info["turned"] == (i % 2 == 1), "%s: piece %d turned %r" % (name, i + 1, info["turned"]))


def check_plate(exe, workdir, rng):
    angle, segments = rng.choice([30, 45, 60, 90]), rng.randint(0, 6)
    diameter = rng.choice([219, 273, 325, 426, 610])
    wall = rng.choice([6, 8, 10])
    radius = diameter * rng.uniform(1.0, 2.0)
    kerf = rng.choice([0, 2, 3.5])
    width = math.pi * (diameter - wall)
    sheet = (rng.uniform(width + 2 * kerf + 5, rng.choice([1.6, 3.2]) * width), rng.uniform(0.15, 1.0) * width)
    if rng.random() < 0.5:
        sheet = sheet[::-1]
    args = ["--angle", str(angle), "--segments", str(segments), "--diameter", str(diameter), "--radius",
            repr(radius), "--wall", str(wall), "--template-diameter", "mean", "--kerf", repr(kerf),
            "--nest", "plate", "--sheet", "%rx%r" % sheet]
    name = "plate " + " ".join(args)
    probe = run(exe, args + ["--fabrication"], workdir)
    if probe.returncode == 2 and "无法排料" in probe.stderr:
        return "refused"
    judged = judge(exe, args, workdir, name)
    if judged:
        nest = judged[1]
        return "%d sheets%s" % (nest["stocks"], ", turned 90" if nest["lanesAlongWidth"] else "")
    return None


def check_refusal(exe, workdir):
    dxf = os.path.join(workdir, "small.dxf")
    r = run(exe, ["--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381", "--wall", "8",
                  "--template-diameter", "mean", "--nest", "plate", "--sheet", "500x400", "--nest-dxf", dxf], workdir)
    check(r.returncode == 2 and r.stderr.startswith("无法排料：") and not os.path.exists(dxf),
          "too small a sheet: exit %d %r" % (r.returncode, r.stderr))


def main():
    exe = sys.argv[1]
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    seed = int(os.environ.get("TESSIK_NEST_SEED", random.randrange(1 << 30)))
    print("seed %d" % seed)
    rng = random.Random(seed)
    with tempfile.TemporaryDirectory() as workdir:
        for _ in range(cases):
            check_pipe(exe, workdir, rng)
        outcomes = [check_plate(exe, workdir, rng) for _ in range(cases)]
        print("plate layouts: %s" % outcomes)
        check(sum(1 for o in outcomes if o and o != "refused") >= cases // 2, "too few plate layouts were judged")
        check_refusal(exe, workdir)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
