#!/usr/bin/python3
"""Tests of the shipped pictures (made again byte for byte by make_art.py, read alike by PIL)
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
    """A shipped picture as pcx.py's strict reader reads it, checked against PIL's reading."""
    pic = pcx.decode(pathlib.Path(DATA, name).read_bytes())
    theirs = Image.open(os.path.join(DATA, name))
    if theirs.mode == "1":  # PIL leaves out the palette of a 1-bit picture
        return bytes(v // 255 for v in theirs.getdata()) == pic.pixels
    # compared as bytes: a failing comparison of long lists takes minutes
    return theirs.convert("RGB").tobytes() == bytes(v for i in pic.pixels for v in pic.palette[i])


class Generator(unittest.TestCase):
    def test_a_run_makes_the_committed_files(self):
        """make_art.py draws the committed pictures, and renders their glyphs again (--glyphs)."""
        with tempfile.TemporaryDirectory() as tmp:
            tools = shutil.copytree(HERE, tmp + "/tools")  # --glyphs writes beside make_art.py
            make = [sys.executable, "-B", tools + "/make_art.py", "--out", tmp + "/out"]
            subprocess.run(make, check=True, stdout=subprocess.DEVNULL, timeout=120)
            self.assertEqual(differ(tmp + "/out", DATA), [], "made unlike the committed")
            for name in (n for n in os.listdir(DATA) if n.endswith(".pcx")):
                self.assertTrue(shipped(name), name)
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


if __name__ == "__main__":
    unittest.main()
