#!/bin/sh
# Installs what is missing, builds, and runs every test: once plainly, once
# under AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes the
# picture decoder for FUZZ_SECONDS (60 by default).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh test
jobs=$(nproc)

run_suite() {
    dir=$1
    shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

run_suite build -DCMAKE_BUILD_TYPE=Release -DMAHJONG_BENCH=ON
run_suite build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAHJONG_SANITIZE=ON
fuzz/run_fuzz.sh "${FUZZ_SECONDS:-60}"
echo "All tests passed."
