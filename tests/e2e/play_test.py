#!/usr/bin/python3
"""End-to-end test: plays the real game in a window of its own Xvfb, driven by xdotool, and
checks what the player sees. Usage: play_test.py GAME PRINT_BOARD (where the tiles lie and
which faces match). data/ holds a tile set of one flat colour per face."""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pcx  # noqa: E402
from window import Session, near, read_board, status_lit  # noqa: E402


def face_colour(face):
    return tuple(40 + 60 * v for v in (face % 4, face // 4 % 4, face // 16))


def write_pictures(data, faces):
    cells = bytearray(378 * 240)  # face f in colour f + 1, in cells of 42 x 48, 9 a row
    for face in range(faces):
        for y in range(face // 9 * 48, face // 9 * 48 + 46):
            cells[y * 378 + face % 9 * 42:y * 378 + face % 9 * 42 + 40] = bytes([face + 1]) * 40
    with open(os.path.join(data, "tiles0.pcx"), "wb") as f:
        f.write(pcx.encode(378, 240, cells, [(0, 0, 0)] + [face_colour(n) for n in range(faces)]))


def play(session, tiles, faces):
    free = [t for t in tiles if t.free]

    def check(condition, message):
        assert condition, message
        print("ok:", message)

    def shown(shot):
        """The face each free tile shows (None: no face of the tile set)."""
        return [next((f for f in range(len(faces))
                      if near(shot.getpixel(t[:2]), face_colour(f))), None) for t in free]

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
    now = shown(press("Return", taken))
    check(None not in now and now != first, "Return deals a different board")
    session.key("Escape")
    check(session.game.wait(timeout=20) == 0, "Escape ends the game with status 0")


def main():
    game, print_board = (os.path.abspath(p) for p in sys.argv[1:3])
    tiles, faces = read_board(print_board)
    with tempfile.TemporaryDirectory(prefix="mahjong-e2e-") as workdir:
        bare = subprocess.run([game], cwd=workdir, env=dict(os.environ, SDL_VIDEODRIVER="dummy"),
                              capture_output=True, text=True, timeout=30)
        assert (bare.returncode, bare.stdout) == (2, "Failed to load a tile set, code 1\n"), bare
        print("ok: with no tile set the game ends with status 2")
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
