"""PCX files for the tools: the one writer (pictures, fuzz seeds) and a strict reader for tests.

The writer makes version 5, run-length encoded files: 8 bits in one plane
with the 256-colour palette after the marker 12, or 1 bit in 1 to 4 planes
with the 16-colour palette in the header.  The reader is written apart from
the writer and refuses anything the game would refuse or a careful writer
would not make, so that the tests can rely on it.  Standard library only.
"""

import collections
import struct


def line_bytes(width, bits):
    """Bytes per line and plane: enough for the width, rounded up to even."""
    need = (width * bits + 7) // 8
    return need + (need & 1)


def header(width, height, bits, planes, bytes_per_line, palette16=()):
    """The 128-byte header; palette16 (at most 16 colours) goes into its palette."""
    head = struct.pack("<4B6H", 10, 5, 1, bits, 0, 0, width - 1, height - 1, 72, 72)
    head += bytes(v for rgb in palette16 for v in rgb).ljust(48, b"\0")
    head += struct.pack("<2B2H", 0, planes, bytes_per_line, 1)
    return head.ljust(128, b"\0")


def encode_line(line):
    """Run-length encodes one line (or one plane of one); runs never cross its end."""
    out = bytearray()
    i = 0
    while i < len(line):
        run = 1
        while i + run < len(line) and run < 63 and line[i + run] == line[i]:
            run += 1
        if run > 1 or line[i] >= 0xC0:
            out.append(0xC0 | run)
        out.append(line[i])
        i += run
    return bytes(out)


def plane_bytes(row, plane, bytes_per_line):
    """Bit `plane` of each colour index of a row, packed 8 pixels a byte, high bit first."""
    packed = bytearray(bytes_per_line)
    for x, index in enumerate(row):
        if (index >> plane) & 1:
            packed[x >> 3] |= 0x80 >> (x & 7)
    return bytes(packed)


def encode(width, height, pixels, palette, bits=8, planes=1, bytes_per_line=None, marker=True):
    """The file for a picture: pixels holds one colour index a pixel, row by row.
    An 8-bit line is cut or padded with 0 to bytes_per_line; marker=False leaves
    out the 12 before the palette (for broken seed files)."""
    assert len(pixels) == width * height
    assert (bits, planes) == (8, 1) or (bits == 1 and 1 <= planes <= 4)
    assert len(palette) <= (256 if bits == 8 else 16)
    assert max(pixels) < (256 if bits == 8 else 1 << planes)
    bpl = bytes_per_line or line_bytes(width, bits)
    out = bytearray(header(width, height, bits, planes, bpl, palette if bits == 1 else ()))
    for y in range(height):
        row = bytes(pixels[y * width:(y + 1) * width])
        if bits == 8:
            out += encode_line((row + bytes(bpl))[:bpl])
        else:
            for plane in range(planes):
                out += encode_line(plane_bytes(row, plane, bpl))
    if bits == 8:
        out += b"\x0c" if marker else b""
        out += bytes(v for rgb in palette for v in rgb).ljust(768, b"\0")
    return bytes(out)


# ---------------------------------------------------------------------------
# The strict reader (for the tests)

Pcx = collections.namedtuple("Pcx", "width height bits planes bytes_per_line palette pixels")


class PcxError(Exception):
    pass


def _require(condition, message, *args):
    if not condition:
        raise PcxError(message % args)


def decode(data):
    """Decodes a whole file; raises PcxError for anything the game would refuse,
    a run across a line end, a short or over-long file, or a header with stray bytes."""
    _require(len(data) >= 128, "shorter than a header")
    _require(tuple(data[:3]) == (10, 5, 1), "manufacturer, version, encoding %r", tuple(data[:3]))
    bits, (xmin, ymin, xmax, ymax), planes = data[3], struct.unpack_from("<4H", data, 4), data[65]
    width, height = xmax - xmin + 1, ymax - ymin + 1
    bpl, palette_type = struct.unpack_from("<2H", data, 66)
    _require(width > 0 and height > 0, "empty picture")
    _require(data[64] == 0 and palette_type == 1 and not any(data[70:128]), "stray header bytes")
    _require((bits, planes) == (8, 1) or (bits == 1 and 1 <= planes <= 4),
             "%d bits in %d planes", bits, planes)
    _require(bpl % 2 == 0 and bpl * 8 >= width * bits,
             "%d bytes per line for width %d", bpl, width)
    end = len(data)
    if bits == 8:
        end -= 769
        _require(end >= 128 and data[end] == 0x0C, "no 256-colour palette at the end")
        table = data[end + 1:]
    else:
        table = data[16:64]
    palette = [tuple(table[i:i + 3]) for i in range(0, len(table), 3)]
    pos, pixels = 128, bytearray()
    for y in range(height):
        line = bytearray()
        while len(line) < bpl * planes:
            _require(pos < end, "the data ends in line %d", y)
            value, count = data[pos], 1
            if value >= 0xC0:
                count = value & 0x3F
                _require(count > 0 and pos + 1 < end, "a bad run in line %d", y)
                pos += 1
                value = data[pos]
            line += bytes((value,)) * count
            pos += 1
        _require(len(line) == bpl * planes, "a run crosses the end of line %d", y)
        for x in range(width):
            if bits == 8:
                pixels.append(line[x])
            else:
                pixels.append(sum(((line[p * bpl + x // 8] >> (7 - x % 8)) & 1) << p
                                  for p in range(planes)))
    _require(pos == end, "%d bytes after the picture", end - pos)
    return Pcx(width, height, bits, planes, bpl, palette, bytes(pixels))
