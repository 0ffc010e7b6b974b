#!/usr/bin/env bash
# Screenshots of tessik.exe under wine in Xvfb, to check the native windows
# against their layout: the start-up question, the main window at 96 dpi, the
# About dialog, and the main window at 144 dpi (150 %). Chinese is drawn with
# WenQuanYi Micro Hei through the prefix's font link.
#   bash scripts/screenshot-windows.sh [output folder]
# Expects build-windows/dist/tessik.exe (bash scripts/windows.sh). Writes
# windows-question.png, windows-main.png, windows-about.png and
# windows-main-144dpi.png, and prints each window's size in pixels.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_WINDOWS_BUILD_DIR:-$root/build-windows}
out=$(realpath -m "${1:-$build/screenshots}")
dist="$build/dist"
[[ -f "$dist/tessik.exe" ]] || { echo "no $dist/tessik.exe: run scripts/windows.sh first" >&2; exit 1; }
for tool in Xvfb xdotool import wine; do
  command -v "$tool" >/dev/null || { echo "screenshot-windows.sh needs $tool" >&2; exit 1; }
done
mkdir -p "$out"

source "$root/scripts/wine-session.sh"
start_private_xvfb "$build/screenshot-display"
trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT
fresh_wine_prefix "$build/screenshot-prefix"

# The visible top-level X window whose name is $1; there is no window
# manager, so a window is its client area and menu bar alone.
window_of() {
  local id
  for _ in $(seq 200); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      echo "$id"
      return 0
    done
    sleep 0.1
  done
  echo "no window \"$1\" appeared" >&2
  return 1
}

shoot() {  # window id, file, seconds to let it settle
  sleep "${3:-1.5}"
  local geometry
  geometry=$(xdotool getwindowgeometry "$1" | awk '/Position/ {split($2, p, ","); x=p[1]; y=p[2]} /Geometry/ {g=$2} END {print g "+" x "+" y}')
  import -window root -crop "$geometry" +repage "$out/$2"
  echo "$2: ${geometry%%+*} pixels"
}

run_tessik() {
  (cd "$dist" && wine tessik.exe >/dev/null 2>&1) &
}

# 96 dpi: no CAD program is registered in the prefix, so start-up asks.
run_tessik
question=$(window_of "启动AutoCAD")
shoot "$question" windows-question.png
xdotool windowactivate --sync "$question" 2>/dev/null || true
xdotool key --window "$question" Escape
main=$(window_of "Tessik")
# The lists are filled after the question.
shoot "$main" windows-main.png 5
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key --window "$main" alt+a
about=$(window_of "关于 Tessik")
shoot "$about" windows-about.png
wineserver -k
sleep 1

# 144 dpi, the scale of a 150 % monitor.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wineserver -w
run_tessik
question=$(window_of "启动AutoCAD")
xdotool key --window "$question" Escape
main=$(window_of "Tessik")
shoot "$main" windows-main-144dpi.png 5
wineserver -k
echo "$out"
