#!/usr/bin/python3
"""Draw the game's tile sets, backgrounds and application icon.

Every picture is drawn here from code: shapes with PIL's ImageDraw and with
polygon fills of this file, Chinese characters and a few Latin letters from
glyphs rendered once from Debian's free fonts (tools/glyphs/, see Glyphs),
small index marks from a bitmap font defined in this file.  The PCX files
are written by tools/pcx.py, the icon as PNG files in DIR/icons.

    tools/make_art.py [--out DIR] [--glyphs]

DIR defaults to the repository's data/ directory; --glyphs first renders
the glyphs again from the fonts (found with fontconfig's fc-match).  The
output is the same byte for byte on every run, with Debian 12's Pillow as
with Debian 13's.
"""

import argparse
import functools
import hashlib
import io
import math
import os
import subprocess
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

import pcx

# ---------------------------------------------------------------------------
# Geometry the game expects

CELL_W, CELL_H = 42, 48        # one face cell in the tile-set picture
FACE_W, FACE_H = 40, 46        # the part of a cell the game shows
COLUMNS, ROWS = 9, 5
SHEET_W, SHEET_H = COLUMNS * CELL_W, ROWS * CELL_H   # 378 x 240
FACE_COUNT = 44

SCREEN_W, SCREEN_H = 640, 400

# Fonts, by the names fontconfig knows them, and the Debian packages that
# hold them.
CJK_FONT = "WenQuanYi Micro Hei"
LATIN_BOLD_FONT = "Noto Sans:bold"
FONT_PACKAGES = {CJK_FONT: "fonts-wqy-microhei", LATIN_BOLD_FONT: "fonts-noto-core"}


# ---------------------------------------------------------------------------
# Pictures as the game reads them


class Picture:
    """An indexed picture ready to be written as PCX: one palette index per
    pixel, row by row; bits/planes is 8/1 (256 colours) or 1/N (N planes,
    16 colours)."""

    def __init__(self, width, height, pixels, palette, bits=8, planes=1):
        self.width = width
        self.height = height
        self.pixels = bytes(pixels)
        self.palette = [tuple(c) for c in palette]
        self.bits = bits
        self.planes = planes


def encode_pcx(pic):
    """Return the PCX file for a Picture as bytes."""
    return pcx.encode(pic.width, pic.height, pic.pixels, pic.palette,
                      pic.bits, pic.planes)


# ---------------------------------------------------------------------------
# Faces

SUIT_LETTERS = "DBC"
WIND_LETTERS = "ESWN"
DRAGON_LABELS = ("Rd", "Gr", "Wh")


def face_kind(face):
    """Return (family, number) for a face index 0..43."""
    if face < 27:
        return ("dots", "bamboo", "characters")[face // 9], face % 9 + 1
    if face < 31:
        return "wind", face - 27
    if face < 34:
        return "dragon", face - 31
    if face < 36:
        return "joker", face - 33
    if face < 40:
        return "flower", face - 35
    return "season", face - 39


def face_label(face):
    family, n = face_kind(face)
    if family in ("dots", "bamboo", "characters"):
        return "%d%s" % (n, SUIT_LETTERS[face // 9])
    if family == "wind":
        return WIND_LETTERS[n]
    if family == "dragon":
        return DRAGON_LABELS[n]
    return {"joker": "J", "flower": "F", "season": "S"}[family] + str(n)


# ---------------------------------------------------------------------------
# A 3 x 5 bitmap font for the index marks (some letters are wider)

TINY_GLYPHS = {
    "1": (".#.", "##.", ".#.", ".#.", "###"),
    "2": ("##.", "..#", ".#.", "#..", "###"),
    "3": ("##.", "..#", ".#.", "..#", "##."),
    "4": ("#.#", "#.#", "###", "..#", "..#"),
    "5": ("###", "#..", "##.", "..#", "##."),
    "6": (".##", "#..", "###", "#.#", "###"),
    "7": ("###", "..#", ".#.", ".#.", ".#."),
    "8": ("###", "#.#", "###", "#.#", "###"),
    "9": ("###", "#.#", "###", "..#", "##."),
    "B": ("##.", "#.#", "##.", "#.#", "##."),
    "C": (".##", "#..", "#..", "#..", ".##"),
    "D": ("##.", "#.#", "#.#", "#.#", "##."),
    "E": ("###", "#..", "##.", "#..", "###"),
    "F": ("###", "#..", "##.", "#..", "#.."),
    "G": (".##", "#..", "#.#", "#.#", ".##"),
    "J": ("..#", "..#", "..#", "#.#", ".#."),
    "N": ("#..#", "##.#", "#.##", "#..#", "#..#"),
    "R": ("##.", "#.#", "##.", "#.#", "#.#"),
    "S": (".##", "#..", ".#.", "..#", "##."),
    "W": ("#...#", "#...#", "#.#.#", "#.#.#", ".#.#."),
    "d": ("..#", "..#", ".##", "#.#", ".##"),
    "h": ("#..", "#..", "##.", "#.#", "#.#"),
    "r": ("...", "#.#", "##.", "#..", "#.."),
}


def tiny_text_size(text):
    width = sum(len(TINY_GLYPHS[ch][0]) + 1 for ch in text) - 1
    return width, 5


def draw_tiny_text(img, x, y, text, colour):
    """Draw text pixel by pixel onto an RGB image."""
    for ch in text:
        glyph = TINY_GLYPHS[ch]
        for gy, line in enumerate(glyph):
            for gx, bit in enumerate(line):
                if bit == "#":
                    img.putpixel((x + gx, y + gy), colour)
        x += len(glyph[0]) + 1


# ---------------------------------------------------------------------------
# Drawing helpers


class MissingFont(Exception):
    pass


@functools.cache
def font_file(name):
    """(file, index in the file) of an installed font, found through
    fontconfig by its name, such as "Noto Sans:bold"; MissingFont when
    fontconfig offers another family or style in its place."""
    family, _, style = name.partition(":")
    try:
        found = subprocess.run(
            ["fc-match", "--format=%{family}\n%{style}\n%{file}\n%{index}",
             name], capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError) as err:
        raise MissingFont("fc-match (Debian: fontconfig) cannot look up %r: %s"
                          % (name, err))
    families, styles, path, index = found.split("\n")
    if family not in families.split(",") or \
            style and style.lower() not in styles.lower().split(","):
        package = FONT_PACKAGES.get(name, "the package that holds it")
        raise MissingFont("the font %r is not installed (Debian: %s)"
                          % (name, package))
    return path, int(index)


@functools.cache
def load_font(name, size):
    path, index = font_file(name)
    # The basic layout engine gives the same result whether or not
    # libraqm is installed.
    return ImageFont.truetype(path, size, index=index,
                              layout_engine=ImageFont.Layout.BASIC)


def fill_span(draw, row, a, b, fill):
    """Fill the pixels of a row whose centres lie in [a, b)."""
    first, last = math.ceil(a - 0.5), math.ceil(b - 0.5) - 1
    if first <= last:
        draw.rectangle((first, row, last, row), fill=fill)


# ImageDraw's polygons, and its rounded rectangles at fractional
# coordinates, lose or gain edge pixels from one Pillow release to the
# next (9.4 to 11.1); these two are written here, so that the pictures
# stay the same.  Both fill a pixel when its centre lies inside.

def fill_polygon(draw, points, fill):
    """A polygon filled by the even-odd rule."""
    edges = list(zip(points, points[1:] + points[:1]))
    ys = [y for _, y in points]
    for row in range(math.floor(min(ys)), math.ceil(max(ys))):
        yc = row + 0.5
        xs = sorted(x0 + (yc - y0) * (x1 - x0) / (y1 - y0)
                    for (x0, y0), (x1, y1) in edges if (y0 <= yc) != (y1 <= yc))
        for a, b in zip(xs[::2], xs[1::2]):
            fill_span(draw, row, a, b, fill)


def fill_rounded_rect(draw, box, radius, fill):
    """The rectangle x0..x1, y0..y1 with its corners rounded by radius."""
    x0, y0, x1, y1 = box
    for row in range(math.ceil(y0 - 0.5), math.ceil(y1 - 0.5)):
        yc = row + 0.5
        d = max(0.0, y0 + radius - yc, yc - y1 + radius)
        inset = radius - math.sqrt(max(0.0, radius * radius - d * d))
        fill_span(draw, row, x0 + inset, x1 - inset, fill)


GLYPH_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "glyphs")
GLYPH_ATLASES = {CJK_FONT: "wqy-microhei.png", LATIN_BOLD_FONT: "noto-sans-bold.png"}


class MissingGlyph(Exception):
    pass


class Glyphs:
    """Every text the pictures hold, as the masks it is drawn with.

    FreeType 2.12 and 2.13 rasterise some glyphs a pixel apart, so the
    masks are not asked of it on every run: `make_art.py --glyphs` renders
    them once from the fonts into GLYPH_DIR (an index and one atlas per
    font), and the pictures are drawn from there.  A text's masks are the
    stroked one and, on top, the plain one (just one without a stroke),
    each with its offset from the text's origin, as ImageDraw.text draws
    them; its box is the ink box that ImageDraw.textbbox gives.
    """

    def __init__(self):
        self.render = False     # True: render from the fonts what is missing
        self.masks = None       # (font, size, stroke, mode, text) -> (box, layers)

    def get(self, *key):
        if self.masks is None:
            self.masks = {} if self.render else self.read()
        if key not in self.masks:
            if not self.render:
                raise MissingGlyph("%r is not in %s: run tools/make_art.py --glyphs"
                                   % (key, GLYPH_DIR))
            name, size, stroke, mode, text = key
            font = load_font(name, size)
            layers = [font.getmask2(text, mode, stroke_width=sw)
                      for sw in ((stroke, 0) if stroke else (0,))]
            self.masks[key] = (font.getbbox(text, mode, stroke_width=stroke),
                               [(offset, Image.Image()._new(core)) for core, offset in layers])
        return self.masks[key]

    def read(self):
        atlases = {name: Image.open(os.path.join(GLYPH_DIR, file))
                   for name, file in GLYPH_ATLASES.items()}
        masks = {}
        with open(os.path.join(GLYPH_DIR, "index.txt"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("#"):
                    continue
                name, size, stroke, mode, text, box, *layers = line.rstrip("\n").split("\t")
                layers = [[int(v) for v in layer.split()] for layer in layers]
                masks[name, int(size), int(stroke), mode, text] = (
                    tuple(int(v) for v in box.split()),
                    [((dx, dy), atlases[name].crop((x, y, x + w, y + h)))
                     for x, y, w, h, dx, dy in layers])
        return masks

    def write(self):
        """The masks used so far into GLYPH_DIR, with what they came from."""
        import PIL.features
        lines = ["# The text in the pictures, rendered by `tools/make_art.py --glyphs` with",
                 "# Pillow %s and FreeType %s from" % (Image.__version__,
                                                      PIL.features.version("freetype2"))]
        for name in GLYPH_ATLASES:
            path, index = font_file(name)
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            lines.append("#   %s: %s (face %d), sha256 %s" % (name, path, index, digest))
        lines.append("# font, size, stroke, mode, text, ink box x0 y0 x1 y1, then per mask:"
                     " x y w h in the font's atlas, offset x y")
        for name, file in GLYPH_ATLASES.items():
            keys = sorted(k for k in self.masks if k[0] == name)
            layers = [m for k in keys for m in self.masks[k][1]]
            atlas = Image.new("L", (max(m.width for _, m in layers),
                                    sum(m.height for _, m in layers)))
            y = 0
            for key in keys:
                box, masks = self.masks[key]
                fields = [str(v) for v in key] + [" ".join(map(str, box))]
                for (dx, dy), mask in masks:
                    atlas.paste(mask, (0, y))
                    fields.append("0 %d %d %d %d %d" % (y, mask.width, mask.height, dx, dy))
                    y += mask.height
                lines.append("\t".join(fields))
            with open(os.path.join(GLYPH_DIR, file), "wb") as f:
                f.write(encode_png(atlas))
        with open(os.path.join(GLYPH_DIR, "index.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")


GLYPHS = Glyphs()


class Canvas:
    """One face cell, drawn in face pixel coordinates at `scale` times size.

    Coordinates are continuous: pixel (i, j) covers [i, i+1) x [j, j+1).
    With scale > 1 the cell is later reduced, which anti-aliases the edges;
    with scale 1 nothing is blended and fonts are rendered without
    grey levels, so only the colours given are used.
    """

    def __init__(self, scale, ground):
        self.s = scale
        self.img = Image.new("RGB", (CELL_W * scale, CELL_H * scale), ground)
        self.draw = ImageDraw.Draw(self.img)
        self.fontmode = "1" if scale == 1 else "L"

    def _p(self, v):
        return int(math.floor(v * self.s + 0.5))

    def _w(self, width):
        return max(1, int(round(width * self.s)))

    def _box(self, x0, y0, x1, y1):
        return (self._p(x0), self._p(y0), self._p(x1) - 1, self._p(y1) - 1)

    def ellipse(self, cx, cy, rx, ry=None, fill=None, outline=None, width=1.0):
        ry = rx if ry is None else ry
        self.draw.ellipse(self._box(cx - rx, cy - ry, cx + rx, cy + ry),
                          fill=fill, outline=outline,
                          width=self._w(width) if outline else 0)

    def rect(self, x0, y0, x1, y1, fill=None, outline=None, width=1.0,
             radius=0.0):
        box = self._box(x0, y0, x1, y1)
        w = self._w(width) if outline else 0
        if radius > 0:
            self.draw.rounded_rectangle(box, radius=self._p(radius),
                                        fill=fill, outline=outline, width=w)
        else:
            self.draw.rectangle(box, fill=fill, outline=outline, width=w)

    def polygon(self, points, fill):
        fill_polygon(self.draw, [(self._p(x), self._p(y)) for x, y in points],
                     fill)

    def line(self, points, fill, width=1.0):
        pts = [(self._p(x), self._p(y)) for x, y in points]
        self.draw.line(pts, fill=fill, width=self._w(width), joint="curve")

    def petal(self, cx, cy, length, width, angle, fill, offset=0.0):
        """An ellipse of the given length and width, rotated by angle
        (degrees, 0 = pointing right), its centre moved `offset` along
        its axis from (cx, cy)."""
        a = math.radians(angle)
        ca, sa = math.cos(a), math.sin(a)
        ox, oy = cx + offset * ca, cy + offset * sa
        pts = []
        for k in range(24):
            t = 2 * math.pi * k / 24
            u, v = length / 2 * math.cos(t), width / 2 * math.sin(t)
            pts.append((ox + u * ca - v * sa, oy + u * sa + v * ca))
        self.polygon(pts, fill)

    def text(self, cx, cy, text, font_name, size, fill, stroke=0.0,
             bold=0):
        """Draw text with the centre of its ink box at (cx, cy).  bold=1
        draws it again one pixel to the right, bold=2 also one pixel
        lower (thickening horizontal strokes too)."""
        (x0, y0, x1, y1), layers = GLYPHS.get(
            font_name, self._p(size), int(round(stroke * self.s)), self.fontmode, text)
        x = self._p(cx) - (x0 + x1) // 2
        y = self._p(cy) - (y0 + y1) // 2
        offsets = ((0, 0), (1, 0), (0, 1), (1, 1))[:(1, 2, 4)[bold]]
        shift = self.s // 2 if bold else 0
        for dx, dy in offsets:
            for (mx, my), mask in layers:
                self.draw.bitmap((x + dx * self.s - shift + mx,
                                  y + dy * self.s - (shift if bold == 2 else 0) + my),
                                 mask, fill=fill)

    def finish(self):
        """The cell at its real size."""
        return self.img.reduce(self.s) if self.s > 1 else self.img.copy()


def arrow(cv, cx, cy, direction, length, fill, shaft=2.5, head=8.0):
    """An arrow centred on (cx, cy); direction 0 = right, 90 = down..."""
    a = math.radians(direction)
    ca, sa = math.cos(a), math.sin(a)

    def at(u, v):
        return (cx + u * ca - v * sa, cy + u * sa + v * ca)

    half = length / 2
    neck = half - head * 0.9
    cv.polygon([at(-half, -shaft / 2), at(neck, -shaft / 2),
                at(neck, -head / 2), at(half, 0), at(neck, head / 2),
                at(neck, shaft / 2), at(-half, shaft / 2)], fill)


def star(cv, cx, cy, r_out, r_in, fill, points=5, rotation=-90.0):
    pts = []
    for k in range(points * 2):
        r = r_out if k % 2 == 0 else r_in
        a = math.radians(rotation + 180.0 * k / points)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    cv.polygon(pts, fill)


# ---------------------------------------------------------------------------
# Layouts shared by all sets (face coordinates; the picture area is
# x 2..38, y 8..44, leaving the top-left corner to the index mark)

def dot_layout(n):
    """Circles for n dots: (cx, cy, radius, role) with role 0/1/2."""
    if n == 1:
        return [(20, 26.5, 14.5, 0)]
    if n == 2:
        return [(20, 17, 8, 1), (20, 35.5, 8, 0)]
    if n == 3:
        return [(10.5, 14.5, 6.5, 0), (20, 26, 6.5, 2), (29.5, 37.5, 6.5, 1)]
    if n == 4:
        return [(12, 17.5, 7, 0), (28, 17.5, 7, 1),
                (12, 35, 7, 1), (28, 35, 7, 0)]
    if n == 5:
        return [(10.5, 15, 6, 0), (29.5, 15, 6, 1), (20, 26, 6, 2),
                (10.5, 37, 6, 1), (29.5, 37, 6, 0)]
    if n == 6:
        return [(x, y, 5.6, 1 if y < 20 else 2)
                for y in (14.5, 26.5, 38.5) for x in (13, 27)]
    if n == 7:
        top = [(9.5, 12.5, 4.4, 1), (20, 17, 4.4, 1), (30.5, 21.5, 4.4, 1)]
        return top + [(x, y, 4.6, 2) for y in (30.5, 39.5) for x in (13, 27)]
    if n == 8:
        return [(x, y, 4.4, 0)
                for y in (12.8, 21.8, 30.8, 39.8) for x in (13, 27)]
    return [(x, y, 5.3, row) for row, y in enumerate((14.5, 26.5, 38.5))
            for x in (9.5, 20, 30.5)]


def bamboo_layout(n):
    """Sticks for n >= 2 bamboo: (cx, top, bottom, role), role 0/1/2."""
    upper, lower = (9, 25.5), (27.5, 44)
    if n == 2:
        return [(20,) + upper + (1,), (20,) + lower + (0,)]
    if n == 3:
        return [(20,) + upper + (0,),
                (13,) + lower + (1,), (27,) + lower + (1,)]
    if n == 4:
        return [(13,) + upper + (0,), (27,) + upper + (1,),
                (13,) + lower + (1,), (27,) + lower + (0,)]
    if n == 5:
        return [(9,) + upper + (1,), (31,) + upper + (0,), (20, 17.5, 35, 2),
                (9,) + lower + (0,), (31,) + lower + (1,)]
    if n == 6:
        return ([(x,) + upper + (1,) for x in (10, 20, 30)]
                + [(x,) + lower + (0,) for x in (10, 20, 30)])
    rows3 = ((9, 20), (21.5, 32.5), (34, 45))
    if n == 7:
        return ([(20,) + rows3[0] + (2,)]
                + [(x,) + r + (1,) for r in rows3[1:] for x in (10, 20, 30)])
    if n == 8:
        return [(x,) + r + (1 if r == upper else 0,)
                for r in (upper, lower) for x in (8, 16, 24, 32)]
    return [(x,) + r + (role,) for r in rows3
            for x, role in ((10, 1), (20, 2), (30, 0))]


CJK_NUMERALS = "一二三四五六七八九"
WIND_CHARS = "東南西北"
DRAGON_CHARS = "中發"
TEN_THOUSAND = "萬"


# ---------------------------------------------------------------------------
# Small pictures for flowers and seasons, used by the classic and the
# retro set.  `c` is the set's colour table.

def draw_plum(cv, c, box):
    x0, y0, x1, y1 = box
    cv.line([(x0 + 1, y1 - 2), (x0 + 11, y0 + 13), (x0 + 22, y0 + 7),
             (x1 - 1, y0 + 1)], c["brown"], 1.6)
    cv.line([(x0 + 11, y0 + 13), (x0 + 12, y0 + 4)], c["brown"], 1.2)
    for bx, by, r in ((x0 + 12, y0 + 4.5, 3.8), (x0 + 22, y0 + 8, 4.2),
                      (x0 + 7, y0 + 17, 3.8)):
        for k in range(5):
            a = math.radians(-90 + 72 * k)
            cv.ellipse(bx + r * 0.55 * math.cos(a),
                       by + r * 0.55 * math.sin(a), r * 0.5, fill=c["pink"])
        cv.ellipse(bx, by, r * 0.3, fill=c["yellow"])


def draw_orchid(cv, c, box):
    x0, y0, x1, y1 = box
    mid = (x0 + x1) / 2
    for dx, bend in ((-9, -6), (-3, -2), (4, 5), (9, 8)):
        cv.line([(mid + dx * 0.3, y1), (mid + dx * 0.7, y1 - 8),
                 (mid + dx + bend * 0.2, y0 + 5)], c["green"], 1.3)
    cx, cy = mid + 1, y0 + 7
    for angle in (-90, -20, 200, 150, 30):
        cv.petal(cx, cy, 7.5, 3.6, angle, c["purple"], offset=3.2)
    cv.ellipse(cx, cy, 1.6, fill=c["yellow"])


def draw_chrysanthemum(cv, c, box):
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, y0 + 8
    cv.line([(cx, cy), (cx - 1, y1)], c["green"], 1.4)
    cv.petal(cx - 4, y1 - 5, 7, 3, 200, c["green"])
    cv.petal(cx + 3, y1 - 3, 7, 3, -20, c["green"])
    for k in range(14):
        cv.petal(cx, cy, 6.5, 2.2, k * 360 / 14, c["orange"], offset=5.0)
    for k in range(10):
        cv.petal(cx, cy, 4.5, 1.8, k * 36 + 18, c["yellow"], offset=3.2)
    cv.ellipse(cx, cy, 2.2, fill=c["brown"])


def draw_bamboo_plant(cv, c, box):
    x0, y0, x1, y1 = box
    for sx, top, w in ((x0 + 9, y0, 3.4), (x0 + 18, y0 + 8, 2.6)):
        cv.rect(sx - w / 2, top, sx + w / 2, y1, fill=c["green"])
        ny = top + 6
        while ny < y1 - 2:
            cv.rect(sx - w / 2 - 0.6, ny - 0.6, sx + w / 2 + 0.6, ny + 0.6,
                    fill=c["darkgreen"])
            ny += 7
    for lx, ly, angles in ((x0 + 10, y0 + 5, (-30, 5, 35)),
                           (x0 + 18, y0 + 14, (-20, 15)),
                           (x0 + 8, y0 + 15, (160, 195))):
        for angle in angles:
            cv.petal(lx, ly, 11, 2.8, angle, c["darkgreen"], offset=5.5)


def draw_spring(cv, c, box):
    x0, y0, x1, y1 = box
    cx = (x0 + x1) / 2
    cv.ellipse(cx, y1, 10, 2.6, fill=c["brown"])
    cv.line([(cx, y1 - 1), (cx, y0 + 7)], c["green"], 1.5)
    cv.petal(cx, y0 + 17, 12, 5.5, 200, c["green"], offset=6)
    cv.petal(cx, y0 + 13, 12, 5.5, -25, c["green"], offset=6)
    for k in range(5):
        a = math.radians(-90 + 72 * k)
        cv.ellipse(cx + 2.6 * math.cos(a), y0 + 5 + 2.6 * math.sin(a), 2.5,
                   fill=c["pink"])
    cv.ellipse(cx, y0 + 5, 1.3, fill=c["yellow"])


def draw_summer(cv, c, box):
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    for k in range(12):
        cv.petal(cx, cy, 5, 2.6 if k % 2 == 0 else 1.8, k * 30,
                 c["orange"], offset=9.5 if k % 2 == 0 else 8.8)
    cv.ellipse(cx, cy, 6.8, fill=c["orange"])
    cv.ellipse(cx, cy, 5.4, fill=c["yellow"])


def draw_autumn(cv, c, box):
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2 - 1
    cv.line([(cx, cy + 2), (cx + 1, y1)], c["brown"], 1.3)
    # a maple leaf: five pointed lobes
    for angle, length, width in ((-90, 13, 6.5), (-35, 11, 6), (-145, 11, 6),
                                 (20, 8, 4.5), (160, 8, 4.5)):
        cv.petal(cx, cy, length, width, angle, c["orange"],
                 offset=length / 2 - 0.5)
    cv.ellipse(cx, cy, 3.5, fill=c["orange"])
    for angle in (-90, -35, -145):
        a = math.radians(angle)
        cv.line([(cx, cy), (cx + 9 * math.cos(a), cy + 9 * math.sin(a))],
                c["red"], 0.8)


def draw_winter(cv, c, box):
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    r = min(x1 - x0, y1 - y0) / 2 - 0.5
    for k in range(6):
        a = math.radians(90 + 60 * k)
        ca, sa = math.cos(a), math.sin(a)
        cv.line([(cx, cy), (cx + r * ca, cy + r * sa)], c["blue"], 1.6)
        for d, b in ((r * 0.55, r * 0.3), (r * 0.8, r * 0.2)):
            px, py = cx + d * ca, cy + d * sa
            for side in (-1, 1):
                aa = a + side * math.radians(50)
                tip = (px + b * math.cos(aa), py + b * math.sin(aa))
                cv.line([(px, py), tip], c["blue"], 1.1)
    cv.ellipse(cx, cy, 2.2, fill=c["blue"])


FLOWER_PICTURES = (draw_plum, draw_orchid, draw_chrysanthemum,
                   draw_bamboo_plant)
SEASON_PICTURES = (draw_spring, draw_summer, draw_autumn, draw_winter)


def draw_bird(cv, c):
    """The one-bamboo bird: a small perched songbird facing right."""
    cv.line([(5, 39.5), (35, 38)], c["brown"], 1.6)
    # tail feathers fanning down to the left
    for angle, colour in ((150, c["blue"]), (135, c["green"]),
                          (120, c["red"])):
        cv.petal(15, 31, 14, 4.2, angle, colour, offset=6.5)
    cv.ellipse(21, 28, 8.5, 6.5, fill=c["green"])          # body
    cv.ellipse(24.5, 30, 5, 4.5, fill=c["red"])             # breast
    cv.polygon([(13.5, 25), (23, 23.5), (21, 31.5), (15, 31)],
               c["darkgreen"])                              # wing
    cv.line([(15.5, 27), (21, 26)], c["green"], 0.8)
    cv.polygon([(23, 24), (26, 18), (31, 18), (29, 27)], c["green"])  # neck
    cv.ellipse(28.5, 17.5, 5.2, fill=c["green"])            # head
    cv.petal(27, 13, 6, 2.2, -120, c["red"], offset=2)      # crest
    cv.petal(29, 12.5, 5, 2, -80, c["red"], offset=2)
    cv.polygon([(32.8, 15.5), (38, 18), (32.8, 19.6)], c["orange"])  # beak
    cv.ellipse(30, 16.5, 1.6, fill=c["light"])
    cv.ellipse(30.3, 16.6, 0.8, fill=c["ink"])
    cv.line([(20, 34), (19, 38.5)], c["ink"], 0.9)
    cv.line([(24, 34), (25, 38.3)], c["ink"], 0.9)


# ---------------------------------------------------------------------------
# Tile-set styles.  Each style draws the family pictures; the sheet
# assembly below calls them per face.

class Style:
    scale = 4
    colours = {}
    label_colour = (0, 0, 0)

    def surface(self, cell):
        """Fill the cell with the tile top and its 1-pixel bevel."""
        c = self.colours
        d = ImageDraw.Draw(cell)
        d.rectangle((0, 0, CELL_W - 1, CELL_H - 1), fill=c["surface"])
        d.line((0, 0, FACE_W - 1, 0), fill=c["highlight"])
        d.line((0, 0, 0, FACE_H - 1), fill=c["highlight"])
        d.line((1, FACE_H - 1, FACE_W - 1, FACE_H - 1), fill=c["bevel"])
        d.line((FACE_W - 1, 1, FACE_W - 1, FACE_H - 1), fill=c["bevel"])

    def label(self, cell, face):
        draw_tiny_text(cell, 2, 2, face_label(face), self.label_colour)

    def draw(self, cv, face):
        family, n = face_kind(face)
        getattr(self, family)(cv, n)


class ClassicStyle(Style):
    """Ivory tiles with traditional pictures in red, green and blue."""

    colours = {
        "surface": (244, 236, 214), "highlight": (255, 251, 238),
        "bevel": (216, 204, 174), "light": (252, 248, 236),
        "ink": (28, 28, 34), "navy": (26, 40, 104), "blue": (28, 78, 170),
        "green": (22, 138, 66), "darkgreen": (10, 88, 44),
        "red": (200, 30, 38), "darkred": (140, 18, 30),
        "orange": (232, 120, 26), "yellow": (238, 190, 40),
        "brown": (120, 76, 40), "pink": (232, 104, 150),
        "purple": (128, 64, 170), "label": (84, 70, 58),
        "flowerpanel": (250, 226, 232), "flowerframe": (196, 58, 104),
        "seasonpanel": (220, 238, 242), "seasonframe": (24, 124, 140),
        "joker": (170, 158, 130),
    }
    label_colour = colours["label"]

    def role_colour(self, role):
        c = self.colours
        return (c["blue"], c["green"], c["red"])[role]

    def dots(self, cv, n):
        c = self.colours
        if n == 1:
            cx, cy, r, _ = dot_layout(1)[0]
            cv.ellipse(cx, cy, r, fill=c["green"])
            cv.ellipse(cx, cy, r - 1.8, fill=c["light"])
            for k in range(12):
                a = math.radians(15 + 30 * k)
                cv.ellipse(cx + 9.3 * math.cos(a), cy + 9.3 * math.sin(a),
                           2.3, fill=c["red"] if k % 2 else c["blue"])
            cv.ellipse(cx, cy, 5.8, fill=c["blue"])
            cv.ellipse(cx, cy, 3.6, fill=c["light"])
            cv.ellipse(cx, cy, 2.0, fill=c["red"])
            return
        for cx, cy, r, role in dot_layout(n):
            colour = self.role_colour(role)
            cv.ellipse(cx, cy, r, fill=colour)
            cv.ellipse(cx, cy, r * 0.72, fill=c["light"])
            cv.ellipse(cx, cy, r * 0.46, fill=colour)
            if r > 5:
                cv.ellipse(cx, cy, r * 0.16, fill=c["light"])

    def stick(self, cv, cx, top, bottom, colour, dark, width):
        h = width / 2
        cv.rect(cx - h * 0.8, top, cx + h * 0.8, bottom, fill=colour,
                radius=h * 0.8)
        mid = (top + bottom) / 2
        for y in (top + 0.9, mid, bottom - 0.9):
            cv.ellipse(cx, y, h, 0.9, fill=dark)
        light = self.colours["light"]
        cv.line([(cx, top + 2.2), (cx, mid - 1.3)], light, 0.5)
        cv.line([(cx, mid + 1.3), (cx, bottom - 2.2)], light, 0.5)

    def bamboo(self, cv, n):
        c = self.colours
        if n == 1:
            draw_bird(cv, c)
            return
        darks = {0: c["navy"], 1: c["darkgreen"], 2: c["darkred"]}
        width = 5.2 if n == 8 else 6.2
        for cx, top, bottom, role in bamboo_layout(n):
            self.stick(cv, cx, top, bottom, self.role_colour(role),
                       darks[role], width)

    # The Chinese characters, centred at x 20, one row per character or
    # kind of character: centre y, size, colour and weight (a stroke around
    # the ink, or at scale 1 "bold", the number of copies one pixel over).
    # A character's own row wins over its kind's.
    writing = {
        "numeral": (16.5, 16.5, "navy", {"stroke": 0.45}),
        TEN_THOUSAND: (34.5, 18.5, "red", {"stroke": 0.4}),
        "wind": (26.5, 27, "ink", {"stroke": 0.6}),
        "中": (26.5, 29, "red", {"stroke": 0.7}),
        "發": (26.5, 28, "green", {"stroke": 0.6}),
    }

    def write(self, cv, text, kind=None):
        """One character, drawn as the style's writing table says."""
        cy, size, colour, weight = self.writing.get(text) or self.writing[kind]
        cv.text(20, cy, text, CJK_FONT, size, self.colours[colour], **weight)

    def characters(self, cv, n):
        self.write(cv, CJK_NUMERALS[n - 1], "numeral")
        self.write(cv, TEN_THOUSAND)

    def wind(self, cv, n):
        self.write(cv, WIND_CHARS[n], "wind")

    def dragon(self, cv, n):
        if n < 2:
            self.write(cv, DRAGON_CHARS[n])
        else:
            self.white_dragon(cv, self.colours)

    def white_dragon(self, cv, c):
        cv.rect(6.5, 10.5, 33.5, 43.5, outline=c["blue"], width=2.2,
                radius=1.5)
        cv.rect(10, 14, 30, 40, outline=c["blue"], width=1.0)
        for x, y in ((6.5, 10.5), (33.5, 10.5), (6.5, 43.5), (33.5, 43.5)):
            cv.rect(x - 2.2, y - 2.2, x + 2.2, y + 2.2, fill=c["blue"])

    def joker(self, cv, n):
        c = self.colours
        for k in range(n):
            star(cv, 20, 26.5 + (k * 2 - (n - 1)) * 6.5, 6, 2.6, c["joker"])

    picture_box = (6, 10.5, 34, 36)

    def _panel(self, cv, panel, frame):
        cv.rect(3.5, 8.5, 36.5, 43.5, fill=panel, outline=frame, width=1.3,
                radius=3)

    def _pips(self, cv, n, colour):
        """n small diamonds along the bottom of the panel: the number."""
        for k in range(n):
            x = 20 + (k - (n - 1) / 2) * 5.5
            cv.polygon([(x, 37.3), (x + 2.2, 39.5), (x, 41.7),
                        (x - 2.2, 39.5)], colour)

    def _group(self, cv, n, pictures, panel, frame):
        self._panel(cv, panel, frame)
        pictures[n - 1](cv, self.colours, self.picture_box)
        self._pips(cv, n, frame)

    def flower(self, cv, n):
        c = self.colours
        self._group(cv, n, FLOWER_PICTURES, c["flowerpanel"], c["flowerframe"])

    def season(self, cv, n):
        c = self.colours
        self._group(cv, n, SEASON_PICTURES, c["seasonpanel"], c["seasonframe"])


class HighContrastStyle(Style):
    """White tiles, dark bold shapes; every family has its own shape."""

    colours = {
        "surface": (255, 255, 255), "highlight": (255, 255, 255),
        "bevel": (214, 214, 214), "ink": (0, 0, 0),
        "dots": (0, 40, 150), "bamboo": (0, 110, 40),
        "characters": (150, 0, 40), "red": (210, 0, 0),
        "green": (0, 135, 50), "flower": (165, 0, 125),
        "season": (0, 100, 140), "joker": (120, 120, 120),
        "white": (255, 255, 255),
    }
    label_colour = (0, 0, 0)

    def dots(self, cv, n):
        colour = self.colours["dots"]
        if n == 1:
            cv.ellipse(20, 26.5, 13.5, fill=colour)
            return
        for cx, cy, r, _ in dot_layout(n):
            cv.ellipse(cx, cy, r * (0.92 if n == 9 else 1.02), fill=colour)

    def bamboo(self, cv, n):
        colour = self.colours["bamboo"]
        if n == 1:
            cv.rect(16, 9, 24, 44, fill=colour)
            return
        width = 4.6 if n == 8 else 5.6
        for cx, top, bottom, _ in bamboo_layout(n):
            cv.rect(cx - width / 2, top, cx + width / 2, bottom, fill=colour)

    def characters(self, cv, n):
        colour = self.colours["characters"]
        cv.rect(5, 9, 35, 44, outline=colour, width=2.2, radius=5)
        cv.text(20, 26.5, str(n), LATIN_BOLD_FONT, 30, colour)

    def wind(self, cv, n):
        ink = self.colours["ink"]
        cv.text(20, 20, WIND_LETTERS[n], LATIN_BOLD_FONT, 24, ink)
        # the arrow points the way the wind's compass letter lies on a map
        direction = {0: 0, 1: 90, 2: 180, 3: -90}[n]
        if direction in (0, 180):
            arrow(cv, 20, 38.5, direction, 26, ink, shaft=3, head=8)
        else:
            arrow(cv, 20, 38.5, direction, 11, ink, shaft=3, head=8)

    def dragon(self, cv, n):
        c = self.colours
        cx, cy, r = 20, 26.5, 15.5
        diamond = [(cx, cy - r), (cx + r, cy), (cx, cy + r), (cx - r, cy)]
        inner = [(cx, cy - r + 4.5), (cx + r - 4.5, cy), (cx, cy + r - 4.5),
                 (cx - r + 4.5, cy)]
        if n == 0:
            cv.polygon(diamond, c["red"])
        elif n == 1:
            cv.polygon(diamond, c["green"])
            cv.polygon(inner, c["white"])
            for y in range(-9, 10, 4):
                half = r - 4.5 - abs(y)
                cv.rect(cx - half, cy + y - 1, cx + half, cy + y + 1,
                        fill=c["green"])
        else:
            cv.polygon(diamond, c["ink"])
            cv.polygon(inner, c["white"])

    def joker(self, cv, n):
        colour = self.colours["joker"]
        cv.text(20, 26.5, "?" * n, LATIN_BOLD_FONT, 22, colour)

    def _band(self, cv, top, colour, n):
        cv.rect(1, top, 39, top + 11, fill=colour)
        cv.text(33, top + 5.5, str(n), LATIN_BOLD_FONT, 11,
                self.colours["white"])

    def flower(self, cv, n):
        colour = self.colours["flower"]
        self._band(cv, 34, colour, n)
        white = self.colours["white"]
        cx, cy = 20, 20.5
        if n == 1:          # plum: five round petals
            for k in range(5):
                a = math.radians(-90 + 72 * k)
                cv.ellipse(cx + 6.5 * math.cos(a), cy + 6.5 * math.sin(a), 5.5,
                           fill=colour)
            cv.ellipse(cx, cy, 2.8, fill=white)
        elif n == 2:        # orchid: three long petals
            for angle in (-90, 30, 150):
                cv.petal(cx, cy + 1.5, 15, 7.5, angle, colour, offset=6.5)
            cv.ellipse(cx, cy + 1.5, 2, fill=white)
        elif n == 3:        # chrysanthemum: many thin petals
            for k in range(18):
                cv.petal(cx, cy, 10, 2.6, k * 20, colour, offset=6.5)
            cv.ellipse(cx, cy, 4, fill=colour)
        else:               # bamboo: a jointed stalk and three leaves
            for top, bottom in ((8.5, 16), (17, 24.5), (25.5, 33)):
                cv.rect(cx - 2.5, top, cx + 2.5, bottom, fill=colour)
            cv.petal(cx + 2, 12, 15, 5.5, -30, colour, offset=7)
            cv.petal(cx + 2, 21, 15, 5.5, 25, colour, offset=7)
            cv.petal(cx - 2, 17, 15, 5.5, 200, colour, offset=7)

    def season(self, cv, n):
        colour = self.colours["season"]
        white = self.colours["white"]
        self._band(cv, 1, colour, n)
        cx, cy = 20, 29
        if n == 1:          # spring: a sprout
            cv.rect(cx - 1.5, cy - 6, cx + 1.5, 44, fill=colour)
            cv.petal(cx, cy - 2, 14, 6.5, 200, colour, offset=6.5)
            cv.petal(cx, cy - 5, 14, 6.5, -20, colour, offset=6.5)
        elif n == 2:        # summer: the sun
            cv.ellipse(cx, cy, 7, fill=colour)
            for k in range(8):
                cv.petal(cx, cy, 5, 3, k * 45, colour, offset=11)
        elif n == 3:        # autumn: a falling leaf
            cv.petal(cx, cy, 26, 13, -45, colour)
            cv.line([(cx - 8, cy + 8), (cx + 8, cy - 8)], white, 1.3)
        else:               # winter: a snowflake
            for k in range(3):
                a = math.radians(90 + 60 * k)
                dx, dy = 13 * math.cos(a), 13 * math.sin(a)
                cv.line([(cx - dx, cy - dy), (cx + dx, cy + dy)], colour, 3)
            cv.ellipse(cx, cy, 4, fill=colour)

    def label(self, cell, face):
        if face_kind(face)[0] == "season":
            # white, inside the season's top band
            draw_tiny_text(cell, 3, 4, face_label(face), self.colours["white"])
        else:
            Style.label(self, cell, face)


RETRO_PALETTE = (
    (0, 0, 0),          # 0 black
    (30, 40, 120),      # 1 navy
    (20, 100, 50),      # 2 dark green
    (0, 140, 150),      # 3 teal
    (140, 20, 30),      # 4 dark red
    (125, 65, 175),     # 5 purple
    (135, 82, 40),      # 6 brown
    (196, 178, 140),    # 7 shade
    (246, 234, 200),    # 8 cream
    (45, 95, 215),      # 9 blue
    (45, 165, 75),      # 10 green
    (220, 40, 40),      # 11 red
    (235, 105, 165),    # 12 pink
    (245, 200, 40),     # 13 yellow
    (240, 125, 30),     # 14 orange
    (255, 255, 255),    # 15 white
)


class RetroStyle(ClassicStyle):
    """Sixteen flat colours, no blending, black outlines: an old-school
    look.  Pictures share their shapes with the classic set but are
    drawn at 1:1 in pure palette colours."""

    scale = 1
    _p = RETRO_PALETTE
    colours = {
        "surface": _p[8], "highlight": _p[15], "bevel": _p[7],
        "light": _p[15], "ink": _p[0], "navy": _p[1], "blue": _p[9],
        "green": _p[10], "darkgreen": _p[2], "red": _p[11],
        "darkred": _p[4], "orange": _p[14], "yellow": _p[13],
        "brown": _p[6], "pink": _p[12], "purple": _p[5], "label": _p[15],
        "flowerpanel": _p[15], "flowerframe": _p[12],
        "seasonpanel": _p[15], "seasonframe": _p[3], "joker": _p[7],
        "tab": _p[0],
    }
    del _p

    def label(self, cell, face):
        text = face_label(face)
        w, h = tiny_text_size(text)
        d = ImageDraw.Draw(cell)
        d.rectangle((1, 1, w + 3, h + 3), fill=self.colours["tab"])
        draw_tiny_text(cell, 2, 2, text, self.colours["label"])

    def dots(self, cv, n):
        c = self.colours
        if n == 1:
            cx, cy, r, _ = dot_layout(1)[0]
            cv.ellipse(cx, cy, r, fill=c["red"], outline=c["ink"])
            cv.ellipse(cx, cy, r - 3, fill=c["yellow"], outline=c["ink"])
            cv.ellipse(cx, cy, r - 7, fill=c["blue"], outline=c["ink"])
            cv.ellipse(cx, cy, 2, fill=c["light"])
            return
        for cx, cy, r, role in dot_layout(n):
            colour = self.role_colour(role)
            cv.ellipse(cx, cy, r, fill=colour, outline=c["ink"])
            if r >= 5:
                cv.ellipse(cx, cy, r * 0.45, fill=c["light"])
            cv.ellipse(cx - r * 0.35, cy - r * 0.35, 1, fill=c["light"])

    def stick(self, cv, cx, top, bottom, colour, dark, width):
        h = int(width / 2)
        x0, x1 = int(cx) - h, int(cx) + h
        top, bottom = int(top), int(bottom)
        mid = (top + bottom) // 2
        ink, light = self.colours["ink"], self.colours["light"]
        cv.rect(x0, top, x1, bottom, fill=colour, outline=ink)
        cv.rect(x0, mid, x1, mid + 1, fill=ink)
        cv.rect(x0 + 1, top + 1, x0 + 2, mid, fill=light)
        cv.rect(x0 + 1, mid + 1, x0 + 2, bottom - 1, fill=light)

    # Numerals are doubled both ways, except 四, whose box would fill in.
    writing = {
        "numeral": (17, 16, "navy", {"bold": 2}),
        "四": (17, 16, "navy", {"bold": 1}),
        TEN_THOUSAND: (35, 19, "red", {"bold": 1}),
        "wind": (27, 27, "ink", {"bold": 1}),
        "中": (27, 29, "red", {"bold": 1}),
        "發": (27, 28, "green", {"bold": 1}),
    }

    def white_dragon(self, cv, c):
        cv.rect(6, 10, 34, 44, outline=c["blue"], width=2)
        cv.rect(9, 13, 31, 41, outline=c["navy"], width=1)
        cv.rect(12, 16, 28, 38, outline=c["blue"], width=1)

    picture_box = (6, 11, 34, 36)

    def _panel(self, cv, panel, frame):
        cv.rect(3, 9, 37, 44, fill=panel, outline=frame, width=2)

    def _pips(self, cv, n, colour):
        for k in range(n):
            x = 20 + int((k - (n - 1) / 2) * 6)
            cv.rect(x - 2, 37, x + 2, 41, fill=colour)


# ---------------------------------------------------------------------------
# Palettes


def style_palette(colours):
    """Every named colour of a style, once, in a fixed order."""
    palette = []
    for rgb in colours.values():
        if rgb not in palette:
            palette.append(rgb)
    return palette


def colour_distance(a, b):
    """Squared distance weighted roughly by how the eye sees the channels."""
    dr, dg, db = a[0] - b[0], a[1] - b[1], a[2] - b[2]
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db


def nearest_index(colour, palette):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = colour_distance(colour, p)
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best, best_d


def complete_palette(palette, img, size=256):
    """Fill the free palette entries with the colours of img that the
    palette matches worst, weighted by how many pixels have them."""
    palette = list(palette)
    counts = sorted(((rgb, n) for n, rgb in img.getcolors(1 << 24)))
    worst = [nearest_index(rgb, palette)[1] for rgb, _ in counts]
    while len(palette) < size:
        k = max(range(len(counts)), key=lambda i: (worst[i] * counts[i][1], i))
        if worst[k] == 0:
            break
        new = counts[k][0]
        palette.append(new)
        worst = [min(w, colour_distance(rgb, new))
                 for w, (rgb, _) in zip(worst, counts)]
    return palette


def to_palette(img, palette):
    """Map an RGB image onto a palette: nearest colour, no dithering."""
    lookup = {rgb: nearest_index(rgb, palette)[0]
              for _, rgb in img.getcolors(1 << 24)}
    return bytes(lookup[rgb] for rgb in img.getdata())


def exact_indices(img, palette):
    """Indices for an image that uses palette colours only."""
    lookup = {rgb: i for i, rgb in enumerate(palette)}
    try:
        return bytes(lookup[rgb] for rgb in img.getdata())
    except KeyError as err:
        raise ValueError("colour %r is not in the palette" % (err.args[0],))


# ---------------------------------------------------------------------------
# Tile sheets


def face_cell(style, face):
    """One 42 x 48 cell: the drawing (reduced if drawn large), then the
    bevel and the index mark drawn pixel-exact on top."""
    cv = Canvas(style.scale, style.colours["surface"])
    style.draw(cv, face)
    art = cv.finish()
    cell = Image.new("RGB", (CELL_W, CELL_H))
    style.surface(cell)
    # keep the drawing inside the face's 1-pixel bevel ring
    cell.paste(art.crop((1, 1, FACE_W - 1, FACE_H - 1)), (1, 1))
    style.label(cell, face)
    return cell


def tile_sheet(style):
    """The 44 faces of a style as one RGB picture, 9 cells a row."""
    sheet = Image.new("RGB", (SHEET_W, SHEET_H), style.colours["surface"])
    for face in range(FACE_COUNT):
        sheet.paste(face_cell(style, face),
                    ((face % COLUMNS) * CELL_W, (face // COLUMNS) * CELL_H))
    return sheet


def build_blended_set(style):
    """An 8-bit tile set: drawn large and reduced, which blends the edges.
    The palette holds the style's colours exactly; its free entries go to
    the blends the drawing uses most."""
    sheet = tile_sheet(style)
    palette = complete_palette(style_palette(style.colours), sheet)
    pic = Picture(SHEET_W, SHEET_H, to_palette(sheet, palette), palette)
    return pic, sheet


def build_tiles0():
    return build_blended_set(ClassicStyle())


def build_tiles1():
    return build_blended_set(HighContrastStyle())


def build_tiles2():
    style = RetroStyle()
    sheet = tile_sheet(style)
    pixels = exact_indices(sheet, RETRO_PALETTE)
    return Picture(SHEET_W, SHEET_H, pixels, RETRO_PALETTE, bits=1,
                   planes=4), sheet


# ---------------------------------------------------------------------------
# Backgrounds

BAYER4 = ((0, 8, 2, 10), (12, 4, 14, 6), (3, 11, 1, 9), (15, 7, 13, 5))


def dither_level(t, steps, x, y):
    """Ordered-dither t in [0, 1] to an integer 0..steps-1."""
    v = t * (steps - 1) + (BAYER4[y & 3][x & 3] + 0.5) / 16.0 - 0.5
    return min(steps - 1, max(0, int(math.floor(v + 0.5))))


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


class RampPalette:
    """A palette made of named ramps, each `steps` colours from one colour
    to another."""

    def __init__(self):
        self.colours = []
        self.ramps = {}

    def add(self, name, c0, c1, steps):
        self.ramps[name] = (len(self.colours), steps)
        for k in range(steps):
            t = k / (steps - 1)
            self.colours.append(tuple(int(round(v)) for v in mix(c0, c1, t)))
        assert len(self.colours) <= 256

    def index(self, name, t, x, y):
        base, steps = self.ramps[name]
        return base + dither_level(min(1.0, max(0.0, t)), steps, x, y)


def ridge(x, base, waves):
    return base + sum(a * math.sin(2 * math.pi * f * x / SCREEN_W + p)
                      for a, f, p in waves)


def build_bg0():
    """Dusk over misty mountains: a calm, dark blue-green picture."""
    pal = RampPalette()
    pal.add("sky", (16, 26, 50), (62, 92, 110), 72)
    pal.add("moon", (62, 92, 110), (232, 228, 204), 16)
    layers = (
        # name, top colour, mist colour, ridge base, waves, mist depth
        ("far", (52, 78, 100), (74, 104, 118), 200,
         ((22, 1.3, 0.4), (11, 3.1, 1.7), (5, 7.2, 2.9)), 110),
        ("mid", (36, 60, 78), (60, 88, 100), 250,
         ((18, 1.8, 2.2), (9, 4.3, 0.3), (4, 9.7, 1.1)), 110),
        ("near", (28, 48, 60), (46, 72, 82), 305,
         ((15, 1.1, 4.0), (8, 3.7, 2.5), (3, 11.3, 0.8)), 95),
    )
    for name, top, mist, _, _, _ in layers:
        pal.add(name, top, mist, 48)
    pal.add("stars", (44, 66, 90), (190, 196, 206), 8)

    moon_x, moon_y, moon_r = 520.0, 78.0, 24.0
    star_points = set()
    seed = 20261206
    for _ in range(60):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        sx = seed % SCREEN_W
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        sy = seed % 150
        star_points.add((sx, sy))

    ridges = [[ridge(x + 0.5, base, waves) for x in range(SCREEN_W)]
              for _, _, _, base, waves, _ in layers]
    pixels = bytearray(SCREEN_W * SCREEN_H)
    for y in range(SCREEN_H):
        for x in range(SCREEN_W):
            index = None
            for (name, _, _, _, _, depth), heights in zip(
                    reversed(layers), reversed(ridges)):
                top = heights[x]
                if y + 0.5 >= top:
                    index = pal.index(name, (y + 0.5 - top) / depth, x, y)
                    break
            if index is None:
                d = math.hypot(x + 0.5 - moon_x, y + 0.5 - moon_y)
                if d < moon_r + 0.5:
                    edge = min(1.0, moon_r + 0.5 - d)
                    index = pal.index("moon", edge, x, y)
                elif (x, y) in star_points:
                    shine = 0.5 + 0.25 * ((x * 7 + y) % 3)
                    index = pal.index("stars", shine, x, y)
                else:
                    glow = max(0.0, 1.0 - d / 220.0) ** 2 * 0.18
                    index = pal.index("sky", y / 240.0 + glow, x, y)
            pixels[y * SCREEN_W + x] = index
    return Picture(SCREEN_W, SCREEN_H, pixels, pal.colours)


def periodic_noise(size, cells, seed):
    """Smooth value noise on a size x size square that wraps at its edges."""
    values = []
    state = seed
    for _ in range(cells * cells):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        values.append((state >> 8) % 1000 / 999.0)

    def at(i, j):
        return values[(j % cells) * cells + (i % cells)]

    def smooth(t):
        return t * t * (3 - 2 * t)

    out = []
    step = size / cells
    for y in range(size):
        fy, j = math.modf(y / step)
        j = int(j)
        sy = smooth(fy)
        for x in range(size):
            fx, i = math.modf(x / step)
            i = int(i)
            sx = smooth(fx)
            a = at(i, j) + (at(i + 1, j) - at(i, j)) * sx
            b = at(i, j + 1) + (at(i + 1, j + 1) - at(i, j + 1)) * sx
            out.append(a + (b - a) * sy)
    return out


BG1_SIZE = 80


def build_bg1():
    """A green baize texture with a faint woven diamond lattice; 80 x 80,
    repeats without seams (every term is periodic in 80 pixels)."""
    size = BG1_SIZE
    pal = RampPalette()
    pal.add("felt", (18, 50, 44), (50, 96, 84), 64)
    coarse = periodic_noise(size, 5, 7)
    fine = periodic_noise(size, 20, 11)
    pixels = bytearray(size * size)
    for y in range(size):
        for x in range(size):
            k = y * size + x
            v = 0.42 + 0.22 * (coarse[k] - 0.5) + 0.16 * (fine[k] - 0.5)
            # woven threads: a gentle ripple along both diagonals
            v += 0.035 * math.sin(2 * math.pi * (x + y) / 4.0)
            v += 0.035 * math.sin(2 * math.pi * (x - y) / 4.0)
            # diamond lattice, period 40
            dx = abs((x % 40) - 20 + 0.5)
            dy = abs((y % 40) - 20 + 0.5)
            dist = abs(dx + dy - 20)
            if dist < 1.5:
                v += 0.14 * (1.5 - dist) / 1.5
            pixels[k] = pal.index("felt", v, x, y)
    return Picture(size, size, pixels, pal.colours)


BG2_PALETTE = ((36, 54, 86), (52, 76, 116))
BG2_SIZE = 16


def build_bg2():
    """A two-colour 16 x 16 pattern: small interlocking diamonds."""
    size = BG2_SIZE
    pixels = bytearray(size * size)
    for y in range(size):
        for x in range(size):
            cx, cy = x - 7.5, y - 7.5
            d = abs(cx) + abs(cy)
            corner = abs(abs(cx) - 8) + abs(abs(cy) - 8)
            on = abs(d - 5) < 1 or corner < 2 or (abs(cx) < 1 and abs(cy) < 1)
            pixels[y * size + x] = 1 if on else 0
    return Picture(size, size, pixels, BG2_PALETTE, bits=1, planes=1)


# ---------------------------------------------------------------------------
# The application icon: three classic tiles drawn as raised blocks, two side
# by side and one on top of them throwing its shadow, as in the game.

ICON_SIZES = (32, 48, 64, 128, 256)
ICON_SUPERSAMPLE = 4
ICON_PICTURE_BOX = (2, 7, 38, 45)   # a face's drawing without its index mark
ICON_JADE = (30, 122, 84)           # the back of a tile
ICON_OUTLINE = (48, 40, 32)
# Each tile's face: left, top (fractions of the icon's size) and face number;
# the last one lies on top of the others.
ICON_TILES = ((0.10, 0.415, 0), (0.52, 0.415, 9), (0.33, 0.04, 31))
ICON_TILE_W = 0.42                  # face width, fraction of the icon's size
ICON_DEPTH = 0.065                  # the block's depth, fraction of the size
ICON_SHADOW = (0.05, -0.05)         # where the top tile's shadow falls


class IconStyle(ClassicStyle):
    """The classic pictures, with the red dragon's strokes thickened the
    smaller the icon is, so that the character still reads at 32 pixels."""

    def __init__(self, size):
        self.writing = dict(ClassicStyle.writing)
        self.writing["中"] = (26.5, 29, "red", {"stroke": 0.7 + 64.0 / size})


def icon_face_picture(style, face, w, h):
    """The style's drawing of a face without its index mark, w x h."""
    box_h = ICON_PICTURE_BOX[3] - ICON_PICTURE_BOX[1]
    scale = max(2, -(-2 * h // box_h))
    cv = Canvas(scale, style.colours["surface"])
    style.draw(cv, face)
    art = cv.img.crop(tuple(v * scale for v in ICON_PICTURE_BOX))
    return art.resize((w, h), Image.BOX)


class IconTile:
    """One tile of the icon in supersampled pixels: its face at (x, y),
    w x h, and its body reaching `depth` down and to the left."""

    def __init__(self, x, y, w, depth):
        self.x, self.y, self.w, self.h = x, y, w, w * FACE_H / FACE_W
        self.depth = depth
        self.radius = w * 0.12
        self.outline = max(ICON_SUPERSAMPLE, w * 0.035)

    def sweep(self, draw, d0, d1, grow, fill):
        """The face's rounded rectangle, grown by `grow`, swept from d0 to
        d1 down and to the left: a slice of the block."""
        steps = int(self.depth) + 1
        for k in range(steps + 1):
            off = d0 + (d1 - d0) * k / steps
            fill_rounded_rect(
                draw, (self.x - off - grow, self.y + off - grow,
                       self.x - off + self.w + grow, self.y + off + self.h + grow),
                self.radius + grow, fill)

    def silhouette(self, size, dx=0.0, dy=0.0):
        """A mask of the whole block moved by (dx, dy)."""
        mask = Image.new("L", (size, size), 0)
        moved = IconTile(self.x + dx, self.y + dy, self.w, self.depth)
        moved.sweep(ImageDraw.Draw(mask), 0, self.depth, self.outline, 255)
        return mask

    def paint(self, img, style, face):
        draw = ImageDraw.Draw(img)
        c = style.colours
        self.sweep(draw, 0, self.depth, self.outline, ICON_OUTLINE)
        self.sweep(draw, self.depth * 0.45, self.depth, 0, ICON_JADE)
        self.sweep(draw, 0, self.depth * 0.45, 0, c["bevel"])
        fill_rounded_rect(draw, (self.x, self.y, self.x + self.w,
                                 self.y + self.h), self.radius, c["surface"])
        box_w = ICON_PICTURE_BOX[2] - ICON_PICTURE_BOX[0]
        box_h = ICON_PICTURE_BOX[3] - ICON_PICTURE_BOX[1]
        w = int(self.w * 0.84)
        h = int(w * box_h / box_w)
        img.paste(icon_face_picture(style, face, w, h),
                  (int(self.x + (self.w - w) / 2),
                   int(self.y + (self.h - h) / 2)))


def cast_shadow(img, tile):
    """Darken what lies under the tile's shadow to three quarters, as the
    game shades a shadow."""
    size = img.size[0]
    shadow = tile.silhouette(size, ICON_SHADOW[0] * size,
                             ICON_SHADOW[1] * size)
    shadow = ImageChops.multiply(shadow, img.getchannel("A"))
    dim = img.point(lambda v: v * 3 // 4)
    dim.putalpha(img.getchannel("A"))
    return Image.composite(dim, img, shadow)


def build_icon(size):
    """The icon, size x size, RGBA with a transparent ground."""
    big = size * ICON_SUPERSAMPLE
    style = IconStyle(size)
    # transparent pixels carry the outline's colour, so reducing does not
    # darken the edges with a colour that is not there
    img = Image.new("RGBA", (big, big), ICON_OUTLINE + (0,))
    tiles = [(IconTile(x * big, y * big, ICON_TILE_W * big,
                       ICON_DEPTH * big), face)
             for x, y, face in ICON_TILES]
    for tile, face in tiles[:-1]:
        tile.paint(img, style, face)
    top, face = tiles[-1]
    img = cast_shadow(img, top)
    top.paint(img, style, face)
    return img.reduce(ICON_SUPERSAMPLE)


def encode_png(img):
    """The image as PNG bytes: only the image itself, no text, time or
    resolution chunks, so the file depends on nothing but the pixels."""
    bare = Image.frombytes(img.mode, img.size, img.tobytes())
    out = io.BytesIO()
    bare.save(out, "PNG", compress_level=9)
    return out.getvalue()


def build_icons():
    """The icon in every size, by file name (below the icons directory)."""
    return {"mahjong-%d.png" % size: build_icon(size) for size in ICON_SIZES}


# ---------------------------------------------------------------------------

def build_pictures():
    """All pictures the game reads, by file name.

    Tile sets are returned with the RGB drawing they were made from, as
    (Picture, RGB image); backgrounds as (Picture, None).
    """
    return {
        "tiles0.pcx": build_tiles0(),
        "tiles1.pcx": build_tiles1(),
        "tiles2.pcx": build_tiles2(),
        "bg0.pcx": (build_bg0(), None),
        "bg1.pcx": (build_bg1(), None),
        "bg2.pcx": (build_bg2(), None),
    }


def default_out_dir():
    return os.path.join(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))), "data")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", default=default_out_dir(),
                        help="directory to write the pictures to "
                             "(default: the repository's data/)")
    parser.add_argument("--glyphs", action="store_true",
                        help="first render the text from the fonts into "
                             "tools/glyphs/")
    args = parser.parse_args(argv)
    try:
        if args.glyphs:
            for name in FONT_PACKAGES:
                font_file(name)
            GLYPHS.render = True
        pictures, icons = build_pictures(), build_icons()
        if args.glyphs:
            GLYPHS.write()
    except (MissingFont, MissingGlyph, OSError) as err:
        sys.exit("make_art: %s" % err)
    os.makedirs(args.out, exist_ok=True)
    for name, (pic, _) in sorted(pictures.items()):
        path = os.path.join(args.out, name)
        with open(path, "wb") as f:
            f.write(encode_pcx(pic))
        print("wrote %s (%d x %d, %s)" % (
            path, pic.width, pic.height,
            "8-bit" if pic.bits == 8 else "%d plane(s)" % pic.planes))
    icon_dir = os.path.join(args.out, "icons")
    os.makedirs(icon_dir, exist_ok=True)
    for name, img in sorted(icons.items()):
        path = os.path.join(icon_dir, name)
        with open(path, "wb") as f:
            f.write(encode_png(img))
        print("wrote %s (%d x %d, RGBA)" % (path, img.width, img.height))
    return 0


if __name__ == "__main__":
    sys.exit(main())
