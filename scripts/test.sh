#!/bin/sh
# Installs what is missing, builds, and runs every test: once plainly, once
# under AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes the
# picture decoder for FUZZ_SECONDS (60 by default). Prints one line per stage;
# each stage's full output is kept in build/test-logs/, and the output of a
# stage that fails is printed.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh test
jobs=$(nproc)
logs=build/test-logs
rm -rf "$logs"
mkdir -p "$logs"

# Prints what failed in a stage and stops: the log's last lines, then its path.
fail() {
    echo "$1 failed; the end of its log, $2:" >&2
    tail -n 80 "$2" >&2
    exit 1
}

# The counts of a CTest log: "passed failed", from its summary line.
ctest_counts() {
    sed -n 's/.* tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\2 \1/p' "$1" |
        awk '{ print $1 - $2, $2 }'
}

# run_suite NAME DIR [cmake arguments...]: configure, build, run CTest.
run_suite() {
    name=$1
    dir=$2
    shift 2
    scripts/configure.sh "$dir" "$@"
    cp "$dir/configure.log" "$logs/$name-configure.log"
    cmake --build "$dir" -j "$jobs" >"$logs/$name-build.log" 2>&1 ||
        fail "$name: building" "$logs/$name-build.log"
    log="$logs/$name-ctest.log"
    status=0
    (cd "$dir" && ctest --output-on-failure -j "$jobs") >"$log" 2>&1 || status=$?
    counts=$(ctest_counts "$log")
    if [ "$status" -ne 0 ] || [ -z "$counts" ]; then
        # Every test's result line but the passed ones, and the failed tests' output.
        grep -v 'Passed  *[0-9.]* sec$' "$log" >&2 || true
        echo "$name: tests failed; the whole log is $log" >&2
        exit 1
    fi
    set -- $counts
    echo "$name: $1 passed, $2 failed"
}

run_suite release build -DCMAKE_BUILD_TYPE=Release -DMAHJONG_BENCH=ON -DMAHJONG_TESTS=ON \
    -DMAHJONG_WERROR=ON
run_suite sanitizers build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAHJONG_SANITIZE=ON \
    -DMAHJONG_TESTS=ON -DMAHJONG_WERROR=ON
fuzz/run_fuzz.sh "${FUZZ_SECONDS:-60}" "$logs/fuzz.log"
echo "All tests passed."
