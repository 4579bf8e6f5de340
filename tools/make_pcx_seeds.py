#!/usr/bin/python3
"""Writes the small PCX seed files for the decoder's fuzzer into fuzz/corpus/pcx/.

Usage: tools/make_pcx_seeds.py [directory]. Only the standard library is used;
the pictures are drawn here, valid ones and a few slightly broken ones.
"""

import os
import sys

import pcx

PALETTE256 = [(i, (i * 3) & 255, 255 - i) for i in range(256)]
PALETTE16 = [(i * 16, 255 - i * 16, (i * 40) & 255) for i in range(16)]


def picture(width, height, pixel, bits=8, planes=1, **options):
    """A picture of colour pixel(x, y) at (x, y), in the seeds' palettes."""
    pixels = [pixel(x, y) for y in range(height) for x in range(width)]
    palette = PALETTE256 if bits == 8 else PALETTE16
    return pcx.encode(width, height, pixels, palette, bits, planes, **options)


def planar(width, height, planes, pixel):
    return picture(width, height, pixel, bits=1, planes=planes)


def shapes(x, y):
    """Bands, a disc and a bright corner: runs of several lengths and bytes above 0xBF."""
    if (x - 6) ** 2 + (y - 3) ** 2 < 9:
        return 0xC7
    if x > 12 and y < 2:
        return 250
    return (x // 3 + y * 5) & 255


def hand_made(width, height, data):
    """An 8-bit file whose data bytes are given as they are, 4 bytes per line."""
    palette = bytes(v for rgb in PALETTE256 for v in rgb)
    return pcx.header(width, height, 8, 1, 4) + bytes(data) + b"\x0c" + palette


def seeds():
    full = picture(16, 6, shapes)
    bad_version = bytearray(full)
    bad_version[1] = 3
    depth4 = bytearray(planar(9, 3, 1, lambda x, y: (x + y) & 1))
    depth4[3] = 4
    return {
        "8bit_shapes.pcx": full,
        "8bit_odd_width.pcx": picture(7, 4, shapes, bytes_per_line=8),
        "8bit_no_marker.pcx": picture(10, 3, shapes, marker=False),
        "8bit_cut_in_pixels.pcx": full[:150],
        "8bit_runs_cross_lines.pcx": hand_made(
            4, 3, [0xC6, 7, 1, 0xC0, 9, 2, 0xC2, 3, 0xC1, 0xC5, 0xC3, 0xFF]),
        "8bit_width_past_line.pcx": hand_made(6, 2, range(1, 9)),
        "planar16.pcx": planar(21, 5, 4, lambda x, y: (x // 2 + y * 3) & 15),
        "mono.pcx": planar(13, 4, 1, lambda x, y: (x * y + x) & 1),
        "planar16_cut.pcx": planar(21, 5, 4, lambda x, y: (x ^ y) & 15)[:139],
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
