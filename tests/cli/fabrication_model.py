#!/usr/bin/env python3
"""Checks tessik-elbow --fabrication against an independent model.

The model builds the elbow in space: the bend axis is the z axis, the joint
planes are half-planes through it, every segment is a cylinder whose axis
crosses the planes; piece lengths are where each generator line of the
cylinder meets the planes, the weld is the measured length of the cut curve
(polygon sums, Richardson-extrapolated), the weight the volume of the ring.
Random cases drawn afresh at every run (seed printed; replay with
FABRICATION_MODEL_SEED=<seed>).

usage: fabrication_model.py TESSIK_ELBOW [COUNT]
"""
import json
import math
import os
import random
import subprocess
import sys

KEYS = {"cutAngle", "joints", "templateDiameter", "templateWidth", "cutback", "pieces", "ordinates",
        "weldPerJoint", "weldTotal", "pipeLength", "warnings", "codeCheck"}


def plane_normal(angle):
    """Normal of the half-plane through the z axis at `angle` (radians) from +x."""
    return (-math.sin(angle), math.cos(angle), 0.0)


def meet(point, direction, normal):
    """Parameter s where point + s * direction meets the plane through the origin."""
    den = sum(d * n for d, n in zip(direction, normal))
    return -sum(p * n for p, n in zip(point, normal)) / den


def segment_axis(k, theta, radius):
    """Point and direction of segment k's axis; k = 0 is the inlet end piece."""
    mid = 2 * k * theta  # segment k is centred on the plane at 2 k theta (the inlet's square end at 0)
    centre = (radius * math.cos(mid), radius * math.sin(mid), 0.0)
    direction = (-math.sin(mid), math.cos(mid), 0.0)
    return centre, direction


def generator(k, theta, radius, rho, phi):
    centre, direction = segment_axis(k, theta, radius)
    outward = (math.cos(2 * k * theta), math.sin(2 * k * theta), 0.0)  # away from the bend axis
    point = tuple(c + rho * math.cos(phi) * o + (rho * math.sin(phi) if i == 2 else 0.0)
                  for i, (c, o) in enumerate(zip(centre, outward)))
    return point, direction


def piece_length(k, theta, radius, rho, phi, middle):
    point, direction = generator(k, theta, radius, rho, phi)
    far = meet(point, direction, plane_normal((2 * k + 1) * theta))
    near = meet(point, direction, plane_normal((2 * k - 1) * theta)) if middle else 0.0
    return far - near


def weld(theta, radius, outer):
    def polygon(m):
        pts = []
        for i in range(m):
            point, direction = generator(0, theta, radius, outer, 2 * math.pi * i / m)
            s = meet(point, direction, plane_normal(theta))
            pts.append(tuple(p + s * d for p, d in zip(point, direction)))
        return sum(math.dist(pts[i], pts[(i + 1) % m]) for i in range(m))
    # A cut near 90 degrees is a very long ellipse: refine until two
    # extrapolations agree far inside the comparison's tolerance.
    m, coarse, fine = 4096, polygon(2048), polygon(4096)
    estimate = fine + (fine - coarse) / 3
    while m < 1 << 17:
        m *= 2
        coarse, fine = fine, polygon(m)
        previous, estimate = estimate, fine + (fine - coarse) / 3
        if abs(estimate - previous) <= 1e-11 * estimate:
            break
    return estimate


def model(angle, segments, diameter, radius, wall, density, kind, divisions):
    n = round(segments)
    theta_deg = angle / (n + 1) / 2
    if not (0 < theta_deg < 90) or n < 0:
        return None
    theta = math.radians(theta_deg)
    dt = {"outside": diameter, "mean": diameter - (wall or 0), "inside": diameter - 2 * (wall or 0)}[kind]
    rho = dt / 2
    pieces = []
    for kind_name, k, count, middle in (("end", 0, 2, False), ("middle", 1, n, True)):
        if count == 0:
            continue
        lengths = [piece_length(k, theta, radius, r, phi, middle)
                   for r, phi in ((0, 0), (rho, 0), (rho, math.pi))]
        pieces.append(dict(kind=kind_name, count=count, centerline=lengths[0], long=lengths[1], short=lengths[2]))
    xs = [math.pi * dt * k / divisions for k in range(divisions + 1)]
    end = [piece_length(0, theta, radius, rho, 2 * math.pi * k / divisions, False) for k in range(divisions + 1)]
    mid = [piece_length(1, theta, radius, rho, 2 * math.pi * k / divisions, True) for k in range(divisions + 1)]
    per_joint = weld(theta, radius, diameter / 2)
    pipe = sum(p["count"] * p["centerline"] for p in pieces)
    out = dict(cutAngle=theta_deg, joints=n + 1, templateDiameter=dt, templateWidth=math.pi * dt,
               cutback=pieces[0]["long"] - pieces[0]["centerline"], pieces=pieces,
               ordinates=dict(divisions=divisions, x=xs, end=end, middle=mid), weldPerJoint=per_joint,
               weldTotal=(n + 1) * per_joint, pipeLength=pipe,
               warnings=(["cut-angle-over-22.5"] if theta_deg > 22.5 else []) +
                        (["inner-side-negative"] if radius < rho else []))
    if wall is not None:
        inner = diameter / 2 - wall
        out["weight"] = density * math.pi * ((diameter / 2) ** 2 - inner ** 2) * pipe / 1e9
    return out


def differ(expected, got, scale, path="fabrication"):
    if isinstance(expected, dict):
        if set(expected) != set(got):
            return "%s members %s, expected %s" % (path, sorted(got), sorted(expected))
        for key in expected:
            problem = differ(expected[key], got[key], scale, path + "." + key)
            if problem:
                return problem
        return None
    if isinstance(expected, list):
        if len(expected) != len(got):
            return "%s has %d entries, expected %d" % (path, len(got), len(expected))
        for i, (e, g) in enumerate(zip(expected, got)):
            problem = differ(e, g, scale, "%s[%d]" % (path, i))
            if problem:
                return problem
        return None
    if isinstance(expected, float):
        if isinstance(got, (int, float)) and math.isclose(got, expected, rel_tol=1e-9, abs_tol=1e-9 * scale):
            return None
        return "%s = %r, expected %r" % (path, got, expected)
    return None if expected == got else "%s = %r, expected %r" % (path, got, expected)


def main():
    exe = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    seed = int(os.environ.get("FABRICATION_MODEL_SEED", random.randrange(1 << 30)))
    rng = random.Random(seed)
    print("seed", seed)
    failures = 0
    for case in range(count):
        diameter = round(rng.uniform(20, 4400), rng.choice([0, 1, 2]))
        radius = round(diameter * rng.uniform(0.2, 3), 2)
        angle = rng.choice([30, 45, 60, 90, 180, 200, round(rng.uniform(1, 200), 3), -45])
        segments = rng.choice([0, 0, 1, 2, 3, 4, 6, 12, 2.5])
        kind = rng.choice(["outside", "outside", "mean", "inside"])
        wall = round(rng.uniform(0.5, diameter / 5), 2) if kind != "outside" or rng.random() < 0.5 else None
        density = rng.choice([7850, 2700, round(rng.uniform(500, 20000), 1)])
        divisions = rng.choice([4, 16, 24, 36, rng.randrange(4, 721)])
        args = [exe, "--angle", repr(angle), "--segments", repr(segments), "--diameter", repr(diameter),
                "--radius", repr(radius), "--view", "top", "--fabrication", "--divisions", str(divisions),
                "--density", repr(density)]
        if kind != "outside" or rng.random() < 0.3:
            args += ["--template-diameter", kind]
        if wall is not None:
            args += ["--wall", repr(wall)]
        run = subprocess.run(args, capture_output=True, text=True)
        expected = model(angle, segments, diameter, radius, wall, density, kind, divisions)
        problem = None
        if expected is None:
            if run.returncode != 2 or run.stdout or not run.stderr.startswith("无法展开："):
                problem = "expected no development: exit %d, stdout %r, stderr %r" % (
                    run.returncode, run.stdout[:80], run.stderr)
        elif run.returncode != 0:
            problem = "exit %d: %s" % (run.returncode, run.stderr)
        else:
            got = json.loads(run.stdout).get("fabrication")
            keys = KEYS | ({"weight"} if wall is not None else set())
            if got is None or set(got) != keys:
                problem = "members %s" % (sorted(got) if got else None)
            else:
                got.pop("codeCheck")  # judged by codecheck_model.py
                problem = differ(expected, got, max(diameter, radius) * 10)
        if problem:
            print("FAIL", " ".join(args[1:]), ":", problem)
            failures += 1
    print("%d passed, %d failed" % (count - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
