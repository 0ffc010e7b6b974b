#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) in their own build directory and runs one of them.
#   scripts/fuzz.sh [SECONDS] [more libFuzzer arguments]
# SECONDS defaults to 300. TESSIK_FUZZ_TARGET picks the target:
# field_reader_fuzz (the default, data files), dxf_reader_fuzz (DXF files) or
# automation_request_fuzz (tessik-cad's automation request lines).
# The corpus grows in $build/corpus-<target>, seeded from fuzz/; findings are
# written to $build/findings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_FUZZ_BUILD_DIR:-$root/build-fuzz}
target=${TESSIK_FUZZ_TARGET:-field_reader_fuzz}
seconds=${1:-300}
shift || true

cmake -S "$root" -B "$build" -DTESSIK_FUZZ=ON -DTESSIK_BUILD_GUI=OFF -DTESSIK_BUILD_TESTS=OFF \
  -DTESSIK_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "$target" --parallel "${TESSIK_JOBS:-2}"

corpus="$build/corpus-$target"
mkdir -p "$corpus" "$build/findings"
case "$target" in
  dxf_reader_fuzz)
    cp -n "$root"/fuzz/corpus-dxf/* "$corpus/" 2>/dev/null || true
    # The small seeds hold every kind the drawing interprets in under 4 KB.
    max_len=4096
    extra=(-dict="$root/fuzz/dxf.dict") ;;
  automation_request_fuzz)
    cp -n "$root"/fuzz/corpus-automation/* "$corpus/" 2>/dev/null || true
    # A request line is short; a few requests per input.
    max_len=1024
    extra=(-dict="$root/fuzz/automation.dict") ;;
  *)
    cp -n "$root"/fuzz/corpus/* "$root"/data/*.ini "$corpus/" 2>/dev/null || true
    max_len=8192
    extra=() ;;
esac
exec "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len="$max_len" \
  -rss_limit_mb=2048 -artifact_prefix="$build/findings/" -print_final_stats=1 "${extra[@]}" "$@"
