#!/usr/bin/env python3
"""Writes the small PCX seed files for the decoder's fuzzer into fuzz/corpus/pcx/.

Usage: tools/make_pcx_seeds.py [directory]. Only the standard library is used;
the pictures are drawn here, valid ones and a few slightly broken ones.
"""

import os
import struct
import sys


def header(bits, planes, width, height, bytes_per_line, palette16=b""):
    """A 128-byte version 5, run-length encoded header."""
    head = struct.pack("<BBBBHHHHHH", 10, 5, 1, bits, 0, 0, width - 1, height - 1, 72, 72)
    head += palette16.ljust(48, b"\0")[:48]
    head += struct.pack("<BBHH", 0, planes, bytes_per_line, 1)
    return head.ljust(128, b"\0")


def encode_line(line):
    """Run-length encodes one scan line; runs never cross its end."""
    out = bytearray()
    i = 0
    while i < len(line):
        run = 1
        while i + run < len(line) and line[i + run] == line[i] and run < 63:
            run += 1
        if run > 1 or line[i] >= 0xC0:
            out.append(0xC0 | run)
        out.append(line[i])
        i += run
    return bytes(out)


def palette256():
    return bytes(c for i in range(256) for c in (i, (i * 3) & 255, 255 - i))


def palette16():
    return bytes(c for i in range(16) for c in (i * 16, 255 - i * 16, (i * 40) & 255))


def picture_8bit(width, height, pixel, bytes_per_line=None, marker=True):
    if bytes_per_line is None:
        bytes_per_line = width + (width & 1)
    out = bytearray(header(8, 1, width, height, bytes_per_line))
    for y in range(height):
        line = [pixel(x, y) for x in range(width)] + [0] * (bytes_per_line - width)
        out += encode_line(line[:bytes_per_line])
    if marker:
        out.append(12)
    return bytes(out + palette256())


def picture_planar(width, height, planes, pixel):
    bytes_per_line = (width + 7) // 8
    bytes_per_line += bytes_per_line & 1
    out = bytearray(header(1, planes, width, height, bytes_per_line, palette16()))
    for y in range(height):
        line = bytearray(bytes_per_line * planes)
        for p in range(planes):
            for x in range(width):
                if (pixel(x, y) >> p) & 1:
                    line[p * bytes_per_line + x // 8] |= 0x80 >> (x % 8)
        out += encode_line(line)
    return bytes(out)


def shapes(x, y):
    """Bands, a disc and a bright corner: runs of several lengths and bytes above 0xBF."""
    if (x - 6) ** 2 + (y - 3) ** 2 < 9:
        return 0xC7
    if x > 12 and y < 2:
        return 250
    return (x // 3 + y * 5) & 255


def seeds():
    runs = bytearray(header(8, 1, 4, 3, 4))
    runs += bytes([0xC6, 7, 1, 0xC0, 9, 2, 0xC2, 3, 0xC1, 0xC5, 0xC3, 0xFF, 12]) + palette256()
    wide = bytearray(header(8, 1, 6, 2, 4)) + bytes([1, 2, 3, 4, 5, 6, 7, 8, 12]) + palette256()
    full = picture_8bit(16, 6, shapes)
    bad_version = bytearray(full)
    bad_version[1] = 3
    depth4 = bytearray(picture_planar(9, 3, 1, lambda x, y: (x + y) & 1))
    depth4[3] = 4
    return {
        "8bit_shapes.pcx": full,
        "8bit_odd_width.pcx": picture_8bit(7, 4, shapes, bytes_per_line=8),
        "8bit_no_marker.pcx": picture_8bit(10, 3, shapes, marker=False),
        "8bit_cut_in_pixels.pcx": full[:150],
        "8bit_runs_cross_lines.pcx": bytes(runs),
        "8bit_width_past_line.pcx": bytes(wide),
        "planar16.pcx": picture_planar(21, 5, 4, lambda x, y: (x // 2 + y * 3) & 15),
        "mono.pcx": picture_planar(13, 4, 1, lambda x, y: (x * y + x) & 1),
        "planar16_cut.pcx": picture_planar(21, 5, 4, lambda x, y: (x ^ y) & 15)[:140],
        "bad_version.pcx": bytes(bad_version),
        "depth4.pcx": bytes(depth4),
    }


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "fuzz", "corpus", "pcx")
    os.makedirs(target, exist_ok=True)
    for name, data in seeds().items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds())} seeds in {target}")


if __name__ == "__main__":
    main()
