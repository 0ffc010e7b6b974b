#!/usr/bin/env bash
# Screenshots of the standard data at work, under Xvfb at 96 dpi: starts
# tessik in data/, takes startup.png (the 41st diameter and wall preselected,
# no angle yet), chooses 90 degrees in the angle list with the mouse and takes
# angle90.png (radius, segments and weight proposed). Writes into the folder
# given (default build/screenshots). Expects a built tree; needs xdotool.
# The click positions are those of the window's layout at 96 dpi.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
out=$(realpath -m "${1:-$build/screenshots}")
mkdir -p "$out"

cd "$root/data"
xvfb-run -a -s '-screen 0 640x400x24 -dpi 96' bash -c '
  "$0" & pid=$!
  for _ in $(seq 100); do
    id=$(xdotool search --name "^Tessik$" 2>/dev/null | head -1) && [[ -n "$id" ]] && break
    sleep 0.1
  done
  sleep 1.5
  import -window root -crop 430x234+0+0 +repage "$1/startup.png"
  xdotool mousemove 142 59 click 1   # the arrow of the angle list
  sleep 0.8
  xdotool mousemove 82 119 click 1   # its fourth entry, 90
  sleep 0.8
  import -window root -crop 430x234+0+0 +repage "$1/angle90.png"
  kill "$pid"
' "$build/src/app/tessik" "$out"
echo "$out/startup.png $out/angle90.png"
