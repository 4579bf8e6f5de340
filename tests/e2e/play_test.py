#!/usr/bin/python3
"""End-to-end test: plays the real game in a real X window under Xvfb.

Usage: play_test.py GAME MAKE_PICTURES LAYOUT_SOURCE

The game runs in a scratch directory whose data/ holds test pictures with one
distinct colour per face. The test reads screenshots to find two free tiles
that match, clicks them with xdotool, and checks what the player would see:
the status line, the pair leaving and coming back with undo and redo, a new
deal, a new tile set and background, and a clean exit on Escape.
"""
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

TOLERANCE = 12  # 16-bit pixels shown on a 24-bit screen
STATUS_BOX = (500, 320, 140, 13)


def face_colour(face):
    """The test tile set's colour of a face (as the picture maker writes it)."""
    def level(step):
        return 40 + 60 * step
    return (level(face % 4), level((face // 4) % 4), level(face // 16))


def close(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def faces_match(a, b):
    if a <= 33 and b <= 33:
        return a == b
    return (36 <= a <= 39 and 36 <= b <= 39) or (40 <= a <= 43 and 40 <= b <= 43)


def read_layout(source):
    """The board's tiles as (column, row, layer), read from the layout table's source."""
    text = open(source, encoding="utf-8").read()
    body = text[text.index("layout_table["):]
    body = body[:body.index("};")]
    tiles = []
    for count, column, row in re.findall(r"\{\s*(-?\d+),\s*(\d+),\s*(\d+)\s*\}", body):
        count, column, row = int(count), int(column), int(row)
        if count == 0:
            break
        layers = range(count) if count > 0 else [~count]
        tiles += [(column, row, layer) for layer in layers]
    assert len(tiles) == 144, len(tiles)
    return tiles


def free_on_full_board(tiles):
    """Indices of the free tiles when nothing is removed (a simple model of the rules)."""
    cells = {}
    for column, row, layer in tiles:
        for dc in (0, 1):
            for dr in (0, 1):
                cells.setdefault((column + dc, row + dr), set()).add(layer)

    def occupied(column, row, layer):
        return layer in cells.get((column, row), ())

    free = []
    for i, (column, row, layer) in enumerate(tiles):
        left = any(occupied(column - 1, row + dr, layer) for dr in (0, 1))
        right = any(occupied(column + 2, row + dr, layer) for dr in (0, 1))
        covered = any(occupied(column + dc, row + dr, layer + 1) for dc in (0, 1) for dr in (0, 1))
        if not (left and right) and not covered:
            free.append(i)
    return free


def face_centre(tile):
    column, row, layer = tile
    x = 21 * column + 4 * layer + 2
    y = 24 * row - 4 * layer + 10
    return x - 2 + 20, y + 2 + 23


class GameEnded(RuntimeError):
    pass


class Session:
    def __init__(self):
        self.xvfb = None
        self.game = None

    def start(self, game, workdir):
        # Should the game still fail to reach the server ("x11 not available"),
        # a second server is tried.
        for attempt in (1, 2):
            self.display = self.start_xvfb()
            self.env = dict(os.environ, DISPLAY=self.display, SDL_VIDEODRIVER="x11")
            for name in ("SDL12COMPAT_WINDOW_SCALING", "SDL12COMPAT_SCALE_METHOD"):
                self.env.pop(name, None)
            self.game = subprocess.Popen([game], cwd=workdir, env=self.env)
            try:
                self.window = self.find_window()
                return
            except GameEnded:
                if attempt == 2:
                    raise
                print("the game could not open its window; trying a new X server")
                self.close()

    def start_xvfb(self):
        """A fresh X server on a display number nobody else is likely to use,
        with a screen width of its own, so that the test knows it talks to
        this server and not to another one left on the machine."""
        for attempt in range(10):
            display = ":%d" % random.randint(100, 9999)
            width = 1024 + random.randint(0, 255)
            self.xvfb = subprocess.Popen(
                ["Xvfb", display, "-screen", "0", "%dx768x24" % width, "-nolisten", "tcp"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.time() + 20
            while self.xvfb.poll() is None and time.time() < deadline:
                info = subprocess.run(["xdpyinfo", "-display", display], capture_output=True, text=True)
                if info.returncode == 0:
                    if "dimensions:    %dx768 pixels" % width in info.stdout:
                        return display
                    break  # another server answers on this number
                time.sleep(0.1)
            self.close()
        raise RuntimeError("no X server of our own could be started")

    def run(self, *args, check=True):
        return subprocess.run(args, env=self.env, check=check, capture_output=True, text=True).stdout

    def find_window(self):
        deadline = time.time() + 30
        while time.time() < deadline:
            if self.game.poll() is not None:
                raise GameEnded(f"the game ended at start with status {self.game.returncode}")
            found = subprocess.run(["xdotool", "search", "--name", "Mahjong"], env=self.env,
                                   capture_output=True, text=True).stdout.split()
            for window in found:
                geometry = self.run("xdotool", "getwindowgeometry", "--shell", window)
                if "WIDTH=640" in geometry and "HEIGHT=400" in geometry:
                    return window
            time.sleep(0.2)
        raise RuntimeError("the game's 640 x 400 window did not appear")

    def origin(self):
        values = dict(line.split("=") for line in self.run(
            "xdotool", "getwindowgeometry", "--shell", self.window).split())
        return int(values["X"]), int(values["Y"])

    def screenshot(self):
        """The window's 640 x 400 pixels, cut from a shot of the whole screen."""
        shot = subprocess.run(["import", "-window", "root", "png:-"], env=self.env, check=True,
                              capture_output=True).stdout
        x, y = self.origin()
        return Image.open(io.BytesIO(shot)).convert("RGB").crop((x, y, x + 640, y + 400))

    def settled_screenshot(self, previous=None):
        """A screenshot taken once the picture has stopped changing (and, given
        previous, has changed from it)."""
        deadline = time.time() + 30
        last = self.screenshot()
        while time.time() < deadline:
            time.sleep(0.15)
            shot = self.screenshot()
            if shot.tobytes() == last.tobytes() and (previous is None or shot.tobytes() != previous.tobytes()):
                return shot
            last = shot
        return last

    def click(self, x, y):
        self.run("xdotool", "mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def key(self, name, check=True):
        self.run("xdotool", "key", "--window", self.window, name, check=check)

    def close(self):
        if self.game and self.game.poll() is None:
            self.game.kill()
            self.game.wait()
        if self.xvfb:
            self.xvfb.terminate()  # lets the server remove its socket and lock
            self.xvfb.wait()


def status_lit(shot):
    x0, y0, w, h = STATUS_BOX
    return sum(1 for x in range(x0, x0 + w) for y in range(y0, y0 + h)
               if close(shot.getpixel((x, y)), (255, 255, 255)))


def face_at(shot, tile):
    colour = shot.getpixel(face_centre(tile))
    for face in range(44):
        if close(colour, face_colour(face)):
            return face
    return None


def find_pair(shot, tiles):
    free = [(i, face_at(shot, tiles[i])) for i in free_on_full_board(tiles)]
    assert all(face is not None for _, face in free), free
    for n, (a, face_a) in enumerate(free):
        for b, face_b in free[n + 1:]:
            if faces_match(face_a, face_b):
                return a, b
    raise AssertionError("no free matching pair on a fresh deal")


def check(condition, message):
    if not condition:
        raise AssertionError(message)
    print("ok:", message)


def wait_for_first_frame(session):
    deadline = time.time() + 60
    while status_lit(session.screenshot()) == 0:
        if time.time() > deadline:
            raise AssertionError("the first frame is not drawn within a minute")
        time.sleep(0.2)


def play(session, tiles):
    wait_for_first_frame(session)
    start = session.settled_screenshot()
    a, b = find_pair(start, tiles)
    lit_idle = status_lit(start)
    check(lit_idle > 0, "the status line is drawn in white")

    session.click(*face_centre(tiles[a]))
    selected = session.settled_screenshot(start)
    check(status_lit(selected) > lit_idle, "selecting a tile lengthens the status line")

    session.click(*face_centre(tiles[b]))
    taken = session.settled_screenshot(selected)
    check(status_lit(taken) == lit_idle, "taking the pair brings the first message back")
    check(face_at(taken, tiles[a]) != face_at(start, tiles[a]) or
          face_at(taken, tiles[b]) != face_at(start, tiles[b]), "the pair leaves the board")

    session.key("Left")
    undone = session.settled_screenshot(taken)
    check(undone.tobytes() == start.tobytes(), "Left puts the pair back exactly as it was")

    session.key("Right")
    redone = session.settled_screenshot(undone)
    check(redone.tobytes() == taken.tobytes(), "Right takes the pair again")

    session.key("Return")
    dealt = session.settled_screenshot(redone)
    faces_before = [face_at(start, tiles[i]) for i in free_on_full_board(tiles)]
    faces_after = [face_at(dealt, tiles[i]) for i in free_on_full_board(tiles)]
    check(None not in faces_after and faces_after != faces_before, "Return deals a different board")

    corner = dealt.getpixel((639, 399))
    session.key("F2")
    with_background = session.settled_screenshot(dealt)
    check(not close(with_background.getpixel((639, 399)), corner), "F2 lays the background")

    session.key("F1")
    other_set = session.settled_screenshot(with_background)
    check(all(face_at(other_set, tiles[i]) is None for i in free_on_full_board(tiles)),
          "F1 shows the next tile set")

    # The window may be gone before xdotool has sent the key's release.
    session.key("Escape", check=False)
    status = session.game.wait(timeout=20)
    check(status == 0, "Escape ends the game with status 0")


def main():
    game, make_pictures, layout_source = sys.argv[1:4]
    tiles = read_layout(layout_source)
    workdir = tempfile.mkdtemp(prefix="mahjong-e2e-")
    session = Session()
    try:
        os.mkdir(os.path.join(workdir, "data"))
        subprocess.run([make_pictures, os.path.join(workdir, "data")], check=True)
        session.start(game, workdir)
        play(session, tiles)
    finally:
        session.close()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
