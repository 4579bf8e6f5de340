#!/usr/bin/python3
"""End-to-end test: plays the real game in a real X window under Xvfb, driven by xdotool.

Usage: play_test.py GAME MAKE_E2E_PICTURES

The game runs in a scratch directory whose data/ holds the pictures that
MAKE_E2E_PICTURES writes, one distinct colour per face; the same program
prints the board and the faces' groups and colours.  The test reads
screenshots to find two free tiles that match, clicks them, and checks what
the player would see: the status line, the pair leaving and coming back
with undo and redo, a new deal, a new tile set and background, and a clean
exit on Escape.
"""
import collections
import os
import select
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageGrab

TOLERANCE = 12  # a 16-bit screen shown at 24 bits
STATUS_BOX = (500, 320, 640, 333)
Tile = collections.namedtuple("Tile", "column row layer x y free")  # (x, y): its middle


def read_board(make_pictures, data_dir=None):
    """The tiles of a full board and, by face, (group, colour), as the program prints them."""
    out = subprocess.run([make_pictures] + ([data_dir] if data_dir else []), check=True,
                         capture_output=True, text=True, timeout=30).stdout.split("\n")
    rows = [[int(v) for v in line.split()[1:]] for line in out]
    tiles = [Tile(*row) for line, row in zip(out, rows) if line.startswith("tile ")]
    faces = [(row[1], tuple(row[2:])) for line, row in zip(out, rows) if line.startswith("face ")]
    assert (len(tiles), len(faces)) == (144, 44), out
    return tiles, faces


class Session:
    """The game in the one window of an X server of its own."""

    def __init__(self):
        self.game = self.xvfb = None

    def start(self, game, workdir):
        ready, write = os.pipe()
        # Xvfb picks a free display and writes its number once it takes clients.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-noreset", "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=[write], stdout=subprocess.DEVNULL)
        os.close(write)
        number = b""  # read whole: the server dies if the newline cannot be written
        while not number.endswith(b"\n") and select.select([ready], [], [], 30)[0]:
            chunk = os.read(ready, 16)
            if not chunk:
                break
            number += chunk
        os.close(ready)
        assert number.endswith(b"\n"), "Xvfb did not start within 30 s"
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display, SDL_VIDEODRIVER="x11")
        for name in ("SDL12COMPAT_WINDOW_SCALING", "SDL12COMPAT_SCALE_METHOD"):
            self.env.pop(name, None)
        self.game = subprocess.Popen([game], cwd=workdir, env=self.env)
        self.window, x, y = self.wait_for(self.find_window, 30, "the game's 640 x 400 window")
        self.box = (x, y, x + 640, y + 400)

    def xdotool(self, *args, check=True):
        return subprocess.run(("xdotool",) + args, env=self.env, check=check, capture_output=True,
                              text=True, timeout=30).stdout

    def find_window(self):
        for window in self.xdotool("search", "--name", "^Mahjong$", check=False).split():
            # A window may be gone again by now: it then has no shape.
            shape = self.xdotool("getwindowgeometry", "--shell", window, check=False).split()
            shape = dict(v.split("=") for v in shape)
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
            time.sleep(0.1)
        raise AssertionError("%s: not seen within %d s" % (what, seconds))

    def screenshot(self):
        return ImageGrab.grab(self.box, xdisplay=self.display).convert("RGB")

    def settled(self, previous=None):
        """The window once it has stopped changing (and, given previous, differs from it)."""
        shots = [self.screenshot().tobytes()]
        old = previous.tobytes() if previous else None

        def probe():
            shots.append(self.screenshot().tobytes())
            return shots[-1] == shots[-2] != old
        self.wait_for(probe, 30, "a settled frame")
        return Image.frombytes("RGB", (640, 400), shots[-1])

    def click(self, tile):
        self.xdotool("mousemove", "--window", self.window, str(tile.x), str(tile.y), "click", "1")

    def key(self, name, check=True):
        self.xdotool("key", "--window", self.window, name, check=check)

    def close(self):
        if self.game and self.game.poll() is None:
            self.game.kill()
            self.game.wait()
        if self.xvfb:
            self.xvfb.terminate()  # lets the server remove its socket and lock
            self.xvfb.wait(timeout=30)


def near(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def status_lit(shot):
    return sum(near(v, (255, 255, 255)) for v in shot.crop(STATUS_BOX).getdata())


def check(condition, message):
    assert condition, message
    print("ok:", message)


def play(session, tiles, faces):
    free = [t for t in tiles if t.free]

    def face_at(shot, tile):
        seen = shot.getpixel((tile.x, tile.y))
        found = [f for f, (_, colour) in enumerate(faces) if near(seen, colour)]
        return found[0] if found else None

    session.wait_for(lambda: status_lit(session.screenshot()), 60, "the first frame")
    start = session.settled()
    shown = [face_at(start, t) for t in free]
    check(None not in shown, "every free tile shows a face of the tile set")
    a, b = next((a, b) for a in range(len(free)) for b in range(a)
                if faces[shown[a]][0] == faces[shown[b]][0] >= 0)  # every deal has a free pair
    lit_idle = status_lit(start)

    session.click(free[a])
    selected = session.settled(start)
    check(status_lit(selected) > lit_idle, "selecting a tile lengthens the status line")
    session.click(free[b])
    taken = session.settled(selected)
    check(status_lit(taken) == lit_idle, "taking the pair brings the first message back")
    check(face_at(taken, free[a]) != shown[a] or face_at(taken, free[b]) != shown[b],
          "the pair leaves the board")
    session.key("Left")
    check(session.settled(taken).tobytes() == start.tobytes(), "Left puts the pair back exactly")
    session.key("Right")
    check(session.settled(start).tobytes() == taken.tobytes(), "Right takes the pair again")

    session.key("Return")
    dealt = session.settled(taken)
    now = [face_at(dealt, t) for t in free]
    check(None not in now and now != shown, "Return deals a different board")
    session.key("F2")
    laid = session.settled(dealt)
    corner = (639, 399)
    check(not near(laid.getpixel(corner), dealt.getpixel(corner)), "F2 lays the background")
    session.key("F1")
    other = session.settled(laid)
    check(all(face_at(other, t) is None for t in free), "F1 shows the next tile set")
    session.key("Escape", check=False)  # the window may be gone before the key's release
    check(session.game.wait(timeout=20) == 0, "Escape ends the game with status 0")


def main():
    game, make_pictures = (os.path.abspath(p) for p in sys.argv[1:3])
    with tempfile.TemporaryDirectory(prefix="mahjong-e2e-") as workdir:
        os.mkdir(os.path.join(workdir, "data"))
        tiles, faces = read_board(make_pictures, os.path.join(workdir, "data"))
        session = Session()
        try:
            session.start(game, workdir)
            play(session, tiles, faces)
        finally:
            session.close()


if __name__ == "__main__":
    main()
