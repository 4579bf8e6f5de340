#!/usr/bin/python3
"""Tests of the shipped pictures: made again byte for byte by make_art.py, and fit for the game.

Run with /usr/bin/python3 (it needs python3-pil and the fonts named in
make_art.py).  The files are read with the strict reader of tools/pcx.py.
"""

import functools
import os
import pathlib
import random
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # leave the source tree as it is
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(os.path.dirname(HERE), "data")
sys.path.insert(0, HERE)
import pcx  # noqa: E402
import make_art  # noqa: E402
from PIL import Image  # noqa: E402

# What the game reads: (bits, planes, width, height) by file.
SHIPPED = {
    "tiles0.pcx": (8, 1, 378, 240), "tiles1.pcx": (8, 1, 378, 240),
    "tiles2.pcx": (1, 4, 378, 240), "bg0.pcx": (8, 1, 640, 400),
    "bg1.pcx": (8, 1, 80, 80), "bg2.pcx": (1, 1, 16, 16),
}
TILE_SETS = ("tiles0.pcx", "tiles1.pcx", "tiles2.pcx")
ICONS = {"icons/mahjong-%d.png" % n: n for n in (32, 48, 64, 128, 256)}


@functools.cache
def shipped(name):
    return pcx.decode(pathlib.Path(DATA, name).read_bytes())


def colours(pic):
    return [pic.palette[i] for i in pic.pixels]


def face(pic, f):
    """The 40 x 46 pixels the game shows of face f, as RGB."""
    rgb, x0, y0 = colours(pic), f % 9 * 42, f // 9 * 48
    return [rgb[(y0 + y) * pic.width + x0 + x] for y in range(46) for x in range(40)]


def rgb565(c):
    return (c[0] >> 3, c[1] >> 2, c[2] >> 3)


def luminance(c):
    """Relative luminance (WCAG), 0 to 1."""
    lin = [v / 255 / 12.92 if v <= 10 else ((v / 255 + 0.055) / 1.055) ** 2.4 for v in c]
    return 0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2]


def premultiplied(img):
    return [v * p[3] / 255 for p in img.getdata() for v in p[:3]] + [p[3] for p in img.getdata()]


def setUpModule():
    """Two runs of the generator, each in a process of its own, while the other tests run."""
    global SCRATCH, RUNS
    SCRATCH = tempfile.TemporaryDirectory()
    RUNS = {os.path.join(SCRATCH.name, run): subprocess.Popen(
        [sys.executable, "-B", os.path.join(HERE, "make_art.py"), "--out",
         os.path.join(SCRATCH.name, run)], stdout=subprocess.DEVNULL) for run in "ab"}


def tearDownModule():
    for run in RUNS.values():
        run.kill()
        run.wait()
    SCRATCH.cleanup()


class Generator(unittest.TestCase):
    def test_two_runs_make_the_committed_files(self):
        self.assertEqual([run.wait(timeout=120) for run in RUNS.values()], [0, 0])
        for run in RUNS:
            made = [os.path.relpath(os.path.join(d, f), run) for d, _, fs in os.walk(run) for f in fs]
            self.assertEqual(sorted(made), sorted(list(SHIPPED) + list(ICONS)))
        for name in list(SHIPPED) + list(ICONS):
            made = [pathlib.Path(d, name).read_bytes() for d in list(RUNS) + [DATA]]
            self.assertTrue(made[0] == made[1] == made[2], name + " differs")

    def test_files_hold_the_drawing(self):
        """The pixels are what was drawn; a tile set's palette keeps the drawing's
        colours (exactly with 16 flat colours, closely where edges are blended)."""
        for name, (picture, drawing) in make_art.build_pictures().items():
            self.assertEqual(shipped(name).pixels, picture.pixels, name)
            if drawing is not None:
                errors = sorted(max(abs(a - b) for a, b in zip(want, got))
                                for want, got in zip(drawing.getdata(), colours(shipped(name))))
                exact = picture.bits == 1
                self.assertLess(sum(errors) / len(errors), 1.0, name)
                self.assertLessEqual(errors[-1 if exact else len(errors) * 99 // 100],
                                     0 if exact else 16, name)

    def test_writer_and_reader_agree(self):
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
            self.assertEqual(got[:4], (width, height, bits, planes), seed)
            self.assertEqual((got.pixels, got.palette[:len(palette)]), (bytes(pixels), palette),
                             seed)

    def test_reader_refuses_broken_files(self):
        good = pcx.encode(3, 2, [1, 2, 3, 0xC4, 5, 6], [(9, 9, 9)] * 256)
        pcx.decode(good)
        for offset, value in ((0, 11), (1, 3), (3, 4), (65, 2), (66, 3), (128, 0xC4), (-769, 0)):
            broken = bytearray(good)
            broken[offset] = value
            self.assertRaises(pcx.PcxError, pcx.decode, bytes(broken))
        self.assertRaises(pcx.PcxError, pcx.decode, good[:-769] + b"\x41" + good[-769:])


class ShippedPictures(unittest.TestCase):
    def test_kind_and_size_and_another_reader_agrees(self):
        for name, kind in SHIPPED.items():
            pic = shipped(name)
            self.assertEqual(pic[:4], kind[2:] + kind[:2], name)
            theirs = Image.open(os.path.join(DATA, name))  # PIL's reader, written by others
            if theirs.mode == "1":
                self.assertEqual(bytes(v // 255 for v in theirs.getdata()), pic.pixels, name)
            else:  # compared as bytes: a failing comparison of long lists takes minutes
                self.assertEqual(theirs.convert("RGB").tobytes(),
                                 bytes(v for c in colours(pic) for v in c), name)

    def test_faces_differ_and_carry_their_mark(self):
        """On a 16-bit screen no two faces look alike (25 pixels apart at least),
        each has its index mark at the top left, and flowers share one look,
        seasons another (their frame or band at the left edge)."""
        for name in TILE_SETS:
            faces = [face(shipped(name), f) for f in range(44)]
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
            self.assertEqual((len(flowers), len(seasons)), (1, 1), name)
            self.assertNotEqual(flowers, seasons, name)

    def test_backgrounds_keep_the_status_line_readable_and_shadows_visible(self):
        """White text at (500, 320) keeps a contrast of 4.5 against the brightest
        pixel there, and a shadow (three quarters bright) shows on a 16-bit screen."""
        for name in ("bg0.pcx", "bg1.pcx", "bg2.pcx"):
            pic, rgb = shipped(name), colours(shipped(name))
            brightest = max(luminance(rgb[y % pic.height * pic.width + x % pic.width])
                            for y in range(318, 336) for x in range(498, 600))
            self.assertGreaterEqual(1.05 / (brightest + 0.05), 4.5, name)
            shaded = sum(rgb565(c) != rgb565([v * 3 // 4 for v in c]) for c in rgb)
            self.assertGreater(shaded, 0.95 * len(rgb), name)

    def test_icons_are_bare_rgba_pngs_of_one_picture(self):
        largest = Image.open(os.path.join(DATA, max(ICONS, key=ICONS.get)))
        for name, size in ICONS.items():
            icon = Image.open(os.path.join(DATA, name))
            self.assertEqual((icon.format, icon.mode, icon.size, icon.info),
                             ("PNG", "RGBA", (size, size), {}), name)
            alpha = icon.getchannel("A").histogram()
            self.assertTrue(0.5 < alpha[255] / size ** 2 < 0.9 and alpha[0] / size ** 2 > 0.08)
            want, got = premultiplied(largest.resize((size, size), Image.BOX)), premultiplied(icon)
            self.assertLess(sum(abs(a - b) for a, b in zip(want, got)) / len(got), 20, name)


if __name__ == "__main__":
    unittest.main()
