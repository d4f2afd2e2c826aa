#!/usr/bin/env python3
"""Writes the toolbar glyphs of the editor: one 16x16 SVG per button, named
after the button. Run it from anywhere; it writes beside itself.

Every glyph is drawn here from plain shapes (no fonts: letters and digits
are strokes), flat colours with a dark outline so they read on a grey
toolbar at 16x16."""

import math
import os

OUT = os.path.dirname(os.path.abspath(__file__))

INK = "#202020"
PAPER = "#ffffff"
BLUE = "#2f6fd0"
LIGHT_BLUE = "#9cc3f5"
YELLOW = "#f2c230"
DARK_YELLOW = "#b08010"
RED = "#d03030"
GREEN = "#2f9a3a"
GREY = "#808080"
ORANGE = "#ee8a20"
PURPLE = "#8a3fc0"


def svg(body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" '
            'viewBox="0 0 16 16">\n' + body + '\n</svg>\n')


def path(d, fill="none", stroke=INK, width=1.0, extra=""):
    return (f'<path d="{d}" fill="{fill}" stroke="{stroke}" stroke-width="{width}" '
            f'stroke-linecap="round" stroke-linejoin="round"{extra}/>')


def rect(x, y, w, h, fill, stroke=INK, width=1.0, rx=0, extra=""):
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{rx}" fill="{fill}" '
            f'stroke="{stroke}" stroke-width="{width}"{extra}/>')


def circle(cx, cy, r, fill, stroke=INK, width=1.0, extra=""):
    return f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{fill}" stroke="{stroke}" stroke-width="{width}"{extra}/>'


def polyline(points, stroke=INK, width=1.0, fill="none"):
    d = "M" + " L".join(f"{x:.2f},{y:.2f}" for x, y in points)
    return path(d, fill=fill, stroke=stroke, width=width)


def curve_area(fn, x0=1.5, x1=14.5, base=14.0, height=11.0, fill=LIGHT_BLUE, stroke=BLUE, steps=40):
    """Filled plot of fn(t), t in [-1, 1], value in [0, 1] (may dip below 0)."""
    pts = []
    for i in range(steps + 1):
        t = -1 + 2 * i / steps
        pts.append((x0 + (x1 - x0) * i / steps, base - height * fn(t)))
    area = f"M{x0},{base} " + " ".join(f"L{x:.2f},{y:.2f}" for x, y in pts) + f" L{x1},{base} Z"
    return (path(area, fill=fill, stroke="none", width=0) + polyline(pts, stroke=stroke, width=1.2)
            + path(f"M0.5,{base} H15.5", stroke=INK, width=0.8))


# Stroke letters in a box of width w and height h at (x, y).
def letter(ch, x, y, w, h, stroke=INK, width=1.3):
    segs = {
        "1": [[(0.2, 0.25), (0.6, 0), (0.6, 1)]],
        ":": [],
        "U": [[(0, 0), (0, 0.75), (0.25, 1), (0.75, 1), (1, 0.75), (1, 0)]],
        "S": [[(1, 0.1), (0.75, 0), (0.25, 0), (0, 0.2), (0, 0.35), (0.25, 0.5), (0.75, 0.5),
               (1, 0.65), (1, 0.85), (0.75, 1), (0.25, 1), (0, 0.9)]],
        "R": [[(0, 1), (0, 0), (0.7, 0), (1, 0.2), (1, 0.35), (0.7, 0.5), (0, 0.5)], [(0.5, 0.5), (1, 1)]],
    }[ch]
    out = []
    for seg in segs:
        out.append(polyline([(x + px * w, y + py * h) for px, py in seg], stroke=stroke, width=width))
    if ch == ":":
        out.append(circle(x + w / 2, y + h * 0.3, 0.7, INK, stroke="none", width=0))
        out.append(circle(x + w / 2, y + h * 0.8, 0.7, INK, stroke="none", width=0))
    return "".join(out)


def question(cx, top, scale=1.0, stroke=INK, width=1.6):
    s = scale
    d = (f"M{cx - 2.5 * s},{top + 2.5 * s} C{cx - 2.5 * s},{top - 0.3 * s} {cx + 2.8 * s},{top - 0.3 * s} "
         f"{cx + 2.6 * s},{top + 2.6 * s} C{cx + 2.5 * s},{top + 4.5 * s} {cx},{top + 4.3 * s} {cx},{top + 6.5 * s}")
    return path(d, stroke=stroke, width=width) + circle(cx, top + 9 * s, 0.9 * s, stroke, stroke="none", width=0)


def magnifier(inner):
    return (circle(6.5, 6.5, 5, "#e8f2ff", stroke=INK, width=1.3) + inner
            + path("M10.2,10.2 L14.5,14.5", stroke=DARK_YELLOW, width=2.6)
            + path("M10.2,10.2 L14.5,14.5", stroke=INK, width=0.6))


def waves(x0, x1, y, amp, cycles, stroke=BLUE, width=1.1, env=None):
    pts = []
    n = 48
    for i in range(n + 1):
        t = i / n
        a = amp * (env(t) if env else 1.0)
        pts.append((x0 + (x1 - x0) * t, y - a * math.sin(2 * math.pi * cycles * t)))
    return polyline(pts, stroke=stroke, width=width)


def bars(x0, heights, base=14.5, w=1.6, gap=0.6, fill=BLUE):
    out = []
    x = x0
    for h in heights:
        out.append(rect(round(x, 2), round(base - h, 2), w, h, fill, stroke="none", width=0))
        x += w + gap
    return "".join(out)


def arrow(x0, y0, x1, y1, stroke=INK, width=1.1, head=2.0):
    ang = math.atan2(y1 - y0, x1 - x0)
    a1 = (x1 - head * math.cos(ang - 0.5), y1 - head * math.sin(ang - 0.5))
    a2 = (x1 - head * math.cos(ang + 0.5), y1 - head * math.sin(ang + 0.5))
    return (path(f"M{x0},{y0} L{x1},{y1}", stroke=stroke, width=width)
            + path(f"M{a1[0]:.2f},{a1[1]:.2f} L{x1},{y1} L{a2[0]:.2f},{a2[1]:.2f}", stroke=stroke, width=width))


def gauss(t):
    return math.exp(-t * t * 6)


def tent(t):
    return max(0.0, 1 - abs(t) * 1.4)


def sharpen_kernel(t):
    # Centre spike with negative shoulders.
    return 1.25 * math.exp(-t * t * 40) - 0.25 * math.exp(-t * t * 5)


def edge_kernel(t):
    return -t * math.exp(-t * t * 8) * 2.6


GLYPHS = {}

GLYPHS["NewButton"] = svg(
    path("M3,1.5 H9.5 L13,5 V14.5 H3 Z", fill=PAPER, width=1.1)
    + path("M9.5,1.5 V5 H13", fill="#dddddd", width=1.0)
    + path("M10.5,8.5 L11.3,10.7 L13.5,11.5 L11.3,12.3 L10.5,14.5 L9.7,12.3 L7.5,11.5 L9.7,10.7 Z",
           fill=YELLOW, stroke=DARK_YELLOW, width=0.6))

GLYPHS["OpenButton"] = svg(
    path("M1.5,3.5 H6 L7.5,5 H13 V13.5 H1.5 Z", fill=DARK_YELLOW, width=1.0)
    + path("M3.5,7.5 H15 L13,13.5 H1.5 Z", fill=YELLOW, width=1.0))

GLYPHS["SaveButton"] = svg(
    path("M1.5,1.5 H12.5 L14.5,3.5 V14.5 H1.5 Z", fill=BLUE, width=1.0)
    + rect(4, 1.5, 7, 4.5, "#dfe8f5", width=0.8)
    + rect(8.5, 2.3, 1.5, 3, INK, stroke="none", width=0)
    + rect(3.5, 8.5, 9, 6, PAPER, width=0.8)
    + path("M5,10.5 H11 M5,12.5 H11", stroke=GREY, width=0.7))

def turn_arrow(mirror):
    """A curved arrow turning back to the left (Undo) or, mirrored, to the
    right (Redo)."""
    def x(v):
        return 16 - v if mirror else v
    sweep = 0 if mirror else 1
    body = path(f"M{x(4)},6.5 H{x(9.5)} A3.8,3.8 0 0 {sweep} {x(9.5)},14 H{x(6)}", stroke=BLUE, width=1.8)
    head = path(f"M{x(5.5)},2.5 L{x(1.5)},6.5 L{x(5.5)},10.5 Z", fill=BLUE, stroke=BLUE, width=0.8)
    return svg(body + head)


GLYPHS["UndoButton"] = turn_arrow(False)
GLYPHS["RedoButton"] = turn_arrow(True)

GLYPHS["ZoomInButton"] = svg(magnifier(path("M4,6.5 H9 M6.5,4 V9", stroke=GREEN, width=1.6)))
GLYPHS["ZoomOutButton"] = svg(magnifier(path("M4,6.5 H9", stroke=RED, width=1.6)))

GLYPHS["NormZoomButton"] = svg(
    rect(0.5, 2.5, 15, 11, "#eef3fa", stroke=BLUE, width=1.0, rx=1.5)
    + letter("1", 1.8, 4.5, 4, 7) + letter(":", 6.5, 4.5, 3, 7) + letter("1", 9.8, 4.5, 4, 7))

GLYPHS["ResizeCanvasButton"] = svg(
    rect(1, 1, 14, 14, "#f4f4f4", stroke=GREY, width=1.0, extra=' stroke-dasharray="2,1.3"')
    + rect(5, 5, 6, 6, LIGHT_BLUE, stroke=BLUE, width=1.0)
    + arrow(4.2, 4.2, 1.8, 1.8, stroke=INK, width=0.9, head=1.6)
    + arrow(11.8, 11.8, 14.2, 14.2, stroke=INK, width=0.9, head=1.6)
    + arrow(11.8, 4.2, 14.2, 1.8, stroke=INK, width=0.9, head=1.6)
    + arrow(4.2, 11.8, 1.8, 14.2, stroke=INK, width=0.9, head=1.6))

GLYPHS["ResizeImageButton"] = svg(
    rect(1.5, 6.5, 8, 8, LIGHT_BLUE, stroke=BLUE, width=1.0)
    + path("M2.5,13.5 L5,10 L6.5,12 L7.5,11 L8.5,13.5 Z", fill=GREEN, stroke="none", width=0)
    + arrow(8, 8, 14.5, 1.5, stroke=RED, width=1.3, head=2.6)
    + path("M14.5,1.5 V5 M14.5,1.5 H11", stroke=RED, width=1.3))

GLYPHS["ColorDepthSpeedButton"] = svg(
    "".join(rect(1 + i * 2.3, 1.5 + 0, 2.3, 6, c, stroke="none", width=0)
            for i, c in enumerate(["#e02020", "#f0a020", "#f0e020", "#30b040", "#2060e0", "#8030c0"]))
    + "".join(rect(1 + i * 3.45, 8.5, 3.45, 6, c, stroke="none", width=0)
              for i, c in enumerate(["#000000", "#555555", "#aaaaaa", "#ffffff"]))
    + rect(1, 1.5, 13.8, 13, "none", width=1.0)
    + path("M1,8 H14.8", stroke=INK, width=0.8))

GLYPHS["FlipRotateSpeedButton"] = svg(
    path("M8,1 V15", stroke=GREY, width=0.9, extra=' stroke-dasharray="1.5,1"')
    + path("M6.5,12.5 L1.5,12.5 L6.5,4.5 Z", fill=BLUE, width=0.9)
    + path("M9.5,12.5 L14.5,12.5 L9.5,4.5 Z", fill=LIGHT_BLUE, width=0.9)
    + path("M4.5,3 C6,0.8 10,0.8 11.5,3", stroke=RED, width=1.1)
    + path("M9.6,2.9 L11.5,3 L11.9,1.2", stroke=RED, width=1.1))

GLYPHS["AbstractGeneratorButton"] = svg(
    circle(5, 5, 3.6, RED, width=0.9)
    + rect(8.5, 2, 6, 6, YELLOW, width=0.9)
    + path("M5.5,8.5 L10.5,14.8 L0.8,14.8 Z", fill=GREEN, width=0.9)
    + circle(12.5, 12, 2.6, PURPLE, width=0.9))

GLYPHS["GaussGeneratorSpeedButton"] = svg(
    rect(0.5, 0.5, 15, 15, "#fbfbfb", stroke=GREY, width=0.8) + curve_area(gauss))
GLYPHS["TriangleGeneratorSpeedButton"] = svg(
    rect(0.5, 0.5, 15, 15, "#fbfbfb", stroke=GREY, width=0.8)
    + curve_area(tent, fill="#f9d9a0", stroke=ORANGE))
GLYPHS["SharpenGeneratorSpeedButton"] = svg(
    rect(0.5, 0.5, 15, 15, "#fbfbfb", stroke=GREY, width=0.8)
    + curve_area(sharpen_kernel, base=11.0, height=9.0, fill="#c9e8c9", stroke=GREEN))
GLYPHS["EdgeGeneratorSpeedButton"] = svg(
    rect(0.5, 0.5, 15, 15, "#fbfbfb", stroke=GREY, width=0.8)
    + curve_area(edge_kernel, base=8.0, height=6.5, fill="#efc8c8", stroke=RED))

GLYPHS["GaussBlurSpeedButton"] = svg(
    '<defs><radialGradient id="g" cx="0.5" cy="0.5" r="0.5"><stop offset="0" stop-color="#2f6fd0"/>'
    '<stop offset="0.55" stop-color="#2f6fd0" stop-opacity="0.55"/>'
    '<stop offset="1" stop-color="#2f6fd0" stop-opacity="0"/></radialGradient></defs>'
    + circle(8, 6.5, 6, "url(#g)", stroke="none", width=0)
    + curve_area(gauss, base=15.0, height=4.5, fill="none", stroke=INK))
GLYPHS["TriangBlurSpeedButton"] = svg(
    '<defs><linearGradient id="t" x1="0" x2="1"><stop offset="0" stop-color="#ee8a20" stop-opacity="0"/>'
    '<stop offset="0.5" stop-color="#ee8a20"/><stop offset="1" stop-color="#ee8a20" stop-opacity="0"/>'
    '</linearGradient></defs>'
    + rect(1, 1, 14, 9, "url(#t)", stroke="none", width=0)
    + curve_area(tent, base=15.0, height=4.5, fill="none", stroke=INK))
GLYPHS["SharpenSpeedButton"] = svg(
    path("M8,0.8 L9.4,6.6 L15.2,8 L9.4,9.4 L8,15.2 L6.6,9.4 L0.8,8 L6.6,6.6 Z", fill=YELLOW, stroke=INK, width=0.8)
    + path("M8,3.5 L8.9,7.1 L12.5,8 L8.9,8.9 L8,12.5 L7.1,8.9 L3.5,8 L7.1,7.1 Z", fill=PAPER, stroke="none", width=0))
GLYPHS["FindEdgesSpeedButton"] = svg(
    rect(0.5, 0.5, 15, 15, "#1a1a1a", stroke=INK, width=1.0)
    + path("M3,13 V7 L8,3 L13,7 V13 Z", stroke="#ffffff", width=1.1)
    + path("M6.5,13 V9.5 H9.5 V13", stroke="#7fe0ff", width=1.0))

GLYPHS["UserFilterSpeedButton"] = svg(
    letter("U", 0.7, 1, 3.6, 6, width=1.2) + letter("S", 6.2, 1, 3.6, 6, width=1.2)
    + letter("R", 11.6, 1, 3.6, 6, width=1.2)
    + "".join(rect(1.5 + i * 4.5, 9 + j * 2.2, 4, 2, c, stroke=GREY, width=0.4)
              for j in range(3) for i in range(3)
              for c in [("#f0c040" if (i, j) == (1, 1) else "#e6eefb")]))

GLYPHS["AboutSpeedButton"] = svg(circle(8, 8, 7, BLUE, stroke="#1a4a90", width=1.0)
                                 + question(8, 3.0, scale=0.95, stroke=PAPER, width=1.7))

GLYPHS["FFTSpeedButton"] = svg(
    waves(0.8, 7, 4.5, 2.6, 2) + arrow(7.5, 8, 10.5, 8, stroke=INK, width=1.0, head=1.6)
    + bars(9.3, [1.5, 6, 3, 1], base=15, w=1.2, gap=0.5, fill=PURPLE)
    + path("M1,12 H7", stroke=GREY, width=0.7))
GLYPHS["RevFFTSpeedButton"] = svg(
    bars(0.8, [1.5, 6, 3, 1], base=7.5, w=1.2, gap=0.5, fill=PURPLE)
    + arrow(5, 10, 8.5, 10, stroke=INK, width=1.0, head=1.6)
    + waves(9, 15.2, 12, 2.6, 2))
GLYPHS["FFTGaussSpeedButton"] = svg(
    waves(0.8, 15.2, 7.5, 6.0, 4, stroke=BLUE, width=1.0, env=lambda t: math.exp(-((t - 0.5) * 4) ** 2))
    + curve_area(gauss, base=14.5, height=13.0, fill="none", stroke=ORANGE))

GLYPHS["CurvesSpeedButton"] = svg(
    rect(0.5, 0.5, 15, 15, PAPER, stroke=INK, width=1.0)
    + path("M5.5,0.5 V15.5 M10.5,0.5 V15.5 M0.5,5.5 H15.5 M0.5,10.5 H15.5", stroke="#c8c8c8", width=0.6)
    + path("M0.5,15.5 L15.5,0.5", stroke="#bbbbbb", width=0.6, extra=' stroke-dasharray="1,1"')
    + path("M1,15 C6,15 5,8 8,8 C11,8 10,1 15,1", stroke=RED, width=1.4))
GLYPHS["AutoLevelsButton"] = svg(
    bars(5.2, [3, 7, 9, 5], base=12.5, w=1.2, gap=0.3, fill=GREY)
    + arrow(4.5, 14.3, 0.8, 14.3, stroke=BLUE, width=1.1, head=1.6)
    + arrow(11.5, 14.3, 15.2, 14.3, stroke=BLUE, width=1.1, head=1.6)
    + path("M0.5,12.5 H15.5", stroke=INK, width=0.8))


def unknown(dots):
    # The three buttons without a command: a question mark on a card, told
    # apart by their colour and their count of dots.
    back, dot = {1: ("#fde3c0", ORANGE), 2: ("#d5eed5", GREEN), 3: ("#e2daf6", PURPLE)}[dots]
    pos = {1: [(8, 13.3)], 2: [(5.5, 13.3), (10.5, 13.3)], 3: [(4.2, 13.3), (8, 13.3), (11.8, 13.3)]}[dots]
    return svg(rect(1.5, 0.5, 13, 15, back, stroke=GREY, width=0.9, rx=2)
               + question(8, 1.8, scale=0.8, stroke=INK, width=1.5)
               + "".join(circle(x, y, 1.4, dot, stroke="none", width=0) for x, y in pos))


GLYPHS["SpeedButton1"] = unknown(1)
GLYPHS["SpeedButton2"] = unknown(2)
GLYPHS["SpeedButton3"] = unknown(3)

GLYPHS["HandSpeedButton"] = svg(
    path("M4.5,9 V4.2 a1,1 0 0 1 2,0 V8 V2.8 a1,1 0 0 1 2,0 V8 V3.4 a1,1 0 0 1 2,0 V8.5 V5.2 a1,1 0 0 1 2,0 "
         "V10.5 C12.5,13.5 11,15 8.5,15 C6.3,15 5.5,14 4.2,12.3 L2,9.5 C1.4,8.7 2.6,7.7 3.4,8.4 Z",
         fill="#fbe3c8", stroke=INK, width=0.9))
GLYPHS["DrawSpeedButton"] = svg(
    path("M2,14 L3,10.5 L11.5,2 L14,4.5 L5.5,13 Z", fill=YELLOW, stroke=INK, width=0.9)
    + path("M2,14 L3,10.5 L5.5,13 Z", fill="#f0d0a0", stroke=INK, width=0.7)
    + path("M2,14 L2.5,12.2 L3.8,13.5 Z", fill=INK, stroke="none", width=0)
    + path("M10,3.5 L12.5,6", stroke=INK, width=0.7)
    + path("M11.5,2 L14,4.5 L15,3.5 L12.5,1 Z", fill="#f08080", stroke=INK, width=0.7))
GLYPHS["SpeedButton4"] = svg(
    circle(8, 8, 5.5, "none", stroke=GREY, width=1.2, extra=' stroke-dasharray="2,1.6"')
    + circle(8, 8, 1, GREY, stroke="none", width=0))


def main():
    for name, text in sorted(GLYPHS.items()):
        with open(os.path.join(OUT, name + ".svg"), "w", encoding="utf-8") as f:
            f.write(text)
    print(f"{len(GLYPHS)} glyphs written")


if __name__ == "__main__":
    main()
