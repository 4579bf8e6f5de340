#!/usr/bin/python3
"""Tests of the shipped pictures (made again byte for byte by make_art.py, fit for the game)
and of tools/pcx.py. Run with /usr/bin/python3: it needs python3-pil, and fonts for --glyphs."""

import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # leave the source tree as it is
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(os.path.dirname(HERE), "data")
sys.path.insert(0, HERE)
import pcx  # noqa: E402
from PIL import Image  # noqa: E402


def differ(made, committed):
    """The pictures and text files below two directories that differ, or are on one side only."""
    a, b = ({os.path.relpath(os.path.join(d, f), top): pathlib.Path(d, f).read_bytes()
             for d, _, fs in os.walk(top) for f in fs if f.endswith((".pcx", ".png", ".txt"))}
            for top in (made, committed))
    return [n for n in a.keys() | b.keys() if a.get(n) != b.get(n)]


def shipped(name):
    """A picture and its colours pixel by pixel, as pcx.py's strict reader and PIL's read it."""
    pic = pcx.decode(pathlib.Path(DATA, name).read_bytes())
    rgb = [pic.palette[i] for i in pic.pixels]
    theirs = Image.open(os.path.join(DATA, name))
    if theirs.mode == "1":  # PIL leaves out the palette of a 1-bit picture
        assert bytes(v // 255 for v in theirs.getdata()) == pic.pixels, name
    else:  # compared as bytes: a failing comparison of long lists takes minutes
        assert theirs.convert("RGB").tobytes() == bytes(v for c in rgb for v in c), name
    return pic, rgb


def rgb565(c):
    return (c[0] >> 3, c[1] >> 2, c[2] >> 3)


class Generator(unittest.TestCase):
    def test_a_run_makes_the_committed_files(self):
        """make_art.py draws the committed pictures, and renders their glyphs again (--glyphs)."""
        with tempfile.TemporaryDirectory() as tmp:
            tools = shutil.copytree(HERE, tmp + "/tools")  # --glyphs writes beside make_art.py
            make = [sys.executable, "-B", tools + "/make_art.py", "--out", tmp + "/out"]
            subprocess.run(make, check=True, stdout=subprocess.DEVNULL, timeout=120)
            self.assertEqual(differ(tmp + "/out", DATA), [], "made unlike the committed")
            subprocess.run(make + ["--glyphs"], check=True, stdout=subprocess.DEVNULL, timeout=120)
            here, then = (pathlib.Path(d, "glyphs/index.txt").read_text().split("\n# font")[0]
                          for d in (tools, HERE))  # the versions and fonts they come from
            self.assertFalse(here == then and differ(tools + "/glyphs", HERE + "/glyphs"))
            print("\nglyphs rendered from the fonts here: %s" % (
                "like tools/glyphs" if here == then else "not compared, other versions or fonts"))

    def test_writer_and_reader_agree_and_broken_files_are_refused(self):
        seed = int(os.environ.get("MAHJONG_TEST_SEED", random.randrange(1 << 32)))
        print("\nMAHJONG_TEST_SEED=%d" % seed)
        rng = random.Random(seed)
        for bits, planes in [(8, 1)] * 4 + [(1, p) for p in (1, 2, 3, 4)] * 2:
            width, height, top = rng.randint(1, 140), rng.randint(1, 4), 1 << (bits * planes)
            pixels = []
            while len(pixels) < width * height:  # runs up to past 63, values past 0xBF
                pixels += [rng.choice([0, 0xC0, 0xFF, rng.randrange(top)]) % top] * \
                    rng.choice([1, 1, 2, 63, 64, 130])
            pixels = pixels[:width * height]
            palette = [tuple(rng.randrange(256) for _ in "rgb") for _ in range(min(top, 256))]
            got = pcx.decode(pcx.encode(width, height, pixels, palette, bits, planes))
            self.assertEqual((got[:4], got.pixels, got.palette[:len(palette)]),
                             ((width, height, bits, planes), bytes(pixels), palette), seed)
        pcx.decode(good := pcx.encode(3, 2, [1, 2, 3, 0xC4, 5, 6], [(9, 9, 9)] * 256))
        for i, v in ((0, 11), (1, 3), (3, 4), (65, 2), (66, 3), (128, 0xC4), (-769, 0)):
            self.assertRaises(pcx.PcxError, pcx.decode, good[:i] + bytes([v]) + good[i + 1:])
        self.assertRaises(pcx.PcxError, pcx.decode, good[:-769] + b"\x41" + good[-769:])


class ShippedPictures(unittest.TestCase):
    def test_faces_differ_and_carry_their_mark(self):
        """On a 16-bit screen no two faces look alike (25 pixels apart at least), each has its
        index mark at the top left, and flowers share one look, seasons another (at the left)."""
        for name in ("tiles0.pcx", "tiles1.pcx", "tiles2.pcx"):
            pic, rgb = shipped(name)
            faces = [[rgb[(f // 9 * 48 + y) * pic.width + f % 9 * 42 + x] for y in range(46)
                      for x in range(40)] for f in range(44)]  # what the game shows of a face
            shown = [[rgb565(c) for c in f] for f in faces]
            for a in range(44):
                self.assertGreater(len({faces[a][y * 40 + x] for y in range(2, 7)
                                        for x in range(2, 5)}), 1, "%s face %d" % (name, a))
                for b in range(a):
                    differ = sum(p != q for p, q in zip(shown[a], shown[b]))
                    self.assertGreaterEqual(differ, 25, "%s faces %d, %d" % (name, b, a))

            def look(f):
                edge = [c for y in range(8, 45) for x in range(2, 6)
                        for c in [faces[f][y * 40 + x]] if max(c) - min(c) > 60]
                return max(set(edge), key=lambda c: (edge.count(c), c))
            flowers, seasons = {look(f) for f in range(36, 40)}, {look(f) for f in range(40, 44)}
            self.assertTrue(len(flowers) == len(seasons) == 1 and flowers != seasons, name)

    def test_backgrounds_keep_the_status_line_readable_and_shadows_visible(self):
        """White text at (500, 320) keeps a contrast of 4.5 against the brightest
        pixel there, and a shadow (three quarters bright) shows on a 16-bit screen."""
        def luminance(c):  # relative luminance (WCAG), 0 to 1
            lin = [v / 255 / 12.92 if v <= 10 else ((v / 255 + 0.055) / 1.055) ** 2.4 for v in c]
            return 0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2]
        for name in ("bg0.pcx", "bg1.pcx", "bg2.pcx"):
            pic, rgb = shipped(name)
            brightest = max(luminance(rgb[y % pic.height * pic.width + x % pic.width])
                            for y in range(318, 336) for x in range(498, 600))
            self.assertGreaterEqual(1.05 / (brightest + 0.05), 4.5, name)
            shaded = sum(rgb565(c) != rgb565([v * 3 // 4 for v in c]) for c in rgb)
            self.assertGreater(shaded, 0.95 * len(rgb), name)


if __name__ == "__main__":
    unittest.main()
