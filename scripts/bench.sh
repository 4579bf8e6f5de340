#!/bin/sh
# Builds the frame benchmark twice, as a Release build (build-bench) and with
# the compiler and linker flags of the Debian package (build-bench-deb, the
# flags scripts/make_deb.sh uses), and runs the two programs in turn, ROUNDS
# times (2 by default), so both are measured in the same time window.
# Arguments go to the benchmark program; by default 5 repetitions, medians
# and spreads only.
# Needs Google Benchmark and dpkg-dev (scripts/setup.sh test installs them).
# Usage: scripts/bench.sh [benchmark arguments...]
set -eu
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

scripts/configure.sh build-bench -DCMAKE_BUILD_TYPE=Release -DMAHJONG_BENCH=ON -DMAHJONG_TESTS=OFF
# What make_deb.sh configures, with the benchmarks.
(
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    scripts/configure.sh build-bench-deb -DCMAKE_BUILD_TYPE=None -DMAHJONG_BENCH=ON \
        -DMAHJONG_TESTS=OFF "-DCMAKE_CXX_FLAGS=$CPPFLAGS $CXXFLAGS" \
        "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS"
)
for dir in build-bench build-bench-deb; do
    cmake --build "$dir" -j "$jobs" --target bench_board_view >"$dir/build.log" 2>&1 || {
        cat "$dir/build.log" >&2
        exit 1
    }
done
round=1
while [ "$round" -le "${ROUNDS:-2}" ]; do
    for dir in build-bench build-bench-deb; do
        echo "== $dir, round $round"
        "$dir/bench/bench_board_view" "$@"
    done
    round=$((round + 1))
done
