#!/usr/bin/env bash
# Screenshots of the fabrication window under Xvfb (96 dpi): the main window
# with a 90 degree elbow chosen from its lists by keyboard, the "下料 - Tessik"
# window opened by Ctrl+T, and tessik-cad after "画入图形" with the insertion
# point typed at its prompt line. Writes build/fabrication-window.png and
# build/fabrication-cad.png (or into the folder given).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
outdir=$(realpath -m "${1:-$build}")
mkdir -p "$outdir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TESSIK_CAD_SOCKET="$work/cad.sock" TESSIK_OUT="$outdir" TESSIK_BUILD="$build"

cd "$root/data"
xvfb-run -a -s '-screen 0 1400x1000x24 -dpi 96' bash -c '
  set -e
  "$TESSIK_BUILD/src/cadhost/tessik-cad" & cad=$!
  for _ in $(seq 100); do [[ -S "$TESSIK_CAD_SOCKET" ]] && break; sleep 0.1; done
  "$TESSIK_BUILD/src/app/tessik" & tool=$!
  main=
  for _ in $(seq 100); do
    main=$(xdotool search --name "^Tessik\$" 2>/dev/null | head -1) && [[ -n "$main" ]] && break
    sleep 0.1
  done
  sleep 1
  cadwin=$(xdotool search --name "Tessik CAD" | head -1)
  xdotool windowmove "$cadwin" 0 330 || true
  xdotool windowmove "$main" 0 0
  xdotool windowfocus --sync "$main"
  # CmbWJ has the focus: Tab to the angle list, choose 90 (the fourth entry).
  xdotool key Tab Down Down Down Down
  sleep 0.5
  xdotool key ctrl+t
  fab=
  for _ in $(seq 50); do
    fab=$(xdotool search --name "下料 - Tessik" 2>/dev/null | head -1) && [[ -n "$fab" ]] && break
    sleep 0.1
  done
  xdotool windowmove "$fab" 450 0
  sleep 1
  import -window root "$TESSIK_OUT/fabrication-window.png"
  # Draw into the CAD drawing: the pick is answered on the prompt line.
  xdotool windowfocus --sync "$fab"
  xdotool key alt+d
  sleep 1
  xdotool windowfocus --sync "$cadwin" || true
  xdotool type --delay 30 "0,0"
  xdotool key Return
  sleep 1
  xdotool windowmove "$fab" 0 660
  sleep 0.5
  import -window root "$TESSIK_OUT/fabrication-cad.png"
  kill $tool $cad
'
echo "$outdir/fabrication-window.png $outdir/fabrication-cad.png"
