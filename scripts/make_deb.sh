#!/bin/sh
# Builds the game's Debian package: installs what is missing, configures
# BUILD_DIR (build-deb by default) to install where Debian puts a game, with
# the compiler and linker flags of a Debian package build (dpkg-buildflags,
# all hardening), builds, and runs `cpack -G DEB`, which writes
# BUILD_DIR/mahjong_<version>_<arch>.deb.
# Usage: scripts/make_deb.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-deb}
scripts/setup.sh package
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# Build type None: only Debian's flags (CPPFLAGS holds _FORTIFY_SOURCE, which
# CMake does not read by itself).
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DMAHJONG_DEBIAN_LAYOUT=ON -DMAHJONG_TESTS=OFF -DMAHJONG_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS=$CPPFLAGS $CXXFLAGS" "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS" >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
cpack -G DEB
