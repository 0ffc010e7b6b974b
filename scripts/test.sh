#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DTESSIK_BUILD_TESTS=ON -DTESSIK_BUILD_BENCH=ON
cd "$build"
ctest --no-tests=error --output-on-failure --parallel "${TESSIK_JOBS:-$(nproc)}" --timeout 600
