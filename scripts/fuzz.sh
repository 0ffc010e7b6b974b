#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) in their own build directory and runs the data-file fuzzer.
#   scripts/fuzz.sh [SECONDS] [more libFuzzer arguments]
# SECONDS defaults to 300. The corpus grows in $build/corpus, seeded from
# fuzz/corpus and the shipped data files; findings are written to $build/findings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-300}
shift || true

cmake -S "$root" -B "$build" -DTESSIK_FUZZ=ON -DTESSIK_BUILD_GUI=OFF -DTESSIK_BUILD_TESTS=OFF \
  -DTESSIK_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target field_reader_fuzz --parallel "${TESSIK_JOBS:-2}"

mkdir -p "$build/corpus" "$build/findings"
cp -n "$root"/fuzz/corpus/* "$root"/data/*.ini "$build/corpus/" 2>/dev/null || true
exec "$build/fuzz/field_reader_fuzz" "$build/corpus" -max_total_time="$seconds" -max_len=8192 \
  -rss_limit_mb=2048 -artifact_prefix="$build/findings/" -print_final_stats=1 "$@"
