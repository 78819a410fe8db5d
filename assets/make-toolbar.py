#!/usr/bin/python3
"""Writes the toolbar pictures and the About picture.

    toolbar-normal.png  six 85 x 60 buttons side by side, as the toolbar shows them
    toolbar-hot.png     the same six under the mouse: full colour on a light backdrop
    about.png           the picture of the About box

Buttons, left to right: connect/disconnect, parameters, export, time span,
cursor, tracking. Each is a line icon over a short label. Shapes are drawn
four times larger and scaled down, which gives smooth edges; the labels are
set at their final size so they stay crisp. Transparent outside the shapes.

Needs python3-pil and the Liberation fonts (scripts/setup installs both).
Running it again reproduces the files.

    /usr/bin/python3 assets/make-toolbar.py [output folder]
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

W, H = 85, 60
S = 4  # supersampling factor of the shapes
FONT = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"
FONT_BOLD = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"

# Full colours (hot); the normal images are these, calmed towards grey.
HOT = {
    "ink": (28, 62, 104),
    "blue": (36, 120, 210),
    "green": (38, 150, 74),
    "red": (214, 56, 42),
    "amber": (232, 160, 24),
    "paper": (255, 255, 255),
    "label": (16, 40, 72),
}


def calm(rgb, amount=0.45):
    grey = round(0.3 * rgb[0] + 0.59 * rgb[1] + 0.11 * rgb[2])
    return tuple(round(c + (grey - c) * amount) for c in rgb)


NORMAL = {k: (v if k in ("paper",) else calm(v)) for k, v in HOT.items()}
NORMAL["label"] = (40, 40, 40)

BUTTONS = ["Connect", "Parameters", "Export", "Time span", "Cursor", "Tracking"]

# Icon box in final pixels: 34 x 34, centred above the label.
CX, CY, R = 42.5, 22.0, 17.0


class Pen:
    """Drawing in final-pixel coordinates on the supersampled canvas."""

    def __init__(self, draw):
        self.d = draw

    @staticmethod
    def p(x, y):
        return (x * S, y * S)

    def line(self, pts, colour, width, joint="curve"):
        self.d.line([self.p(*q) for q in pts], fill=colour, width=round(width * S), joint=joint)
        for q in (pts[0], pts[-1]):  # round caps
            self.dot(q[0], q[1], width / 2, colour)

    def dot(self, x, y, r, colour):
        self.d.ellipse([self.p(x - r, y - r), self.p(x + r, y + r)], fill=colour)

    def circle(self, x, y, r, colour, width, fill=None):
        self.d.ellipse([self.p(x - r, y - r), self.p(x + r, y + r)], outline=colour, width=round(width * S), fill=fill)

    def rect(self, x0, y0, x1, y1, colour, width=0, fill=None, radius=0.0):
        self.d.rounded_rectangle([self.p(x0, y0), self.p(x1, y1)], radius=radius * S, outline=colour if width else None,
                                 width=round(width * S), fill=fill)

    def polygon(self, pts, colour):
        self.d.polygon([self.p(*q) for q in pts], fill=colour)

    def arc(self, x, y, r, start, end, colour, width):
        # Degrees clockwise from three o'clock, as PIL counts them.
        self.d.arc([self.p(x - r, y - r), self.p(x + r, y + r)], start, end, fill=colour, width=round(width * S))


def arrow_head(pen, tip, direction, size, colour):
    dx, dy = direction
    n = math.hypot(dx, dy)
    dx, dy = dx / n, dy / n
    back = (tip[0] - dx * size, tip[1] - dy * size)
    left = (back[0] - dy * size * 0.6, back[1] + dx * size * 0.6)
    right = (back[0] + dy * size * 0.6, back[1] - dx * size * 0.6)
    pen.polygon([tip, left, right], colour)


def icon_connect(pen, c):
    # A plug entering its socket, each on its cable.
    y = CY + 2
    pen.line([(CX - 18, y), (CX - 12, y)], c["ink"], 2.4)
    pen.rect(CX - 13, y - 8, CX - 3, y + 8, c["ink"], 1.4, fill=c["blue"], radius=2.5)
    pen.line([(CX - 3, y - 4), (CX + 4, y - 4)], c["ink"], 2.4)
    pen.line([(CX - 3, y + 4), (CX + 4, y + 4)], c["ink"], 2.4)
    pen.rect(CX + 5, y - 9, CX + 14, y + 9, c["ink"], 1.4, fill=c["green"], radius=2.5)
    pen.line([(CX + 14, y), (CX + 18, y)], c["ink"], 2.4)
    # the contact's spark
    for a in (-45, 0, 45):
        t = math.radians(a - 90)
        pen.line([(CX + 0.5 + 8 * math.cos(t), y - 7 + 8 * math.sin(t)),
                  (CX + 0.5 + 12 * math.cos(t), y - 7 + 12 * math.sin(t))], c["amber"], 1.8)


def icon_parameters(pen, c):
    # Three sliders at different settings.
    for i, (knob, colour) in enumerate(((0.25, c["blue"]), (0.7, c["green"]), (0.45, c["red"]))):
        y = CY - 10 + i * 10
        x0, x1 = CX - 15, CX + 15
        pen.line([(x0, y), (x1, y)], c["ink"], 2.0)
        kx = x0 + (x1 - x0) * knob
        pen.circle(kx, y, 4.2, c["ink"], 1.6, fill=colour)


def icon_export(pen, c):
    # A sheet with a header row and a grid, and an arrow leaving it.
    x0, y0, x1, y1 = CX - 15, CY - 15, CX + 7, CY + 15
    pen.rect(x0, y0, x1, y1, c["ink"], 1.8, fill=c["paper"], radius=1.5)
    pen.rect(x0 + 1, y0 + 1, x1 - 1, y0 + 7, None, 0, fill=c["green"])
    for k in range(1, 4):
        y = y0 + 7 + k * 5.5
        pen.line([(x0 + 2, y), (x1 - 2, y)], c["ink"], 0.9)
    pen.line([((x0 + x1) / 2, y0 + 8), ((x0 + x1) / 2, y1 - 2)], c["ink"], 0.9)
    pen.line([(CX + 1, CY + 4), (CX + 13, CY + 4)], c["blue"], 3.0)
    arrow_head(pen, (CX + 18.5, CY + 4), (1, 0), 7.5, c["blue"])


def icon_time_span(pen, c):
    # A clock with the span it covers.
    r = 14.5
    pen.circle(CX, CY, r, c["ink"], 1.8, fill=c["paper"])
    pen.arc(CX, CY, r - 3.2, -90, 30, c["amber"], 4.2)
    for h in range(12):
        t = math.radians(h * 30 - 90)
        inner = r - (3.6 if h % 3 == 0 else 2.4)
        pen.line([(CX + inner * math.cos(t), CY + inner * math.sin(t)),
                  (CX + (r - 1.2) * math.cos(t), CY + (r - 1.2) * math.sin(t))], c["ink"], 1.0)
    pen.line([(CX, CY), (CX, CY - 9)], c["ink"], 2.0)
    pen.line([(CX, CY), (CX + 7.5, CY + 4.3)], c["ink"], 2.0)
    pen.dot(CX, CY, 2.0, c["red"])


def icon_cursor(pen, c):
    # Crosshair over a point of the curve.
    pen.line([(CX - 16, CY + 9), (CX - 8, CY + 2), (CX, CY), (CX + 8, CY - 6), (CX + 16, CY - 8)], c["blue"], 2.0)
    pen.circle(CX, CY, 8.5, c["ink"], 1.8)
    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
        pen.line([(CX + dx * 5, CY + dy * 5), (CX + dx * 15, CY + dy * 15)], c["ink"], 1.6)
    pen.dot(CX, CY, 2.4, c["red"])


def icon_tracking(pen, c):
    # A rising curve whose axis grows to follow it.
    x0, y1 = CX - 15, CY + 14
    pen.line([(x0, CY - 15), (x0, y1), (CX + 8, y1)], c["ink"], 1.8, joint=None)
    arrow_head(pen, (CX + 17, y1), (1, 0), 7, c["ink"])
    pts = [(x0 + 2 + i * 1.0, y1 - 3 - 16 * math.sin(math.pi * min(i, 26) / 30.0) ** 1.4) for i in range(0, 27)]
    pen.line(pts, c["red"], 2.2)
    pen.line([(CX + 4, CY - 12), (CX + 12, CY - 12)], c["green"], 2.2)
    arrow_head(pen, (CX + 17, CY - 12), (1, 0), 6, c["green"])


ICONS = [icon_connect, icon_parameters, icon_export, icon_time_span, icon_cursor, icon_tracking]


def scaled_down(big):
    # Scale with premultiplied alpha so edges do not darken.
    return big.convert("RGBa").resize((big.width // S, big.height // S), Image.LANCZOS).convert("RGBA")


def button(index, hot):
    c = HOT if hot else NORMAL
    big = Image.new("RGBA", (W * S, H * S), (0, 0, 0, 0))
    pen = Pen(ImageDraw.Draw(big))
    if hot:
        pen.rect(2, 1, W - 3, H - 2, (122, 167, 214, 255), 1.0, fill=(222, 235, 250, 255), radius=4)
    ICONS[index](pen, c)
    tile = scaled_down(big)
    draw = ImageDraw.Draw(tile)
    font = ImageFont.truetype(FONT_BOLD if hot else FONT, 11)
    draw.text((W / 2, 54), BUTTONS[index], font=font, fill=c["label"] + (255,), anchor="ms")
    return tile


def strip(hot):
    out = Image.new("RGBA", (W * len(ICONS), H), (0, 0, 0, 0))
    for i in range(len(ICONS)):
        out.paste(button(i, hot), (i * W, 0))
    return out


def about():
    # A sun over a solar panel: what the program watches.
    size = 96
    big = Image.new("RGBA", (size * S, size * S), (0, 0, 0, 0))
    pen = Pen(ImageDraw.Draw(big))
    c = HOT
    sun = (66, 28)
    for k in range(12):
        t = math.radians(k * 30)
        pen.line([(sun[0] + 15 * math.cos(t), sun[1] + 15 * math.sin(t)),
                  (sun[0] + 21 * math.cos(t), sun[1] + 21 * math.sin(t))], c["amber"], 2.6)
    pen.dot(sun[0], sun[1], 11, c["amber"])
    panel = [(10, 84), (30, 44), (76, 44), (88, 84)]
    pen.polygon(panel, c["ink"])
    inner = [(14, 81), (32, 47), (74, 47), (84.5, 81)]
    pen.polygon(inner, c["blue"])
    for k in range(1, 4):  # cells: lines across and down the panel
        t = k / 4
        l = (inner[0][0] + (inner[1][0] - inner[0][0]) * t, inner[0][1] + (inner[1][1] - inner[0][1]) * t)
        r = (inner[3][0] + (inner[2][0] - inner[3][0]) * t, inner[3][1] + (inner[2][1] - inner[3][1]) * t)
        pen.line([l, r], (200, 225, 250), 1.2)
    for k in range(1, 5):
        t = k / 5
        b = (inner[0][0] + (inner[3][0] - inner[0][0]) * t, inner[0][1])
        top = (inner[1][0] + (inner[2][0] - inner[1][0]) * t, inner[1][1])
        pen.line([b, top], (200, 225, 250), 1.2)
    pen.rect(44, 84, 52, 92, None, 0, fill=c["ink"])
    return scaled_down(big)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    strip(False).save(os.path.join(folder, "toolbar-normal.png"), optimize=True)
    strip(True).save(os.path.join(folder, "toolbar-hot.png"), optimize=True)
    about().save(os.path.join(folder, "about.png"), optimize=True)


if __name__ == "__main__":
    main()
