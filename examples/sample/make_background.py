#!/usr/bin/env python3
"""Writes background.bmp: a small 24-bit diagonal gradient, the same bytes every time."""
import struct

WIDTH, HEIGHT = 32, 24


def pixel(x, y):
    # Blue to teal from top-left to bottom-right; rows are stored bottom-up.
    t = (x + y) / (WIDTH + HEIGHT - 2)
    return int(40 + 40 * t), int(20 + 120 * t), int(120 + 100 * t)  # r, g, b


def main():
    stride = (WIDTH * 3 + 3) & ~3
    rows = []
    for y in reversed(range(HEIGHT)):
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    with open("background.bmp", "wb") as f:
        f.write(header + info + bits)


if __name__ == "__main__":
    main()
