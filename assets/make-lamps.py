#!/usr/bin/python3
"""Writes the running-state lamps of the parameter page, one 32 x 32 icon each.

    lamp-139.png  green   (running)
    lamp-140.png  grey    (waiting, stopped)
    lamp-141.png  red     (fault)
    lamp-142.png  yellow  (checking, reconnecting)

The numbers are the icon resource ids the page shows beside the state text.
A lamp is a lit glass dome in a dark rim with a highlight at its upper left,
drawn four times larger and scaled down for smooth edges. Needs python3-pil.
Running it again reproduces the files.

    /usr/bin/python3 assets/make-lamps.py [output folder]
"""
import math
import os
import sys

from PIL import Image, ImageDraw

SIZE = 32
S = 4
RIM = (58, 62, 70)

LAMPS = {
    139: (40, 170, 70),
    140: (150, 154, 160),
    141: (214, 48, 40),
    142: (236, 190, 30),
}


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def lamp(colour):
    big = SIZE * S
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(image)
    c = big / 2
    d.ellipse((1 * S, 1 * S, big - 1 * S, big - 1 * S), fill=RIM + (255,))
    # The glass: lighter towards the upper left, darker at the edge.
    r = (SIZE / 2 - 3) * S
    hx, hy = c - r * 0.35, c - r * 0.35
    steps = 48
    for i in range(steps, 0, -1):
        t = i / steps
        rr = r * t
        ox = c + (hx - c) * (1 - t) * 0.6
        oy = c + (hy - c) * (1 - t) * 0.6
        shade = mix(colour, (255, 255, 255), (1 - t) ** 2 * 0.55) if t < 1 else mix(colour, (0, 0, 0), 0.25)
        shade = mix(shade, mix(colour, (0, 0, 0), 0.3), t ** 6)
        d.ellipse((ox - rr, oy - rr, ox + rr, oy + rr), fill=shade + (255,))
    # The highlight.
    hr = r * 0.28
    d.ellipse((hx - hr, hy - hr * 0.75, hx + hr, hy + hr * 0.75), fill=(255, 255, 255, 150))
    return image.resize((SIZE, SIZE), Image.LANCZOS)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for number, colour in LAMPS.items():
        lamp(colour).save(os.path.join(out, "lamp-%d.png" % number), optimize=True)


if __name__ == "__main__":
    main()
