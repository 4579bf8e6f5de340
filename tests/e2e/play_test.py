#!/usr/bin/python3
"""End-to-end test: plays the real game in a window of its own Xvfb, driven by xdotool, and
checks what the player sees. Usage: play_test.py GAME PRINT_BOARD (where the tiles lie and
which faces match). data/ holds two tile sets of one flat colour per face and a background."""
import collections
import os
import select
import subprocess
import sys
import tempfile
import time

from PIL import ImageGrab

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pcx  # noqa: E402

TOLERANCE = 12  # a 16-bit screen shown at 24 bits
STATUS_BOX = (500, 320, 640, 333)
BACKGROUND = (200, 30, 200)
Tile = collections.namedtuple("Tile", "x y free")  # (x, y): its middle


def face_colour(face, lift):
    """Face's colour in tile set 0 (lift 0) or 1 (lift 30: 30 from every colour of set 0)."""
    return tuple(40 + 60 * v + lift for v in (face % 4, face // 4 % 4, face // 16))


def write_pictures(data, faces):
    cells = bytearray(378 * 240)  # face f in colour f + 1, in cells of 42 x 48, 9 a row
    for face in range(faces):
        for y in range(face // 9 * 48, face // 9 * 48 + 46):
            cells[y * 378 + face % 9 * 42:y * 378 + face % 9 * 42 + 40] = bytes([face + 1]) * 40
    for number, lift in enumerate((0, 30)):
        with open(os.path.join(data, "tiles%d.pcx" % number), "wb") as f:
            f.write(pcx.encode(378, 240, cells, [(0, 0, 0)] + [
                face_colour(face, lift) for face in range(faces)]))
    with open(os.path.join(data, "bg0.pcx"), "wb") as f:
        f.write(pcx.encode(64, 64, [1] * 64 * 64, [(0, 0, 0), BACKGROUND]))


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


def play(session, tiles, faces):
    free = [t for t in tiles if t.free]

    def check(condition, message):
        assert condition, message
        print("ok:", message)

    def shown(shot, lift=0):
        """The face each free tile shows (None: no face of the tile set)."""
        return [next((f for f in range(len(faces))
                      if near(shot.getpixel(t[:2]), face_colour(f, lift))), None) for t in free]

    def box(shot, tile):
        return shot.crop((tile.x - 20, tile.y - 23, tile.x + 20, tile.y + 23)).tobytes()

    def press(key, before):  # the window once the key has changed it
        session.key(key)
        return session.settled(before)

    session.wait_for(lambda: status_lit(session.screenshot()), 60, "the first frame")
    start = session.settled()
    first = shown(start)
    check(None not in first, "every free tile shows a face of the tile set")
    a, b = next((free[a], free[b]) for a in range(len(free)) for b in range(a)
                if faces[first[a]] == faces[first[b]])  # every deal has a free pair
    session.click(a)
    selected = session.settled(start)
    check(status_lit(selected) > status_lit(start), "selecting a tile lengthens the status line")
    session.click(b)
    taken = session.settled(selected)
    check(status_lit(taken) == status_lit(start), "taking the pair brings the first message back")
    check(all(box(taken, t) != box(start, t) for t in (a, b)), "both tiles leave the board")
    check(press("Left", taken) == start, "Left puts the pair back exactly")
    check(press("Right", start) == taken, "Right takes the pair again")
    dealt = press("Return", taken)
    now = shown(dealt)
    check(None not in now and now != first, "Return deals a different board")
    laid = press("F2", dealt)
    check(near(laid.getpixel((639, 399)), BACKGROUND), "F2 lays the background")
    check(shown(press("F1", laid), 30) == now, "F1 shows the same deal in the next tile set")
    session.key("Escape")
    check(session.game.wait(timeout=20) == 0, "Escape ends the game with status 0")


def main():
    game, print_board = (os.path.abspath(p) for p in sys.argv[1:3])
    lines = [line.split() for line in subprocess.run(
        [print_board], check=True, capture_output=True, text=True, timeout=30).stdout.splitlines()]
    tiles = [Tile(*map(int, line[1:])) for line in lines if line[0] == "tile"]
    faces = [int(line[2]) for line in lines if line[0] == "face"]  # the lowest face it matches
    assert len(tiles) == 144 and faces, lines
    with tempfile.TemporaryDirectory(prefix="mahjong-e2e-") as workdir:
        os.mkdir(os.path.join(workdir, "data"))
        write_pictures(os.path.join(workdir, "data"), len(faces))
        session = Session()
        try:
            session.start(game, workdir)
            play(session, tiles, faces)
        finally:
            session.close()


if __name__ == "__main__":
    main()
