"""ezdxf as the judge of the DXF layer's typed entity data.

  entity_data_judge.py make VERSION PATH   a drawing holding every kind the layer
                                           interprets (R2000 is written in GBK)
  entity_data_judge.py judge PATH DUMP     DUMP holds one JSON object per entity the
                                           layer interpreted; each must agree with
                                           what ezdxf reads, and every entity of an
                                           interpreted kind must be there

Exit status 77 when ezdxf is not installed.
"""
import json
import math
import sys

try:
    import ezdxf
    from ezdxf.lldxf.encoding import decode_dxf_unicode
except ImportError:
    sys.exit(77)

KINDS = {"LINE", "ARC", "CIRCLE", "ELLIPSE", "POINT", "LWPOLYLINE", "POLYLINE", "SPLINE", "TEXT",
         "ATTRIB", "MTEXT", "INSERT", "DIMENSION", "SOLID", "TRACE", "3DFACE", "HATCH"}


def make(version, path):
    doc = ezdxf.new(version, setup=True)
    if version == "R2000":
        doc.encoding = "gbk"
    doc.layers.add("管道", color=3, linetype="DASHED")
    msp = doc.modelspace()
    msp.add_line((0, 0, 1), (100, 50, -2), dxfattribs={"layer": "管道", "color": 1, "linetype": "DASHED"})
    msp.add_arc((10, 10), 5, 30, 400, dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_circle((-20, 5, 3), 7.25, dxfattribs={"color": 0, "extrusion": (0.6, 0, 0.8)})
    msp.add_ellipse((0, 40), (20, 5), 0.4, 0.5, 2.5)
    msp.add_point((3, 4, 5))
    msp.add_lwpolyline([(0, 0, 0, 0, 0.4142), (10, 0, 0, 0, 0), (10, 10, 0, 0, -1)], format="xyseb",
                       dxfattribs={"closed": True, "elevation": 2.5})
    msp.add_polyline2d([(0, 0), (5, 1), (6, 8)], dxfattribs={"closed": True})
    msp.add_polyline3d([(0, 0, 0), (5, 1, 2), (6, 8, 3)])
    msp.add_spline([(0, 0), (2, 3), (5, 1), (8, 4), (9, 0)])
    msp.add_open_spline([(0, 0, 0), (1, 2, 0), (3, 2, 0), (4, 0, 0)], degree=3)
    msp.add_text("弯头 %%c114.3", dxfattribs={"height": 3.5, "rotation": 30})
    msp.add_text("居中", dxfattribs={"height": 2, "halign": 1, "valign": 2, "align_point": (7, 8)})
    msp.add_mtext("{\\fSimSun|b0;多行}文字\\P第二行 \\pxqc;" + "长" * 300, dxfattribs={"char_height": 2.5})
    msp.add_solid([(0, 0), (4, 0), (0, 4)])
    msp.add_trace([(10, 0), (14, 0), (10, 4), (14, 4)])
    msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 1), (0, 1, 0)])
    hatch = msp.add_hatch(color=2)
    hatch.paths.add_polyline_path([(0, 0, 0.5), (40, 0, 0), (40, 20, 0), (0, 20, 0)], is_closed=True)
    edges = msp.add_hatch(dxfattribs={"pattern_name": "ANSI31"}).paths.add_edge_path()
    edges.add_line((0, 0), (10, 0))
    edges.add_arc((10, 5), 5, -90, 90, ccw=False)
    edges.add_ellipse((5, 10), (5, 0), 0.5, 0, 180)
    edges.add_spline(control_points=[(0, 10), (-2, 5), (0, 0)], knot_values=[0, 0, 0, 1, 1, 1], degree=2)
    inner = doc.blocks.new("INNER")
    inner.add_circle((0, 0), 1)
    part = doc.blocks.new("零件", base_point=(1, 2))
    part.add_line((0, 0), (10, 0))
    part.add_blockref("INNER", (5, 5), dxfattribs={"color": 0})
    part.add_attdef("NO", (0, -3), dxfattribs={"height": 1.5})
    ref = msp.add_blockref("零件", (50, 50), dxfattribs={"xscale": 2, "yscale": 3, "rotation": 45})
    ref.add_auto_attribs({"NO": "编号 7"})
    dim = msp.add_linear_dim(base=(0, -10), p1=(0, 0), p2=(100, 0))
    dim.render()
    doc.layout().add_circle((100, 100), 20)
    doc.saveas(path)


def close(a, b):
    if isinstance(a, (list, tuple)):
        return isinstance(b, (list, tuple)) and len(a) == len(b) and all(close(x, y) for x, y in zip(a, b))
    if isinstance(a, float) or isinstance(b, float):
        return math.isclose(float(a), float(b), rel_tol=1e-12, abs_tol=1e-9)
    return a == b


def xyz(v):
    return [float(v[0]), float(v[1]), float(v[2]) if len(v) > 2 else 0.0]


def stored(edge):
    """The angles as the file holds them: ezdxf turns a clockwise edge's round."""
    if edge.ccw:
        return edge.start_angle, edge.end_angle
    return 360.0 - edge.end_angle, 360.0 - edge.start_angle


def hatch_paths(e):
    out = []
    for p in e.paths:
        if hasattr(p, "vertices"):
            out.append({"polyline": [[x, y, b] for x, y, b in p.vertices]})
            continue
        edges = []
        for g in p.edges:
            t = g.EDGE_TYPE
            if t == "LineEdge":
                edges.append(["line", list(g.start), list(g.end)])
            elif t == "ArcEdge":
                edges.append(["arc", list(g.center), g.radius, *stored(g), bool(g.ccw)])
            elif t == "EllipseEdge":
                edges.append(["ellipse", list(g.center), list(g.major_axis), g.ratio, *stored(g), bool(g.ccw)])
            else:
                edges.append(["spline", g.degree, list(g.knot_values), [list(c)[:2] for c in g.control_points],
                              list(g.weights)])
        out.append({"edges": edges})
    return out


def expected(e, doc):
    """The typed data a careful reader of this entity must come to."""
    kind, d = e.dxftype(), e.dxf
    if kind == "LINE":
        return {"start": xyz(d.start), "end": xyz(d.end)}
    if kind == "CIRCLE":
        return {"center": xyz(d.center), "radius": d.radius}
    if kind == "ARC":
        return {"center": xyz(d.center), "radius": d.radius, "start": d.start_angle, "end": d.end_angle}
    if kind == "ELLIPSE":
        return {"center": xyz(d.center), "major": xyz(d.major_axis), "ratio": d.ratio,
                "start": d.start_param, "end": d.end_param}
    if kind == "POINT":
        return {"position": xyz(d.location)}
    if kind == "LWPOLYLINE":
        return {"vertices": [[x, y, b] for x, y, b in e.get_points("xyb")], "closed": e.closed,
                "elevation": d.elevation}
    if kind == "POLYLINE":
        return {"vertices": [[v.dxf.location[0], v.dxf.location[1], v.dxf.bulge] for v in e.vertices],
                "closed": e.is_closed, "is3d": e.is_3d_polyline,
                "elevation": 0.0 if e.is_3d_polyline else d.elevation[2]}
    if kind == "SPLINE":
        return {"degree": d.degree, "knots": list(e.knots), "weights": list(e.weights),
                "control": [xyz(p) for p in e.control_points], "fit": [xyz(p) for p in e.fit_points],
                "closed": e.closed}
    if kind in ("TEXT", "ATTRIB"):
        out = {"text": decode_dxf_unicode(d.text), "insert": xyz(d.insert), "height": d.height,
               "rotation": d.rotation, "halign": d.halign, "valign": d.valign}
        if d.hasattr("align_point"):
            out["align"] = xyz(d.align_point)
        return out
    if kind == "MTEXT":
        return {"text": decode_dxf_unicode(e.text), "insert": xyz(d.insert), "height": d.char_height,
                "attachment": d.attachment_point}
    if kind == "INSERT":
        return {"block": d.name, "insert": xyz(d.insert), "xscale": d.xscale, "yscale": d.yscale,
                "rotation": d.rotation}
    if kind == "DIMENSION":
        return {"block": d.geometry}
    if kind in ("SOLID", "TRACE", "3DFACE"):
        return {"corners": [xyz(d.get(f"vtx{i}", d.vtx2)) for i in range(4)]}
    if kind == "HATCH":
        return {"pattern": d.pattern_name, "solid": bool(d.solid_fill), "elevation": d.elevation[2],
                "paths": hatch_paths(e)}
    raise AssertionError(kind)


def judge(path, dump):
    doc = ezdxf.readfile(path)
    seen, problems = {}, []
    with open(dump, encoding="utf-8") as f:
        for line in f:
            got = json.loads(line)
            seen[got["handle"]] = got
    wanted = list(doc.modelspace()) + list(doc.layout())
    blocks = [got["block"] for got in seen.values() if "block" in got]
    for name in blocks:
        wanted += list(doc.blocks[name])
    for e in wanted:
        if e.dxftype() == "INSERT":
            wanted += list(e.attribs)
    for e in wanted:
        kind = e.dxftype()
        if kind not in KINDS:
            continue
        got = seen.get(e.dxf.handle)
        if got is None:
            problems.append(f"{kind} {e.dxf.handle} not interpreted")
            continue
        want = dict(expected(e, doc), kind=kind, layer=e.dxf.layer, color=e.dxf.color,
                    linetype=e.dxf.linetype, extrusion=xyz(e.dxf.extrusion if e.dxf.is_supported("extrusion") else (0, 0, 1)))
        for key, value in want.items():
            if not close(value, got.get(key)):
                problems.append(f"{kind} {e.dxf.handle} {key}: ezdxf {value!r}, layer {got.get(key)!r}")
    for p in problems:
        print(p, file=sys.stderr)
    print(len(seen), len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    else:
        sys.exit(judge(sys.argv[2], sys.argv[3]))
