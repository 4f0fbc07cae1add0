#!/usr/bin/env python3
"""Draws Leafwise's pictures: the splash bitmap, the three icons, and the leaf
for the Linux desktop as a scalable SVG and PNGs of the theme's sizes.

Run from anywhere: python3 res/artwork.py. It rewrites splash.bmp, leafwise.ico,
book.ico and folder.ico beside this script, and desktop/icons/ beside res/. Plain Python, no imaging library: the
output is byte-for-byte the same on every machine, so the committed files can be
checked against it.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- shapes -------------------------------------------------------------------------


def in_leaf(x, y, cx, cy, length, width, angle):
    """True when (x, y) lies inside a leaf: two circular arcs meeting at the tips."""
    c, s = math.cos(angle), math.sin(angle)
    u = (x - cx) * c + (y - cy) * s      # along the midrib
    v = -(x - cx) * s + (y - cy) * c     # across it
    half = length / 2
    if abs(u) > half:
        return False
    return abs(v) <= width / 2 * (1 - (u / half) ** 2)


def near_midrib(x, y, cx, cy, length, angle, thickness):
    c, s = math.cos(angle), math.sin(angle)
    u = (x - cx) * c + (y - cy) * s
    v = -(x - cx) * s + (y - cy) * c
    return abs(u) <= length / 2 and abs(v) <= thickness / 2


# A 5 x 7 pixel alphabet, just the letters the splash spells.
GLYPHS = {
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "f": ["00110", "01001", "01000", "11100", "01000", "01000", "01000"],
    "w": ["00000", "00000", "10001", "10001", "10101", "10101", "01010"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "s": ["00000", "00000", "01111", "10000", "01110", "00001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    " ": ["00000"] * 7,
}


def text_pixels(text, scale, spacing):
    """The set of lit pixels of `text`, from (0, 0)."""
    lit = set()
    x0 = 0
    for ch in text:
        rows = GLYPHS[ch]
        for gy, row in enumerate(rows):
            for gx, bit in enumerate(row):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            lit.add((x0 + gx * scale + dx, gy * scale + dy))
        x0 += 5 * scale + spacing
    return lit


# ---- the splash: 155 x 48, 24 bits ------------------------------------------------------

WIDTH, HEIGHT = 155, 48
PAPER = (0xF3, 0xF8, 0xEE)
BORDER = (0x5A, 0x8F, 0x3C)
LEAF = (0x4C, 0xA3, 0x3A)
LEAF_LIGHT = (0x8C, 0xCF, 0x6A)
RIB = (0x2E, 0x6B, 0x22)
INK = (0x24, 0x4F, 0x1C)
SUBTLE = (0x6E, 0x8A, 0x62)


def splash():
    title = text_pixels("Leafwise", 2, 2)
    subtitle = text_pixels("CHM READER", 1, 1)
    angle = -math.pi / 4
    pixels = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            colour = PAPER
            if x in (0, WIDTH - 1) or y in (0, HEIGHT - 1):
                colour = BORDER
            elif in_leaf(x, y, 23, 23, 36, 18, angle):
                colour = LEAF_LIGHT if (x + y) < 44 and in_leaf(x + 2, y + 2, 23, 23, 36, 12, angle) else LEAF
                if near_midrib(x, y, 23, 23, 32, angle, 1.6):
                    colour = RIB
            elif near_midrib(x, y, 8, 38, 8, angle, 1.6):
                colour = RIB   # the stalk
            elif (x - 48, y - 10) in title:
                colour = INK
            elif (x - 49, y - 31) in subtitle:
                colour = SUBTLE
            row.append(colour)
        pixels.append(row)
    return pixels


def write_bmp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    bits = bytearray()
    for row in reversed(pixels):           # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        bits += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + bits)


# ---- icons: 16 colours ------------------------------------------------------------------

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, GREEN, OLIVE, NAVY, SILVER, GRAY, LIME, YELLOW, BLUE, WHITE = 0, 2, 3, 4, 7, 8, 10, 11, 12, 15
CLEAR = None


def leaf_icon(size):
    k = size / 32
    angle = -math.pi / 4
    img = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            if in_leaf(px, py, 17 * k, 15 * k, 28 * k, 15 * k, angle):
                colour = LIME if in_leaf(px + 2 * k, py + 2 * k, 17 * k, 15 * k, 24 * k, 8 * k, angle) and px + py < 32 * k else GREEN
                if size >= 32 and near_midrib(px, py, 17 * k, 15 * k, 24 * k, angle, 1.5):
                    colour = OLIVE
                if not in_leaf(px, py, 17 * k, 15 * k, 28 * k - 2.2, 15 * k - 2.2, angle):
                    colour = OLIVE if size >= 32 else GREEN
            elif near_midrib(px, py, 5 * k, 27 * k, 7 * k, angle, 1.8 * max(k, 0.6)):
                colour = OLIVE
            else:
                colour = CLEAR
            row.append(colour)
        img.append(row)
    return img


def document_icon():
    """A help page: white sheet, folded corner, a blue question mark."""
    question = ["0110", "1001", "0001", "0010", "0100", "0000", "0100"]
    img = [[CLEAR] * 16 for _ in range(16)]
    for y in range(1, 15):
        for x in range(3, 13):
            edge = x in (3, 12) or y in (1, 14)
            img[y][x] = BLACK if edge else WHITE
    for i in range(4):                     # the folded corner
        for x in range(12 - i, 13):
            img[1 + i][x] = CLEAR if x > 12 - i else BLACK
        img[4][9 + i] = BLACK
        img[1 + i][9] = BLACK
    for i in range(1, 4):
        for x in range(10, 9 + i):
            img[1 + i][x] = SILVER
    for gy, line in enumerate(question):
        for gx, bit in enumerate(line):
            if bit == "1":
                img[5 + gy][6 + gx] = BLUE
    return img


def folder_icon():
    img = [[CLEAR] * 16 for _ in range(16)]
    for y in range(3, 14):
        for x in range(1, 15):
            if y < 5 and x > 6:
                continue                   # the tab is only on the left
            edge = x in (1, 14) or y in (3, 13) or (y == 5 and x > 6)
            img[y][x] = OLIVE if edge else YELLOW
    for x in range(2, 14):                 # the front flap's top line
        img[6][x] = OLIVE
    return img


def icon_image(img):
    size = len(img)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor_bits = bytearray()
    and_bits = bytearray()
    for row in reversed(img):
        line = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is CLEAR else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                mask[x // 8] |= 0x80 >> (x % 8)
        xor_bits += line
        and_bits += mask
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor_bits) + len(and_bits), 0, 0, 16, 0)
    return info + palette + xor_bits + and_bits


def write_ico(path, images):
    count = len(images)
    out = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    blobs = []
    for img in images:
        blob = icon_image(img)
        size = len(img)
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


# ---- the desktop's icon: the splash's leaf, drawn on a 256-unit canvas ------------------
# Each PNG is rendered from the shapes below at its own size (4 x 4 samples a pixel),
# with lines kept at least a pixel wide, so the small sizes stay crisp instead of
# being a large picture scaled down or a small one scaled up.

DESKTOP_SIZES = (16, 24, 32, 48, 64, 128, 256)
CENTRE = (149, 108)               # of the leaf; its midrib runs at -45 degrees
LENGTH, BREADTH = 224, 120
HIGHLIGHT = ((133, 92), 192, 64)  # centre, length, breadth; only left of the midrib
STALK = (-164, -108)              # from and to, along the midrib from the centre


def rotated(x, y, centre):
    """(x, y) in the leaf's frame: u along the midrib, v across it."""
    c = s = math.sqrt(0.5)        # the midrib points up and to the right
    dx, dy = x - centre[0], y - centre[1]
    return dx * c - dy * s, dx * s + dy * c


def in_lens(u, v, length, breadth):
    half = length / 2
    return abs(u) <= half and abs(v) <= breadth / 2 * (1 - (u / half) ** 2)


def desktop_colour(x, y, unit):
    """The colour at canvas point (x, y), None outside; `unit` is a pixel in canvas units."""
    border = max(6, unit)
    rib = max(7, unit)
    stalk = max(14, 1.5 * unit)
    u, v = rotated(x, y, CENTRE)
    if in_lens(u, v, LENGTH, BREADTH):
        if not in_lens(u, v, LENGTH - 2 * border, BREADTH - 2 * border):
            return RIB
        if abs(v) <= rib / 2 and abs(u) <= LENGTH / 2 - 16:
            return RIB
        hu, hv = rotated(x, y, HIGHLIGHT[0])
        if v < 0 and in_lens(hu, hv, HIGHLIGHT[1], HIGHLIGHT[2]):
            return LEAF_LIGHT
        return LEAF
    if STALK[0] <= u <= STALK[1] and abs(v) <= stalk / 2:
        return RIB
    return None


def desktop_png(size):
    unit = 256 / size
    samples = 4
    rows = []
    for py in range(size):
        row = bytearray([0])          # filter: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    colour = desktop_colour((px + (sx + 0.5) / samples) * unit,
                                            (py + (sy + 0.5) / samples) * unit, unit)
                    if colour:
                        r, g, b, a = r + colour[0], g + colour[1], b + colour[2], a + 1
            n = samples * samples
            row += bytes((r // a, g // a, b // a, 255 * a // n)) if a else bytes(4)
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def hex_colour(colour):
    return "#%02x%02x%02x" % colour


def desktop_svg():
    """The same shapes as desktop_colour, at their canvas sizes."""
    (cx, cy), (hx, hy) = CENTRE, HIGHLIGHT[0]

    def lens(x, y, length, breadth, colour, extra=""):
        half = length / 2
        return ('<path%s fill="%s" d="M%g %gQ%g %g %g %gQ%g %g %g %gZ"/>' %
                (extra, hex_colour(colour), x - half, y, x, y - breadth, x + half, y, x, y + breadth, x - half, y))
    turn = ' transform="rotate(-45 %g %g)"'
    return "\n".join([
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        # The highlight stays inside the leaf's border, on the left of the midrib.
        '<clipPath id="inner">' + lens(cx, cy, LENGTH - 12, BREADTH - 12, LEAF, turn % (cx, cy)) + '</clipPath>',
        '<clipPath id="upper"><path d="M0 0H%gL0 %gZ"/></clipPath>' % (cx + cy, cx + cy),
        '<g%s>' % (turn % (cx, cy)),
        '<rect fill="%s" x="%g" y="%g" width="%g" height="14"/>' % (hex_colour(RIB), cx + STALK[0], cy - 7,
                                                                    STALK[1] - STALK[0]),
        lens(cx, cy, LENGTH, BREADTH, RIB),
        lens(cx, cy, LENGTH - 12, BREADTH - 12, LEAF),
        '</g>',
        '<g clip-path="url(#inner)"><g clip-path="url(#upper)">',
        lens(hx, hy, HIGHLIGHT[1], HIGHLIGHT[2], LEAF_LIGHT, turn % (hx, hy)),
        '</g></g>',
        '<rect%s fill="%s" x="%g" y="%g" width="%g" height="7"/>' % (turn % (cx, cy), hex_colour(RIB),
                                                                     cx - LENGTH / 2 + 16, cy - 3.5, LENGTH - 32),
        '</svg>',
        ""])


def write_desktop_icons(folder):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "leafwise.svg"), "w") as f:
        f.write(desktop_svg())
    for size in DESKTOP_SIZES:
        with open(os.path.join(folder, "leafwise-%d.png" % size), "wb") as f:
            f.write(desktop_png(size))


def main():
    write_bmp(os.path.join(HERE, "splash.bmp"), splash())
    write_ico(os.path.join(HERE, "leafwise.ico"), [leaf_icon(32), leaf_icon(16)])
    write_ico(os.path.join(HERE, "book.ico"), [document_icon()])
    write_ico(os.path.join(HERE, "folder.ico"), [folder_icon()])
    write_desktop_icons(os.path.join(HERE, "..", "desktop", "icons"))


if __name__ == "__main__":
    main()
