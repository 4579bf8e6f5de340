#!/bin/sh
# fuzz/run_fuzz.sh [seconds [log]]: builds the PCX fuzzer (clang, in build-fuzz/) and runs
# it over a copy of the seed corpus (60 s; output to build-fuzz/fuzz.log). On a finding it
# exits non-zero with the log's end, the input kept in build-fuzz/artifacts/.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
log=${2:-$build/fuzz.log}
mkdir -p "$build/artifacts" "$(dirname "$log")"

fail() {
    echo "$1; the end of $log:" >&2
    tail -n 80 "$log" >&2
    exit 1
}

{
    CXX=clang++ cmake -S "$root" -B "$build" -DMAHJONG_FUZZ=ON -DMAHJONG_WERROR=ON &&
        cmake --build "$build" --target fuzz_pcx -j2
} >"$log" 2>&1 || fail "Building the fuzzer failed"

work=$(mktemp -d "${TMPDIR:-/tmp}/fuzz-pcx.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$root"/fuzz/corpus/pcx/* "$work"/

ASAN_OPTIONS="detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
    "$build/fuzz/fuzz_pcx" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$work" \
    >>"$log" 2>&1 || fail "The fuzzer found a fault (input kept in $build/artifacts/)"

# libFuzzer's closing line: "Done 123456 runs in 61 second(s)".
done_line=$(grep '^Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1)
[ -n "$done_line" ] || fail "The fuzzer ended without its summary"
echo "$done_line" | awk '{ printf "fuzzing the picture decoder: %s runs in %s s, no findings\n", $2, $5 }'
