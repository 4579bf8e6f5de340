#!/bin/sh
# Configures the build directory DIR quietly: the output goes to DIR/configure.log
# and is printed only when configuring fails. A failed configure drops the cache
# and tries once more from scratch, so a half-made cache never blocks a later run.
# Usage: scripts/configure.sh DIR [cmake arguments...]
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 DIR [cmake arguments...]" >&2
    exit 2
fi
dir=$1
shift
source_dir=$(cd "$(dirname "$0")/.." && pwd)
log="$dir/configure.log"
mkdir -p "$dir"

configure() {
    cmake -S "$source_dir" -B "$dir" "$@" >"$log" 2>&1
}

configure "$@" && exit 0
rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
configure "$@" && exit 0
cat "$log" >&2
echo "Configuring $dir failed; the output above is kept in $log" >&2
exit 1
