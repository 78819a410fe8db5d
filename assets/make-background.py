#!/usr/bin/python3
"""Writes assets/2.bmp, the background picture of the power view and its widgets.

A calm, light landscape: a sky that pales towards the horizon, a far range of
blue-grey hills and a nearer range of pale green ones. Everything stays light so
that black text, the red curve and the gauge's band read well on top of it.

The picture is an uncompressed 8-bit palette BMP (the few dozen colours of
the gradients fit a palette), the form every BMP reader accepts. Standard
library only; running the script again reproduces the file byte for byte.

    /usr/bin/python3 assets/make-background.py [output path]
"""
import math
import os
import struct
import sys

WIDTH = 1024
HEIGHT = 768


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def far_ridge(x):
    u = x / WIDTH
    return HEIGHT * (0.58 - 0.035 * math.sin(2.1 * math.pi * u + 0.6) - 0.018 * math.sin(5.3 * math.pi * u + 1.9))


def near_ridge(x):
    u = x / WIDTH
    return HEIGHT * (0.74 - 0.045 * math.sin(1.4 * math.pi * u + 2.4) - 0.015 * math.sin(4.7 * math.pi * u + 0.3))


SKY_TOP = (170, 202, 232)
SKY_HORIZON = (236, 242, 247)
FAR_TOP = (204, 214, 228)
FAR_BOTTOM = (222, 229, 236)
NEAR_TOP = (200, 222, 198)
NEAR_BOTTOM = (226, 236, 220)


def pixel(x, y):
    near = near_ridge(x)
    if y >= near:
        return lerp(NEAR_TOP, NEAR_BOTTOM, (y - near) / (HEIGHT - near))
    far = far_ridge(x)
    if y >= far:
        return lerp(FAR_TOP, FAR_BOTTOM, (y - far) / (HEIGHT * 0.8 - far))
    return lerp(SKY_TOP, SKY_HORIZON, (y / (HEIGHT * 0.62)) ** 0.8)


def build_rows():
    rows = [[pixel(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    colours = sorted({c for row in rows for c in row})
    if len(colours) > 256:
        raise SystemExit(f"{len(colours)} colours do not fit an 8-bit palette")
    index = {c: i for i, c in enumerate(colours)}
    return colours, [[index[c] for c in row] for row in rows]


def encode_rows(rows):
    out = bytearray()
    for row in reversed(rows):  # BMP rows run bottom-up, each padded to 4 bytes
        out += bytes(row)
        out += bytes(-len(row) % 4)
    return bytes(out)


def write_bmp(path):
    colours, rows = build_rows()
    pixels = encode_rows(rows)
    palette = b"".join(bytes((b, g, r, 0)) for (r, g, b) in colours)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(pixels), 2835, 2835, len(colours), 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "2.bmp")
    write_bmp(target)
