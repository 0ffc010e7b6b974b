#!/usr/bin/env bash
# Installs what is missing, builds and opens Tessik's main window with the
# shipped data folder as working directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" --run-only
"$root/scripts/build.sh" -DTESSIK_BUILD_TESTS=OFF -DTESSIK_BUILD_BENCH=OFF
# The data files are read from the working directory.
cd "$root/data"
exec "$build/src/app/tessik" "$@"
