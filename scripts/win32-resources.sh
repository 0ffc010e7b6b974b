#!/usr/bin/env bash
# Makes the Windows edition's pictures (src/win32/resources) from the About
# dialog's PNGs in src/about/pictures, with ImageMagick. Run it by hand after a
# picture changes and commit what it writes: the Windows build only compiles
# the files, it needs no ImageMagick.
#   bash scripts/win32-resources.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pictures=$root/src/about/pictures
out=$root/src/win32/resources
mkdir -p "$out"

# The slide show: 24-bit bitmaps, 100 x 100, in the order the dialog shows them.
i=0
for name in elbow-front elbow-side elbow-template elbow-wireframe elbow-photo; do
  convert "$pictures/$name.png" -alpha off -type TrueColor "BMP3:$out/pic$i.bmp"
  i=$((i + 1))
done

# The banner: two colours on a transparent background. Its transparent pixels
# become the palette's first entry and the top-left pixel is one of them, so
# LoadImage(LR_LOADTRANSPARENT) paints them in the window's background colour.
convert "$pictures/banner.png" -background '#ff00ff' -alpha remove -alpha off \
  -colors 16 -type Palette "BMP3:$out/banner.bmp"

# The window icon: 32 x 32 in 16 colours, and a 16 x 16 for the title bar.
convert "$pictures/elbow-front.png" -resize 32x32 -colors 16 "$out/icon32.png"
convert "$pictures/elbow-front.png" -resize 16x16 -colors 16 "$out/icon16.png"
convert "$out/icon32.png" "$out/icon16.png" "$out/tessik.ico"
rm "$out/icon32.png" "$out/icon16.png"

# The pointing hand of the links, hot spot (12, 1): an icon file whose header
# says cursor (type 2) and carries the hot spot where an icon has its planes
# and bit count.
convert "$pictures/hand.png" "ICO:$out/hand.ico"
python3 - "$out/hand.ico" "$out/hand.cur" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
reserved, kind, count = struct.unpack_from("<HHH", data, 0)
assert kind == 1 and count == 1, "one icon image expected"
struct.pack_into("<H", data, 2, 2)
struct.pack_into("<HH", data, 6 + 4, 12, 1)
open(sys.argv[2], "wb").write(data)
PY
rm "$out/hand.ico"
ls -l "$out"
