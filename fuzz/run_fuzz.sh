#!/bin/sh
# Builds the PCX fuzzer (clang, build-fuzz/) and runs it over a copy of the
# seed corpus for a bounded time. Usage: fuzz/run_fuzz.sh [seconds], default 60.
# Exits non-zero on any finding (crash, sanitizer report, leak, timeout);
# the failing input is kept in build-fuzz/artifacts/.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

CXX=clang++ cmake -S "$root" -B "$build" -DMAHJONG_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_pcx -j2

work=$(mktemp -d "${TMPDIR:-/tmp}/fuzz-pcx.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$root"/fuzz/corpus/pcx/* "$work"/
mkdir -p "$build/artifacts"

ASAN_OPTIONS="detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
    "$build/fuzz/fuzz_pcx" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$work"
