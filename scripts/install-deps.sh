#!/usr/bin/env bash
# Installs the Debian packages Tessik needs to build, run and test.
# Does nothing when everything is present; otherwise one apt-get update and
# one apt-get install (run as root, or through sudo when available).
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config qt6-base-dev libxcb1-dev libgtest-dev libbenchmark-dev
  # look: a Chinese user-interface font, and Qt's own texts in Chinese; fonts
  # with the metrics of Arial, Times and Courier for drawings that name them
  fonts-wqy-microhei qt6-translations-l10n fonts-liberation
  # tests: offscreen/X11 runs, DXF checks with outside tools, the fuzzing build
  xvfb xauth python3 python3-ezdxf librecad poppler-utils clang
  # nesting checks: pieces on a sheet must not overlap, judged by GEOS
  python3-shapely
  # PDF checks: the Chinese font data poppler needs, mupdf's renderer, qpdf's
  # checker and Chromium's PDF viewer
  poppler-data mupdf-tools qpdf chromium
  # screenshots of the windows under Xvfb, and the end-to-end demo's keyboard and mouse
  imagemagick x11-utils xdotool
  # keys under a window manager as well as without one
  openbox
)
if [[ "${1:-}" == "--run-only" ]]; then
  packages=(cmake g++ make pkg-config qt6-base-dev libxcb1-dev fonts-wqy-microhei qt6-translations-l10n fonts-liberation)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
