#!/usr/bin/env bash
# Takes a screenshot of the main window under Xvfb (96 dpi), to compare with
# its layout: writes build/main-window.png (or the path given). Expects a
# built tree (scripts/build.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
out=$(realpath -m "${1:-$root/build/main-window.png}")
mkdir -p "$(dirname "$out")"

cd "$root/data" 2>/dev/null || cd "$root"
xvfb-run -a -s '-screen 0 640x400x24 -dpi 96' bash -c '
  "$0" & pid=$!
  # There is no window manager: the window is its client area alone.
  geometry=
  for _ in $(seq 100); do
    for id in $(xwininfo -root -tree 2>/dev/null | awk "/\"Tessik\"/ {print \$1}"); do
      info=$(xwininfo -id "$id")
      grep -q IsViewable <<<"$info" || continue
      x=$(awk "/Absolute upper-left X/ {print \$4}" <<<"$info")
      y=$(awk "/Absolute upper-left Y/ {print \$4}" <<<"$info")
      w=$(awk "/Width:/ {print \$2}" <<<"$info")
      h=$(awk "/Height:/ {print \$2}" <<<"$info")
      geometry="${w}x${h}+${x}+${y}"
    done
    [[ -n "$geometry" ]] && break
    sleep 0.1
  done
  if [[ -z "$geometry" ]]; then
    echo "tessik did not open its window" >&2
    kill "$pid"
    exit 1
  fi
  sleep 1
  import -window root -crop "$geometry" +repage "$1"
  kill "$pid"
' "$build/src/app/tessik" "$out"
echo "$out"
