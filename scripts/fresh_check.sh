#!/bin/bash
# The fresh-machine check: runs the README's commands, read from README.md at
# run time, in clones of HEAD on minimal Debian 12 (bookworm) and Debian 13
# (trixie) roots, and checks the game's Debian package with piuparts.
# Usage: scripts/fresh_check.sh [RELEASE...]   (as root; both releases by default)
#
# Per release, one line each (PASS or FAIL): the minbase image (made once with
# mmdebstrap from the mirror the host's apt sources name, then cached in
# /var/cache/mahjong-fresh-check/ with the .debs apt downloads); an Xvfb of its
# own; in a fresh root, the play command in a window (first frame drawn,
# Escape, status 0), the play command with no display (status 1, "Couldn't
# initialize SDL: "), the Installing commands and the installed launchers,
# scripts/make_deb.sh; piuparts on that package; the package started by a
# player and by its desktop entry (on bookworm with classic SDL 1.2, then
# with sdl12-compat); in a fresh root of its own, the test command. Last,
# piuparts on bookworm's package on trixie. The two releases run side by side
# (MAHJONG_FRESH_SERIAL=1: one after the other).
# Logs and screenshots: build/fresh-check/.
# The check runs in namespaces of its own, and every command in a root in
# namespaces of that command's own: what they start ends with them, what they
# mount goes with them, and nothing of theirs is ever mounted on the host.
set -euo pipefail
set -a # the steps run in shells of their own (below), which get every variable
# shellcheck disable=SC2317,SC2016 # steps called through step(); scripts for other shells

repo=$(cd "$(dirname "$0")/.." && pwd)
logs="$repo/build/fresh-check"
cache=/var/cache/mahjong-fresh-check
root_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

# Time limits in seconds, one per wait.
LOCK_LIMIT=3600      # another fresh check holding the cache
IMAGE_LIMIT=1200     # mmdebstrap
PLAY_LIMIT=1200      # the play command up to its window, installing on a fresh root
WINDOW_LIMIT=60      # an installed launcher up to its window
FRAME_LIMIT=30       # a window's first frame
END_LIMIT=30         # the game ending after Escape
INSTALL_LIMIT=900    # the Installing commands
NO_DISPLAY_LIMIT=120 # the play command with no display (built already)
PACKAGE_LIMIT=1200   # scripts/make_deb.sh; piuparts; installing the package
TEST_LIMIT=2700      # the test command

for release in "$@"; do
    case "$release" in bookworm | trixie) ;; *)
        echo "usage: $0 [bookworm|trixie...]" >&2
        exit 2
        ;;
    esac
done
if [ "$(id -u)" -ne 0 ]; then
    echo "The fresh check builds and enters Debian roots: run it as root." >&2
    exit 2
fi

# Outside: hold the cache, make the work directory, run the check in a PID
# and mount namespace of its own (a signal ends it there), delete the directory.
if [ -z "${MAHJONG_FRESH_WORK:-}" ]; then
    mkdir -p "$cache"
    exec 9>"$cache/lock"
    if ! flock -n 9; then
        echo "Waiting for another fresh check to finish (at most $LOCK_LIMIT s)."
        flock -w "$LOCK_LIMIT" 9 || { echo "FAIL another fresh check held $cache/lock" && exit 1; }
    fi
    work=$(mktemp -d /var/tmp/mahjong-fresh-check.XXXXXX)
    MAHJONG_FRESH_WORK=$work unshare --pid --mount --fork --kill-child --mount-proc "$0" "$@" &
    pid=$!
    trap 'kill -TERM "$(cat "/proc/$pid/task/$pid/children")" 2>/dev/null' INT TERM
    status=0
    wait "$pid" || status=$?
    while kill -0 "$pid" 2>/dev/null; do
        status=0
        wait "$pid" || status=$?
    done
    rm -rf --one-file-system "$work"
    exit "$status"
fi
work=$MAHJONG_FRESH_WORK
trap 'echo "Stopped by SIGINT."; exit 130' INT
trap 'echo "Stopped by SIGTERM."; exit 143' TERM

# --- Steps --------------------------------------------------------------------

# Ends a step: the reason goes to the step's log and to the FAIL line.
die() {
    echo "$*" >"$work/$release.reason"
    echo "fresh check: $*"
    exit 1
}

# step NAME FUNCTION [required]: runs the function as the first process of a
# PID namespace (what it starts ends with it) with its output in
# build/fresh-check/RELEASE-NAME.log and prints PASS or FAIL. A failed
# required step ends the release's check; after any other, it goes on.
step() {
    local name="$release-$1" function=$2 required=${3:-} started status=0
    started=$(date +%s)
    rm -f "$work/$release.reason"
    unshare --pid --fork --kill-child bash -c 'set -euo pipefail && "$1"' step "$function" \
        >"$logs/$name.log" 2>&1 </dev/null || status=$?
    local took=$(($(date +%s) - started))
    if [ "$status" -eq 0 ]; then
        echo "PASS $name (${took} s)"
        return 0
    fi
    local reason="exit status $status"
    [ -f "$work/$release.reason" ] && reason=$(cat "$work/$release.reason")
    printf 'FAIL %s (%s s): %s\n  the end of build/fresh-check/%s.log:\n%s\n' "$name" "$took" \
        "$reason" "$name" "$(tail -n 25 "$logs/$name.log" | sed 's/^/  | /')"
    touch "$work/failed"
    [ "$required" != required ] || exit 1
}

# The first Debian bookworm mirror in the host's apt sources, one-line or
# deb822; it serves trixie too.
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

host_tools() {
    local missing="" package
    for package in mmdebstrap piuparts xvfb xdotool imagemagick git; do
        [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ] ||
            missing="$missing $package"
    done
    [ -n "$missing" ] || return 0
    echo "installing on the host:$missing"
    apt-get update || die "apt-get update failed on the host"
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing ||
        die "could not install on the host:$missing"
}

# The image, without package lists or .debs, like a machine just made; the
# .debs it is made of are kept with those the roots download.
build_image() {
    local image="$cache/$release-minbase.tar.gz"
    if [ -s "$image" ]; then
        echo "cached: $image"
        return 0
    fi
    echo "mirror: $mirror"
    mkdir -p "$cache/$release-archives"
    timeout -k 10 "$IMAGE_LIMIT" mmdebstrap --variant=minbase --include=git,ca-certificates,sudo \
        --skip=essential/unlink --setup-hook='mkdir -p "$1"/var/cache/apt/archives' \
        --setup-hook="sync-in $cache/$release-archives /var/cache/apt/archives/" \
        --customize-hook="sync-out /var/cache/apt/archives $cache/$release-archives" \
        "$release" "$cache/$release-minbase.partial.tar.gz" "$mirror" ||
        die "mmdebstrap from $mirror failed or took over $IMAGE_LIMIT s"
    mv "$cache/$release-minbase.partial.tar.gz" "$image"
}

# make_root DIR [clone] [display]: the image unpacked in DIR, with a clone of
# HEAD in root's home, ~/mahjong, and the X sockets' directory to share.
make_root() {
    local dir=$1
    mkdir -p "$dir"
    tar --numeric-owner -C "$dir" -xzf "$cache/$release-minbase.tar.gz" || die "could not unpack the image"
    cp /etc/resolv.conf "$dir/etc/resolv.conf" # to reach the mirror, as a fresh machine would
    [ "${*: -1}" != display ] || mkdir -p "$dir/tmp/.X11-unix"
    [ "${2:-}" = clone ] || return 0
    git clone --quiet --no-hardlinks "$repo" "$dir/root/mahjong" || die "git clone failed"
    git -C "$dir/root/mahjong" checkout --quiet "$(git -C "$repo" rev-parse HEAD)" ||
        die "could not check out HEAD in the clone"
    git -C "$dir/root/mahjong" log -1 --format='clone of %h %s'
}

# in_root DIR LIMIT COMMAND [NAME=value...]: the command line in bash (in the
# clone, when there is one), in a clean environment like a fresh login's, for
# at most LIMIT s, in PID and mount namespaces of its own.
in_root() {
    local dir=$1 limit=$2 command=$3
    shift 3
    timeout -k 10 "$limit" unshare --pid --mount --fork --kill-child /bin/sh -c '
        dir=$1 && shift
        mount -t proc proc "$dir/proc"
        mount -t devpts -o newinstance,ptmxmode=0666 devpts "$dir/dev/pts"
        mount -t tmpfs -o mode=1777 tmpfs "$dir/dev/shm"
        [ ! -d "$dir/tmp/.X11-unix" ] || mount --bind /tmp/.X11-unix "$dir/tmp/.X11-unix"
        mkdir -p "$cache/$release-archives/partial"
        mount --bind "$cache/$release-archives" "$dir/var/cache/apt/archives"
        chroot "$dir" "$@"
        exit $?' sh "$dir" /usr/bin/env -i HOME=/root USER=root LOGNAME=root SHELL=/bin/bash \
        PATH="$root_path" TERM=dumb LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@" \
        /bin/bash -c "cd ~/mahjong 2>/dev/null; $command"
}

# A fresh X server for the release's windows, started outside the steps so
# that it outlives them; -displayfd says when it is ready.
start_display() {
    mkdir -p /tmp/.X11-unix
    chmod 1777 /tmp/.X11-unix
    mkfifo "$work/$release.displayfd"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/$release.displayfd" \
        >"$logs/$release-xvfb.log" 2>&1 9>&- &
    local number
    number=$(timeout 30 head -n 1 "$work/$release.displayfd") || die "Xvfb did not start within 30 s"
    [ -n "$number" ] || die "Xvfb ended at start (see $release-xvfb.log)"
    echo ":$number" >"$work/$release.display"
    echo "Xvfb on :$number"
}

# The lines of the README's first sh block in SECTION (or in the whole file)
# that matches the awk pattern PICK, without comment lines.
readme_block() { # SECTION PICK
    awk -v section="$1" '
        BEGIN { in_section = (section == "") }
        /^## / { in_section = (section == "" || $0 == "## " section) }
        in_section && /^```sh/ { inside = 1; text = ""; next }
        inside && /^```/ { inside = 0; if (text ~ pick) { printf "%s", text; exit } ; next }
        inside && !/^[ \t]*#/ && !/^[ \t]*$/ { text = text $0 "\n" }
    ' pick="$2" "$work/README.md"
}

# readme_command N WHAT: line N of the README's first sh block (1 play, 2 test).
readme_command() {
    local command
    command=$(readme_block "" . | sed -n "$1p")
    [ -n "$command" ] || die "no $2 command in README.md's first sh block"
    echo "$command"
}

# play_in_window NAME LIMIT COMMAND: runs the command in the play root with
# the display, waits for a window titled "Mahjong" whose first frame is drawn,
# keeps a screenshot, sends Escape and expects status 0.
play_in_window() {
    local name=$release-$1 limit=$2 command=$3 display window="" colours=0 deadline status=$work/$release.status
    display=$(cat "$work/$release.display")
    rm -f "$status"
    (
        code=0
        in_root "$work/$release-play" "$limit" "$command" DISPLAY="$display" || code=$?
        echo "$code" >"$status"
    ) &
    deadline=$(($(date +%s) + limit))
    while [ -z "$window" ]; do
        [ ! -f "$status" ] || die "$1 ended with status $(cat "$status") before its window appeared"
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
    until [ -f "$status" ]; do
        [ "$(date +%s)" -lt "$deadline" ] || die "still running $END_LIMIT s after Escape"
        sleep 0.2
    done
    [ "$(cat "$status")" -eq 0 ] || die "$1 ended with status $(cat "$status") after Escape"
}

play_command() {
    local command
    make_root "$work/$release-play" clone display
    command=$(readme_command 1 play)
    echo "the README's play command: $command"
    play_in_window play "$PLAY_LIMIT" "$command"
}

no_display() {
    local command status=0
    command=$(readme_command 1 play)
    in_root "$work/$release-play" "$NO_DISPLAY_LIMIT" "$command" >"$work/$release.out" 2>&1 || status=$?
    cat "$work/$release.out"
    [ "$status" -ne 124 ] && [ "$status" -ne 137 ] || die "still running after $NO_DISPLAY_LIMIT s with no display"
    [ "$status" -eq 1 ] || die "status $status with no display, not 1"
    grep -q "^Couldn't initialize SDL: " "$work/$release.out" ||
        die "no line \"Couldn't initialize SDL: \" with no display"
}

# After the play command, in its root: both start with scripts/setup.sh.
install_commands() {
    local commands launcher found=0
    commands=$(readme_block Installing 'cmake --install')
    [ -n "$commands" ] || die "no sh block with cmake --install in README.md's Installing section"
    printf 'the README'"'"'s install commands:\n%s\n' "$commands"
    in_root "$work/$release-play" "$INSTALL_LIMIT" "set -e; $commands" || die "the install commands failed"
    # The launcher from a fresh login's PATH, and from where the README says
    # it lands for one user.
    for launcher in path:mahjong home:~/.local/bin/mahjong; do
        in_root "$work/$release-play" 10 "command -v ${launcher#*:}" || continue
        found=1
        echo "starting ${launcher#*:}"
        play_in_window "installed-${launcher%%:*}" "$WINDOW_LIMIT" "${launcher#*:}"
    done
    [ "$found" -eq 1 ] || die "no launcher installed: mahjong is not on the PATH nor in ~/.local/bin"
}

make_deb() {
    in_root "$work/$release-play" "$PACKAGE_LIMIT" ./scripts/make_deb.sh || die "scripts/make_deb.sh failed"
    cp "$(ls "$work/$release-play"/root/mahjong/build-deb/*.deb | head -n 1)" "$work/$release.deb" ||
        die "scripts/make_deb.sh made no build-deb/*.deb"
}

# Install, remove and purge (no files left behind) of the package made on
# $deb_release, on a fresh $release. Trixie's debconf leaves its tmp.ci/ behind
# after the dependencies' scripts (later piuparts ignore it too).
piuparts_check() {
    [ -f "$work/$deb_release.deb" ] || die "no package made on $deb_release"
    timeout -k 10 "$PACKAGE_LIMIT" unshare --pid --mount --fork --kill-child piuparts \
        --basetgz="$cache/$release-minbase.tar.gz" --distribution="$release" --mirror="$mirror" \
        --tmpdir="$work" --no-upgrade-test --ignore=/var/cache/debconf/tmp.ci/ \
        "$work/$deb_release.deb" || die "piuparts failed"
}

# start_game DIR COMMAND: runs the command in the root with SDL's dummy video
# driver until the game has read its first tile set from the package's data
# (inotify on the file), at most 60 s. Python is the first process of a PID
# namespace: what the command started ends when it exits.
start_game() {
    unshare --pid --fork --kill-child python3 -c '
import ctypes, os, select, subprocess, sys
libc = ctypes.CDLL(None, use_errno=True)
watch = libc.inotify_init1(os.O_CLOEXEC)
if watch < 0 or libc.inotify_add_watch(watch, sys.argv[1].encode(), 0x10) < 0:  # IN_CLOSE_NOWRITE
    sys.exit("cannot watch " + sys.argv[1])
child = subprocess.Popen(sys.argv[2:])
ready, _, _ = select.select([watch, os.pidfd_open(child.pid)], [], [], 60)
sys.exit(0 if watch in ready else "%s not read; status %s" % (sys.argv[1], child.poll()))
' "$1/usr/share/games/mahjong/data/tiles0.pcx" bash -c 'in_root "$@"' in_root "$1" 70 "$2" \
        SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
}

# The package in a fresh root, started by a player and by its desktop entry,
# with each SDL 1.2 the release has: the one apt picks, then on bookworm
# sdl12-compat's shim. EXPECTED: the SDL package and its source, per round.
start_package() {
    local dir="$work/$release-start" expected sdl command
    make_root "$dir"
    cp "$work/$release.deb" "$dir/tmp/mahjong.deb"
    in_root "$dir" "$PACKAGE_LIMIT" 'apt-get update && apt-get install -y /tmp/mahjong.deb &&
        useradd -m -s /bin/sh player' || die "could not install the package"
    command=$(sed -n 's/^Exec=//p' "$dir"/usr/share/applications/*.desktop)
    expected="libsdl1.2debian sdl12-compat"
    [ "$release" != bookworm ] || expected="libsdl1.2debian libsdl1.2|libsdl1.2-compat-shim sdl12-compat"
    while [ -n "$expected" ]; do
        sdl=$(in_root "$dir" 30 "dpkg-query -W -f '\${db:Status-Status} \${Package} \${source:Package}\n' \
            libsdl1.2debian libsdl1.2-compat-shim 2>/dev/null | sed -n 's/^installed //p'")
        [ "$sdl" = "${expected%%|*}" ] || die "SDL 1.2 came from '$sdl', not ${expected%%|*}"
        echo "SDL 1.2: $sdl"
        start_game "$dir" "su -l player -w SDL_VIDEODRIVER,SDL_AUDIODRIVER -c mahjong" ||
            die "a player's mahjong did not start the game with $sdl"
        start_game "$dir" "cd /tmp && exec $command" ||
            die "the desktop entry's Exec=$command did not start the game with $sdl"
        [ "$expected" != "${expected#*|}" ] || break
        expected=${expected#*|}
        in_root "$dir" "$PACKAGE_LIMIT" "apt-get install -y ${expected%% *}" || die "could not install ${expected%% *}"
    done
}

test_command() {
    local command
    make_root "$work/$release-test" clone
    command=$(readme_command 2 test)
    echo "the README's test command: $command"
    in_root "$work/$release-test" "$TEST_LIMIT" "$command" || die "the test command failed"
    rm -rf --one-file-system "$work/$release-test"
}

check_release() {
    release=$1
    step image build_image required
    (start_display) >"$logs/$release-display.log" 2>&1 || {
        echo "FAIL $release-display: $(tail -n 1 "$logs/$release-display.log")" && touch "$work/failed" && return 0
    }
    step play play_command
    step no-display no_display
    step install install_commands
    step deb make_deb
    deb_release=$release
    step piuparts piuparts_check
    step start start_package
    rm -rf --one-file-system "$work/$release-play" "$work/$release-start"
    step test test_command
}

# shellcheck disable=SC2046
export -f $(compgen -A function)
rm -rf "$logs"
mkdir -p "$logs"
git -C "$repo" show HEAD:README.md >"$work/README.md"
started=$(date +%s)
release=host
step tools host_tools required
mirror=$(host_mirror)
[ -n "$mirror" ] || { echo "FAIL no Debian bookworm mirror in /etc/apt/sources.list{,.d}" && exit 1; }
releases=("${@:-bookworm}")
[ $# -gt 0 ] || releases+=(trixie)
for release in "${releases[@]}"; do
    if [ "${MAHJONG_FRESH_SERIAL:-}" = 1 ]; then (check_release "$release"); else check_release "$release" & fi
done
wait
if [ -f "$work/bookworm.deb" ] && [ -f "$cache/trixie-minbase.tar.gz" ]; then
    release=trixie deb_release=bookworm
    step piuparts-bookworm-deb piuparts_check
fi
took=$(($(date +%s) - started))
[ ! -f "$work/failed" ] || { echo "The fresh check failed ($took s); logs in build/fresh-check/." && exit 1; }
echo "The fresh check passed ($took s)."
