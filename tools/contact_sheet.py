#!/usr/bin/python3
"""Make docs/contact-sheet.png from the PCX files in data/.

The sheet shows every face of the three tile sets enlarged with its number
and name, and each background at 1:1 as the game's 640 x 400 screen with a
few raised tiles and the status line on it.  The PCX files are read with
PIL's own PCX reader, so the sheet also shows that an outside decoder
reads them the same way.

    tools/contact_sheet.py [--data DIR] [--out FILE] [--scale N]
"""

import argparse
import os
import sys

from PIL import Image, ImageDraw, ImageFont

from make_art import MissingFont, font_file

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CELL_W, CELL_H, FACE_W, FACE_H = 42, 48, 40, 46
SCREEN_W, SCREEN_H = 640, 400

FACE_NAMES = (
    ["%d dots" % n for n in range(1, 10)]
    + ["%d bamboo" % n for n in range(1, 10)]
    + ["%d char." % n for n in range(1, 10)]
    + ["East", "South", "West", "North", "Red", "Green", "White",
       "joker 1", "joker 2", "plum", "orchid", "chrys.", "bamboo",
       "spring", "summer", "autumn", "winter"])

SETS = (("tiles0.pcx", "classic, 8-bit"),
        ("tiles1.pcx", "high contrast, 8-bit"),
        ("tiles2.pcx", "retro, 16 colours in 4 planes"))
BACKGROUNDS = (("bg0.pcx", "picture"), ("bg1.pcx", "texture, repeated"),
               ("bg2.pcx", "two-colour pattern, repeated"))

SHEET_BG = (58, 58, 62)
TEXT = (236, 236, 236)


def font(size, bold=False):
    try:
        path, index = font_file("DejaVu Sans:bold" if bold else "DejaVu Sans")
    except MissingFont:
        return ImageFont.load_default()
    return ImageFont.truetype(path, size, index=index)


def read_pcx(path):
    """Read a PCX file as RGB with PIL.  PIL reads a one-plane, one-bit
    file as black and white; the game colours it with the first two
    entries of the header palette, so that is done here too."""
    img = Image.open(path)
    if img.mode == "1":
        with open(path, "rb") as f:
            header = f.read(128)
        pal = list(header[16:22]) + [0] * (768 - 6)
        mono = img.convert("L").point(lambda v: 1 if v else 0)
        mono = mono.convert("P")
        mono.putpalette(pal)
        return mono.convert("RGB")
    return img.convert("RGB")


def face(tiles, index):
    x, y = (index % 9) * CELL_W, (index // 9) * CELL_H
    return tiles.crop((x, y, x + FACE_W, y + FACE_H))


def screen_background(bg):
    """The background as the game lays it: repeated from the top-left."""
    screen = Image.new("RGB", (SCREEN_W, SCREEN_H))
    for y in range(0, SCREEN_H, bg.height):
        for x in range(0, SCREEN_W, bg.width):
            screen.paste(bg, (x, y))
    return screen


def darken(img, box):
    region = img.crop(box).point(lambda v: v * 3 // 4)
    img.paste(region, box[:2])


def raised_tile(screen, tiles, index, x, y, depth=4):
    """A tile roughly as the game draws it: face at (x, y), its sides below
    and to the left, a dark outline on top and right, a shadow."""
    darken(screen, (x + FACE_W, y + 4, x + FACE_W + 4, y + FACE_H + depth))
    darken(screen, (x - depth + 4, y + FACE_H + depth,
                    x + FACE_W + 4, y + FACE_H + depth + 4))
    d = ImageDraw.Draw(screen)
    side, edge = (226, 214, 186), (196, 182, 150)
    for k in range(depth):
        d.line((x - k - 1, y + k + 1, x - k - 1, y + FACE_H + k), fill=side)
        d.line((x - k - 1, y + FACE_H + k, x + FACE_W - k - 2,
                y + FACE_H + k), fill=edge)
    d.line((x - 2, y - 2, x + FACE_W + 1, y - 2), fill=(40, 36, 30), width=2)
    d.line((x + FACE_W, y - 2, x + FACE_W, y + FACE_H - 1),
           fill=(40, 36, 30), width=2)
    screen.paste(face(tiles, index), (x, y))


def mock_screen(bg, tiles, faces):
    screen = screen_background(bg)
    positions = []
    for row in range(3):
        for col in range(8):
            positions.append((60 + col * 44 + row * 22, 60 + row * 54))
    for k, (x, y) in enumerate(positions):
        raised_tile(screen, tiles, faces[k % len(faces)], x, y)
    for k in range(6):
        raised_tile(screen, tiles, faces[(k * 5 + 3) % len(faces)],
                    120 + k * 44, 250)
    d = ImageDraw.Draw(screen)
    d.text((500, 320), "Click on a tile", fill=(255, 255, 255),
           font=font(11))
    return screen


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--data", default=os.path.join(ROOT, "data"))
    parser.add_argument("--out", default=os.path.join(ROOT, "docs",
                                                      "contact-sheet.png"))
    parser.add_argument("--scale", type=int, default=2)
    args = parser.parse_args(argv)
    s = args.scale

    sets = [(name, what, read_pcx(os.path.join(args.data, name)))
            for name, what in SETS]
    bgs = [(name, what, read_pcx(os.path.join(args.data, name)))
           for name, what in BACKGROUNDS]

    pitch_x, pitch_y = FACE_W * s + 8, FACE_H * s + 18
    width = max(9 * pitch_x + 16, SCREEN_W + 32)
    head = 30
    set_h = head + 5 * pitch_y + 10
    bg_h = head + SCREEN_H + 16
    sheet = Image.new("RGB", (width, 3 * set_h + 3 * bg_h + 10), SHEET_BG)
    d = ImageDraw.Draw(sheet)
    small, big = font(10), font(15, bold=True)

    y = 10
    for name, what, tiles in sets:
        d.text((12, y + 6), "%s - %s" % (name, what), fill=TEXT, font=big)
        for i in range(44):
            fx = 12 + (i % 9) * pitch_x
            fy = y + head + (i // 9) * pitch_y
            sheet.paste(face(tiles, i).resize((FACE_W * s, FACE_H * s),
                                              Image.NEAREST), (fx, fy))
            d.text((fx, fy + FACE_H * s + 2), "%d %s" % (i, FACE_NAMES[i]),
                   fill=TEXT, font=small)
        y += set_h

    demo_faces = [0, 13, 22, 27, 31, 33, 36, 41, 4, 17, 24, 29, 32, 38, 40,
                  8, 9, 18, 30, 39, 43, 2, 11, 20]
    for (name, what, bg), (_, _, tiles) in zip(bgs, sets):
        d.text((12, y + 6), "%s - %s, %d x %d (shown with %s)"
               % (name, what, bg.width, bg.height, _name_of(tiles, sets)),
               fill=TEXT, font=big)
        sheet.paste(mock_screen(bg, tiles, demo_faces), (12, y + head))
        y += bg_h

    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    sheet.save(args.out, optimize=True)
    print("wrote", args.out)
    return 0


def _name_of(tiles, sets):
    for name, _, img in sets:
        if img is tiles:
            return name
    return "?"


if __name__ == "__main__":
    sys.exit(main())
