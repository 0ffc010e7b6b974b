"""Drawings made by ezdxf, and the judge of what tessik-cad wrote back.

  ezdxf_roundtrip.py make VERSION PATH [bin]
                                            a drawing with every kind tessik-cad
                                            interprets or must keep (R2000 in GBK),
                                            as binary DXF when bin is given
  ezdxf_roundtrip.py compare ORIGINAL SAVED entity by entity, by handle; audit

Exit status 77 when ezdxf is not installed.
"""
import math
import sys

try:
    import ezdxf
except ImportError:
    sys.exit(77)


def make(version, path, fmt="asc"):
    doc = ezdxf.new(version, setup=True)
    if version == "R2000":
        doc.encoding = "gbk"  # ANSI_936: text in GBK bytes
    doc.layers.add("管道", color=3, linetype="DASHED")
    doc.layers.add("关闭", color=5).off()
    doc.layers.add("冻结").freeze()
    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 50), dxfattribs={"layer": "管道", "color": 1, "linetype": "DASHED"})
    msp.add_arc((10, 10), 5, 30, 120, dxfattribs={"layer": "关闭"})
    msp.add_circle((-20, 5), 7.25, dxfattribs={"color": 0})
    msp.add_ellipse((0, 40), (20, 5), 0.4, 0.5, 2.5)
    msp.add_point((3, 4))
    msp.add_lwpolyline([(0, 0, 0, 0, 0.4142), (10, 0, 0, 0, 0), (10, 10, 0, 0, -1)], format="xyseb",
                       dxfattribs={"closed": True})
    msp.add_polyline2d([(0, 0), (5, 1), (6, 8)], dxfattribs={"layer": "冻结"})
    msp.add_spline([(0, 0), (2, 3), (5, 1), (8, 4), (9, 0)])
    msp.add_text("弯头 Elbow" + (" ÄÖ" if version != "R2000" else ""), dxfattribs={"height": 3.5, "rotation": 30, "style": "OpenSans"})
    msp.add_text("右中", dxfattribs={"height": 2}).set_placement(
        (60, 30), align=ezdxf.enums.TextEntityAlignment.MIDDLE_RIGHT)
    msp.add_mtext("多行文字\\P第二行", dxfattribs={"char_height": 2.5})
    msp.add_solid([(0, 0), (4, 0), (0, 4)])
    msp.add_trace([(10, 0), (14, 0), (10, 4), (14, 4)])
    msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 1), (0, 1, 0)])
    hatch = msp.add_hatch(color=2)
    hatch.paths.add_polyline_path([(0, 0), (40, 0), (40, 20), (0, 20)], is_closed=True)
    inner = doc.blocks.new("INNER")
    inner.add_circle((0, 0), 1)
    part = doc.blocks.new("零件")
    part.add_line((0, 0), (10, 0))
    part.add_blockref("INNER", (5, 5), dxfattribs={"color": 0})
    msp.add_blockref("零件", (50, 50), dxfattribs={"xscale": 2, "yscale": 2, "rotation": 45})
    dim = msp.add_linear_dim(base=(0, -10), p1=(0, 0), p2=(100, 0))
    dim.render()
    if version != "R2000":
        mesh = msp.add_mesh()
        with mesh.edit_data() as data:
            data.vertices = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)]
            data.faces = [(0, 1, 2, 3)]
    doc.layout().add_line((0, 0), (297, 210))
    doc.saveas(path, fmt=fmt)


def details(e):
    """What must be unchanged beyond the DXF attributes."""
    kind = e.dxftype()
    if kind == "LWPOLYLINE":
        return list(e.get_points())
    if kind == "POLYLINE":
        return [tuple(v.dxf.location) for v in e.vertices]
    if kind == "SPLINE":
        return [tuple(p) for p in e.control_points], list(e.knots)
    if kind == "MTEXT":
        return e.text
    if kind == "HATCH":
        return [[tuple(v) for v in p.vertices] for p in e.paths if hasattr(p, "vertices")]
    if kind == "MESH":
        return [tuple(v) for v in e.vertices], [tuple(f) for f in e.faces]
    return None


def load(path):
    doc = ezdxf.readfile(path)
    return doc, doc.audit()


def compare(original, saved):
    a, _ = load(original)
    b, fixes = load(saved)
    problems = []
    problems += [f"audit: {e.message}" for e in fixes.errors]
    for table in ("layers", "linetypes", "styles", "dimstyles"):
        names_a = sorted(t.dxf.name for t in getattr(a, table))
        names_b = sorted(t.dxf.name for t in getattr(b, table))
        if names_a != names_b:
            problems.append(f"{table}: {names_a} became {names_b}")
    for layer in a.layers:
        other = b.layers.get(layer.dxf.name)
        if (layer.color, layer.is_on(), layer.is_frozen()) != (other.color, other.is_on(), other.is_frozen()):
            problems.append(f"layer {layer.dxf.name} changed")
    for block in a.blocks:
        if block.name not in b.blocks:
            problems.append(f"block {block.name} lost")
            continue
        handles_a = [e.dxf.handle for e in block]
        handles_b = [e.dxf.handle for e in b.blocks[block.name]]
        if handles_a != handles_b[: len(handles_a)]:
            problems.append(f"block {block.name}: {handles_a} became {handles_b}")
    count = 0
    for e in list(a.modelspace()) + list(a.layout()):
        count += 1
        other = b.entitydb.get(e.dxf.handle)
        if other is None or other.dxftype() != e.dxftype():
            problems.append(f"{e.dxftype()} {e.dxf.handle} lost")
            continue
        if e.dxf.all_existing_dxf_attribs() != other.dxf.all_existing_dxf_attribs():
            problems.append(f"{e.dxftype()} {e.dxf.handle}: {e.dxf.all_existing_dxf_attribs()} "
                            f"became {other.dxf.all_existing_dxf_attribs()}")
        if details(e) != details(other):
            problems.append(f"{e.dxftype()} {e.dxf.handle}: details changed")
    for p in problems:
        print(p, file=sys.stderr)
    added = len(b.modelspace()) - len(a.modelspace())
    print(count, added, len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(*sys.argv[2:5])
    else:
        sys.exit(compare(sys.argv[2], sys.argv[3]))
