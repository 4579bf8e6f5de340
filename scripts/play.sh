#!/bin/sh
# Installs what is missing, builds the game in Release and starts it.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh play
scripts/configure.sh build -DCMAKE_BUILD_TYPE=Release
cmake --build build --target mahjong -j "$(nproc)"
exec scripts/launch.sh "$PWD/build/mahjong" "$PWD"
