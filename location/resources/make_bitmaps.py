#!/usr/bin/env python3
"""Draws the site program's bitmaps and writes them as PNG files named by
resource identifier: the dialog backgrounds (by day, by night and on the
desktop), the main dialog's pressed button faces, and the secondary pages'
button faces, which also serve as those pages' backgrounds.

Usage: make_bitmaps.py OUTPUT_DIR

Everything is computed from fixed numbers (no randomness, no fonts), so the
same script always writes the same files."""

import math
import os
import struct
import sys
import zlib


class Image:
    def __init__(self, width, height, colour):
        self.width = width
        self.height = height
        self.pixels = [list(colour) * width for _ in range(height)]

    def put(self, x, y, colour, alpha=1.0):
        if 0 <= x < self.width and 0 <= y < self.height:
            row = self.pixels[y]
            for c in range(3):
                row[3 * x + c] = round(row[3 * x + c] * (1 - alpha) + colour[c] * alpha)

    def png(self):
        raw = b"".join(b"\x00" + bytes(row) for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def gradient(image, top, bottom):
    for y in range(image.height):
        colour = mix(top, bottom, y / max(1, image.height - 1))
        for x in range(image.width):
            image.put(x, y, colour)


def rounded_box(image, x0, y0, x1, y1, radius, fill, border, alpha=1.0):
    """A filled box with rounded corners and a one-pixel border."""
    for y in range(y0, y1):
        for x in range(x0, x1):
            dx = max(x0 + radius - x, 0, x - (x1 - 1 - radius))
            dy = max(y0 + radius - y, 0, y - (y1 - 1 - radius))
            distance = (dx * dx + dy * dy) ** 0.5
            if distance > radius:
                continue
            edge = (x in (x0, x1 - 1) or y in (y0, y1 - 1) or distance > radius - 1.2)
            image.put(x, y, border if edge else fill, alpha)


def stars(image, count, colour, seed):
    """Faint dots in a fixed pseudo-random pattern."""
    state = seed
    for _ in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        x = state % image.width
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        y = state % image.height
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        image.put(x, y, colour, 0.25 + (state % 50) / 100)


def hills(image, colour, base, amplitude):
    """A low horizon along the bottom edge."""
    for x in range(image.width):
        wave = amplitude * (0.55 + 0.3 * math.sin(x / 23.0) + 0.15 * math.cos(x / 9.0))
        for y in range(int(image.height - base - wave), image.height):
            image.put(x, y, colour, 0.35)


def background(width, height, top, bottom, panel, border, star, ground):
    image = Image(width, height, top)
    gradient(image, top, bottom)
    stars(image, 90, star, 7 + width + height)
    hills(image, ground, height // 9, height // 12)
    # Panels behind the three rows of fields, on the 320 x 220 design grid.
    scale = height / 220
    for row in (48, 88, 128):
        y = int((row - 5) * scale)
        rounded_box(image, 4, y, 262, y + int(32 * scale), 6, panel, border, 0.55)
    # The buttons' released look: the main dialog's buttons are drawn as the
    # part of this picture under them.
    rounded_box(image, 1, 5, 39, 35, 5, panel, border, 0.8)  # back, not scaled
    for x, y, w, h in ((270, 44, 46, 40), (270, 112, 46, 40), (6, 172, 98, 38),
                       (111, 172, 98, 38), (216, 172, 98, 38)):
        rounded_box(image, x, int(y * scale), x + w, int((y + h) * scale), 7, panel, border, 0.85)
    return image


def face(width, height, top, bottom, border):
    image = Image(width, height, top)
    gradient(image, top, bottom)
    rounded_box(image, 0, 0, width, height, 8, bottom, border, 0.0)
    for y in range(height):
        for x in range(width):
            if x in (0, width - 1) or y in (0, height - 1):
                image.put(x, y, border)
    return image


def page(width, height, top, bottom, border, accent):
    image = face(width, height, top, bottom, border)
    rounded_box(image, 3, 3, width - 3, height - 3, 10, bottom, accent, 0.25)
    return image


BITMAPS = {
    # Backgrounds: desktop, embedded by night, embedded by day.
    131: lambda: background(320, 220, (150, 172, 146), (222, 230, 214), (236, 242, 232),
                            (120, 140, 116), (255, 255, 255), (96, 120, 92)),
    146: lambda: background(320, 240, (92, 40, 34), (168, 104, 92), (200, 150, 136),
                            (110, 50, 40), (230, 170, 150), (60, 20, 16)),
    171: lambda: background(320, 240, (150, 140, 220), (226, 222, 255), (238, 236, 255),
                            (110, 100, 180), (255, 255, 255), (90, 80, 150)),
    # The main dialog's buttons while pressed.
    132: lambda: face(64, 32, (84, 110, 80), (48, 70, 46), (30, 44, 28)),
    147: lambda: face(64, 32, (100, 30, 24), (60, 14, 10), (40, 8, 6)),
    172: lambda: face(64, 32, (96, 84, 170), (60, 50, 130), (40, 32, 96)),
    # The picker's and the GPS page's buttons, released and pressed; the
    # released face is also the page's background.
    144: lambda: page(292, 188, (238, 243, 234), (214, 226, 208), (120, 140, 116), (150, 172, 146)),
    145: lambda: page(292, 188, (184, 204, 176), (160, 184, 152), (96, 120, 92), (120, 140, 116)),
    148: lambda: page(292, 188, (196, 140, 126), (170, 112, 98), (110, 50, 40), (140, 70, 60)),
    149: lambda: page(292, 188, (160, 100, 88), (136, 80, 68), (90, 36, 28), (110, 50, 40)),
    173: lambda: page(292, 188, (240, 238, 255), (220, 216, 252), (110, 100, 180), (150, 140, 220)),
    174: lambda: page(292, 188, (196, 190, 244), (172, 164, 232), (90, 80, 150), (110, 100, 180)),
}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for identifier, draw in sorted(BITMAPS.items()):
        with open(os.path.join(out, f"{identifier}.png"), "wb") as file:
            file.write(draw().png())


if __name__ == "__main__":
    main()
