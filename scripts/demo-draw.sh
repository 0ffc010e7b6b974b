#!/usr/bin/env bash
# The main operation end to end, as a new user meets it, under Xvfb with no
# window manager: start tessik in data/ (no tessik-cad running), answer OK to
# the launch question, enter a diameter and 90 degrees, press draw, click in
# tessik-cad. The elbow appears, tessik quits, tessik-cad keeps the drawing;
# it is then saved as DXF and rendered with LibreCAD.
#
# Writes screenshots 01-question.png ... 06-librecad.png and elbow.dxf into
# the folder given (default build/demo). Expects a built tree (scripts/build.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
out=$(realpath -m "${1:-$build/demo}")
mkdir -p "$out"
rm -f "$out"/*.png "$out"/elbow.dxf "$out"/elbow.pdf

# A new user: own home, own runtime folder, nothing running yet.
home=$(mktemp -d)
mkdir -m 0700 "$home/run"
export HOME=$home XDG_RUNTIME_DIR=$home/run
unset TESSIK_CAD_SOCKET
export PYTHONPATH="$root/scripts${PYTHONPATH:+:$PYTHONPATH}"

cd "$root/data" 2>/dev/null || cd "$root"
xvfb-run -a -s '-screen 0 1280x800x24 -dpi 96' bash -euo pipefail -c '
  out=$1 tessik=$2
  shot() { sleep 0.7; import -window root "$out/$1"; echo "screenshot $1"; }
  # The id of the viewable window with this exact title, waiting for it.
  window() {
    for _ in $(seq 150); do
      for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do echo "$id"; return 0; done
      sleep 0.1
    done
    echo "no window \"$1\"" >&2; return 1
  }
  gone() { for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; return 1; }

  "$tessik" & pid=$!

  # 1. No tessik-cad runs: the question.
  question=$(window "启动AutoCAD")
  shot 01-question.png
  # 2. OK (the default button): tessik-cad starts, the main window comes back.
  xdotool windowfocus --sync "$question" key Return
  cad=$(window "Drawing1 - Tessik CAD")
  main=$(window "Tessik")
  shot 02-launched.png

  # 3. Diameter 100, bend angle 90, bend radius 150, two middle segments
  #    (typed; the lists offer the standard series once the data is loaded).
  xdotool windowraise "$main" windowfocus --sync "$main"  # the user clicks into the main window
  xdotool key --delay 40 ctrl+a type --delay 40 "100"
  xdotool key --delay 40 Tab ctrl+a type --delay 40 "90"
  xdotool key --delay 40 Tab type --delay 40 "150"
  xdotool key --delay 40 Tab type --delay 40 "2"
  shot 03-design.png

  # 4. Draw: tessik-cad comes to the front and asks for the first point.
  xdotool windowfocus --sync "$main" key alt+d
  sleep 1
  xdotool mousemove --window "$cad" 500 330
  shot 04-pick.png

  # 5. The click: the elbow is drawn and tessik quits (the quit option is grayed).
  xdotool click 1
  gone "$pid" || { echo "tessik did not quit" >&2; exit 1; }
  echo "tessik quit after drawing"
  shot 05-drawn.png

  # 6. tessik-cad still holds the drawing: save it as DXF and render it.
  /usr/bin/python3 - "$out/elbow.dxf" <<PY
import sys
from tessik_cad_client import TessikCadClient, default_socket_path
cad = TessikCadClient(default_socket_path(), timeout=30)
def rpc(method, target, member, **params):
    return cad.request(method, target, member, **params)
doc = rpc("get", 0, "ActiveDocument")["handle"]
space = rpc("get", doc, "ModelSpace")["handle"]
print("tessik-cad holds", rpc("get", space, "Count"), "entities")
rpc("call", doc, "SaveAs", args=[sys.argv[1]])
PY
  shot 06-saved.png
  librecad dxf2pdf -a -o "$out/elbow.pdf" "$out/elbow.dxf" >/dev/null 2>&1 || true
  pdftoppm -png -r 60 -singlefile "$out/elbow.pdf" "$out/07-librecad" && echo "screenshot 07-librecad.png"
  # tessik-cad runs detached; its lock file names its process.
  cadpid=$(head -n1 "$XDG_RUNTIME_DIR/tessik/cad.sock.lock" 2>/dev/null || true)
  [[ -n "$cadpid" ]] && kill "$cadpid" 2>/dev/null || true
' demo "$out" "$build/src/app/tessik"
rm -rf "$home"
ls "$out"
