#!/usr/bin/env python3
"""Writes the application icon: kadrimex.svg (scalable), kadrimex-N.png
for the hicolor sizes N, and kadrimex-N@2x.png (2N x 2N) for the window
icon's sizes on screens of device pixel ratio 2, beside itself. Python's standard library only: the
same shapes are written as SVG and rasterised with 4x4 supersampling, the
PNG assembled with zlib.

The picture: a framed landscape (sky, sun, two hills) with a soft band across
it, the blur the editor is about. Coordinates are on a 64x64 grid."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from raster import rounded_rect, write_png  # noqa: E402

OUT = os.path.dirname(os.path.abspath(__file__))
SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
# The sizes the editor's window icon is built from (resources.qrc).
WINDOW_SIZES = [16, 32, 48]
SUB = 4

FRAME = (0x20, 0x20, 0x20)
SKY = (0x9c, 0xc3, 0xf5)
SUN = (0xf2, 0xc2, 0x30)
HILL_BACK = (0x2f, 0x9a, 0x3a)
HILL_FRONT = (0x1f, 0x6f, 0x2a)
BLUR = (0xff, 0xff, 0xff)



def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            (ax, ay), (bx, by) = points[i], points[i - 1]
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                result = not result
        return result
    return inside


def clipped(shape, clip):
    return lambda x, y: clip(x, y) and shape(x, y)


INNER = rounded_rect(6, 6, 58, 58, 4)
HILL1 = [(6, 46), (22, 30), (40, 46), (58, 40), (58, 58), (6, 58)]
HILL2 = [(6, 52), (30, 38), (58, 54), (58, 58), (6, 58)]

# (shape for the raster, SVG element, colour, opacity), painted in order.
LAYERS = [
    (rounded_rect(2, 2, 62, 62, 8), '<rect x="2" y="2" width="60" height="60" rx="8"/>', FRAME, 1.0),
    (INNER, '<rect x="6" y="6" width="52" height="52" rx="4"/>', SKY, 1.0),
    (clipped(circle(42, 20, 8), INNER), '<circle cx="42" cy="20" r="8"/>', SUN, 1.0),
    (clipped(polygon(HILL1), INNER), '<polygon points="%s"/>' % " ".join(f"{x},{y}" for x, y in HILL1),
     HILL_BACK, 1.0),
    (clipped(polygon(HILL2), INNER), '<polygon points="%s"/>' % " ".join(f"{x},{y}" for x, y in HILL2),
     HILL_FRONT, 1.0),
    (clipped(lambda x, y: 24 <= x <= 34, INNER), '<rect x="24" y="6" width="10" height="52"/>',
     BLUR, 0.45),
]


def hexcolour(c):
    return "#%02x%02x%02x" % c


def write_svg():
    body = []
    for _, element, colour, opacity in LAYERS:
        attrs = f' fill="{hexcolour(colour)}"' + (f' fill-opacity="{opacity}"' if opacity < 1 else "")
        body.append(element.replace("/>", attrs + "/>"))
    # The sun, hills and band stay inside the frame's window.
    text = ('<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">\n'
            '<defs><clipPath id="window"><rect x="6" y="6" width="52" height="52" rx="4"/></clipPath></defs>\n'
            + body[0] + "\n" + body[1] + "\n<g clip-path=\"url(#window)\">\n" + "\n".join(body[2:]) + "\n</g>\n</svg>\n")
    with open(os.path.join(OUT, "kadrimex.svg"), "w", encoding="utf-8") as f:
        f.write(text)


def render(size):
    scale = 64.0 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SUB):
                for sx in range(SUB):
                    x = (px + (sx + 0.5) / SUB) * scale
                    y = (py + (sy + 0.5) / SUB) * scale
                    cr = cg = cb = ca = 0.0
                    for shape, _, colour, opacity in LAYERS:
                        if shape(x, y):
                            cr = cr * (1 - opacity) + colour[0] * opacity
                            cg = cg * (1 - opacity) + colour[1] * opacity
                            cb = cb * (1 - opacity) + colour[2] * opacity
                            ca = ca * (1 - opacity) + opacity
                    r, g, b, a = r + cr, g + cg, b + cb, a + ca
            n = SUB * SUB
            alpha = a / n
            if alpha > 0:
                row += bytes([round(r / a), round(g / a), round(b / a), round(alpha * 255)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows



def main():
    write_svg()
    for size in SIZES:
        write_png(os.path.join(OUT, f"kadrimex-{size}.png"), size, render(size))
    for size in WINDOW_SIZES:
        write_png(os.path.join(OUT, f"kadrimex-{size}@2x.png"), 2 * size, render(2 * size))
    print(f"kadrimex.svg, {len(SIZES)} PNG sizes and {len(WINDOW_SIZES)} at twice the size written")


if __name__ == "__main__":
    main()
