#!/usr/bin/python3
"""Checks the installed game: installs the build into a scratch prefix and
starts the installed launcher from elsewhere, as a desktop would.

    test_install.py CMAKE BUILD_DIR

The last line reads "N passed, N failed"; the exit status is non-zero when
a check fails.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

CMAKE, BUILD = sys.argv[1], os.path.abspath(sys.argv[2])
ICON_SIZES = (32, 48, 64, 128, 256)
FAILED_LOAD = re.compile(r"Failed to load a tile set, code [0-9]+\n")

SCRATCH = tempfile.mkdtemp(prefix="mahjong-install-")
PREFIX = os.path.join(SCRATCH, "a prefix")  # a space tests the quoting


def game_env(**extra):
    """The environment for the game: no display, SDL's dummy drivers."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "SDL12COMPAT_WINDOW_SCALING",
                        "SDL12COMPAT_SCALE_METHOD")}
    env.update(SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy", **extra)
    return env


def install(prefix):
    # Installing the named component writes install_manifest_mahjong.txt,
    # leaving the manifest of a real install in the build alone.
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", prefix,
                    "--component", "mahjong"],
                   check=True, stdout=subprocess.DEVNULL)
    os.remove(os.path.join(BUILD, "install_manifest_mahjong.txt"))


def start(launcher, cwd):
    """Starts the launcher in a process group of its own (see stop)."""
    return subprocess.Popen([launcher], cwd=cwd, env=game_env(),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, start_new_session=True)


def stop(game):
    """Kills the game and anything the launcher left behind.  SIGKILL: SDL
    turns SIGTERM into a quit event, which the game does not act on."""
    try:
        os.killpg(game.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


# ---------------------------------------------------------------------------


def test_installed_launcher_starts_the_game_in_its_data():
    """Started from an unrelated directory, the game finds its tile sets:
    it is still running after two seconds, has printed nothing, and works
    in the installed data directory's parent."""
    elsewhere = tempfile.mkdtemp(dir=SCRATCH)
    game = start(os.path.join(PREFIX, "bin", "mahjong"), elsewhere)
    try:
        time.sleep(2)
        status = game.poll()
        cwd = os.readlink("/proc/%d/cwd" % game.pid) if status is None \
            else None
    finally:
        stop(game)
    out, err = game.communicate()
    assert status is None, "the game stopped with %s: %r %r" % (status, out,
                                                                err)
    assert out == "", out
    assert cwd == os.path.join(PREFIX, "share", "mahjong"), cwd


def test_moved_tree_uses_its_own_data():
    """A copy of the installed tree without its pictures reports that no
    tile set loads (and does not reach for the original's pictures)."""
    moved = os.path.join(SCRATCH, "moved tree")
    shutil.copytree(PREFIX, moved, symlinks=True)
    shutil.rmtree(os.path.join(moved, "share", "mahjong", "data"))
    game = start(os.path.join(moved, "bin", "mahjong"), "/")
    try:
        out, err = game.communicate(timeout=20)
    finally:
        stop(game)
    assert game.returncode == 2, (game.returncode, out, err)
    assert FAILED_LOAD.fullmatch(out), out


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", path
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24],
                                                               "big")


def test_desktop_entry_names_what_was_installed():
    path = os.path.join(PREFIX, "share", "applications", "mahjong.desktop")
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    assert lines[0] == "[Desktop Entry]", lines[0]
    entry = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
    program = os.path.join(PREFIX, "bin", entry["Exec"].split()[0])
    assert os.access(program, os.X_OK), program
    for size in ICON_SIZES:
        icon = os.path.join(PREFIX, "share", "icons", "hicolor",
                            "%dx%d" % (size, size), "apps",
                            entry["Icon"] + ".png")
        assert png_size(icon) == (size, size), icon
    assert entry["Categories"].split(";")[:2] == ["Game", "BoardGame"]
    validate = shutil.which("desktop-file-validate")
    assert validate, "desktop-file-validate is missing " \
        "(apt-get install desktop-file-utils)"
    check = subprocess.run([validate, path], capture_output=True, text=True)
    assert check.returncode == 0 and check.stdout == "", check.stdout


def launch_with_screen(size, **preset):
    """Runs the installed launch.sh with a stand-in game that reports what
    it was given, and a stand-in xdpyinfo reporting a screen of `size`
    (None: no X display).  Returns (directory, scaling, method)."""
    stubs = tempfile.mkdtemp(dir=SCRATCH)
    with open(os.path.join(stubs, "xdpyinfo"), "w") as f:
        f.write("#!/bin/sh\necho 'screen #0:'\n"
                "echo '  dimensions:    %s pixels (508x285 millimeters)'\n"
                % size)
    game = os.path.join(stubs, "game")
    with open(game, "w") as f:
        f.write('#!/bin/sh\nprintf "%s\\n" "$PWD" '
                '"${SDL12COMPAT_WINDOW_SCALING-unset}" '
                '"${SDL12COMPAT_SCALE_METHOD-unset}"\n')
    for name in ("xdpyinfo", "game"):
        os.chmod(os.path.join(stubs, name), 0o755)
    env = game_env(PATH=stubs + os.pathsep + os.environ["PATH"], **preset)
    if size is not None:
        env["DISPLAY"] = ":99"
    launch = os.path.join(PREFIX, "libexec", "mahjong", "launch.sh")
    out = subprocess.run([launch, game, SCRATCH], env=env, check=True,
                         capture_output=True, text=True).stdout
    return tuple(out.splitlines())


def test_window_scaling_fits_the_screen():
    """The largest whole factor that leaves room for panels and frames;
    none below 2, none without a display, and the player's own choice
    kept."""
    cases = (("1920x1080", "2"), ("2560x1440", "3"), ("3840x2160", "5"),
             ("1920x1920", "2"), ("3840x1600", "3"),
             ("1280x800", "unset"), ("1366x768", "unset"), (None, "unset"))
    for size, factor in cases:
        method = "unset" if factor == "unset" else "nearest"
        got = launch_with_screen(size)
        assert got == (SCRATCH, factor, method), (size, got)
    got = launch_with_screen("3840x2160", SDL12COMPAT_WINDOW_SCALING="3")
    assert got == (SCRATCH, "3", "unset"), got
    got = launch_with_screen("1920x1080", SDL12COMPAT_SCALE_METHOD="linear")
    assert got == (SCRATCH, "2", "linear"), got


# ---------------------------------------------------------------------------

def main():
    tests = [(n, f) for n, f in sorted(globals().items())
             if n.startswith("test_") and callable(f)]
    passed = failed = 0
    try:
        install(PREFIX)
        for name, func in tests:
            try:
                func()
            except Exception:  # report every failure, then carry on
                failed += 1
                print("FAIL", name)
                traceback.print_exc()
            else:
                passed += 1
                print("ok  ", name)
    finally:
        shutil.rmtree(SCRATCH)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
