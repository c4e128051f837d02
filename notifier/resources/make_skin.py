#!/usr/bin/env python3
"""Draws the toast's skin (bitmap 130): 248 x 160 pixels, 24 bits per pixel, a light panel with a
blue title band and a thin frame. Run once; the .bmp it writes is committed."""
import struct
import sys

WIDTH, HEIGHT = 248, 160


def colour(x, y):
    if x in (0, WIDTH - 1) or y in (0, HEIGHT - 1):
        return (140, 80, 30)  # BGR frame
    if y < 24:
        shade = 220 - y * 3
        return (shade, shade // 2 + 40, 30)  # title band, darker downwards
    return (250, 246, 240)  # panel


def main(path):
    row_bytes = (WIDTH * 3 + 3) // 4 * 4
    pixels = b''
    for y in reversed(range(HEIGHT)):  # bottom-up rows
        row = b''.join(bytes(colour(x, y)) for x in range(WIDTH))
        pixels += row + b'\x00' * (row_bytes - len(row))
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'skin.bmp')
