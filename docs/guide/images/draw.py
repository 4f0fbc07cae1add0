#!/usr/bin/env python3
"""Draws the guide's two pictures (a leaf, a contents tree) as small PNG files."""
import struct
import zlib


def write_png(name, width, height, pixel):
    rows = b"".join(
        b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(name, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        f.write(chunk(b"IEND", b""))


def leaf(x, y):
    # An ellipse leaning at 45 degrees with a pale midrib.
    u, v = (x + y - 24) / 2 ** 0.5, (x - y) / 2 ** 0.5
    if abs(u - v * 0) < 1.0 and abs(v) < 0.9 and -10 < u < 10:
        return (200, 235, 190)
    if (u / 11.0) ** 2 + (v / 5.5) ** 2 <= 1.0:
        return (46, 139, 87)
    if x < 6 and y > 18 and abs(x + y - 24) < 1.2:
        return (110, 80, 40)
    return (255, 255, 255)


def tree(x, y):
    # Four rows of a contents tree: boxes with lines and greyed titles.
    row, dy = divmod(y, 16)
    indent = (0, 16, 16, 0)[row]
    if indent + 4 <= x <= indent + 12 and 4 <= dy <= 12:
        edge = x in (indent + 4, indent + 12) or dy in (4, 12)
        return (60, 60, 60) if edge else (250, 250, 250)
    if indent + 18 <= x <= 90 - 6 * row and 7 <= dy <= 9:
        return (120, 120, 160)
    return (255, 255, 255)


write_png("leaf.png", 24, 24, leaf)
write_png("tree.png", 96, 64, tree)
