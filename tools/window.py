"""Drives the game in the one window of an X server of its own (Xvfb), through
xdotool, and reads what the window shows: for the end-to-end test and for
tools/screenshot.py. Needs Xvfb, xdotool and python3-pil."""
import collections
import os
import select
import subprocess
import time

from PIL import ImageGrab

TOLERANCE = 12  # a 16-bit screen shown at 24 bits
STATUS_BOX = (500, 320, 640, 333)
Tile = collections.namedtuple("Tile", "x y free layer")  # (x, y): its middle


def read_board(print_board):
    """The tiles and, per face, the lowest face it matches, as PRINT_BOARD
    (tools/print_board.cpp, built with the game) prints them."""
    lines = [line.split() for line in subprocess.run(
        [print_board], check=True, capture_output=True, text=True, timeout=30).stdout.splitlines()]
    tiles = [Tile(*map(int, line[1:])) for line in lines if line[0] == "tile"]
    faces = [int(line[2]) for line in lines if line[0] == "face"]
    assert len(tiles) == 144 and faces, lines
    return tiles, faces


class Session:
    """The game in the one window of an X server of its own."""
    game = xvfb = None

    def start(self, game, workdir):
        ready, write = os.pipe()
        # Xvfb picks a free display and writes its number once it takes clients.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-noreset", "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"], pass_fds=[write], stdout=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(ready, "rb") as f:  # read whole: Xvfb dies if it cannot write it
            number = f.readline() if select.select([f], [], [], 30)[0] else b""
        assert number.endswith(b"\n"), "Xvfb did not start within 30 s"
        self.display = ":" + number.decode().strip()
        self.env = {k: v for k, v in os.environ.items() if "SDL12COMPAT" not in k}  # no scaling
        self.env.update(DISPLAY=self.display, SDL_VIDEODRIVER="x11")
        self.game = subprocess.Popen([game], cwd=workdir, env=self.env)
        self.window, x, y = self.wait_for(self.find_window, 30, "the game's 640 x 400 window")
        self.box = (x, y, x + 640, y + 400)

    def xdotool(self, *args):
        return subprocess.run(("xdotool",) + args, env=self.env, capture_output=True, text=True,
                              timeout=30).stdout

    def find_window(self):
        for window in self.xdotool("search", "--name", "^Mahjong$").split():
            # A window may be gone again by now: it then has no shape.
            shape = dict(v.split("=") for v in self.xdotool(
                "getwindowgeometry", "--shell", window).split())
            if (shape.get("WIDTH"), shape.get("HEIGHT")) == ("640", "400"):
                return window, int(shape["X"]), int(shape["Y"])
        return None

    def wait_for(self, probe, seconds, what):
        """probe()'s first true answer, asked every 0.1 s while the game runs."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for process, name in ((self.xvfb, "the X server"), (self.game, "the game")):
                assert process.poll() is None, "%s ended with status %d" % (name, process.returncode)
            answer = probe()
            if answer:
                return answer
            time.sleep(0.1)  # the pace of asking: the game signals no finished frame
        raise AssertionError("%s: not seen within %d s" % (what, seconds))

    def screenshot(self):
        return ImageGrab.grab(self.box, xdisplay=self.display).convert("RGB")

    def settled(self, previous=None):
        """The window once it has stopped changing (and, given previous, differs from it)."""
        shots = [self.screenshot()]

        def probe():
            shots.append(self.screenshot())
            return shots[-1] == shots[-2] != previous
        self.wait_for(probe, 30, "a settled frame")
        return shots[-1]

    def click(self, tile):
        self.xdotool("mousemove", "--window", self.window, str(tile.x), str(tile.y), "click", "1")

    def key(self, name):
        self.xdotool("key", "--window", self.window, name)

    def close(self):  # terminating lets the X server remove its socket and lock
        for process, stop in ((self.game, "kill"), (self.xvfb, "terminate")):
            if process:
                getattr(process, stop)()
                process.wait(timeout=30)


def near(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def status_lit(shot):  # the length of the status line, in white pixels
    return sum(near(v, (255, 255, 255)) for v in shot.crop(STATUS_BOX).getdata())
