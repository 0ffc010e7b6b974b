#!/usr/bin/env bash
# Takes a screenshot of tessik-cad under Xvfb: a drawing, a point request on
# the prompt line with a half-typed answer, and the crosshair in the view.
# With --layout, the sheet in paper space instead: an A4 frame with a title
# block, shown through the layout tab (Ctrl+PgDn).
# Usage: scripts/cad-screenshot.sh [--layout] [out.png]   (default: build/cad-screenshot.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
layout=0
if [[ "${1:-}" == --layout ]]; then layout=1; shift; fi
out=$(realpath -m "${1:-$build/cad-screenshot.png}")
exe="$build/src/cadhost/tessik-cad"
[[ -x "$exe" ]] || { echo "build tessik-cad first ($exe)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TESSIK_CAD_SOCKET="$work/cad.sock" TESSIK_CAD_EXE="$exe" TESSIK_SHOT="$out" TESSIK_SHOT_LAYOUT="$layout"
export PYTHONPATH="$root/scripts${PYTHONPATH:+:$PYTHONPATH}"

xvfb-run -a -s '-screen 0 1280x800x24' bash -c '
  "$TESSIK_CAD_EXE" & cad=$!
  /usr/bin/python3 - <<"PY"
import math, os, subprocess, time
from tessik_cad_client import CadError, TessikCadClient

path = os.environ["TESSIK_CAD_SOCKET"]
cad = TessikCadClient(path, timeout=10, connect_wait=10)
def rpc(method, target, member, **p):
    try:
        return cad.request(method, target, member, **p)
    except CadError:  # the picture goes on without what was refused
        return None

doc = rpc("get", 0, "ActiveDocument")["handle"]
ms = rpc("get", doc, "ModelSpace")["handle"]
# A mitred elbow in outline: 90 degrees, bend radius 150, pipe 100 wide, two
# half segments and two full ones (cuts at 15, 45 and 75 degrees).
R, D = 150.0, 100.0
angles = [0.0, math.pi / 12, math.pi / 4, 5 * math.pi / 12, math.pi / 2]
for r in (R - D / 2, R + D / 2):
    pts = [(r * math.cos(a) / math.cos(math.pi / 12) if 0 < i < len(angles) - 1 else r * math.cos(a),
            r * math.sin(a) / math.cos(math.pi / 12) if 0 < i < len(angles) - 1 else r * math.sin(a))
           for i, a in enumerate(angles)]
    for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
        rpc("call", ms, "AddLine", args=[[x0, y0, 0], [x1, y1, 0]])
for a in angles[1:-1]:
    rin, rout = (R - D / 2) / math.cos(math.pi / 12), (R + D / 2) / math.cos(math.pi / 12)
    rpc("call", ms, "AddLine", args=[[rin * math.cos(a), rin * math.sin(a), 0], [rout * math.cos(a), rout * math.sin(a), 0]])
rpc("call", ms, "AddLine", args=[[R - D / 2, 0, 0], [R + D / 2, 0, 0]])
rpc("call", ms, "AddLine", args=[[0, R - D / 2, 0], [0, R + D / 2, 0]])
rpc("call", ms, "AddArc", args=[[0, 0, 0], R, 0, math.pi / 2])
e = rpc("call", ms, "AddEllipse", args=[[R, -60, 0], [D / 2, 0, 0], 0.35])["handle"]
e2 = rpc("call", ms, "AddEllipse", args=[[R, -60, 0], [D / 2, 0, 0], 0.35])["handle"]
rpc("set", e2, "StartAngle", value=math.pi); rpc("set", e2, "EndAngle", value=2 * math.pi)
rpc("call", ms, "AddCircle", args=[[0, 0, 0], 6])
rpc("call", 0, "ZoomExtents")
rpc("set", 0, "Visible", value=True)

if os.environ["TESSIK_SHOT_LAYOUT"] == "1":
    # An A4 sheet: its edge, a drawing frame and a title block with Chinese text.
    ps = rpc("get", doc, "PaperSpace")["handle"]
    def rect(x0, y0, x1, y1):
        pl = rpc("call", ps, "AddLightWeightPolyline", args=[[x0, y0, x1, y0, x1, y1, x0, y1]])["handle"]
        rpc("set", pl, "Closed", value=True)
    rect(0, 0, 297, 210)
    rect(10, 10, 287, 200)
    rect(187, 10, 287, 40)
    rpc("call", ps, "AddLine", args=[[187, 25, 0], [287, 25, 0]])
    rpc("call", ps, "AddText", args=["虾米腰弯头 90°", [192, 29, 0], 6])
    rpc("call", ps, "AddText", args=["比例 1:5   图号 TK-001", [192, 15, 0], 4])
    rpc("call", ps, "AddCircle", args=[[100, 110, 0], 60])
    time.sleep(0.5)
    subprocess.run(["xdotool", "mousemove", "400", "300", "click", "1", "key", "ctrl+Next"], check=False)
    time.sleep(1.0)
    subprocess.run(["import", "-window", "root", os.environ["TESSIK_SHOT"]], check=True)
    raise SystemExit(0)

# A pending pick from a second client, answered half-way by typing.
util = rpc("get", doc, "Utility")["handle"]
p = TessikCadClient(path, timeout=None)
p.send("call", util, "GetPoint", args=[None, "请输入第一点"])
time.sleep(0.3)
rpc("call", doc, "SendCommand", args=["25.5,"])
subprocess.run(["xdotool", "mousemove", "620", "300"], check=False)
time.sleep(0.3)
subprocess.run(["xdotool", "mousemove", "640", "310"], check=False)
time.sleep(0.8)
subprocess.run(["import", "-window", "root", os.environ["TESSIK_SHOT"]], check=True)
rpc("call", doc, "SendCommand", args=["\u001b"])
p.close()
PY
  kill $cad
'
echo "$out"
