#!/usr/bin/env python3
"""Turns an ASCII-art picture (32 x 32, one character per pixel) into a one-image
16-colour .ico file.

    make_icon.py PICTURE.txt OUTPUT.ico

Lines starting with '#' are comments. Every other line is a row of pixels, top row first.
'.' is transparent; the other characters name the standard 16 colours (see PALETTE).
"""
import struct
import sys

SIZE = 32

# The standard 16-colour palette, in its usual index order, as (red, green, blue).
PALETTE = [
    ("K", (0, 0, 0)), ("r", (128, 0, 0)), ("g", (0, 128, 0)), ("y", (128, 128, 0)),
    ("b", (0, 0, 128)), ("m", (128, 0, 128)), ("c", (0, 128, 128)), ("S", (192, 192, 192)),
    ("D", (128, 128, 128)), ("R", (255, 0, 0)), ("G", (0, 255, 0)), ("Y", (255, 255, 0)),
    ("B", (0, 0, 255)), ("M", (255, 0, 255)), ("C", (0, 255, 255)), ("W", (255, 255, 255)),
]
INDEX = {name: i for i, (name, _) in enumerate(PALETTE)}
TRANSPARENT = "."


def read_picture(path):
    with open(path, encoding="utf-8") as f:
        rows = [line.rstrip("\n") for line in f if not line.startswith("#")]
    rows = [r for r in rows if r]
    if len(rows) != SIZE or any(len(r) != SIZE for r in rows):
        sys.exit(f"{path}: need {SIZE} rows of {SIZE} characters")
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != TRANSPARENT and ch not in INDEX:
                sys.exit(f"{path}: row {y + 1}, column {x + 1}: unknown colour '{ch}'")
    return rows


def build_ico(rows):
    # Colour image: 4 bits per pixel, rows bottom-up, each row 16 bytes (a multiple of 4).
    xor = bytearray()
    for row in reversed(rows):
        for x in range(0, SIZE, 2):
            hi = INDEX.get(row[x], 0)
            lo = INDEX.get(row[x + 1], 0)
            xor.append(hi << 4 | lo)
    # Transparency mask: 1 bit per pixel, set where transparent, rows of 4 bytes, bottom-up.
    mask = bytearray()
    for row in reversed(rows):
        bits = 0
        for ch in row:
            bits = bits << 1 | (ch == TRANSPARENT)
        mask += struct.pack(">I", bits)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    # The info header's height counts the colour image and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_icon.py PICTURE.txt OUTPUT.ico")
    data = build_ico(read_picture(sys.argv[1]))
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
