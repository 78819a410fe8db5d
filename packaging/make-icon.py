#!/usr/bin/python3
"""Draws the program's icon (a sun over a half-circle gauge) as the one
source of every installed size: packaging/zelvan.png, 256 x 256.
Run with python3-pil; commit its output."""
import math
import os

from PIL import Image, ImageDraw

SIZE = 256
SCALE = 4  # drawn large, then reduced: smooth edges


def main():
    s = SIZE * SCALE
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    # Rounded tile.
    d.rounded_rectangle([8 * SCALE, 8 * SCALE, s - 8 * SCALE, s - 8 * SCALE], radius=48 * SCALE,
                        fill=(32, 86, 150, 255))
    # Sun with rays, upper right.
    cx, cy, r = 176 * SCALE, 80 * SCALE, 30 * SCALE
    for k in range(12):
        a = k * math.pi / 6
        d.line([cx + math.cos(a) * (r + 8 * SCALE), cy + math.sin(a) * (r + 8 * SCALE),
                cx + math.cos(a) * (r + 24 * SCALE), cy + math.sin(a) * (r + 24 * SCALE)],
               fill=(255, 204, 64, 255), width=7 * SCALE)
    d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(255, 204, 64, 255))
    # Gauge: a half ring from cyan to green, and its needle.
    gx, gy, gr = 116 * SCALE, 200 * SCALE, 84 * SCALE
    for k in range(180):
        t = k / 179
        colour = (int(0 + 30 * t), int(230 - 10 * t), int(255 - 190 * t), 255)
        d.arc([gx - gr, gy - gr, gx + gr, gy + gr], 180 + k, 181 + k, fill=colour, width=22 * SCALE)
    a = math.radians(180 + 130)
    d.line([gx, gy, gx + math.cos(a) * (gr - 18 * SCALE), gy + math.sin(a) * (gr - 18 * SCALE)],
           fill=(255, 255, 255, 255), width=10 * SCALE)
    d.ellipse([gx - 12 * SCALE, gy - 12 * SCALE, gx + 12 * SCALE, gy + 12 * SCALE], fill=(255, 255, 255, 255))
    img = img.resize((SIZE, SIZE), Image.LANCZOS)
    img.save(os.path.join(os.path.dirname(os.path.abspath(__file__)), "zelvan.png"), optimize=True)


if __name__ == "__main__":
    main()
