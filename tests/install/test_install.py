#!/usr/bin/python3
"""Checks the installed game and its Debian package.

    test_install.py install CMAKE BUILD_DIR VERSION
        installs the build into a scratch prefix and starts the installed
        launcher from elsewhere, as a desktop would;
    test_install.py package SOURCE_DIR WORK_DIR VERSION
        builds the package with scripts/make_deb.sh in WORK_DIR, checks it
        with Debian's tools, unpacks it and starts the game from it.
"""

import ctypes
import fnmatch
import glob
import gzip
import os
import re
import select
import shutil
import signal
import subprocess
import struct
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

MODE, ARGS = sys.argv[1], sys.argv[2:]
VERSION = ARGS[2]
ICON_SIZES = (32, 48, 64, 128, 256)
IN_CLOSE_NOWRITE = 0x10
LIBC = ctypes.CDLL(None, use_errno=True)


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True,
                          timeout=300, **kwargs)


def game_env(**extra):
    """The environment for the game: no display, SDL's dummy drivers."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "SDL12COMPAT_WINDOW_SCALING",
                        "SDL12COMPAT_SCALE_METHOD")}
    env.update(SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy", **extra)
    return env


def start(launcher, cwd):
    """Starts the launcher in a process group of its own."""
    return subprocess.Popen([launcher], cwd=cwd, env=game_env(),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, start_new_session=True)


def stop(game, how=signal.SIGKILL):
    """Signals the game's process group: the game and anything the launcher
    left behind."""
    try:
        os.killpg(game.pid, how)
    except ProcessLookupError:
        pass


def start_until_tile_set_read(launcher, data, cwd, timeout=30):
    """Starts the launcher in cwd and waits until the game has read
    data/tiles0.pcx (inotify), has ended, or the time is up; then stops it
    with SIGTERM. Returns (read, the game's directory while running, status,
    stdout, stderr); a status of -SIGTERM means it was running when
    stopped."""
    watch = LIBC.inotify_init1(os.O_CLOEXEC | os.O_NONBLOCK)
    assert watch >= 0, os.strerror(ctypes.get_errno())
    try:
        path = os.path.join(data, "tiles0.pcx").encode()
        assert LIBC.inotify_add_watch(watch, path, IN_CLOSE_NOWRITE) >= 0
        game = start(launcher, cwd)
        ended = os.pidfd_open(game.pid)
        ready, _, _ = select.select([watch, ended], [], [], timeout)
        os.close(ended)
        read = watch in ready
        where = os.readlink("/proc/%d/cwd" % game.pid) if read else None
    finally:
        os.close(watch)
    stop(game, signal.SIGTERM)
    out, err = game.communicate(timeout=30)
    return read, where, game.returncode, out, err


def assert_no_output(check):
    """A checker run: status 0 and nothing said."""
    assert check.returncode == 0 and not (check.stdout + check.stderr), \
        (check.args, check.stdout, check.stderr)


def assert_starts_in_its_data(launcher, data_parent, cwd):
    """Started in cwd, the game reads its first tile set below data_parent,
    works there, is running when stopped and has printed nothing."""
    read, where, status, out, err = start_until_tile_set_read(
        launcher, os.path.join(data_parent, "data"), cwd)
    assert read, (status, out, err)
    assert (where, status, out) == (data_parent, -signal.SIGTERM, ""), \
        (where, status, out, err)


class Install(unittest.TestCase):
    """`cmake --install` into a prefix with a space in its path."""

    @classmethod
    def setUpClass(cls):
        cmake, build = ARGS[0], os.path.abspath(ARGS[1])
        cls.scratch = tempfile.mkdtemp(prefix="mahjong-install-")
        cls.prefix = os.path.join(cls.scratch, "a prefix")
        # Installing the named component writes install_manifest_mahjong.txt,
        # leaving the manifest of a real install in the build alone.
        subprocess.run([cmake, "--install", build, "--prefix", cls.prefix,
                        "--component", "mahjong"],
                       check=True, stdout=subprocess.DEVNULL)
        os.remove(os.path.join(build, "install_manifest_mahjong.txt"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def place(self, *parts):
        return os.path.join(self.prefix, *parts)

    def test_launcher_starts_the_game_in_its_data_from_anywhere(self):
        assert_starts_in_its_data(self.place("bin", "mahjong"),
                                  self.place("share", "mahjong"), self.scratch)
        version = run(self.place("bin", "mahjong"), "--version")
        self.assertEqual(version.stdout, "mahjong %s\n" % VERSION)

    def test_moved_tree_uses_its_own_data(self):
        """A copy of the installed tree without its pictures reports that no
        tile set loads (and does not reach for the original's pictures)."""
        moved = os.path.join(self.scratch, "moved tree")
        shutil.copytree(self.prefix, moved, symlinks=True)
        shutil.rmtree(os.path.join(moved, "share", "mahjong", "data"))
        game = start(os.path.join(moved, "bin", "mahjong"), "/")
        try:
            out, err = game.communicate(timeout=20)
        finally:
            stop(game)
        self.assertEqual(game.returncode, 2, (out, err))
        self.assertRegex(out, r"\AFailed to load a tile set, code \d+\n\Z")

    def test_desktop_entry_and_metadata_name_what_was_installed(self):
        entries = glob.glob(self.place("share", "applications", "*.desktop"))
        self.assertEqual(len(entries), 1, entries)
        app_id = os.path.basename(entries[0])[:-len(".desktop")]
        with open(entries[0], encoding="utf-8") as f:
            entry = dict(line.split("=", 1) for line in f.read().splitlines()
                         if "=" in line and not line.startswith("#"))
        program = self.place("bin", entry["Exec"].split()[0])
        self.assertTrue(os.access(program, os.X_OK), program)
        for size in ICON_SIZES:
            with open(self.place("share/icons/hicolor/%dx%d/apps/%s.png" % (
                    size, size, entry["Icon"])), "rb") as f:
                head = f.read(24)
            self.assertEqual((head[12:16], struct.unpack(">II", head[16:])),
                             (b"IHDR", (size, size)), size)
        metainfo = self.place("share", "metainfo", app_id + ".metainfo.xml")
        root = ET.parse(metainfo).getroot()
        self.assertEqual(root.findtext("id"), app_id)
        self.assertEqual(root.findtext("launchable"), app_id + ".desktop")
        self.assertEqual(root.find("releases/release").get("version"),
                         VERSION)
        assert_no_output(run("desktop-file-validate", entries[0]))
        check = run("appstreamcli", "validate", "--no-net", "--pedantic",
                    metainfo)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertNotRegex(check.stdout, r"(?m)^[EWI]: ")

    def test_manual_page_is_clean_and_names_this_install(self):
        with gzip.open(self.place("share", "man", "man6", "mahjong.6.gz"),
                       "rt", encoding="utf-8") as f:
            page = f.read()
        self.assertRegex(page, r'(?m)^\.TH MAHJONG 6 "[-0-9]+" "mahjong %s"'
                         % re.escape(VERSION))
        page_file = os.path.join(self.scratch, "mahjong.6")
        with open(page_file, "w", encoding="utf-8") as f:
            f.write(page)
        assert_no_output(run("mandoc", "-T", "lint", "-W", "all", page_file))
        assert_no_output(run("groff", "-ww", "-z", "-man", page_file))
        shown = run("man", "-l", page_file, env=dict(
            os.environ, MANWIDTH="250", LC_ALL="C.UTF-8")).stdout
        for place in ("bin/mahjong", "libexec/mahjong/launch.sh",
                      "share/mahjong/data/bg0.pcx"):
            self.assertIn(self.place(place), shown)

    def test_window_scaling_fits_the_screen(self):
        """The largest whole factor that leaves room for panels and frames;
        none below 2, none without a display, the player's choice kept."""
        cases = (("1920x1080", "2"), ("2560x1440", "3"), ("3840x2160", "5"),
                 ("1920x1920", "2"), ("3840x1600", "3"), ("1280x800", None),
                 ("1366x768", None), (None, None))
        for size, factor in cases:
            method = factor and "nearest"
            self.assertEqual(self.launch_with_screen(size),
                             (self.scratch, factor or "unset",
                              method or "unset"), size)
        self.assertEqual(self.launch_with_screen(
            "3840x2160", SDL12COMPAT_WINDOW_SCALING="3"),
            (self.scratch, "3", "unset"))
        self.assertEqual(self.launch_with_screen(
            "1920x1080", SDL12COMPAT_SCALE_METHOD="linear"),
            (self.scratch, "2", "linear"))

    def launch_with_screen(self, size, **preset):
        """Runs the installed launch.sh with a stand-in game that reports
        what it was given, and a stand-in xdpyinfo reporting a screen of
        `size` (None: no X display). Returns (directory, scaling, method)."""
        stubs = tempfile.mkdtemp(dir=self.scratch)
        with open(os.path.join(stubs, "xdpyinfo"), "w") as f:
            f.write("#!/bin/sh\necho 'screen #0:'\necho '  dimensions:"
                    "    %s pixels (508x285 millimeters)'\n" % size)
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
        launch = self.place("libexec", "mahjong", "launch.sh")
        out = subprocess.run([launch, game, self.scratch], env=env, check=True,
                             capture_output=True, text=True).stdout
        return tuple(out.splitlines())


class Package(unittest.TestCase):
    """The .deb that scripts/make_deb.sh builds."""

    @classmethod
    def setUpClass(cls):
        cls.source, work = ARGS[0], os.path.abspath(ARGS[1])
        made = run(os.path.join(cls.source, "scripts/make_deb.sh"), work)
        assert made.returncode == 0, made.stdout + made.stderr
        arch = run("dpkg", "--print-architecture").stdout.strip()
        cls.deb = os.path.join(work, "mahjong_%s_%s.deb" % (VERSION, arch))
        cls.root = tempfile.mkdtemp(prefix="mahjong-package-")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root)

    def test_files_lie_where_debian_puts_a_game(self):
        modes = {}
        for line in run("dpkg-deb", "-c", self.deb).stdout.splitlines():
            mode, owner, _, _, _, path = line.split(None, 5)
            modes[path[1:].rstrip("/") or "/"] = (mode, owner)
        pictures = fnmatch.filter(os.listdir(os.path.join(self.source,
                                                          "data")), "*.pcx")
        files = ["share/man/man6/mahjong.6.gz", "share/doc/mahjong/copyright",
                 "share/doc/mahjong/changelog.gz"] + [
            "share/games/mahjong/data/" + name for name in pictures] + [
            "share/icons/hicolor/%dx%d/apps/mahjong.png" % (size, size)
            for size in ICON_SIZES]
        programs = ["games/mahjong", "lib/games/mahjong/mahjong",
                    "lib/games/mahjong/launch.sh"]
        wanted = {"/usr/" + path: "-rw-r--r--" for path in files}
        wanted.update({"/usr/" + path: "-rwxr-xr-x" for path in programs})
        self.assertEqual({path: modes.get(path, ("missing",))[0]
                          for path in wanted}, wanted)
        for place in ("applications/*.desktop", "metainfo/*.metainfo.xml"):
            self.assertEqual(len(glob.glob(os.path.join(
                self.root, "usr/share", place))), 1, place)
        for path, (mode, owner) in modes.items():
            self.assertRegex(path, r"\A/(usr(/.*)?)?\Z")
            self.assertEqual(owner, "root/root", path)
            self.assertIn(mode, ("drwxr-xr-x", "-rwxr-xr-x", "-rw-r--r--"),
                          path)

    def test_control_fields_and_changelog_carry_the_version(self):
        field = lambda name: run("dpkg-deb", "-f", self.deb, name).stdout
        self.assertEqual((field("Package"), field("Version"),
                          field("Section"), field("Recommends")),
                         ("mahjong\n", VERSION + "\n", "games\n",
                          "x11-utils\n"))
        depends = [d.split()[0] for d in field("Depends").split(",")]
        self.assertIn("libsdl1.2debian", depends)
        self.assertIn("libc6", depends)
        changelog = os.path.join(self.root, "changelog")
        with open(changelog, "wb") as f:
            f.write(gzip.open(os.path.join(
                self.root, "usr/share/doc/mahjong/changelog.gz")).read())
        self.assertEqual(run("dpkg-parsechangelog", "-l", changelog, "-S",
                             "Version").stdout, VERSION + "\n")

    def test_copyright_gives_each_licence_it_names_for_files_that_exist(self):
        with open(os.path.join(self.root, "usr/share/doc/mahjong/copyright"),
                  encoding="utf-8") as f:
            paragraphs = [dict(re.findall(r"(?m)^([\w-]+): *(.*)$", text))
                          for text in f.read().split("\n\n")]
        self.assertIn("Format", paragraphs[0])
        named, given = set(), set()
        for fields in paragraphs[1:]:
            if "Files" in fields:
                named.update(re.split(r" and | or ", fields["License"]))
                for pattern in fields["Files"].split():
                    self.assertTrue(glob.glob(os.path.join(self.source,
                                                           pattern)), pattern)
            else:
                given.add(fields["License"])
        self.assertEqual(named, given)

    def test_lintian_finds_no_error_or_warning(self):
        check = run("lintian", "--fail-on", "error,warning", self.deb)
        self.assertEqual(check.returncode, 0, check.stdout)

    def test_unpacked_game_starts_from_anywhere(self):
        assert_starts_in_its_data(
            os.path.join(self.root, "usr/games/mahjong"),
            os.path.join(self.root, "usr/share/games/mahjong"), self.source)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], defaultTest=MODE.capitalize(),
                  verbosity=2)
