#!/bin/bash
# The fresh-machine check: runs the README's commands, read from README.md at
# run time, on a minimal Debian 12 made with debootstrap, in a clone of HEAD.
# Usage: scripts/fresh_check.sh [--full]   (as root; --full adds the test command)
#
# Steps, one line each (PASS or FAIL): the host's tools; the minbase image
# (built once from the mirror the host's apt sources name, then cached in
# /var/cache/mahjong-fresh-check/); a root made from it with a clone of HEAD;
# the play command in a window of the host's Xvfb (the first frame drawn,
# Escape, status 0); the play command with no display (status 1 and
# "Couldn't initialize SDL: "); in a second fresh root, the Installing
# commands and the installed launchers in a window; the Debian package, when
# the clone has scripts/fresh_check_deb.sh; with --full, the test command.
# Logs and screenshots: build/fresh-check/.
# Everything it mounts lies inside its own roots (each root a tmpfs of its
# own), and it is unmounted on every exit; a root that still has a mount is
# never deleted.
set -euo pipefail
# shellcheck disable=SC2317 # the steps are called through step()

repo=$(cd "$(dirname "$0")/.." && pwd)
logs="$repo/build/fresh-check"
cache=/var/cache/mahjong-fresh-check
image="$cache/bookworm-minbase.tar.gz"
archives="$cache/archives" # the .debs apt downloads inside the roots
root_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

# Time limits in seconds, one per wait.
LOCK_LIMIT=1800       # another fresh check holding the cache
IMAGE_LIMIT=1200      # debootstrap
PLAY_LIMIT=1200       # the play command up to its window, installing on a fresh root
WINDOW_LIMIT=60       # an installed launcher up to its window
FRAME_LIMIT=30        # a window's first frame
END_LIMIT=30          # the game ending after Escape
INSTALL_LIMIT=900     # the Installing commands
NO_DISPLAY_LIMIT=120  # the play command with no display (built already)
PACKAGE_LIMIT=1200    # building and checking the package
TEST_LIMIT=5400       # the test command (--full)

full=no
case "${1:-}" in
"") ;;
--full) full=yes ;;
*)
    echo "usage: $0 [--full]" >&2
    exit 2
    ;;
esac
if [ "$(id -u)" -ne 0 ]; then
    echo "The fresh check builds and enters a Debian root: run it as root." >&2
    exit 2
fi

mkdir -p "$cache" "$archives"
work=$(mktemp -d /var/tmp/mahjong-fresh-check.XXXXXX)
root="$work/root"
failed=0
step_pid="" # the step running now

# --- Clean-up -----------------------------------------------------------------

# The ids of the processes running inside a root.
root_pids() {
    local link
    for link in /proc/[0-9]*/root; do
        [ "$(readlink "$link" 2>/dev/null)" != "$1" ] || basename "$(dirname "$link")"
    done
    return 0
}

# Ends, by id, every process running inside a root: they would keep mounts busy.
stop_root_processes() {
    local dir=$1 pids deadline
    pids=$(root_pids "$dir")
    [ -n "$pids" ] || return 0
    # shellcheck disable=SC2086
    kill $pids 2>/dev/null || true
    deadline=$(($(date +%s) + 10))
    while [ -n "$(root_pids "$dir")" ] && [ "$(date +%s)" -lt "$deadline" ]; do
        sleep 0.2
    done
    pids=$(root_pids "$dir")
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
}

# Mount points at or below a directory, deepest first.
mounts_below() {
    awk -v dir="$1" '$5 == dir || index($5, dir "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

unmount_root() {
    local dir=$1 point
    stop_root_processes "$dir"
    for point in $(mounts_below "$dir"); do
        umount "$point" 2>/dev/null || umount -l "$point"
    done
}

# Deletes a root, but never one that still has something mounted in it.
remove_root() {
    local dir=$1
    [ -d "$dir" ] || return 0
    unmount_root "$dir"
    if [ -n "$(mounts_below "$dir")" ]; then
        echo "Not deleting $dir: it still has mounts: $(mounts_below "$dir" | tr '\n' ' ')" >&2
        return 1
    fi
    rm -rf --one-file-system "$dir"
}

cleanup() {
    local dir
    [ -z "$step_pid" ] || kill "$step_pid" 2>/dev/null || true
    [ ! -f "$work/xvfb.pid" ] || kill "$(cat "$work/xvfb.pid")" 2>/dev/null || true
    for dir in "$work"/root*; do
        remove_root "$dir" || return 0
    done
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'echo "Stopped by SIGINT; cleaning up."; exit 130' INT
trap 'echo "Stopped by SIGTERM; cleaning up."; exit 143' TERM

# --- Steps --------------------------------------------------------------------

# Ends a step: the reason goes to the step's log and to the FAIL line.
die() {
    echo "$*" >"$work/reason"
    echo "fresh check: $*"
    exit 1
}

# step NAME FUNCTION [required]: runs the function in a subshell with its
# output in build/fresh-check/NAME.log and prints PASS or FAIL. A failed
# required step ends the check; after any other, the check goes on.
step() {
    local name=$1 function=$2 required=${3:-} started status dir
    started=$(date +%s)
    rm -f "$work/reason"
    # In the background, so that a signal to the check is handled at once.
    (
        set -euo pipefail
        "$function"
    ) >"$logs/$name.log" 2>&1 </dev/null &
    step_pid=$!
    status=0
    wait "$step_pid" || status=$?
    step_pid=""
    for dir in "$work"/root*; do
        stop_root_processes "$dir"
    done
    local took=$(($(date +%s) - started))
    if [ "$status" -eq 0 ]; then
        echo "PASS $name (${took} s)"
        return 0
    fi
    local reason="exit status $status"
    [ -f "$work/reason" ] && reason=$(cat "$work/reason")
    echo "FAIL $name (${took} s): $reason"
    echo "  the end of build/fresh-check/$name.log:"
    tail -n 25 "$logs/$name.log" | sed 's/^/  | /'
    failed=1
    [ "$required" != required ] || exit 1
}

installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

host_tools() {
    local missing="" package
    for package in debootstrap xvfb xdotool imagemagick git; do
        installed "$package" || missing="$missing $package"
    done
    [ -n "$missing" ] || return 0
    echo "installing on the host:$missing"
    apt-get update || die "apt-get update failed on the host"
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing ||
        die "could not install on the host:$missing"
}

# The first Debian bookworm mirror in the host's apt sources, one-line or deb822.
host_mirror() {
    local files
    files=$(ls /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    [ -n "$files" ] || return 0
    # shellcheck disable=SC2086
    awk '
        FNR == 1 { types = ""; uris = ""; suites = "" }
        /^[ \t]*deb[ \t]/ {
            for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/ && $i !~ /=/) break
            if ($(i + 1) == "bookworm") { print $i; exit }
        }
        /^Types:/ { types = $0 }
        /^URIs:/ { uris = $2 }
        /^Suites:/ { suites = $0 }
        /^[ \t]*$/ { types = ""; uris = ""; suites = "" }
        types ~ /[ \t]deb([ \t]|$)/ && uris != "" && suites ~ /[ \t]bookworm([ \t]|$)/ { print uris; exit }
    ' $files
}

build_image() {
    local mirror staging
    if [ -s "$image" ]; then
        echo "cached: $image"
        return 0
    fi
    mirror=$(host_mirror)
    [ -n "$mirror" ] || die "no Debian bookworm mirror in /etc/apt/sources.list{,.d}"
    echo "mirror: $mirror"
    staging="$work/root-image"
    timeout -k 10 "$IMAGE_LIMIT" debootstrap --variant=minbase --include=git,ca-certificates,sudo \
        --cache-dir="$archives" bookworm "$staging" "$mirror" ||
        die "debootstrap from $mirror failed or took over $IMAGE_LIMIT s"
    unmount_root "$staging"
    [ -z "$(mounts_below "$staging")" ] || die "debootstrap left mounts in $staging"
    # Like a machine just made: no package lists yet, no downloaded packages.
    rm -rf "$staging"/var/lib/apt/lists/* "$staging"/var/cache/apt/archives/*.deb
    tar --numeric-owner -C "$staging" -czf "$image.partial" . || die "could not pack $staging"
    mv "$image.partial" "$image"
    remove_root "$staging"
}

# The device files programs expect, made in the root's own /dev unless there.
make_devices() {
    local dev=$1 name major minor
    while read -r name major minor; do
        [ -c "$dev/$name" ] || { rm -f "$dev/$name" && mknod -m 666 "$dev/$name" c "$major" "$minor"; }
    done <<'END'
null 1 3
zero 1 5
full 1 7
random 1 8
urandom 1 9
tty 5 0
END
    mkdir -p "$dev/shm" "$dev/pts"
    ln -sfn pts/ptmx "$dev/ptmx"
}

# Unpacks the image into a directory and mounts there what programs need.
# The root lives in memory, a tmpfs of its own: unpacking is quick, and
# unmounting deletes it at once.
make_root() {
    local dir=$1
    mkdir -p "$dir"
    mount -t tmpfs -o size=10g,mode=755 tmpfs "$dir"
    tar --numeric-owner -C "$dir" -xzf "$image" || die "could not unpack $image"
    cp /etc/resolv.conf "$dir/etc/resolv.conf" # to reach the mirror, as a fresh machine would
    make_devices "$dir/dev"
    mount -t proc proc "$dir/proc"
    mount -t tmpfs -o mode=1777 tmpfs "$dir/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$dir/dev/pts"
    mkdir -p "$dir/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$dir/tmp/.X11-unix"
    mount --bind "$archives" "$dir/var/cache/apt/archives"
}

# A fresh root with a clone of HEAD in root's home, ~/mahjong.
make_root_with_clone() {
    local dir=$1
    make_root "$dir"
    git clone --quiet --no-hardlinks "$repo" "$dir/root/mahjong" || die "git clone failed"
    git -C "$dir/root/mahjong" checkout --quiet "$(git -C "$repo" rev-parse HEAD)" ||
        die "could not check out HEAD in the clone"
    git -C "$dir/root/mahjong" log -1 --format='clone of %h %s'
}

make_first_root() {
    make_root_with_clone "$root"
}

# A fresh X server on the host, reachable from the roots through their
# /tmp/.X11-unix; -displayfd says when it is ready.
start_display() {
    mkdir -p /tmp/.X11-unix
    chmod 1777 /tmp/.X11-unix
    mkfifo "$work/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/displayfd" \
        >"$logs/xvfb.log" 2>&1 9>&- &
    echo $! >"$work/xvfb.pid"
    local number
    number=$(timeout 30 head -n 1 "$work/displayfd") || die "Xvfb did not start within 30 s"
    [ -n "$number" ] || die "Xvfb ended at start (see xvfb.log)"
    echo ":$number" >"$work/display"
    echo "Xvfb on :$number"
}

# in_root DIR LIMIT COMMAND [NAME=value...]: the command line in bash, in the
# clone, in a clean environment like a fresh login's, for at most LIMIT s.
in_root() {
    local dir=$1 limit=$2 command=$3
    shift 3
    timeout -k 10 "$limit" chroot "$dir" /usr/bin/env -i HOME=/root USER=root LOGNAME=root \
        SHELL=/bin/bash PATH="$root_path" TERM=dumb LANG=C.UTF-8 "$@" \
        /bin/bash -c "cd ~/mahjong && $command"
}

# The README's commands: the lines of its first sh block, without comment lines.
readme_block() { # FILTER: an awk pattern picking the block
    awk -v section="$1" '
        BEGIN { in_section = (section == "") }
        /^## / { in_section = (section == "" || $0 == "## " section) }
        in_section && /^```sh/ { inside = 1; text = ""; next }
        inside && /^```/ { inside = 0; if (text ~ pick) { printf "%s", text; exit } ; next }
        inside && !/^[ \t]*#/ && !/^[ \t]*$/ { text = text $0 "\n" }
    ' pick="$2" "$root/root/mahjong/README.md"
}

# play_in_window NAME LIMIT COMMAND: runs the command in the root with the
# display, waits for a window titled "Mahjong" whose first frame is drawn,
# keeps a screenshot, sends Escape and expects status 0.
play_in_window() {
    local name=$1 limit=$2 command=$3 display window="" colours=0 deadline status
    display=$(cat "$work/display")
    rm -f "$work/status"
    (
        status=0
        in_root "$root" "$limit" "$command" DISPLAY="$display" || status=$?
        echo "$status" >"$work/status"
    ) &
    deadline=$(($(date +%s) + limit))
    while [ -z "$window" ]; do
        [ ! -f "$work/status" ] || die "$name ended with status $(cat "$work/status") before its window appeared"
        [ "$(date +%s)" -lt "$deadline" ] || die "no window titled Mahjong within $limit s"
        window=$(DISPLAY=$display timeout 10 xdotool search --onlyvisible --name '^Mahjong$' |
            head -n 1) || true
        [ -n "$window" ] || sleep 0.5
    done
    echo "window $window"
    deadline=$(($(date +%s) + FRAME_LIMIT))
    while [ "$colours" -lt 16 ]; do
        [ "$(date +%s)" -lt "$deadline" ] || die "the window shows $colours colours after $FRAME_LIMIT s: nothing drawn"
        sleep 0.5
        timeout 10 import -display "$display" -window "$window" "$logs/$name.png" || continue
        colours=$(timeout 10 convert "$logs/$name.png" -format %k info:)
    done
    echo "first frame: $colours colours, kept in $name.png"
    # As a player would: give the window the focus, then press the key.
    DISPLAY=$display timeout 10 xdotool windowfocus --sync "$window" key Escape ||
        die "xdotool could not send Escape to window $window"
    deadline=$(($(date +%s) + END_LIMIT))
    until [ -f "$work/status" ]; do
        [ "$(date +%s)" -lt "$deadline" ] || die "still running $END_LIMIT s after Escape"
        sleep 0.2
    done
    status=$(cat "$work/status")
    [ "$status" -eq 0 ] || die "$name ended with status $status after Escape"
    stop_root_processes "$root"
}

# readme_command N WHAT: line N of the README's first sh block (1 play, 2 test).
readme_command() {
    local command
    command=$(readme_block "" . | sed -n "$1p")
    [ -n "$command" ] || die "no $2 command in README.md's first sh block"
    echo "$command"
}

play_command() {
    local command
    command=$(readme_command 1 play)
    echo "the README's play command: $command"
    play_in_window play "$PLAY_LIMIT" "$command"
}

# In a root of its own, so that nothing the play command installed helps.
install_commands() {
    local commands launcher found=0
    root="$work/root-install"
    make_root_with_clone "$root"
    commands=$(readme_block Installing 'cmake --install')
    [ -n "$commands" ] || die "no sh block with cmake --install in README.md's Installing section"
    printf 'the README'"'"'s install commands:\n%s\n' "$commands"
    in_root "$root" "$INSTALL_LIMIT" "set -e; $commands" || die "the install commands failed"
    # The launcher from a fresh login's PATH, and from where the README says
    # it lands for one user.
    for launcher in path:mahjong home:~/.local/bin/mahjong; do
        in_root "$root" 10 "command -v ${launcher#*:}" || continue
        found=1
        echo "starting ${launcher#*:}"
        play_in_window "installed-${launcher%%:*}" "$WINDOW_LIMIT" "${launcher#*:}"
    done
    [ "$found" -eq 1 ] || die "no launcher installed: mahjong is not on the PATH nor in ~/.local/bin"
    remove_root "$root" || die "could not remove $root"
}

no_display() {
    local command status=0
    command=$(readme_command 1 play)
    in_root "$root" "$NO_DISPLAY_LIMIT" "$command" >"$work/no-display.out" 2>&1 || status=$?
    cat "$work/no-display.out"
    [ "$status" -ne 124 ] && [ "$status" -ne 137 ] || die "still running after $NO_DISPLAY_LIMIT s with no display"
    [ "$status" -eq 1 ] || die "status $status with no display, not 1"
    grep -q "^Couldn't initialize SDL: " "$work/no-display.out" ||
        die "no line \"Couldn't initialize SDL: \" with no display"
}

# The clone's package check, when it has one: fresh_check_deb.sh ROOT DEB gets
# a second fresh root, mounted like the first, and the display in DISPLAY.
package() {
    local deb
    in_root "$root" "$PACKAGE_LIMIT" ./scripts/make_deb.sh || die "scripts/make_deb.sh failed"
    deb=$(ls "$root"/root/mahjong/build-deb/*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || die "scripts/make_deb.sh made no build-deb/*.deb"
    make_root "$work/root-deb"
    DISPLAY=$(cat "$work/display") timeout -k 10 "$PACKAGE_LIMIT" \
        "$root/root/mahjong/scripts/fresh_check_deb.sh" "$work/root-deb" "$deb" ||
        die "scripts/fresh_check_deb.sh failed"
    remove_root "$work/root-deb" || die "could not remove the package's root"
}

test_command() {
    local command
    command=$(readme_command 2 test)
    echo "the README's test command: $command"
    in_root "$root" "$TEST_LIMIT" "$command" || die "the test command failed"
}

hold_cache() {
    exec 9>"$cache/lock"
    flock -n 9 && return 0
    echo "Waiting for another fresh check to finish (at most $LOCK_LIMIT s)."
    flock -w "$LOCK_LIMIT" 9 || {
        echo "FAIL another fresh check held $cache/lock for $LOCK_LIMIT s"
        exit 1
    }
}

hold_cache
rm -rf "$logs"
mkdir -p "$logs"
step host-tools host_tools required
step image build_image required
step root make_first_root required
step display start_display required
step play play_command
step no-display no_display
step install install_commands
if [ -x "$root/root/mahjong/scripts/fresh_check_deb.sh" ]; then
    if [ -x "$root/root/mahjong/scripts/make_deb.sh" ]; then
        step package package
    else
        echo "SKIP package: the clone has fresh_check_deb.sh but no make_deb.sh"
    fi
fi
[ "$full" = no ] || step test test_command
if [ "$failed" -eq 0 ]; then
    echo "The fresh check passed."
else
    echo "The fresh check failed; logs in build/fresh-check/."
fi
exit "$failed"
