#!/bin/sh
# Checks the game's Debian package on a fresh Debian root, as a player meets
# it: `apt install ./mahjong_*.deb`, the game started from a terminal by a
# user and by the desktop entry's command, `apt remove mahjong` leaving none
# of its files; then the same with sdl12-compat's libsdl1.2-compat-shim in
# place of classic SDL 1.2. The game runs under SDL's dummy video driver.
# Usage: scripts/fresh_check_deb.sh ROOT DEB
#   ROOT: a root made by `debootstrap --variant=minbase bookworm`; /proc and
#   /dev are mounted in it if they are not, and unmounted after. What the
#   check installs is removed again, but the package lists stay updated.
# Prints one line per step; the commands' output goes to
# build/fresh-check/deb-check.log, whose end is printed when a step fails.
# shellcheck disable=SC2016 # dpkg-query formats name its own ${fields}
set -eu
[ $# -eq 2 ] || { echo "usage: $0 ROOT DEB" >&2; exit 2; }
root=$(readlink -f "$1")
deb=$(readlink -f "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
[ -d "$root/var/lib/dpkg" ] || { echo "$root is not a Debian root" >&2; exit 2; }
[ -f "$deb" ] || { echo "$deb: no such package" >&2; exit 2; }
log=$here/build/fresh-check/deb-check.log
mkdir -p "$(dirname "$log")"
: >"$log"

mounted=""
unmount_all() {
    for point in $mounted; do umount "$point" || umount -l "$point"; done
    mounted=""
}
trap unmount_all EXIT
trap 'exit 1' INT TERM
if ! mountpoint -q "$root/proc"; then
    mount -t proc proc "$root/proc"
    mounted="$root/proc $mounted"
fi
if [ ! -c "$root/dev/null" ]; then
    mount --bind /dev "$root/dev"
    mounted="$root/dev $mounted"
fi

# A command in the root as root, with root's usual PATH (no /usr/games).
in_root() {
    timeout 900 chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@" >>"$log" 2>&1
}
step() { printf '%-62s ' "$1"; echo "== $1" >>"$log"; }
pass() { echo "PASS${1:+ ($1)}"; }
fail() {
    echo "FAIL: $1"
    tail -n 40 "$log"
    exit 1
}

# Runs COMMAND... (in the root through chroot) and waits until the game has
# read its first tile set (inotify on the file), then checks that the game is
# running in the package's data directory and stops it.
start_game() {
    /usr/bin/python3 - "$root" "$@" >>"$log" 2>&1 <<'EOF'
import ctypes, os, select, signal, subprocess, sys
root, command = sys.argv[1], sys.argv[2:]
tiles = root + "/usr/share/games/mahjong/data/tiles0.pcx"
libc = ctypes.CDLL(None, use_errno=True)
watch = libc.inotify_init1(os.O_CLOEXEC)
if watch < 0 or libc.inotify_add_watch(watch, tiles.encode(), 0x10) < 0:
    sys.exit("cannot watch " + tiles)
env = dict(PATH="/usr/sbin:/usr/bin:/sbin:/bin", LANG="C.UTF-8",
           SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
child = subprocess.Popen(command, env=env, start_new_session=True)
ready, _, _ = select.select([watch, os.pidfd_open(child.pid)], [], [], 60)
games = []
for pid in filter(str.isdigit, os.listdir("/proc")):
    try:
        if os.readlink("/proc/%s/exe" % pid) == root + "/usr/lib/games/mahjong/mahjong":
            games.append((int(pid), os.readlink("/proc/%s/cwd" % pid)))
    except OSError:
        pass
for pid, _ in games:
    os.kill(pid, signal.SIGTERM)
try:
    child.wait(timeout=30)
except subprocess.TimeoutExpired:
    os.killpg(child.pid, signal.SIGKILL)
    sys.exit("the command did not end after the game was stopped")
print("tile set read:", watch in ready, "games:", games, "status:", child.returncode)
if watch not in ready or [cwd for _, cwd in games] != [root + "/usr/share/games/mahjong"]:
    sys.exit("the game did not start in its data directory")
EOF
}

# One round: install the package, start the game both ways, remove it.
check_round() {
    step "apt install ./$(basename "$deb") ($1)"
    cp "$deb" "$root/tmp/"
    in_root sh -c "cd /tmp && apt install -y ./$(basename "$deb")" || fail "apt could not install it"
    rm "$root/tmp/$(basename "$deb")"
    in_root dpkg-query -W mahjong libsdl1.2debian libsdl1.2-compat-shim || true
    sdl=$(chroot "$root" dpkg-query -W -f '${db:Status-Status} ${Package}\n' \
        libsdl1.2debian libsdl1.2-compat-shim 2>/dev/null | sed -n 's/^installed //p')
    [ "$sdl" = "$2" ] || fail "SDL 1.2 came from '$sdl', not $2"
    pass "$sdl"

    step "a player starts mahjong from a terminal in the home directory"
    start_game chroot "$root" su -l player -w SDL_VIDEODRIVER,SDL_AUDIODRIVER -c mahjong ||
        fail "the game did not start"
    pass

    step "the desktop entry's command starts it (root, no /usr/games)"
    entry=$(chroot "$root" dpkg-query -L mahjong | grep '^/usr/share/applications/.*\.desktop$')
    command=$(sed -n 's/^Exec=//p' "$root$entry")
    start_game chroot "$root" sh -c "cd /tmp && exec $command" || fail "Exec=$command did not start it"
    pass "$command"

    step "apt remove mahjong leaves none of its files"
    chroot "$root" dpkg-query -L mahjong >"$root/tmp/mahjong.list"
    in_root apt remove -y mahjong || fail "apt could not remove it"
    status=$(chroot "$root" dpkg-query -W -f '${db:Status-Status}' mahjong 2>/dev/null || true)
    [ "$status" = not-installed ] || [ -z "$status" ] || fail "dpkg still lists it: $status"
    left=""
    while read -r path; do
        if [ "$path" != /. ] && [ -e "$root$path" ] &&
            ! chroot "$root" dpkg-query -S "$path" >/dev/null 2>&1; then
            left="$left $path"
        fi
    done <"$root/tmp/mahjong.list"
    rm "$root/tmp/mahjong.list"
    [ -z "$left" ] || fail "left behind:$left"
    pass
}

step "prepare: package lists, a user named player"
in_root apt-get update || fail "apt-get update failed"
added_player=no
if ! chroot "$root" id player >/dev/null 2>&1; then
    in_root useradd -m -s /bin/sh player || fail "could not add the user"
    added_player=yes
fi
pass

check_round "apt's choice of SDL 1.2" libsdl1.2debian
step "apt install libsdl1.2-compat-shim (sdl12-compat)"
in_root apt-get install -y libsdl1.2-compat-shim || fail "apt could not install the shim"
pass
check_round "with sdl12-compat" libsdl1.2-compat-shim
step "clean up: SDL 1.2 and what it brought removed, the user too"
in_root apt-get purge -y --autoremove libsdl1.2-compat-shim || fail "apt could not remove them"
[ "$added_player" = no ] || in_root userdel -r player || fail "could not remove the user"
pass
echo "The package installs, starts and removes cleanly with both SDL 1.2 implementations."
