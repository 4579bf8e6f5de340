#!/bin/sh
# Installs, with apt-get, whatever the game needs and is missing: "play" for
# building and running it, "package" for building its Debian package too,
# "test" for the tests, benchmarks and fuzzing too.
# Calls apt-get only when a package is missing; never removes one. Prints one
# line naming what it installs; apt's own output goes to build/setup.log and is
# shown only when apt fails.
set -eu

mode=${1:-play}
log="$(cd "$(dirname "$0")/.." && pwd)/build/setup.log"

build_packages="cmake g++ make pkg-config"
play_packages="x11-utils"
package_packages="dpkg-dev file"
test_packages="libgtest-dev libbenchmark-dev libsdl-image1.2-dev clang libclang-rt-dev
    xvfb xauth xdotool imagemagick python3-pil fontconfig fonts-noto-core fonts-wqy-microhei
    desktop-file-utils $package_packages lintian appstream mandoc man-db"

installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

wanted="$build_packages $play_packages"
[ "$mode" = package ] && wanted="$wanted $package_packages"
[ "$mode" = test ] && wanted="$wanted $test_packages"

missing=""
for package in $wanted; do
    installed "$package" || missing="$missing $package"
done
# The SDL 1.2 API: keep whichever implementation is there (sdl12-compat or
# classic SDL 1.2; their development packages conflict), else add sdl12-compat.
need_sdl=yes
if installed libsdl1.2-compat-dev || installed libsdl1.2-dev; then
    need_sdl=no
fi
[ -n "$missing" ] || [ "$need_sdl" = yes ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "Missing packages, and installing them needs root:$missing (and SDL 1.2: $need_sdl)" >&2
    exit 1
fi
mkdir -p "$(dirname "$log")"
: >"$log"

# Runs an apt command with its output in the log; on failure shows the log and stops.
apt_logged() {
    if ! "$@" >>"$log" 2>&1; then
        cat "$log" >&2
        echo "Failed: $* (the output above is kept in $log)" >&2
        exit 1
    fi
}

apt_logged $sudo apt-get update
if [ "$need_sdl" = yes ]; then
    if apt-cache show libsdl1.2-compat-dev >/dev/null 2>&1; then
        missing="$missing libsdl1.2-compat-dev"
    else
        missing="$missing libsdl1.2-dev" # on later Debian releases this is sdl12-compat itself
    fi
fi
echo "Installing:$missing"
# shellcheck disable=SC2086
apt_logged $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
