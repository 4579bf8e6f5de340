#!/bin/sh
# Starts the game in the directory that holds its data/, the window scaled by
# the largest whole factor the screen has room for, with crisp pixels.
# (sdl12-compat reads these settings; classic SDL 1.2 ignores them.)
# Usage: launch.sh GAME DATA_PARENT
set -eu
game=$1
cd "$2"

screen_size() {
    [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null 2>&1 || return 0
    xdpyinfo 2>/dev/null | awk '/dimensions:/ { print $2; exit }'
}

if [ -z "${SDL12COMPAT_WINDOW_SCALING:-}" ]; then
    size=$(screen_size)
    case "$size" in
    *x*)
        # Leave room for panels and the window's frame.
        factor_x=$(((${size%x*} - 64) / 640))
        factor_y=$(((${size#*x} - 120) / 400))
        factor=$((factor_x < factor_y ? factor_x : factor_y))
        if [ "$factor" -ge 2 ]; then
            export SDL12COMPAT_WINDOW_SCALING="$factor"
            export SDL12COMPAT_SCALE_METHOD="${SDL12COMPAT_SCALE_METHOD:-nearest}"
        fi
        ;;
    esac
fi
exec "$game"
