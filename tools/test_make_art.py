#!/usr/bin/python3
"""Checks for tools/make_art.py and the pictures in data/.

Run with /usr/bin/python3 (PIL is needed by the generator).  Exits with a
non-zero status when a check fails; the last line reads
"N passed, N failed".

The PCX decoder here is written separately from the generator's encoder
and follows the rules of the game's own loader strictly.
"""

import os
import random
import subprocess
import sys
import tempfile
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DATA = os.path.join(ROOT, "data")
GENERATOR = os.path.join(HERE, "make_art.py")

NEEDS = "needs /usr/bin/python3 with python3-pil, fonts-noto-core and " \
    "fonts-wqy-microhei (apt-get install python3-pil fonts-noto-core " \
    "fonts-wqy-microhei)"

sys.dont_write_bytecode = True   # leave the source tree as it is
sys.path.insert(0, HERE)
try:
    import make_art  # noqa: E402
except ImportError as err:
    print("test_make_art: %s; %s" % (err, NEEDS))
    print("0 passed, 1 failed")
    sys.exit(1)
for _font in make_art.FONT_PACKAGES:
    make_art.font_file(_font)

FILES = ("tiles0.pcx", "tiles1.pcx", "tiles2.pcx",
         "bg0.pcx", "bg1.pcx", "bg2.pcx")
ICON_SIZES = (32, 48, 64, 128, 256)
ICONS = tuple("mahjong-%d.png" % size for size in ICON_SIZES)
CELL_W, CELL_H, FACE_W, FACE_H = 42, 48, 40, 46


# ---------------------------------------------------------------------------
# An independent PCX decoder


class PcxError(Exception):
    pass


def u16(data, offset):
    return data[offset] | (data[offset + 1] << 8)


def decode_pcx(data):
    """Decode a PCX file the way the game does.

    Returns a dict with width, height, bits, planes, bytes_per_line,
    palette (list of RGB tuples) and pixels (list of palette indices,
    row by row).  Raises PcxError for anything the game would refuse or
    that a careful encoder should not write.
    """
    if len(data) < 128:
        raise PcxError("shorter than a header")
    if data[0] != 10 or data[1] != 5 or data[2] != 1:
        raise PcxError("manufacturer/version/encoding %d/%d/%d"
                       % (data[0], data[1], data[2]))
    bits, planes = data[3], data[65]
    xmin, ymin, xmax, ymax = (u16(data, o) for o in (4, 6, 8, 10))
    width, height = xmax - xmin + 1, ymax - ymin + 1
    bpl = u16(data, 66)
    if width <= 0 or height <= 0:
        raise PcxError("empty picture")
    if data[64] != 0:
        raise PcxError("reserved byte 64 is %d" % data[64])
    if u16(data, 68) != 1:
        raise PcxError("palette type %d" % u16(data, 68))
    if any(data[70:128]):
        raise PcxError("header bytes 70..127 are not zero")
    if bits == 8:
        if planes != 1:
            raise PcxError("8 bits with %d planes" % planes)
    elif bits == 1:
        if not 1 <= planes <= 4:
            raise PcxError("1 bit with %d planes" % planes)
    else:
        raise PcxError("%d bits per pixel" % bits)
    if bpl % 2 or bpl * 8 < width * bits:
        raise PcxError("bytes per line %d for width %d" % (bpl, width))

    end = len(data)
    if bits == 8:
        if len(data) < 128 + 769 or data[-769] != 0x0C:
            raise PcxError("no 256-colour palette at the end")
        end = len(data) - 769
        raw = data[-768:]
        palette = [tuple(raw[3 * i:3 * i + 3]) for i in range(256)]
    else:
        palette = [tuple(data[16 + 3 * i:19 + 3 * i]) for i in range(16)]

    line_len = bpl * planes
    pos = 128
    pixels = []
    for y in range(height):
        line = bytearray()
        while len(line) < line_len:
            if pos >= end:
                raise PcxError("image data ends in line %d" % y)
            b = data[pos]
            pos += 1
            if b >= 0xC0:
                count = b & 0x3F
                if count == 0:
                    raise PcxError("run of length 0 in line %d" % y)
                if pos >= end:
                    raise PcxError("run without a value in line %d" % y)
                line += bytes((data[pos],)) * count
                pos += 1
            else:
                line.append(b)
        if len(line) != line_len:
            raise PcxError("a run crosses the end of line %d" % y)
        if bits == 8:
            pixels.extend(line[:width])
        else:
            for x in range(width):
                index = 0
                for p in range(planes):
                    byte = line[p * bpl + x // 8]
                    if byte & (0x80 >> (x % 8)):
                        index |= 1 << p
                pixels.append(index)
    if pos != end:
        raise PcxError("%d bytes left after the image data" % (end - pos))
    return {"width": width, "height": height, "bits": bits, "planes": planes,
            "bytes_per_line": bpl, "palette": palette, "pixels": pixels}


def rgb_pixels(pic):
    pal = pic["palette"]
    return [pal[i] for i in pic["pixels"]]


def to565(rgb):
    r, g, b = rgb
    return (r >> 3, g >> 2, b >> 3)


def luminance(rgb):
    """Relative luminance as in WCAG, 0..1."""
    def lin(v):
        v /= 255.0
        return v / 12.92 if v <= 0.03928 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = rgb
    return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b)


def face_area(pic, face, colours=None):
    """The 40 x 46 shown part of a face, as a tuple of RGB values."""
    colours = colours or rgb_pixels(pic)
    x0, y0 = (face % 9) * CELL_W, (face // 9) * CELL_H
    w = pic["width"]
    return tuple(colours[(y0 + y) * w + x0 + x]
                 for y in range(FACE_H) for x in range(FACE_W))


def read(name, directory=DATA):
    with open(os.path.join(directory, name), "rb") as f:
        return f.read()


_decoded = {}


def decoded(name):
    if name not in _decoded:
        _decoded[name] = decode_pcx(read(name))
    return _decoded[name]


_built = {}


def built():
    if not _built:
        _built.update(make_art.build_pictures())
    return _built


# ---------------------------------------------------------------------------
# The decoder itself must refuse what the game refuses


def test_decoder_refuses_bad_files():
    good = make_art.encode_pcx(make_art.Picture(3, 2, [1, 2, 3, 4, 5, 6],
                                                [(9, 9, 9)] * 7))
    decode_pcx(good)

    def broken(offset, value):
        data = bytearray(good)
        data[offset] = value
        return bytes(data)

    for bad in (broken(0, 11), broken(1, 3), broken(2, 0), broken(3, 4),
                broken(65, 2), broken(66, 3),
                good[:-769] + b"\x00" + good[-768:],
                good[:130], good[:-769] + b"\x41" + good[-769:]):
        try:
            decode_pcx(bad)
        except PcxError:
            continue
        raise AssertionError("a broken file was accepted")
    # a run that carries on into the next line
    pic = make_art.Picture(4, 2, [7] * 8, [(0, 0, 0)] * 8)
    data = bytearray(make_art.encode_pcx(pic))
    crossing = data[:128] + bytes((0xC8, 7)) + data[-769:]
    try:
        decode_pcx(bytes(crossing))
    except PcxError:
        pass
    else:
        raise AssertionError("a run across two lines was accepted")


# ---------------------------------------------------------------------------
# The encoder on made-up pictures


def test_encoder_round_trip_8bit():
    rng = random.Random(5)
    for width, height in ((1, 1), (7, 3), (64, 5), (130, 4)):
        pixels = []
        for _ in range(height):
            row = []
            while len(row) < width:
                value = rng.choice((0, 0xC0, 0xC1, 0xFF, 0x3F,
                                    rng.randrange(256)))
                row.extend([value] * rng.choice((1, 1, 2, 5, 63, 64, 100)))
            pixels.extend(row[:width])
        palette = [(i, 255 - i, (i * 7) & 255) for i in range(256)]
        pic = make_art.Picture(width, height, pixels, palette)
        data = make_art.encode_pcx(pic)
        out = decode_pcx(data)
        assert (out["width"], out["height"]) == (width, height)
        assert out["pixels"] == pixels, (width, height)
        assert out["palette"] == palette
        assert out["bytes_per_line"] == width + (width & 1)


def test_encoder_round_trip_planar():
    rng = random.Random(9)
    for planes in (1, 2, 3, 4):
        for width, height in ((1, 1), (13, 4), (16, 3), (75, 2)):
            pixels = [rng.randrange(1 << planes) if rng.random() < 0.5 else 0
                      for _ in range(width * height)]
            palette = [(i * 16, 200 - i * 8, i) for i in range(1 << planes)]
            pic = make_art.Picture(width, height, pixels, palette, bits=1,
                                   planes=planes)
            out = decode_pcx(make_art.encode_pcx(pic))
            assert out["planes"] == planes and out["bits"] == 1
            assert out["pixels"] == pixels, (planes, width, height)
            assert out["palette"][:len(palette)] == palette
            need = (width + 7) // 8
            assert out["bytes_per_line"] == need + (need & 1)


def test_rle_literals_and_runs():
    enc = make_art.pcx.encode_line
    assert enc(bytes((0x41,))) == bytes((0x41,))
    assert enc(bytes((0xC5,))) == bytes((0xC1, 0xC5))
    assert enc(bytes((3,)) * 63) == bytes((0xFF, 3))
    assert enc(bytes((3,)) * 64) == bytes((0xFF, 3, 3))
    assert enc(bytes((0xD0,)) * 70) == bytes((0xFF, 0xD0, 0xC7, 0xD0))


# ---------------------------------------------------------------------------
# The generator's output


def test_generator_is_reproducible_and_committed():
    with tempfile.TemporaryDirectory() as tmp:
        outs = [os.path.join(tmp, "a"), os.path.join(tmp, "b")]
        procs = [subprocess.Popen([sys.executable, GENERATOR, "--out", out],
                                  stdout=subprocess.DEVNULL)
                 for out in outs]
        for proc in procs:
            assert proc.wait() == 0, "the generator failed"
        names = FILES + tuple(os.path.join("icons", n) for n in ICONS)
        for name in names:
            first, second = read(name, outs[0]), read(name, outs[1])
            assert first == second, "%s differs between two runs" % name
            assert first == read(name), \
                "data/%s is not what tools/make_art.py makes now" % name
        assert sorted(os.listdir(outs[0])) == sorted(FILES + ("icons",))
        assert sorted(os.listdir(os.path.join(outs[0], "icons"))) == \
            sorted(ICONS)


def test_kinds_and_sizes():
    for name in ("tiles0.pcx", "tiles1.pcx"):
        pic = decoded(name)
        assert (pic["bits"], pic["planes"]) == (8, 1), name
        assert pic["width"] >= 376 and pic["height"] >= 238, name
    pic = decoded("tiles2.pcx")
    assert (pic["bits"], pic["planes"]) == (1, 4)
    assert pic["width"] >= 376 and pic["height"] >= 238
    pic = decoded("bg0.pcx")
    assert (pic["bits"], pic["planes"]) == (8, 1)
    assert (pic["width"], pic["height"]) == (640, 400)
    pic = decoded("bg1.pcx")
    assert (pic["bits"], pic["planes"]) == (8, 1)
    assert pic["width"] <= 160 and pic["height"] <= 160
    pic = decoded("bg2.pcx")
    assert (pic["bits"], pic["planes"]) == (1, 1)


def test_files_hold_what_was_drawn():
    for name, (pic, drawing) in built().items():
        out = decoded(name)
        assert (out["width"], out["height"]) == (pic.width, pic.height), name
        assert (out["bits"], out["planes"]) == (pic.bits, pic.planes), name
        assert out["pixels"] == list(pic.pixels), name
        assert out["palette"][:len(pic.palette)] == pic.palette, name
        if drawing is None:
            continue
        # the palette must reproduce the drawing: exactly for the flat
        # 16-colour set, closely for the blended ones
        want = list(drawing.getdata())
        got = rgb_pixels(out)
        errors = [max(abs(a - b) for a, b in zip(w, g))
                  for w, g in zip(want, got)]
        if out["bits"] == 1:
            assert max(errors) == 0, name
        else:
            assert sum(errors) / len(errors) < 1.0, name
            assert sorted(errors)[len(errors) * 99 // 100] <= 16, name


def test_faces_differ_on_screen():
    """No two faces of a set look alike once the game reduces colours to
    16 bits; they differ in many pixels, not just a stray one."""
    for name in ("tiles0.pcx", "tiles1.pcx", "tiles2.pcx"):
        pic = decoded(name)
        colours = [to565(c) for c in rgb_pixels(pic)]
        faces = [face_area(pic, f, colours) for f in range(44)]
        for a in range(44):
            for b in range(a + 1, 44):
                diff = sum(1 for p, q in zip(faces[a], faces[b]) if p != q)
                assert diff >= 25, "%s: faces %d and %d differ in only %d " \
                    "pixels" % (name, a, b, diff)


def test_faces_are_light_tiles_with_a_mark():
    """Every face is a light tile top: its border is the tile surface
    and most of it is light; each has its drawing and index mark."""
    for name in ("tiles0.pcx", "tiles1.pcx", "tiles2.pcx"):
        pic = decoded(name)
        colours = rgb_pixels(pic)
        for f in range(44):
            area = face_area(pic, f, colours)
            lum = [luminance(c) for c in area]
            light = sum(1 for v in lum if v > 0.55)
            assert light > 0.55 * len(area), "%s face %d is dark" % (name, f)
            border = [area[y * FACE_W + x] for y in range(FACE_H)
                      for x in range(FACE_W)
                      if x in (0, FACE_W - 1) or y in (0, FACE_H - 1)]
            assert all(luminance(c) > 0.45 for c in border), \
                "%s face %d: dark pixels on its edge" % (name, f)
            # the index mark sits in the top-left corner
            corner = [area[y * FACE_W + x] for y in range(2, 7)
                      for x in range(2, 5)]
            assert len(set(corner)) > 1, "%s face %d has no mark" % (name, f)
            # and a drawing besides the mark
            counts = {}
            for c in area:
                counts[c] = counts.get(c, 0) + 1
            surface = max(counts, key=lambda c: (counts[c], c))
            drawn = sum(1 for i, c in enumerate(area)
                        if c != surface and i // FACE_W >= 8)
            assert drawn >= 30, "%s face %d is nearly blank" % (name, f)


def test_groups_share_a_look():
    """Flowers look alike, seasons look alike, and the two groups look
    different: compare the colour of their panels/bands."""
    for name in ("tiles0.pcx", "tiles1.pcx", "tiles2.pcx"):
        pic = decoded(name)
        colours = rgb_pixels(pic)

        def signature(face):
            """The commonest clearly coloured pixel near the left edge,
            where the group's frame or band is, not its picture."""
            area = face_area(pic, face, colours)
            counts = {}
            for y in range(8, 45):
                for x in range(2, 6):
                    c = area[y * FACE_W + x]
                    if max(c) - min(c) > 60:
                        counts[c] = counts.get(c, 0) + 1
            return max(counts, key=lambda c: (counts[c], c))

        flowers = {signature(f) for f in range(36, 40)}
        seasons = {signature(f) for f in range(40, 44)}
        assert len(flowers) == 1, "%s: flowers %r" % (name, flowers)
        assert len(seasons) == 1, "%s: seasons %r" % (name, seasons)
        assert flowers != seasons, name


def screen_of(pic):
    """The background laid over the 640 x 400 screen from the top-left."""
    colours = rgb_pixels(pic)
    w, h = pic["width"], pic["height"]
    return lambda x, y: colours[(y % h) * w + (x % w)]


def test_status_line_is_readable():
    """White 6 x 13 text at (500, 320): enough contrast on every
    background (WCAG 4.5:1 against its brightest pixel there)."""
    for name in ("bg0.pcx", "bg1.pcx", "bg2.pcx"):
        at = screen_of(decoded(name))
        brightest = max(luminance(at(x, y)) for y in range(318, 336)
                        for x in range(498, 600))
        ratio = 1.05 / (brightest + 0.05)
        assert ratio >= 4.5, "%s: contrast %.2f" % (name, ratio)


def test_backgrounds_are_mid_to_dark():
    """Dark enough for ivory tiles, light enough that a shadow (the
    background at 3/4 brightness) still shows on a 16-bit screen."""
    for name in ("bg0.pcx", "bg1.pcx", "bg2.pcx"):
        pic = decoded(name)
        colours = rgb_pixels(pic)
        mean = sum(luminance(c) for c in colours) / len(colours)
        assert 0.015 < mean < 0.2, "%s: mean luminance %.3f" % (name, mean)
        visible = sum(1 for c in colours
                      if to565(c) != to565(tuple(v * 3 // 4 for v in c)))
        assert visible > 0.95 * len(colours), name


def test_textures_repeat_without_seams():
    """Across the wrap-around edge neighbouring pixels differ no more than
    neighbours inside the texture do."""
    for name in ("bg1.pcx", "bg2.pcx"):
        pic = decoded(name)
        colours = rgb_pixels(pic)
        w, h = pic["width"], pic["height"]

        def diff(a, b):
            return sum(abs(p - q) for p, q in zip(a, b))

        def column_step(x0, x1):
            return sum(diff(colours[y * w + x0], colours[y * w + x1])
                       for y in range(h)) / h

        def row_step(y0, y1):
            return sum(diff(colours[y0 * w + x], colours[y1 * w + x])
                       for x in range(w)) / w

        inner_cols = [column_step(x, x + 1) for x in range(w - 1)]
        inner_rows = [row_step(y, y + 1) for y in range(h - 1)]
        assert column_step(w - 1, 0) <= max(inner_cols) + 1e-9, name
        assert row_step(h - 1, 0) <= max(inner_rows) + 1e-9, name
        assert column_step(w - 1, 0) <= 2 * sum(inner_cols) / len(inner_cols) \
            + 1, name
        assert row_step(h - 1, 0) <= 2 * sum(inner_rows) / len(inner_rows) \
            + 1, name
        assert 640 % w == 0 and 400 % h == 0, \
            "%s does not fit the screen" % name


def test_another_reader_agrees():
    """PIL's PCX reader, written by other people, sees the same pixels."""
    from PIL import Image
    for name in FILES:
        ours = decoded(name)
        img = Image.open(os.path.join(DATA, name))
        img.load()
        assert img.size == (ours["width"], ours["height"]), name
        if img.mode == "1":
            theirs = [1 if v else 0 for v in img.getdata()]
            assert theirs == ours["pixels"], name
        else:
            assert img.mode == "P", (name, img.mode)
            assert list(img.getdata()) == ours["pixels"], name
            pal = img.getpalette()
            used = sorted(set(ours["pixels"]))
            assert all(tuple(pal[3 * i:3 * i + 3]) == ours["palette"][i]
                       for i in used), name


def test_bg2_is_two_colours():
    pic = decoded("bg2.pcx")
    used = set(pic["pixels"])
    assert used == {0, 1}, used
    assert pic["palette"][0] != pic["palette"][1]


# ---------------------------------------------------------------------------
# The application icon


def png_chunks(data):
    """The chunk types of a PNG file, in order, and its IHDR fields."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    pos, types, header = 8, [], None
    while pos < len(data):
        length = int.from_bytes(data[pos:pos + 4], "big")
        kind = data[pos + 4:pos + 8].decode("ascii")
        if kind == "IHDR":
            body = data[pos + 8:pos + 8 + length]
            header = (int.from_bytes(body[0:4], "big"),
                      int.from_bytes(body[4:8], "big"), body[8], body[9])
        types.append(kind)
        pos += 12 + length
    return types, header


def premultiplied(img):
    return [(r * a / 255.0, g * a / 255.0, b * a / 255.0, a)
            for r, g, b, a in img.getdata()]


def test_icons_are_bare_pngs_of_one_picture():
    """Each size is an 8-bit RGBA PNG with nothing but its pixels in it (no
    time or text that would change between runs), a shape on a transparent
    ground, and the same picture as the largest size reduced to it."""
    from PIL import Image
    largest = Image.open(os.path.join(DATA, "icons", ICONS[-1]))
    for size, name in zip(ICON_SIZES, ICONS):
        data = read(os.path.join("icons", name))
        types, header = png_chunks(data)
        assert header == (size, size, 8, 6), (name, header)
        assert set(types) == {"IHDR", "IDAT", "IEND"}, (name, types)
        assert types[0] == "IHDR" and types[-1] == "IEND", name
        img = Image.open(os.path.join(DATA, "icons", name))
        alpha = list(img.getchannel("A").getdata())
        opaque = sum(1 for a in alpha if a == 255) / len(alpha)
        clear = sum(1 for a in alpha if a == 0) / len(alpha)
        assert 0.5 < opaque < 0.9 and clear > 0.08, (name, opaque, clear)
        want = premultiplied(largest.resize((size, size), Image.BOX))
        got = premultiplied(img)
        diff = sum(abs(p - q) for a, b in zip(want, got)
                   for p, q in zip(a, b)) / (4 * len(got))
        assert diff < 20, "%s differs from the largest size by %.1f" % (
            name, diff)


# ---------------------------------------------------------------------------

def main():
    tests = [(n, f) for n, f in sorted(globals().items())
             if n.startswith("test_") and callable(f)]
    passed = failed = 0
    for name, func in tests:
        try:
            func()
        except Exception:  # report every failure, then carry on
            failed += 1
            print("FAIL", name)
            traceback.print_exc()
        else:
            passed += 1
            print("ok  ", name)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
