"""The entities of a DXF file as ezdxf reads them, the judge of tessik-cad's model.

  ezdxf_entities.py PATH   one line per entity of model space, then of the
                           active paper space: "model|paper HANDLE DXFTYPE"
  ezdxf_entities.py PATH style
                           the same lines with each entity's layer, colour,
                           true colour (-1: none), line type and lineweight;
                           then "audit N" with the number of audit errors

Exit status 77 when ezdxf is not installed.
"""
import sys

try:
    import ezdxf
except ImportError:
    sys.exit(77)

doc = ezdxf.readfile(sys.argv[1])
style = sys.argv[2:] == ["style"]
for space, layout in (("model", doc.modelspace()), ("paper", doc.layouts.active_layout())):
    for e in layout:
        line = [space, e.dxf.get("handle", ""), e.dxftype()]
        if style:
            line += [e.dxf.get("layer", "0"), e.dxf.get("color", 256), e.dxf.get("true_color", -1),
                     e.dxf.get("linetype", "ByLayer"), e.dxf.get("lineweight", -1)]
        print(*line)
if style:
    print("audit", len(doc.audit().errors))
