"""The entities of a DXF file as ezdxf reads them, the judge of tessik-cad's model.

  ezdxf_entities.py PATH   one line per entity of model space, then of the
                           active paper space: "model|paper HANDLE DXFTYPE",
                           then of each other paper layout by its block name
                           (upper case, sorted): "BLOCK HANDLE DXFTYPE"
  ezdxf_entities.py PATH layouts
                           "NAME|TABORDER|BLOCK|COUNT" for each layout, sorted
  ezdxf_entities.py make-layouts PATH
                           an R2018 drawing with three paper layouts, the
                           two inactive ones holding entities of several kinds
  ezdxf_entities.py PATH style
                           the same lines with each entity's layer, colour,
                           true colour (-1: none), line type and lineweight;
                           then "audit N" with the number of audit errors
  ezdxf_entities.py PATH reads
                           "HANDLE Member value" for the members the
                           commercial CAD's automation answers of each kind of
                           model space, as ezdxf reads them (angles in
                           radians, points flat, numbers to 9 digits)
  ezdxf_entities.py make-reads PATH
                           an R2018 drawing with the kinds and values the
                           reads cover that the other drawings lack

  ezdxf_entities.py make-moves PATH
                           an R2018 drawing of entities out of the world's
                           plane (circle, arc, lightweight polyline, text,
                           reference), hatches with every kind of edge,
                           multileaders and every other kind with points,
                           a paper-space viewport among them
  ezdxf_entities.py PATH moved SAVED DX DY DZ HANDLE...
                           each entity translated by ezdxf in PATH against
                           the same in SAVED, group by group (numbers to
                           1e-9), a dimension's geometry block entity by
                           entity; one line per difference (and one when SAVED
                           has more audit errors than PATH), then "block
                           entities M" when a dimension had a block, and
                           "compared N"

Exit status 77 when ezdxf is not installed.
"""
import sys

try:
    import ezdxf
except ImportError:
    sys.exit(77)

import math


def fmt(v):
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, (int, float)):
        return format(float(v), ".9g")
    if isinstance(v, str):
        return v
    flat = []
    for p in v:
        flat.extend(p if hasattr(p, "__len__") else [p])
    return ",".join(fmt(float(x)) for x in flat)


def corners(e):
    pts = [e.dxf.get(n) for n in ("vtx0", "vtx1", "vtx2", "vtx3") if e.dxf.hasattr(n)]
    if len(pts) == 4 and pts[3].isclose(pts[2], abs_tol=0):
        pts.pop()
    return pts


READS = {
    "MTEXT": lambda e: {"Height": e.dxf.char_height, "Width": e.dxf.get("width", 0),
                        "AttachmentPoint": e.dxf.get("attachment_point", 1),
                        "Rotation": math.radians(e.get_rotation()), "InsertionPoint": [e.dxf.insert]},
    "INSERT": lambda e: {"Name": e.dxf.name, "InsertionPoint": [e.dxf.insert], "XScaleFactor": e.dxf.xscale,
                         "YScaleFactor": e.dxf.yscale, "ZScaleFactor": e.dxf.zscale,
                         "Rotation": math.radians(e.dxf.rotation), "HasAttributes": bool(e.attribs)},
    "HATCH": lambda e: {"PatternName": e.dxf.pattern_name, "PatternType": e.dxf.pattern_type,
                        "NumberOfLoops": len(e.paths), "PatternScale": e.dxf.pattern_scale,
                        "PatternAngle": math.radians(e.dxf.pattern_angle)},
    "SPLINE": lambda e: {"Degree": e.dxf.degree, "NumberOfControlPoints": len(e.control_points),
                         "ControlPoints": e.control_points, "NumberOfFitPoints": len(e.fit_points),
                         "FitPoints": e.fit_points, "Closed": e.closed},
    "POINT": lambda e: {"Coordinates": [e.dxf.location]},
    "SOLID": lambda e: {"Coordinates": corners(e)},
    "TRACE": lambda e: {"Coordinates": corners(e)},
    "3DFACE": lambda e: {"Coordinates": corners(e)},
    "LEADER": lambda e: {"Coordinates": e.vertices},
    "POLYLINE": lambda e: {"Coordinates": [v.dxf.location for v in e.vertices], "Closed": e.is_closed},
    "DIMENSION": lambda e: {"Measurement": e.dxf.get("actual_measurement", 0), "TextOverride": e.dxf.get("text", ""),
                            "TextPosition": [e.dxf.text_midpoint]},
    "IMAGE": lambda e: {"Origin": [e.dxf.insert]},
    "TEXT": lambda e: {"Height": e.dxf.height, "Rotation": math.radians(e.dxf.rotation)},
}

if sys.argv[1] == "make-reads":
    doc = ezdxf.new("R2018", setup=True)
    msp = doc.modelspace()
    msp.add_leader([(0, 0), (10, 5), (20, 5)])
    image_def = doc.add_image_def("plan.png", size_in_pixel=(640, 480))
    msp.add_image(image_def, insert=(3, 4, 0), size_in_units=(6.4, 4.8))
    msp.add_open_spline([(0, 0), (3, 5), (6, -1), (9, 4)], degree=2)
    closed = msp.add_spline(fit_points=[(0, 0), (4, 4), (8, 0), (4, -4), (0, 0)])
    closed.closed = True
    block = doc.blocks.new("TAGGED")
    block.add_attdef("NO", (0, 0), dxfattribs={"height": 2})
    ref = msp.add_blockref("TAGGED", (5, 5), dxfattribs={"rotation": 30, "xscale": 1.5, "zscale": 3})
    ref.add_auto_attribs({"NO": "42"})
    msp.add_polyline2d([(0, 0), (5, 0), (5, 5)], close=True)
    mtext = msp.add_mtext("斜 text", dxfattribs={"char_height": 1.5, "width": 30, "attachment_point": 5})
    mtext.dxf.rotation = 25
    hatch = msp.add_hatch()
    hatch.set_pattern_fill("ANSI31", scale=2, angle=30)
    hatch.paths.add_polyline_path([(0, 0), (10, 0), (10, 10), (0, 10)], is_closed=True)
    hatch.paths.add_polyline_path([(2, 2), (4, 2), (4, 4)], is_closed=True)
    dim = msp.add_linear_dim(base=(0, 8), p1=(0, 0), p2=(12, 0), text="L=<>")
    dim.render()
    doc.saveas(sys.argv[2])
    sys.exit(0)

if sys.argv[1] == "make-moves":
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    tilted = (0.3, -0.5, 0.8)
    msp.add_circle((1, 2, 3), 4, dxfattribs={"extrusion": tilted})
    msp.add_arc((5, 6, 7), 2, 10, 200, dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_lwpolyline([(0, 0), (4, 0, 0, 0, 0.5), (4, 3)], dxfattribs={"extrusion": (0.01, 0.005, 1), "elevation": 2})
    msp.add_text("tilted", dxfattribs={"extrusion": tilted, "insert": (1, 1, 1)})
    doc.blocks.new("B").add_line((0, 0), (1, 1))
    msp.add_blockref("B", (2, 3, 4), dxfattribs={"extrusion": (-1, 0, 0)})
    msp.add_line((0, 0, 0), (1, 2, 3), dxfattribs={"extrusion": tilted})
    msp.add_linear_dim(base=(0, 5), p1=(0, 0), p2=(8, 0)).render()
    msp.add_aligned_dim(p1=(1, 1), p2=(5, 4), distance=2).render()
    msp.add_radius_dim((20, 20), radius=4, angle=30).render()
    edges = msp.add_hatch(color=3, dxfattribs={"extrusion": tilted, "elevation": (0, 0, 2)})
    path = edges.paths.add_edge_path()
    path.add_line((0, 0), (10, 0))
    path.add_arc((10, 5), 5, -90, 90)
    path.add_ellipse((5, 10), (3, 1), 0.5, 0, 180)
    path.add_spline(control_points=[(2, 10), (0, 8), (0, 5), (0, 0)], degree=3,
                    fit_points=[(2, 10), (0, 5), (0, 0)], start_tangent=(-1, -1), end_tangent=(0, -1))
    edges.set_seed_points([(5, 5), (6, 6)])
    patterned = msp.add_hatch()
    patterned.set_pattern_fill("ANSI31", scale=2)
    patterned.paths.add_polyline_path([(20, 0, 0.3), (30, 0), (30, 10), (20, 10)], is_closed=True)
    # Multileaders with a text and with a block, their leaders and breaks.
    from ezdxf.render import mleader
    from ezdxf.math import Vec2, Vec3
    texts = msp.add_multileader_mtext("Standard")
    texts.set_content("NOTE", char_height=1.5)
    texts.add_leader_line(mleader.ConnectionSide.left, [Vec2(-8, -4), Vec2(-6, -1)])
    texts.add_leader_line(mleader.ConnectionSide.right, [Vec2(15, -3)])
    texts.build(insert=Vec2(4, 2), rotation=15)
    texts.multileader.context.leaders[0].breaks = [Vec3(-7, -3, 0), Vec3(-6.5, -2, 0)]
    doc.blocks.new("TAG").add_circle((0, 0), 1)
    blocks = msp.add_multileader_block("Standard")
    blocks.set_content("TAG", scale=2)
    blocks.add_leader_line(mleader.ConnectionSide.left, [Vec2(30, 30)])
    blocks.build(insert=Vec2(40, 35))
    # Polylines: 2D in a tilted plane and raised, 2D with a bulge, 3D, a polyface mesh.
    msp.add_polyline2d([(0, 0), (3, 0), (3, 2)], dxfattribs={"extrusion": tilted, "elevation": (0, 0, 1.5)})
    msp.add_polyline2d([(0, 0, 0, 0, 0.5), (5, 0), (5, 5)], format="xyseb", close=True)
    msp.add_polyline3d([(0, 0, 0), (1, 2, 3), (4, 5, 6)])
    mesh = msp.add_polyface()
    mesh.append_face([(0, 0, 0), (1, 0, 0), (1, 1, 1)])
    # World points whatever the extrusion, and the other kinds with points.
    msp.add_point((1, 2, 3), dxfattribs={"extrusion": tilted})
    msp.add_mtext("raised", dxfattribs={"insert": (1, 2, 3), "extrusion": tilted})
    msp.add_leader([(0, 0), (2, 2), (4, 2)])
    msp.add_3dface([(0, 0, 0), (1, 0, 1), (1, 1, 2), (0, 1, 3)])
    msp.add_solid([(0, 0), (1, 0), (0, 1), (1, 1)], dxfattribs={"extrusion": tilted})
    msp.add_trace([(0, 0), (1, 0), (0, 1)])
    msp.add_spline([(0, 0, 0), (1, 2, 0), (3, 1, 1), (5, 5, 2)], dxfattribs={"extrusion": tilted})
    msp.add_ray((1, 1, 1), (1, 0, 0))
    msp.add_xline((2, 2, 0), (0, 1, 0))
    picture = doc.add_image_def("picture.png", size_in_pixel=(64, 32))
    image = msp.add_image(picture, (10, 10, 1), (8, 4))
    image.set_boundary_path([(4, 4), (60, 4), (30, 28)])
    msp.add_wipeout([(0, 0), (3, 0), (3, 2)])
    msp.add_mline([(0, 0), (5, 0), (5, 5)])
    msp.new_entity("TOLERANCE", {"insert": (5, 6, 7), "dimstyle": "Standard", "content": "{\\Fgdt;j}%%v0.5"})
    # The dimensions with point groups of their own, in a tilted plane.
    msp.new_entity("ARC_DIMENSION", {
        "dimstyle": "Standard", "dimtype": 8, "defpoint": (5, 5, 1), "text_midpoint": (6, 9, 0),
        "defpoint2": (10, 0, 1), "defpoint3": (0, 10, 1), "defpoint4": (0, 0, 1), "start_angle": 0,
        "end_angle": 1.5, "is_partial": 0, "has_leader": 1, "leader_point1": (8, 8, 1),
        "leader_point2": (9, 9, 1), "extrusion": tilted})
    msp.new_entity("LARGE_RADIAL_DIMENSION", {
        "dimstyle": "Standard", "dimtype": 9, "defpoint": (0, 0, 0), "text_midpoint": (30, 30, 0),
        "chord_point": (20, 20, 0), "override_center": (5, 2, 0), "jog_point": (12, 10, 0), "unknown2": 0.5})
    # An embedded object's frame: two corners, then the object's bytes.
    from ezdxf.lldxf.tags import Tags
    from ezdxf.lldxf.types import dxftag
    frame = msp.new_entity("OLE2FRAME", {})
    frame.acdb_ole2frame = Tags([
        dxftag(100, "AcDbOle2Frame"), dxftag(70, 2), dxftag(3, "Paintbrush Picture"), dxftag(10, (1.0, 9.0, 0.5)),
        dxftag(11, (7.0, 4.0, 0.5)), dxftag(71, 2), dxftag(72, 0), dxftag(90, 4), dxftag(310, b"\x01\x02\x03\x04"),
        dxftag(1, "OLE")])
    # A subdivision mesh's vertices and a helix's axis, start and spline points.
    subd = msp.add_mesh()
    with subd.edit_data() as data:
        data.vertices = [(0, 0, 0), (1, 0, 0), (1, 1, 1), (0, 1, 2)]
        data.faces = [(0, 1, 2, 3)]
    helix = msp.new_entity("HELIX", {
        "axis_base_point": (1, 2, 3), "start_point": (4, 2, 3), "axis_vector": (0, 0, 1), "radius": 3,
        "turns": 2, "turn_height": 1, "handedness": 1, "constrain": 1, "degree": 3, "flags": 8})
    helix.control_points = [(4, 2, 3), (4, 5, 3.2), (1, 5, 3.4), (-2, 2, 3.6), (1, -1, 3.8)]
    helix.knots = [0, 0, 0, 0, 1, 2, 2, 2, 2]
    # A paper-space viewport onto model space.
    doc.layout("Layout1").add_viewport(center=(100, 80), size=(120, 90), view_center_point=(5, 5), view_height=40)
    doc.saveas(sys.argv[2])
    sys.exit(0)


if sys.argv[1] == "make-layouts":
    doc = ezdxf.new("R2018", setup=True)
    doc.modelspace().add_line((0, 0), (10, 10))
    doc.layout("Layout1").add_circle((5, 5), 2)
    block = doc.blocks.new("TAGGED")
    block.add_attdef("NO", (0, 0), dxfattribs={"height": 2})
    second = doc.layouts.new("Second")
    second.add_line((1, 1), (20, 1))
    second.add_polyline2d([(0, 0), (5, 0), (5, 5)], close=True)
    second.add_blockref("TAGGED", (5, 5)).add_auto_attribs({"NO": "7"})
    second.add_text("B", dxfattribs={"height": 2.5})
    third = doc.layouts.new("Third")
    third.add_mtext("C", dxfattribs={"char_height": 1.5})
    third.add_arc((0, 0), 3, 0, 90)
    doc.saveas(sys.argv[2])
    sys.exit(0)


def differs(want, got):
    """The first group where got is not want (numbers to 1e-9), or None."""
    a, b = groups(want), groups(got)
    if len(a) != len(b):
        return f"{want.dxftype()} groups {len(b)} against {len(a)}"
    for x, y in zip(a, b):
        same = x.code == y.code
        if same and isinstance(x.value, (float, int)) or hasattr(x.value, "__len__") and not isinstance(x.value, str):
            xs = x.value if hasattr(x.value, "__len__") else (x.value,)
            ys = y.value if hasattr(y.value, "__len__") else (y.value,)
            same = same and len(xs) == len(ys) and all(abs(float(p) - float(q)) <= 1e-9 for p, q in zip(xs, ys))
        else:
            same = same and x.value == y.value
        if not same:
            return f"{want.dxftype()} group {y.code} {y.value} against {x.code} {x.value}"
    return None


def groups(e):
    from ezdxf.lldxf.tagwriter import TagCollector
    out = TagCollector(dxfversion=e.doc.dxfversion)
    e.export_dxf(out)
    return out.tags


doc = ezdxf.readfile(sys.argv[1])
if sys.argv[2:3] == ["moved"]:
    saved = ezdxf.readfile(sys.argv[3])
    by = [float(v) for v in sys.argv[4:7]]
    compared = block_entities = 0
    # The geometry block of each dimension, as read, before anything moves it.
    blocks = {}
    for handle in sys.argv[7:]:
        e = doc.entitydb[handle]
        block = e.get_geometry_block() if hasattr(e, "get_geometry_block") else None
        blocks[handle] = list(block) if block is not None else None
    for handle in sys.argv[7:]:
        want, got = doc.entitydb[handle], saved.entitydb[handle]
        seeds = None
        if want.dxftype() == "HATCH" and want.seeds:
            # ezdxf leaves seed points where they were; they move with the
            # hatch, in its own plane (ezdxf's OCS).
            ocs = want.ocs()
            seeds = [ocs.from_wcs(ocs.to_wcs((x, y, 0)) + ezdxf.math.Vec3(by)) for x, y in want.seeds]
        if want.dxftype() == "VIEWPORT":
            # ezdxf cannot translate a viewport. Where it sits on the paper
            # moves; what it shows of model space (view centre, target,
            # twist) does not, so its model-to-paper mapping moves by the
            # offset, checked through ezdxf's own mapping below.
            mapping = want.get_transformation_matrix()
            want.dxf.center = want.dxf.center + ezdxf.math.Vec3(by)
            probe = ezdxf.math.Vec3(3, -2, 0)
            if not got.get_transformation_matrix().transform(probe).isclose(
                    mapping.transform(probe) + ezdxf.math.Vec3(by[0], by[1], 0), abs_tol=1e-9):
                print(handle, "VIEWPORT shows model space elsewhere than moved")
        elif want.dxftype() == "OLE2FRAME":
            # Nor an embedded object's frame: its two corners are world points.
            from ezdxf.lldxf.types import dxftag
            want.acdb_ole2frame = type(want.acdb_ole2frame)(
                dxftag(t.code, ezdxf.math.Vec3(t.value) + ezdxf.math.Vec3(by)) if t.code in (10, 11) else t
                for t in want.acdb_ole2frame)
        else:
            want.translate(*by)
        if want.dxftype() == "LARGE_RADIAL_DIMENSION" and want.dxf.hasattr("jog_point"):
            # ezdxf misspells the jog point's name and leaves it behind; it is a
            # world point like the chord point beside it.
            want.dxf.jog_point = want.dxf.jog_point + ezdxf.math.Vec3(by)
        if seeds:
            want.set_seed_points([(p.x, p.y) for p in seeds])
        if got.dxftype() not in ("VIEWPORT", "OLE2FRAME"):
            got.translate(0, 0, 0)  # ezdxf's own normalising (unit extrusion, text direction), as for want
        difference = differs(want, got)
        if difference:
            print(handle, difference)
        # A dimension's picture, its geometry block: ezdxf moves it with
        # the dimension; the saved block's entities, one by one.
        if blocks[handle] is not None:
            theirs = got.get_geometry_block() if hasattr(got, "get_geometry_block") else None
            ours = list(theirs) if theirs is not None else []
            if len(ours) != len(blocks[handle]):
                print(handle, want.dxftype(), "block entities", len(ours), "against", len(blocks[handle]))
            for x, y in zip(blocks[handle], ours):
                difference = differs(x, y)
                if difference:
                    print(handle, want.dxftype(), "block entity", x.dxf.handle, difference)
                    break
                block_entities += 1
        compared += 1
    # What the save made of the drawing: no audit error it did not have.
    errors = len(saved.audit().errors)
    if errors > len(doc.audit().errors):
        print("audit", errors, "errors")
    if any(block is not None for block in blocks.values()):
        print("block entities", block_entities)
    print("compared", compared)
    sys.exit(0)
if sys.argv[2:] == ["layouts"]:
    for line in sorted(f"{l.name}|{l.dxf.taborder}|{l.block_record_name.upper()}|{len(l)}" for l in doc.layouts):
        print(line)
    sys.exit(0)
if sys.argv[2:] == ["reads"]:
    for e in doc.modelspace():
        read = READS.get(e.dxftype())
        if read:
            for member, value in read(e).items():
                print(e.dxf.handle, member, fmt(value))
    sys.exit(0)
style = sys.argv[2:] == ["style"]
for space, layout in (("model", doc.modelspace()), ("paper", doc.layouts.active_layout())):
    for e in layout:
        line = [space, e.dxf.get("handle", ""), e.dxftype()]
        if style:
            line += [e.dxf.get("layer", "0"), e.dxf.get("color", 256), e.dxf.get("true_color", -1),
                     e.dxf.get("linetype", "ByLayer"), e.dxf.get("lineweight", -1)]
        print(*line)
if not style:
    active = doc.layouts.active_layout().block_record_name.upper()
    for layout in sorted(doc.layouts, key=lambda l: l.block_record_name.upper()):
        block = layout.block_record_name.upper()
        if layout.is_any_paperspace and block != active:
            for e in layout:
                print(block, e.dxf.get("handle", ""), e.dxftype())
if style:
    print("audit", len(doc.audit().errors))
