#!/usr/bin/env bash
# Installs what is missing, builds and starts Tessik with the shipped data.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" --run-only
"$root/scripts/build.sh" -DTESSIK_BUILD_TESTS=OFF -DTESSIK_BUILD_BENCH=OFF
cd "$root/data"
exec "$build/src/cli/tessik-elbow" --angle 90 --segments 2 --diameter '*100' --radius 150 "$@"
