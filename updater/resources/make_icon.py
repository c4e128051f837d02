#!/usr/bin/env python3
"""Draws the updater's icon (icon 128): a green disc with a white downward arrow over a bar,
32x32 and 16x16, 32 bits per pixel. Run once; the .ico it writes is committed."""
import struct
import sys


def pixels(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u = (x + 0.5) / size - 0.5
            v = (y + 0.5) / size - 0.5
            colour = (0, 0, 0, 0)
            if u * u + v * v < 0.47 * 0.47:
                colour = (60, 150, 30, 255)  # BGRA: green
                shaft = abs(u) < 0.07 and -0.30 < v < 0.08
                head = 0.02 <= v < 0.22 and abs(u) < (0.22 - v) * 1.2
                bar = 0.26 < v < 0.33 and abs(u) < 0.24
                if shaft or head or bar:
                    colour = (255, 255, 255, 255)
            row.append(colour)
        rows.append(row)
    return rows


def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b''.join(bytes(c) for row in reversed(pixels(size)) for c in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b'\x00' * (mask_row * size)
    return header + data + mask


def main(path):
    sizes = [32, 16]
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'updater.ico')
