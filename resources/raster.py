"""Shared pieces of the scripts that draw our icon and cursors: shape tests
on a continuous grid and a minimal RGBA PNG writer (standard library only)."""

import struct
import zlib


def rounded_rect(x0, y0, x1, y1, r):
    """Inside test of the rectangle (x0, y0)-(x1, y1) with corners of radius r."""
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def write_png(path, size, rows):
    """Writes a size x size 8-bit RGBA PNG; rows are the raw RGBA bytes of each row."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)
