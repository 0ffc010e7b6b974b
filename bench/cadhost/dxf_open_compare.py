#!/usr/bin/python3
"""Opening a large DXF: tessik-cad next to ezdxf and LibreCAD, one run.

Writes a DXF of about --megabytes MB, then times, each
--runs times, and prints the medians:
  - tessik-cad's open path (cadhost_bench BM_OpenDxf: read, parse, build
    the drawing and its extents, what File > Open does before the first
    paint);
  - ezdxf.readfile (parse into ezdxf's document model);
  - LibreCAD: `librecad dxf2pdf` on the file, minus the same command on an
    empty drawing (its start-up and PDF output), measured in the same run.
The file is also read back by ezdxf's auditor once, so a broken file is not
timed.

Two kinds of file (--kind):
  - full: R2000 as AutoCAD writes it (handles, owners, subclass markers,
    six decimals): lines, circles, arcs, bulged lightweight polylines,
    ellipses and texts on a few layers, about 170 bytes an entity;
  - compact: R12 as small writers do (no handles, no subclass markers,
    coordinates to one decimal): lines, circles, arcs, points and short
    texts, about 57 bytes an entity, so 50 MB holds about 870,000 entities.

    python3 bench/cadhost/dxf_open_compare.py --bench build-rel/bench/cadhost/cadhost_bench
    python3 bench/cadhost/dxf_open_compare.py --kind full --write /tmp/full50.dxf
    TESSIK_BENCH_DXF=/tmp/full50.dxf build-rel/bench/cadhost/cadhost_bench \
        --benchmark_filter=BM_OpenDxf --benchmark_repetitions=5
"""
import argparse
import json
import math
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

import ezdxf


def write_compact(path, megabytes):
    """An R12 file the way small writers make it; returns the entity count."""
    doc = ezdxf.new("R12")
    for name in ("CUT", "MARK", "CENTER"):
        doc.layers.add(name)
    skeleton = os.path.join(os.path.dirname(path), "skeleton12.dxf")
    doc.saveas(skeleton)
    with open(skeleton, encoding="utf-8") as f:
        text = f.read()
    marker = "ENTITIES\n  0\nENDSEC"
    head, tail = text.split(marker, 1)
    rnd = random.Random(11)
    target = megabytes * 1_000_000
    layers = ("0", "CUT", "MARK", "CENTER")
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(head + "ENTITIES\n")
        written = len(head)
        i = 0
        chunk = []
        while written < target:
            x, y = rnd.uniform(0, 9999), rnd.uniform(0, 9999)
            layer = layers[i % 4]
            kind = i % 10
            if kind < 6:
                body = (f"  0\nLINE\n  8\n{layer}\n 10\n{x:.1f}\n 20\n{y:.1f}\n"
                        f" 11\n{x + rnd.uniform(-50, 50):.1f}\n 21\n{y + rnd.uniform(-50, 50):.1f}\n")
            elif kind == 6:
                body = f"  0\nCIRCLE\n  8\n{layer}\n 10\n{x:.1f}\n 20\n{y:.1f}\n 40\n{rnd.uniform(1, 60):.1f}\n"
            elif kind == 7:
                body = (f"  0\nARC\n  8\n{layer}\n 10\n{x:.1f}\n 20\n{y:.1f}\n 40\n{rnd.uniform(1, 60):.1f}\n"
                        f" 50\n{rnd.randrange(360)}\n 51\n{rnd.randrange(360)}\n")
            elif kind == 8:
                body = f"  0\nPOINT\n  8\n{layer}\n 10\n{x:.1f}\n 20\n{y:.1f}\n"
            else:
                body = f"  0\nTEXT\n  8\nTEXT\n 10\n{x:.1f}\n 20\n{y:.1f}\n 40\n2.5\n  1\nP{i % 1000}\n"
            chunk.append(body)
            written += len(body)
            i += 1
            if len(chunk) == 10000:
                out.write("".join(chunk))
                chunk = []
        out.write("".join(chunk))
        out.write(marker[len("ENTITIES\n"):] + tail)
    return i


def write_drawing(path, megabytes):
    doc = ezdxf.new("R2000")
    for name in ("CUT", "MARK", "CENTER", "TEXT"):
        doc.layers.add(name)
    msp = doc.modelspace()
    owner = msp.layout_key
    skeleton = os.path.join(os.path.dirname(path), "skeleton.dxf")
    doc.saveas(skeleton)
    with open(skeleton, encoding="utf-8") as f:
        text = f.read()
    marker = "ENTITIES\n  0\nENDSEC"
    head, tail = text.split(marker, 1)
    rnd = random.Random(7)
    handle = 0x10000
    target = megabytes * 1_000_000
    layers = ("0", "CUT", "MARK", "CENTER")
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(head + "ENTITIES\n")
        written = len(head)
        i = 0
        while written < target:
            x, y = rnd.uniform(0, 5000), rnd.uniform(0, 5000)
            r = rnd.uniform(1, 60)
            layer = layers[i % 4]
            common = f"  5\n{handle:X}\n330\n{owner}\n100\nAcDbEntity\n  8\n{layer}\n"
            kind = i % 8
            if kind < 3:
                a = rnd.uniform(0, 2 * math.pi)
                body = (f"  0\nLINE\n{common}100\nAcDbLine\n 10\n{x:.6f}\n 20\n{y:.6f}\n 30\n0.0\n"
                        f" 11\n{x + r * math.cos(a):.6f}\n 21\n{y + r * math.sin(a):.6f}\n 31\n0.0\n")
            elif kind == 3:
                body = f"  0\nCIRCLE\n{common}100\nAcDbCircle\n 10\n{x:.6f}\n 20\n{y:.6f}\n 30\n0.0\n 40\n{r:.6f}\n"
            elif kind == 4:
                body = (f"  0\nARC\n{common}100\nAcDbCircle\n 10\n{x:.6f}\n 20\n{y:.6f}\n 30\n0.0\n 40\n{r:.6f}\n"
                        f"100\nAcDbArc\n 50\n{rnd.uniform(0, 360):.4f}\n 51\n{rnd.uniform(0, 360):.4f}\n")
            elif kind == 5:
                n = 6
                verts = "".join(f" 10\n{x + k * r / 3:.6f}\n 20\n{y + (k % 2) * r / 4:.6f}\n 42\n{0.3 if k % 3 == 0 else 0.0}\n"
                                for k in range(n))
                body = (f"  0\nLWPOLYLINE\n{common}100\nAcDbPolyline\n 90\n{n}\n 70\n0\n" + verts)
            elif kind == 6:
                a = rnd.uniform(0, math.pi)
                body = (f"  0\nELLIPSE\n{common}100\nAcDbEllipse\n 10\n{x:.6f}\n 20\n{y:.6f}\n 30\n0.0\n"
                        f" 11\n{r * math.cos(a):.6f}\n 21\n{r * math.sin(a):.6f}\n 31\n0.0\n"
                        f"210\n0.0\n220\n0.0\n230\n1.0\n 40\n0.4\n 41\n0.0\n 42\n{2 * math.pi:.6f}\n")
            else:
                body = (f"  0\nTEXT\n{common}100\nAcDbText\n 10\n{x:.6f}\n 20\n{y:.6f}\n 30\n0.0\n"
                        f" 40\n{r / 10:.4f}\n  1\nP-{i}\n100\nAcDbText\n")
            out.write(body)
            written += len(body)
            handle += 1
            i += 1
        out.write(marker[len("ENTITIES\n"):] + tail)
    # The header's next free handle must lie past the ones written here.
    with open(path, encoding="utf-8") as f:
        data = f.read()
    at = data.index("$HANDSEED\n  5\n") + len("$HANDSEED\n  5\n")
    end = data.index("\n", at)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(data[:at] + f"{handle:X}" + data[end:])
    return i


def timed(cmd, env=None):
    start = time.perf_counter()
    done = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=900)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed: {done.stderr.decode(errors='replace')[-400:]}")
    return elapsed, done.stdout.decode(errors="replace")


def tessik_times(bench, path, runs):
    env = dict(os.environ, TESSIK_BENCH_DXF=path, QT_QPA_PLATFORM="offscreen")
    _, out = timed([bench, "--benchmark_filter=BM_OpenDxf", f"--benchmark_repetitions={runs}",
                    "--benchmark_format=json"], env)
    rows = [b for b in json.loads(out)["benchmarks"] if b.get("run_type") == "iteration"]
    if not rows:
        raise RuntimeError("BM_OpenDxf did not run (was the file readable?)")
    return [b["real_time"] / 1000.0 for b in rows], rows[0].get("entities")


def ezdxf_times(path, runs):
    code = ("import sys,time,ezdxf\nt=time.perf_counter()\nd=ezdxf.readfile(sys.argv[1])\n"
            "print(time.perf_counter()-t, len(d.modelspace()))")
    times = []
    for _ in range(runs):
        _, out = timed([sys.executable, "-c", code, path])
        times.append(float(out.split()[0]))
    return times, int(out.split()[1])


def librecad_times(path, empty, runs, scratch):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    pdf = os.path.join(scratch, "out.pdf")
    full, floor = [], []
    for _ in range(runs):
        floor.append(timed(["librecad", "dxf2pdf", "-o", pdf, empty], env)[0])
        full.append(timed(["librecad", "dxf2pdf", "-o", pdf, path], env)[0])
    return full, floor


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bench", help="path of an optimised cadhost_bench")
    parser.add_argument("--megabytes", type=int, default=50)
    parser.add_argument("--kind", choices=("full", "compact"), default="compact")
    parser.add_argument("--write", metavar="PATH", help="only write the file (for TESSIK_BENCH_DXF) and exit")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--no-librecad", action="store_true")
    args = parser.parse_args()
    if not args.bench and not args.write:
        parser.error("--bench is needed unless --write is given")
    write = write_compact if args.kind == "compact" else write_drawing
    if args.write:
        entities = write(args.write, args.megabytes)
        auditor = ezdxf.readfile(args.write).audit()
        if auditor.has_errors:
            sys.exit(f"the generated file has errors: {auditor.errors[:3]}")
        print(f"{args.write}: {os.path.getsize(args.write) / 1e6:.1f} MB, {entities} entities, ezdxf audit clean")
        return
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "large.dxf")
        entities = write(path, args.megabytes)
        empty = os.path.join(scratch, "empty.dxf")
        ezdxf.new("R2000").saveas(empty)
        size = os.path.getsize(path) / 1e6
        auditor = ezdxf.readfile(path).audit()
        if auditor.has_errors:
            sys.exit(f"the generated file has errors: {auditor.errors[:3]}")
        print(f"file: {size:.1f} MB, {entities} entities; load average {os.getloadavg()[0]:.1f} "
              f"on {os.cpu_count()} cores")
        t, shown = tessik_times(args.bench, path, args.runs)
        print(f"tessik-cad open:  median {statistics.median(t):7.2f} s  runs {[round(x, 2) for x in t]}"
              f"  entities {shown}")
        e, n = ezdxf_times(path, args.runs)
        print(f"ezdxf.readfile:   median {statistics.median(e):7.2f} s  runs {[round(x, 2) for x in e]}"
              f"  entities {n}")
        if not args.no_librecad:
            full, floor = librecad_times(path, empty, max(3, args.runs // 2), scratch)
            net = [a - b for a, b in zip(full, floor)]
            print(f"LibreCAD dxf2pdf: median {statistics.median(full):7.2f} s, empty drawing "
                  f"{statistics.median(floor):.2f} s, difference {statistics.median(net):.2f} s")
        print(f"tessik-cad / ezdxf: {statistics.median(t) / statistics.median(e):.2f}")


if __name__ == "__main__":
    main()
