#!/usr/bin/env python3
"""Draws the pictures of the lamp and clock widgets and writes them as PNG files.

The PNGs are committed next to this script (resources/lamps/, resources/clock/) and
compiled into the program through lamps.qrc and clock.qrc; run this script again after
changing a drawing:  python3 resources/make_widget_pictures.py

Only the standard library is used, so no imaging package is needed.

Lamp pictures (16 colours, indexed PNG), twelve of them, B* with a 3-D frame, N* without:
  * the body is pure green (00FF00) around the picture's centre, with a few white
    highlight pixels near its upper left;
  * a black ring encloses the body, then a silver (C0C0C0) bevel ring, then an outer bevel
    ring of gray (808080) on the upper left and white on the lower right, so the bevel's
    silver never touches the surround;
  * bordered: a one-pixel frame, white along top and left, gray along bottom and right,
    silver inside it in the corners;  not bordered: frame and corners silver, all of it
    connected to the top-left pixel.

Clock faces (24-bit RGB PNG, 100 x 100):
  * BMPCLOCK  - round green face with white numerals on a magenta (FF00FF) surround;
  * MAINFACE  - dark face with white numerals 1 to 12, gray bands at top and bottom.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The sixteen colours of the lamp pictures.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0x80, 0x80, 0x80),
    (0xC0, 0xC0, 0xC0), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, GRAY, SILVER, GREEN, WHITE = 0, 7, 8, 10, 15


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, rows, palette=None):
    """rows: list of lists; palette indices when palette is given, else (r, g, b) tuples."""
    if palette is not None:
        header = struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0)
        raw = b"".join(b"\x00" + bytes(row) for row in rows)
        extra = png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    else:
        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
        raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)
        extra = b""
    data = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------------------------------------
# Lamps

def lamp(width, height, shape, bordered):
    """shape: 'round' or 'rect'. Returns rows of palette indices."""
    img = [[SILVER] * width for _ in range(height)]
    # Lamp area: inset by 2 pixels from every edge.
    left, top, right, bottom = 2, 2, width - 3, height - 3
    cx = (left + right) / 2.0
    cy = (top + bottom) / 2.0

    def band(x, y):
        """0 = outside the lamp, 1 = outer bevel, 2 = silver bevel, 3 = black ring, 4 = body."""
        if shape == "round":
            radius = min(right - left, bottom - top) / 2.0 + 0.5
            d = math.hypot(x - cx, y - cy)
            depth = radius - d  # > 0 inside the lamp
            if depth <= 0:
                return 0
            return min(4, 1 + int(depth))
        # rectangles: depth is the distance in whole pixels from the lamp's edge
        if x < left or x > right or y < top or y > bottom:
            return 0
        depth = min(x - left, right - x, y - top, bottom - y)
        return min(4, 1 + depth)

    for y in range(height):
        for x in range(width):
            b = band(x, y)
            if b == 1:
                upper_left = (x - cx) + (y - cy) < 0
                img[y][x] = GRAY if upper_left else WHITE
            elif b == 2:
                img[y][x] = SILVER
            elif b == 3:
                img[y][x] = BLACK
            elif b == 4:
                img[y][x] = GREEN

    # Highlight: a small white streak in the upper left of the body.
    body = [(x, y) for y in range(height) for x in range(width) if img[y][x] == GREEN]
    bx0 = min(x for x, _ in body)
    by0 = min(y for _, y in body)
    bx1 = max(x for x, _ in body)
    by1 = max(y for _, y in body)
    hx = bx0 + max(1, (bx1 - bx0) // 4)
    hy = by0 + max(1, (by1 - by0) // 4)
    for (x, y) in ((hx, hy), (hx + 1, hy), (hx, hy + 1)):
        if img[y][x] == GREEN and (x, y) != (width // 2, height // 2):
            img[y][x] = WHITE

    if bordered:
        for x in range(width):
            img[0][x] = WHITE
            img[height - 1][x] = GRAY
        for y in range(height):
            img[y][0] = WHITE
            img[y][width - 1] = GRAY
        img[height - 1][0] = GRAY
        img[0][width - 1] = GRAY
    return img


LAMPS = [
    # name suffix, width, height, shape
    ("SM", 16, 16, "round"),
    ("LG", 22, 22, "round"),
    ("SQSM", 16, 16, "rect"),
    ("SQLG", 22, 22, "rect"),
    ("VT", 16, 22, "rect"),
    ("HZ", 22, 16, "rect"),
]


def check_lamp(name, img, width, height):
    """The widget relies on these properties; refuse to write a picture that breaks them."""
    def region(start, colour):
        seen = {start}
        todo = [start]
        while todo:
            x, y = todo.pop()
            for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                if 0 <= nx < width and 0 <= ny < height and (nx, ny) not in seen \
                        and img[ny][nx] == colour:
                    seen.add((nx, ny))
                    todo.append((nx, ny))
        return seen

    centre = (width // 2, height // 2)
    assert img[centre[1]][centre[0]] == GREEN, name + ": centre is not green"
    body = region(centre, GREEN)
    for x, y in body:
        assert 0 < x < width - 1 and 0 < y < height - 1, name + ": body reaches the edge"
    if name.startswith("N"):
        surround = region((0, 0), SILVER)
        bevel = [(x, y) for y in range(height) for x in range(width)
                 if img[y][x] == SILVER and (x, y) not in surround]
        assert bevel, name + ": the bevel's silver joins the surround"
        for x in range(width):
            assert (x, 0) in surround and (x, height - 1) in surround, name + ": frame"


def make_lamps():
    for suffix, w, h, shape in LAMPS:
        for bordered in (True, False):
            name = ("B" if bordered else "N") + suffix
            img = lamp(w, h, shape, bordered)
            check_lamp(name, img, w, h)
            write_png(os.path.join(HERE, "lamps", name + ".png"), w, h, img, PALETTE)


# ---------------------------------------------------------------------------------------------
# Clock faces

# 3 x 5 digit shapes, scaled up when drawn.
DIGITS = {
    "0": ["###", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["###", "..#", "###", "#..", "###"],
    "3": ["###", "..#", ".##", "..#", "###"],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    "5": ["###", "#..", "###", "..#", "###"],
    "6": ["###", "#..", "###", "#.#", "###"],
    "7": ["###", "..#", ".#.", ".#.", ".#."],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "9": ["###", "#.#", "###", "..#", "###"],
}


def draw_text(img, text, cx, cy, colour, scale=2):
    """Draws text centred on (cx, cy)."""
    char_w, gap = 3 * scale, scale
    total_w = len(text) * char_w + (len(text) - 1) * gap
    x0 = int(round(cx - total_w / 2.0))
    y0 = int(round(cy - 5 * scale / 2.0))
    for i, ch in enumerate(text):
        glyph = DIGITS[ch]
        for gy, line in enumerate(glyph):
            for gx, cell in enumerate(line):
                if cell != "#":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        x = x0 + i * (char_w + gap) + gx * scale + dx
                        y = y0 + gy * scale + dy
                        if 0 <= x < len(img[0]) and 0 <= y < len(img):
                            img[y][x] = colour


def clock_face(size, surround, face, rim, numeral, tick, bands=None):
    img = [[surround] * size for _ in range(size)]
    c = (size - 1) / 2.0
    radius = size / 2.0 - 1
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d <= radius:
                img[y][x] = rim if d > radius - 2.5 else face
    if bands is not None:
        band_colour, band_height = bands
        for y in list(range(band_height)) + list(range(size - band_height, size)):
            for x in range(size):
                img[y][x] = band_colour
    # minute ticks
    for m in range(60):
        a = m * 2 * math.pi / 60
        length = 3 if m % 5 == 0 else 1
        for r in range(int(radius - 3 - length), int(radius - 3)):
            x = int(round(c + r * math.sin(a)))
            y = int(round(c - r * math.cos(a)))
            img[y][x] = tick
    for h in range(1, 13):
        a = h * 2 * math.pi / 12
        r = radius - 13
        draw_text(img, str(h), c + r * math.sin(a), c - r * math.cos(a) + 0.5, numeral)
    return img


def make_clocks():
    builtin = clock_face(100, surround=(0xFF, 0x00, 0xFF), face=(0x00, 0x80, 0x00),
                         rim=(0x00, 0x50, 0x00), numeral=(0xFF, 0xFF, 0xFF),
                         tick=(0xE0, 0xE0, 0xE0))
    write_png(os.path.join(HERE, "clock", "BMPCLOCK.png"), 100, 100, builtin)
    main = clock_face(100, surround=(0x10, 0x10, 0x28), face=(0x18, 0x18, 0x20),
                      rim=(0x50, 0x50, 0x60), numeral=(0xFF, 0xFF, 0xFF),
                      tick=(0xB0, 0xB0, 0xB0), bands=((0x80, 0x80, 0x80), 6))
    write_png(os.path.join(HERE, "clock", "MAINFACE.png"), 100, 100, main)


if __name__ == "__main__":
    make_lamps()
    make_clocks()
