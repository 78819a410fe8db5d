#!/usr/bin/python3
"""Writes the pictures of the system view.

    1.bmp              "Principle": a grid-connected PV system, read from the
                       working directory (8-bit palette BMP, 465 x 405)
    sysview-start.png  the picture the view shows before "1.bmp" is read (465 x 405)
    co2-mark.png       the leaf beside the CO2 box (46 x 50)

The view shows a picture at its own size from the top-left corner of an
area of about 399 x 375 pixels, so both 465 x 405 pictures keep everything
that matters within the top-left 396 x 372 and are plain beyond.

Shapes are drawn four times larger and scaled down for smooth edges; labels
are set at their final size so they stay crisp. Needs python3-pil and the
Liberation fonts (scripts/setup installs both). Running it again reproduces
the files.

    /usr/bin/python3 assets/make-sysview.py [output folder]
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

W, H = 465, 405
AREA = (396, 372)  # what the view's picture area shows
S = 4
FONT = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"
FONT_BOLD = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"

PAPER = (250, 251, 247)
INK = (33, 45, 62)
MUTED = (96, 108, 122)
DC = (214, 84, 32)
AC = (34, 104, 196)
DATA = (120, 120, 130)
PANEL = (38, 86, 160)
CELL = (176, 206, 240)
SUN = (240, 168, 28)
GREEN = (46, 142, 72)
WALL = (236, 226, 206)
ROOF = (170, 70, 52)


def font(size, bold=False):
    return ImageFont.truetype(FONT_BOLD if bold else FONT, size)


class Pen:
    """Drawing in final-pixel coordinates on the supersampled canvas."""

    def __init__(self, image):
        self.d = ImageDraw.Draw(image)

    @staticmethod
    def p(x, y):
        return (x * S, y * S)

    def line(self, pts, colour, width):
        self.d.line([self.p(*q) for q in pts], fill=colour, width=round(width * S), joint="curve")
        for q in (pts[0], pts[-1]):
            self.dot(q[0], q[1], width / 2, colour)

    def dashed(self, pts, colour, width, dash=6, gap=4):
        for a, b in zip(pts, pts[1:]):
            length = math.hypot(b[0] - a[0], b[1] - a[1])
            ux, uy = (b[0] - a[0]) / length, (b[1] - a[1]) / length
            t = 0.0
            while t < length:
                e = min(t + dash, length)
                self.line([(a[0] + ux * t, a[1] + uy * t), (a[0] + ux * e, a[1] + uy * e)], colour, width)
                t = e + gap

    def dot(self, x, y, r, colour):
        self.d.ellipse([self.p(x - r, y - r), self.p(x + r, y + r)], fill=colour)

    def rect(self, x0, y0, x1, y1, outline, width=0, fill=None, radius=0.0):
        self.d.rounded_rectangle([self.p(x0, y0), self.p(x1, y1)], radius=radius * S,
                                 outline=outline if width else None, width=round(width * S), fill=fill)

    def polygon(self, pts, fill, outline=None, width=0):
        self.d.polygon([self.p(*q) for q in pts], fill=fill)
        if outline:
            self.line(list(pts) + [pts[0]], outline, width)

    def arrow(self, tip, direction, size, colour):
        dx, dy = direction
        n = math.hypot(dx, dy)
        dx, dy = dx / n, dy / n
        back = (tip[0] - dx * size, tip[1] - dy * size)
        left = (back[0] - dy * size * 0.6, back[1] + dx * size * 0.6)
        right = (back[0] + dy * size * 0.6, back[1] - dx * size * 0.6)
        self.polygon([tip, left, right], colour)


def sun(pen, x, y, r):
    for k in range(12):
        t = math.radians(k * 30)
        pen.line([(x + (r + 4) * math.cos(t), y + (r + 4) * math.sin(t)),
                  (x + (r + 10) * math.cos(t), y + (r + 10) * math.sin(t))], SUN, 2.2)
    pen.dot(x, y, r, SUN)


def panels(pen, x0, y0, x1, y1, slant):
    """A tilted array: the top edge is narrower by `slant` on each side."""
    outer = [(x0, y1), (x0 + slant, y0), (x1 - slant, y0), (x1, y1)]
    pen.polygon(outer, PANEL, INK, 1.6)
    rows, cols = 3, 6
    for k in range(1, rows):
        t = k / rows
        pen.line([(x0 + slant * (1 - t), y0 + (y1 - y0) * t), (x1 - slant * (1 - t), y0 + (y1 - y0) * t)], CELL, 1.0)
    for k in range(1, cols):
        t = k / cols
        pen.line([(x0 + slant + (x1 - x0 - 2 * slant) * t, y0), (x0 + (x1 - x0) * t, y1)], CELL, 1.0)
    # the frame's legs
    pen.line([(x0 + 18, y1), (x0 + 18, y1 + 8)], INK, 2.0)
    pen.line([(x1 - 18, y1), (x1 - 18, y1 + 8)], INK, 2.0)


def inverter(pen, x0, y0, x1, y1):
    pen.rect(x0, y0, x1, y1, INK, 1.8, fill=(226, 234, 244), radius=6)
    pen.line([(x0 + 6, y1 - 6), (x1 - 6, y0 + 6)], INK, 1.2)  # the converter's diagonal
    # "=" top left, "~" bottom right
    pen.line([(x0 + 12, y0 + 16), (x0 + 30, y0 + 16)], DC, 2.2)
    pen.line([(x0 + 12, y0 + 23), (x0 + 30, y0 + 23)], DC, 2.2)
    cx, cy = x1 - 24, y1 - 20
    wave = [(cx - 10 + i, cy - 5 * math.sin(i / 20 * 2 * math.pi)) for i in range(21)]
    pen.line(wave, AC, 2.2)


def meter(pen, x0, y0, x1, y1):
    pen.rect(x0, y0, x1, y1, INK, 1.8, fill=(245, 245, 240), radius=4)
    pen.rect(x0 + 7, y0 + 7, x1 - 7, y0 + 19, INK, 1.0, fill=(40, 52, 44), radius=1.5)
    pen.dot((x0 + x1) / 2, y1 - 11, 4.5, (200, 200, 196))
    pen.line([((x0 + x1) / 2 - 4, y1 - 11), ((x0 + x1) / 2 + 4, y1 - 11)], INK, 1.2)


def pylon(pen, x, top, bottom):
    half = 18
    pen.line([(x - half, bottom), (x - 4, top + 8), (x, top), (x + 4, top + 8), (x + half, bottom)], INK, 1.8)
    for f in (0.28, 0.55):
        y = top + (bottom - top) * f
        w = 4 + (half - 4) * f
        arm = 16 if f < 0.3 else 12
        pen.line([(x - w - arm, y), (x + w + arm, y)], INK, 1.8)
        for s in (-1, 1):
            pen.line([(x + s * (w + arm - 2), y), (x + s * (w + arm - 2), y + 5)], MUTED, 1.2)
    for a, b in ((0.3, 0.55), (0.55, 0.8), (0.8, 1.0)):
        ya, yb = top + (bottom - top) * a, top + (bottom - top) * b
        wa, wb = 4 + (half - 4) * a, 4 + (half - 4) * b
        pen.line([(x - wa, ya), (x + wb, yb)], MUTED, 1.0)
        pen.line([(x + wa, ya), (x - wb, yb)], MUTED, 1.0)


def house(pen, x0, y0, x1, y1):
    roof_h = (y1 - y0) * 0.42
    pen.rect(x0 + 6, y0 + roof_h, x1 - 6, y1, INK, 1.6, fill=WALL)
    pen.polygon([(x0 - 2, y0 + roof_h + 2), ((x0 + x1) / 2, y0), (x1 + 2, y0 + roof_h + 2)], ROOF, INK, 1.6)
    pen.rect(x0 + 16, y0 + roof_h + 10, x0 + 32, y0 + roof_h + 24, INK, 1.2, fill=(255, 236, 160))
    pen.rect(x1 - 30, y1 - 26, x1 - 16, y1, INK, 1.2, fill=(150, 104, 70))


def computer(pen, x0, y0, x1, y1):
    pen.rect(x0, y0, x1, y1 - 12, INK, 1.8, fill=(232, 240, 236), radius=3)
    pen.rect(x0 + 5, y0 + 5, x1 - 5, y1 - 17, None, 0, fill=(255, 255, 255))
    # the day's curve on the screen
    w, h = x1 - x0 - 14, y1 - y0 - 30
    pts = [(x0 + 7 + w * i / 20, y1 - 20 - h * math.sin(math.pi * i / 20) ** 2) for i in range(21)]
    pen.line(pts, (210, 40, 40), 1.4)
    pen.line([((x0 + x1) / 2, y1 - 12), ((x0 + x1) / 2, y1 - 5)], INK, 2.0)
    pen.line([((x0 + x1) / 2 - 12, y1 - 4), ((x0 + x1) / 2 + 12, y1 - 4)], INK, 2.4)


def text(draw, xy, s, size, colour=INK, bold=False, anchor="la"):
    draw.text(xy, s, font=font(size, bold), fill=colour, anchor=anchor)


def finish(big):
    return big.resize((W, H), Image.LANCZOS)


def principle():
    big = Image.new("RGB", (W * S, H * S), PAPER)
    pen = Pen(big)
    aw, ah = AREA
    pen.rect(4, 4, aw - 4, ah - 4, (206, 212, 204), 1.2, radius=10)

    sun(pen, 46, 78, 12)
    panels(pen, 70, 62, 200, 122, 14)

    # DC: two conductors down to the inverter, energy flowing down.
    pen.line([(128, 130), (128, 196), (150, 196)], DC, 2.6)
    pen.line([(140, 130), (140, 184), (150, 184)], INK, 2.0)
    pen.arrow((128, 172), (0, 1), 7, DC)

    inverter(pen, 150, 166, 220, 236)

    # AC: through the meter to the grid; a branch feeds the house first.
    pen.line([(220, 201), (296, 201)], AC, 2.6)
    pen.line([(326, 201), (340, 201)], AC, 2.6)
    pen.arrow((290, 201), (1, 0), 7, AC)
    pen.arrow((348, 201), (1, 0), 8, AC)
    pen.line([(247, 201), (247, 270)], AC, 2.6)
    pen.arrow((247, 262), (0, 1), 7, AC)
    pen.dot(247, 201, 3.4, AC)
    meter(pen, 296, 184, 326, 228)
    pylon(pen, 364, 118, 222)

    house(pen, 212, 270, 282, 338)

    # The data link from the inverter to the monitoring PC.
    pen.dashed([(162, 236), (162, 300), (122, 300)], DATA, 1.8)
    computer(pen, 56, 266, 122, 330)

    img = finish(big)
    d = ImageDraw.Draw(img)
    text(d, (16, 14), "How the system works", 17, bold=True)
    text(d, (16, 36), "A grid-connected photovoltaic system", 11, MUTED)
    text(d, (150, 128), "PV panels", 11, bold=True)
    text(d, (16, 110), "sunlight to", 10, MUTED)
    text(d, (16, 122), "direct current", 10, MUTED)
    text(d, (120, 148), "DC", 12, DC, bold=True, anchor="ra")
    text(d, (120, 162), "+ / \u2212", 10, MUTED, anchor="ra")
    text(d, (185, 241), "Inverter", 11, bold=True, anchor="ma")
    text(d, (185, 160), "DC \u2192 AC", 10, MUTED, anchor="md")
    text(d, (271, 195), "AC 230 V", 10, AC, bold=True, anchor="md")
    text(d, (311, 233), "Meter", 11, bold=True, anchor="ma")
    text(d, (311, 246), "kWh out", 10, MUTED, anchor="ma")
    text(d, (364, 108), "Grid", 11, bold=True, anchor="md")
    text(d, (247, 343), "House", 11, bold=True, anchor="ma")
    text(d, (247, 356), "uses its own first", 10, MUTED, anchor="ma")
    text(d, (168, 272), "RS-485", 10, DATA)
    text(d, (168, 284), "serial", 10, DATA)
    text(d, (89, 335), "Zelvan", 11, bold=True, anchor="ma")
    text(d, (89, 348), "watches the inverter", 10, MUTED, anchor="ma")
    return img


def start_picture():
    big = Image.new("RGB", (W * S, H * S), PAPER)
    pen = Pen(big)
    aw, ah = AREA
    # A morning sky over the roof line, inside the area's frame.
    for y in range(8, 230):
        t = (y - 8) / 222
        c = tuple(round(a + (b - a) * t) for a, b in zip((186, 214, 240), (244, 247, 240)))
        pen.line([(8, y), (aw - 8, y)], c, 1.2)
    sun(pen, 300, 78, 22)
    house(pen, 96, 150, 300, 300)
    # panels lying on the roof's slope
    def roof(x):
        return 215 - 65 / 104 * (x - 94)
    for i in range(4):
        x = 116 + i * 21
        pen.polygon([(x, roof(x) - 2), (x + 19, roof(x + 19) - 2), (x + 19, roof(x + 19) - 11), (x, roof(x) - 11)],
                    PANEL, INK, 1.0)
    pen.line([(8, 300), (aw - 8, 300)], GREEN, 3)
    pen.rect(4, 4, aw - 4, ah - 4, (206, 212, 204), 1.2, radius=10)

    img = finish(big)
    d = ImageDraw.Draw(img)
    text(d, (aw // 2, 26), "Zelvan", 26, INK, bold=True, anchor="ma")
    text(d, (aw // 2, 58), "System view", 13, MUTED, anchor="ma")
    text(d, (28, 318), "Principle", 12, bold=True)
    text(d, (104, 318), "how the system works", 12, MUTED)
    text(d, (28, 338), "Text Info", 12, bold=True)
    text(d, (104, 338), "notes for the operator", 12, MUTED)
    return img


def co2_mark():
    w, h = 46, 50
    big = Image.new("RGBA", (w * S, h * S), (0, 0, 0, 0))
    pen = Pen(big)
    # A leaf: two arcs meeting at the tip, a stem and its veins.
    pts = []
    for i in range(41):
        t = i / 40
        pts.append((23 + 17 * math.sin(math.pi * t) * 0.95, 4 + 36 * t))
    for i in range(41):
        t = 1 - i / 40
        pts.append((23 - 17 * math.sin(math.pi * t) * 0.95, 4 + 36 * t))
    pen.polygon(pts, GREEN)
    pen.line([(23, 6), (23, 46)], (220, 240, 222), 1.4)
    for k in range(1, 4):
        y = 10 + k * 8
        pen.line([(23, y + 5), (23 + 9, y - 1)], (220, 240, 222), 1.0)
        pen.line([(23, y + 5), (23 - 9, y - 1)], (220, 240, 222), 1.0)
    pen.line([(23, 40), (21, 48)], (30, 96, 50), 2.0)
    img = big.resize((w, h), Image.LANCZOS)
    d = ImageDraw.Draw(img)
    # the label on a small white tag
    d.rounded_rectangle([7, 17, 39, 31], radius=3, fill=(255, 255, 255, 235))
    d.text((20, 24), "CO", font=font(11, True), fill=(30, 96, 50, 255), anchor="mm")
    d.text((32, 27), "2", font=font(8, True), fill=(30, 96, 50, 255), anchor="mm")
    return img


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    # A palette keeps the file small; the diagram has few colours.
    principle().quantize(colors=256, method=Image.MEDIANCUT, dither=Image.NONE).save(os.path.join(folder, "1.bmp"))
    start_picture().save(os.path.join(folder, "sysview-start.png"), optimize=True)
    co2_mark().save(os.path.join(folder, "co2-mark.png"), optimize=True)


if __name__ == "__main__":
    main()
