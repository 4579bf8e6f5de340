#!/usr/bin/python3
"""Makes docs/screenshot.png: the game in a window under Xvfb, on a background, a tile selected.

Usage: tools/screenshot.py [GAME] (default: build/mahjong). The game shows its
own pictures from data/ and the first background; the top tile is selected,
found on the board that print_board of the same build prints.
"""
import os
import sys

import window

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    game = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/mahjong")
    build = os.path.dirname(game)
    tiles, _ = window.read_board(os.path.join(build, "print_board"))
    session = window.Session()
    try:
        session.start(game, ROOT)
        session.wait_for(lambda: window.status_lit(session.screenshot()), 60, "the first frame")
        first = session.settled()
        session.key("F2")
        with_background = session.settled(first)
        session.click(max(tiles, key=lambda tile: tile.layer))
        shot = session.settled(with_background)
        # Written without metadata, so the same frame gives the same bytes.
        shot.save(os.path.join(ROOT, "docs", "screenshot.png"), optimize=True)
    finally:
        session.close()


if __name__ == "__main__":
    main()
