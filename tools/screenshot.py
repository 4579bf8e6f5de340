#!/usr/bin/python3
"""Makes docs/screenshot.png: the built game in a real window under Xvfb,
with its own pictures, the first background and one tile selected.

Usage: tools/screenshot.py [GAME] (default: build/mahjong)
"""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import play_test  # noqa: E402  (the end-to-end test's window driver)


def main():
    game = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "mahjong"))
    tiles = play_test.read_layout(os.path.join(ROOT, "src", "board", "layout.cpp"))
    session = play_test.Session()
    try:
        session.start(game, ROOT)
        play_test.wait_for_first_frame(session)
        first = session.settled_screenshot()
        session.key("F2")
        with_background = session.settled_screenshot(first)
        top = max(range(len(tiles)), key=lambda i: tiles[i][2])
        session.click(*play_test.face_centre(tiles[top]))
        shot = session.settled_screenshot(with_background)
        # Written without metadata, so the same frame gives the same bytes.
        shot.save(os.path.join(ROOT, "docs", "screenshot.png"), optimize=True)
    finally:
        session.key("Escape", check=False)
        session.close()


if __name__ == "__main__":
    main()
