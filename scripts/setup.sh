#!/bin/sh
# Installs, with apt-get, whatever the game needs and is missing: "play" for
# building and running it, "package" for building its Debian package too,
# "test" for the tests, benchmarks and fuzzing too.
# Calls apt-get only when a package is missing; never removes one.
set -eu

mode=${1:-play}

build_packages="cmake g++ make pkg-config"
play_packages="x11-utils"
package_packages="dpkg-dev file"
test_packages="libgtest-dev libbenchmark-dev libsdl-image1.2-dev clang libclang-rt-14-dev
    xvfb xauth xdotool imagemagick python3-pil fontconfig fonts-noto-core fonts-wqy-microhei
    desktop-file-utils $package_packages lintian appstream mandoc groff-base"

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
$sudo apt-get update -qq
if [ "$need_sdl" = yes ]; then
    if apt-cache show libsdl1.2-compat-dev >/dev/null 2>&1; then
        missing="$missing libsdl1.2-compat-dev"
    else
        missing="$missing libsdl1.2-dev" # on later Debian releases this is sdl12-compat itself
    fi
fi
echo "Installing:$missing"
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
