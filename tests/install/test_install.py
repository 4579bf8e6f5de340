#!/usr/bin/python3
"""Checks the installed game, the set-up script and the Debian package.

    test_install.py install CMAKE BUILD_DIR VERSION      cmake --install; scripts/setup.sh
    test_install.py package SOURCE_DIR WORK_DIR VERSION  scripts/make_deb.sh in WORK_DIR
"""

import glob
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

MODE, ARGS = sys.argv[1], sys.argv[2:]
VERSION = ARGS[2]
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def run(*command, timeout=300, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout, **kwargs)


def game_env(**extra):
    """No display and no window scaling asked for."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY" and "SDL12COMPAT" not in k}
    return dict(env, **extra)


# Stand-ins for the programs the scripts call, one script under every name.
STAND_IN = """#!/bin/sh
case ${0##*/} in
dpkg-query) case " $MISSING " in *" $3 "*) echo not-installed ;; *) echo installed ;; esac ;;
apt-cache) case " $KNOWN " in *" $2 "*) ;; *) exit 100 ;; esac ;;
apt-get) echo "${SUDO_USER:+sudo }apt-get $*" >>"$CALLS"; echo "apt says: $1"
    [ "$1" != "$FAIL" ] ;;
id) echo "$ID" ;;
sudo) SUDO_USER=me exec "$@" ;;
xdpyinfo) printf 'screen #0:\\n  dimensions:    %s pixels (508x285 millimeters)\\n' "$SCREEN" ;;
mahjong) printf '%s\\n' $PPID "$(realpath -s "$0")" "$(pwd -P)" \\
    "${SDL12COMPAT_WINDOW_SCALING-unset} ${SDL12COMPAT_SCALE_METHOD-unset}" ;;
esac
"""


def setUpModule():
    """STANDS_IN/bin holds the stand-ins and the few real tools setup.sh needs,
    STANDS_IN/sudo a stand-in sudo, STANDS_IN/scripts a copy of setup.sh."""
    global STANDS_IN
    STANDS_IN = tempfile.mkdtemp(prefix="mahjong-stand-ins-")
    unittest.addModuleCleanup(shutil.rmtree, STANDS_IN)
    for directory in ("bin", "sudo", "scripts"):
        os.mkdir(os.path.join(STANDS_IN, directory))
    shutil.copy(os.path.join(SOURCE, "scripts", "setup.sh"), STANDS_IN + "/scripts")
    pathlib.Path(STANDS_IN, "stand-in").write_text(STAND_IN)
    os.chmod(STANDS_IN + "/stand-in", 0o755)
    for name in ("cat", "dirname", "env", "mkdir"):
        os.symlink(shutil.which(name), os.path.join(STANDS_IN, "bin", name))
    for name in ("dpkg-query", "apt-cache", "apt-get", "id", "xdpyinfo", "../sudo/sudo"):
        os.symlink(STANDS_IN + "/stand-in", os.path.join(STANDS_IN, "bin", name))


class Installed:
    """What every install must do. A subclass installs into `files` what names itself as below
    `prefix`: the launcher in `bin`, game and launch.sh in `game_dir`, `data_parent`/data."""

    def place(self, *parts):
        return os.path.join(self.files, *parts)

    def test_launcher_through_links_becomes_the_game_in_its_data_scaled_to_fit(self):
        """Through a link to a link, the launcher becomes the game (a stand-in) in its data's
        parent, scaled by the largest whole factor that leaves 64 x 120 pixels for panels and
        frames: none below 2, none without a display, the player's choice kept."""
        link, second = (os.path.join(tempfile.mkdtemp(dir=self.scratch), "mahjong") for _ in "12")
        os.symlink(self.place(self.bin, "mahjong"), second)
        os.symlink(second, link)
        cases = (("1344x920", "2 nearest"), ("1343x920", ""), ("1344x919", ""), (None, ""),
                 ("1984x1320", "3 nearest"), ("3840x2160", "5 nearest"), ("3840x1600", "3 nearest"),
                 ("3840x2160", "3 unset", {"SDL12COMPAT_WINDOW_SCALING": "3"}),
                 ("1920x1080", "2 linear", {"SDL12COMPAT_SCALE_METHOD": "linear"}))
        for size, scaling, *preset in cases:  # the stand-in shows its parent, places, settings
            env = game_env(PATH=STANDS_IN + "/bin:" + os.environ["PATH"], SCREEN=str(size),
                           DISPLAY=":99" if size else "", **dict(*preset))
            done = run(link, cwd="/", env=env, timeout=30)
            wanted = [str(os.getpid()), self.place(self.game_dir, "mahjong"),
                      self.place(self.data_parent), scaling or "unset unset"]
            self.assertEqual((done.returncode, done.stdout.splitlines()), (0, wanted), size)
        version = run(link, "--version", env=game_env(), timeout=10)
        self.assertEqual((version.returncode, version.stdout + version.stderr),
                         (0, "mahjong %s\n" % VERSION))

    def test_desktop_entry_and_manual_page_are_clean_and_name_this_install(self):
        [desktop] = glob.glob(self.place("share", "applications", "*.desktop"))  # one entry
        page = self.place("share", "man", "man6", "mahjong.6.gz")
        for checker in (["desktop-file-validate", desktop], ["mandoc", "-Tlint", "-Wall", page]):
            check = run(*checker)
            self.assertEqual((check.returncode, check.stdout + check.stderr), (0, ""), checker)
        entry = dict(re.findall(r"(?m)^(\w+)=(.*)$", pathlib.Path(desktop).read_text()))
        program = entry["Exec"].split()[0]  # a bare name is found on the PATH: in bin
        program = self.files + program[len(self.prefix):] if program.startswith("/") else \
            self.place("bin", program)
        self.assertTrue(os.access(program, os.X_OK), program)
        self.assertTrue(os.path.isfile(self.place("share/icons/hicolor/48x48/apps/%s.png" %
                                                  entry["Icon"])))
        shown = run("man", "-l", page, env=dict(os.environ, MANWIDTH="250", LC_ALL="C.UTF-8"))
        self.assertRegex(shown.stdout, r"(?m)^mahjong %s " % re.escape(VERSION))  # .TH's footer
        for place in (self.bin + "/mahjong", self.game_dir + "/launch.sh",
                      self.data_parent + "/data/bg0.pcx"):
            self.assertIn(os.path.join(self.prefix, place), shown.stdout)


class Install(Installed, unittest.TestCase):
    """`cmake --install` into a prefix with a space in its path, then moved."""
    bin, game_dir, data_parent = "bin", "libexec/mahjong", "share/mahjong"

    @classmethod
    def setUpClass(cls):
        cmake, build = ARGS[0], os.path.abspath(ARGS[1])
        cls.scratch = tempfile.mkdtemp(prefix="mahjong-install-")
        cls.addClassCleanup(shutil.rmtree, cls.scratch)
        cls.prefix, cls.files = cls.scratch + "/a prefix", cls.scratch + "/moved prefix"
        # Installing the named component writes install_manifest_mahjong.txt,
        # leaving the manifest of a real install in the build alone.
        subprocess.run([cmake, "--install", build, "--prefix", cls.prefix, "--component",
                        "mahjong"], check=True, stdout=subprocess.DEVNULL)
        os.remove(os.path.join(build, "install_manifest_mahjong.txt"))
        os.rename(cls.prefix, cls.files)
        os.remove(cls.files + "/" + cls.game_dir + "/mahjong")  # the stand-in plays the game
        os.symlink(STANDS_IN + "/stand-in", cls.files + "/" + cls.game_dir + "/mahjong")


class Setup(unittest.TestCase):
    """scripts/setup.sh, where every package is installed but those a case names as missing."""

    def test_installs_only_what_is_missing_or_says_why_it_cannot(self):
        sdl, quiet, calls = "libsdl1.2-compat-dev libsdl1.2-dev", r"\A\Z", STANDS_IN + "/calls"
        cases = (  # mode, missing, stand-ins' settings: status, installs (None: no apt-get), says
            ("play", "", {}, 0, None, quiet), ("test", "libsdl1.2-dev", {}, 0, None, quiet),
            ("play", "libsdl1.2-compat-dev", {}, 0, None, quiet),  # classic SDL 1.2 stays
            ("play", sdl, {}, 0, "libsdl1.2-compat-dev", "Installing: libsdl1.2-compat-dev"),
            ("play", sdl, {"KNOWN": "libsdl1.2-dev"}, 0, "libsdl1.2-dev", "Installing"),
            ("play", "xvfb dpkg-dev cmake", {}, 0, "cmake", "Installing: cmake\n"),
            ("package", "xvfb dpkg-dev cmake", {}, 0, "cmake dpkg-dev", "Installing"),
            ("test", "xvfb lintian", {"ID": "1000"}, 0, "xvfb lintian", "Installing"),
            ("play", "cmake", {"ID": "1000", "PATH": STANDS_IN + "/bin"}, 1, None,
             "needs root: cmake"),
            ("play", "cmake", {"FAIL": "update"}, 1, "", "apt says: update(.|\n)*Failed: apt-get"))
        for mode, missing, settings, status, installs, says in cases:
            pathlib.Path(calls).write_text("")
            env = dict(PATH=STANDS_IN + "/bin:" + STANDS_IN + "/sudo", MISSING=missing, KNOWN=sdl,
                       CALLS=calls, FAIL="", ID="0")
            done = run(STANDS_IN + "/scripts/setup.sh", mode, timeout=30, env=dict(env, **settings))
            sudo = "sudo " * ("ID" in settings)
            wanted = [] if installs is None else [sudo + "apt-get update"] + [
                sudo + "apt-get install -y --no-install-recommends " + installs] * bool(installs)
            made = pathlib.Path(calls).read_text().splitlines()  # the apt-get commands run
            self.assertEqual((done.returncode, [sorted(c.split()) for c in made]),
                             (status, [sorted(c.split()) for c in wanted]), (mode, missing, done))
            self.assertRegex(done.stdout + done.stderr, says, (mode, missing))


class Package(Installed, unittest.TestCase):
    """The .deb that scripts/make_deb.sh builds, unpacked; lintian checks the rest."""
    bin, game_dir, data_parent = "games", "lib/games/mahjong", "share/games/mahjong"
    prefix = "/usr"

    @classmethod
    def setUpClass(cls):
        work = os.path.abspath(ARGS[1])
        made = run(os.path.join(ARGS[0], "scripts/make_deb.sh"), work)
        assert made.returncode == 0, made.stdout + made.stderr
        arch = run("dpkg", "--print-architecture").stdout.strip()
        cls.deb = os.path.join(work, "mahjong_%s_%s.deb" % (VERSION, arch))
        cls.scratch = tempfile.mkdtemp(prefix="mahjong-package-")
        cls.addClassCleanup(shutil.rmtree, cls.scratch)
        cls.files = os.path.join(cls.scratch, "usr")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.scratch], check=True)
        os.remove(cls.files + "/" + cls.game_dir + "/mahjong")  # the stand-in plays the game
        os.symlink(STANDS_IN + "/stand-in", cls.files + "/" + cls.game_dir + "/mahjong")

    def test_lintian_reports_only_what_the_package_overrides(self):
        check = run("lintian", "-I", "--pedantic", "--fail-on", "error,warning,info,pedantic",
                    self.deb)
        self.assertEqual(check.returncode, 0, check.stdout)

    def test_metadata_lacks_only_what_the_project_cannot_give(self):
        """AppStream 1.0 asks for a homepage (the project has none); 0.16 knows no <developer>."""
        old = run("appstreamcli", "--version").stdout.split()[-1].startswith("0.")
        known = ["unknown-tag developer"] if old else ["url-homepage-missing"]
        check = run("appstreamcli", "validate-tree", "--no-net", "--pedantic", self.scratch)
        self.assertEqual(re.findall(r"(?m)^ *[EWIP]: \S+ (.*)$", check.stdout), known, check.stdout)

    def test_recommends_xdpyinfo_and_copyright_covers_files_that_exist(self):
        recommends = run("dpkg-deb", "-f", self.deb, "Recommends").stdout.strip()
        xdpyinfo = run("dpkg", "-S", shutil.which("xdpyinfo")).stdout.split(":")[0]
        self.assertEqual(recommends, xdpyinfo)  # launch.sh asks xdpyinfo for the screen
        text = pathlib.Path(self.place("share/doc/mahjong/copyright")).read_text()
        for pattern in " ".join(re.findall(r"(?m)^Files: (.*)", text)).split():
            self.assertTrue(glob.glob(os.path.join(SOURCE, pattern)), pattern)
        named = {name for names in re.findall(r"(?m)^License: (.*)\n(?! )", text)
                 for name in re.split(" and | or ", names)}  # a Files paragraph's
        self.assertEqual(named, set(re.findall(r"(?m)^License: (.*)\n ", text)))  # with its text


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2,
                  defaultTest=["Install", "Setup"] if MODE == "install" else "Package")
