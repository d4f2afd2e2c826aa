#!/usr/bin/env python3
"""Writes the two hand cursors of the hand tool as 32x32 RGBA PNG files
(HandOpenCursor.png, HandClosedCursor.png) beside itself, and the same hands
drawn at 64x64 for screens of device pixel ratio 2 (HandOpenCursor@2x.png,
HandClosedCursor@2x.png). Python's standard
library only: the shapes are rasterised with 4x4 supersampling and the PNG
is assembled with zlib.

Each hand is a list of shapes painted in order; every shape gets a black
outline one pixel wide and a white fill, so a later shape's outline draws
the line between two fingers. Hot spot of both cursors: (15, 15)."""

import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from raster import rounded_rect, write_png  # noqa: E402

SIZE = 32
SUB = 4
OUT = os.path.dirname(os.path.abspath(__file__))


def capsule(ax, ay, bx, by, r):
    """Inside test of a segment from a to b thickened by r."""
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= r * r
    return inside



def grown(shape, by):
    """The shape grown by `by` pixels (sampled on a small ring)."""
    offsets = [(by * math.cos(a), by * math.sin(a)) for a in [i * math.pi / 8 for i in range(16)]]
    def inside(x, y):
        if shape(x, y):
            return True
        return any(shape(x + ox, y + oy) for ox, oy in offsets)
    return inside


def render(shapes, scale=1):
    """RGBA rows of the hand at `scale` times 32x32: shapes painted in order,
    outline then fill. The shapes stay on the 32x32 grid; a pixel of the
    larger cursor samples a smaller square of it."""
    size = SIZE * scale
    grey = [[0.0] * size for _ in range(size)]   # colour value 0..1
    alpha = [[0.0] * size for _ in range(size)]
    for shape in shapes:
        outline = grown(shape, 1.0)
        for py in range(size):
            for px in range(size):
                out_cov = fill_cov = 0
                for sy in range(SUB):
                    for sx in range(SUB):
                        x = (px + (sx + 0.5) / SUB) / scale
                        y = (py + (sy + 0.5) / SUB) / scale
                        if shape(x, y):
                            fill_cov += 1
                        elif outline(x, y):
                            out_cov += 1
                n = SUB * SUB
                cov = (out_cov + fill_cov) / n
                if cov == 0:
                    continue
                colour = fill_cov / (out_cov + fill_cov)   # white share of the painted part
                # Paint over what is there (source-over with this coverage).
                a0 = alpha[py][px]
                a = cov + a0 * (1 - cov)
                grey[py][px] = (colour * cov + grey[py][px] * a0 * (1 - cov)) / a
                alpha[py][px] = a
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            g = round(grey[py][px] * 255)
            row += bytes((g, g, g, round(alpha[py][px] * 255)))
        rows.append(bytes(row))
    return rows



# Open hand: palm, four spread fingers, thumb out to the left.
OPEN = [
    capsule(8.0, 17.5, 4.5, 13.0, 1.9),      # thumb
    capsule(10.5, 15.0, 10.0, 7.0, 1.7),     # index
    capsule(14.0, 14.0, 14.0, 4.5, 1.7),     # middle
    capsule(17.5, 14.0, 17.8, 5.5, 1.7),     # ring
    capsule(21.0, 15.0, 21.8, 9.0, 1.6),     # little
    rounded_rect(8.5, 13.0, 23.0, 26.5, 4.0),  # palm
]

# Closed hand: the fingers curled over the palm, the thumb tucked in.
CLOSED = [
    rounded_rect(8.5, 12.0, 23.0, 25.5, 4.0),  # palm
    capsule(11.0, 12.5, 11.0, 14.0, 1.8),     # curled index
    capsule(14.5, 12.0, 14.5, 14.0, 1.8),     # curled middle
    capsule(18.0, 12.0, 18.0, 14.0, 1.8),     # curled ring
    capsule(21.2, 12.8, 21.2, 14.5, 1.6),     # curled little
    capsule(9.0, 18.5, 12.5, 16.5, 1.7),      # thumb across
]


def main():
    write_png(os.path.join(OUT, "HandOpenCursor.png"), SIZE, render(OPEN))
    write_png(os.path.join(OUT, "HandClosedCursor.png"), SIZE, render(CLOSED))
    write_png(os.path.join(OUT, "HandOpenCursor@2x.png"), 2 * SIZE, render(OPEN, 2))
    write_png(os.path.join(OUT, "HandClosedCursor@2x.png"), 2 * SIZE, render(CLOSED, 2))
    print("cursors written")


if __name__ == "__main__":
    main()
