"""The entities of a DXF file as ezdxf reads them, the judge of tessik-cad's model.

  ezdxf_entities.py PATH   one line per entity of model space, then of the
                           active paper space: "model|paper HANDLE DXFTYPE"

Exit status 77 when ezdxf is not installed.
"""
import sys

try:
    import ezdxf
except ImportError:
    sys.exit(77)

doc = ezdxf.readfile(sys.argv[1])
for space, layout in (("model", doc.modelspace()), ("paper", doc.layouts.active_layout())):
    for e in layout:
        print(space, e.dxf.get("handle", ""), e.dxftype())
