#!/usr/bin/env python3
"""Draws the tray notifier's icon (icon 128): a blue rounded square with a white bell, 32x32 and
16x16, 32 bits per pixel. Run once; the .ico it writes is committed."""
import struct
import sys


def pixels(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u = (x + 0.5) / size
            v = (y + 0.5) / size
            colour = (0, 0, 0, 0)
            # Rounded square background.
            dx = max(abs(u - 0.5) - 0.32, 0.0)
            dy = max(abs(v - 0.5) - 0.32, 0.0)
            if dx * dx + dy * dy < 0.15 * 0.15:
                colour = (200, 90, 20, 255)  # BGRA: the product's blue
                # Bell: a dome narrowing upwards, a rim and a clapper.
                if 0.25 < v < 0.68:
                    half = 0.10 + 0.18 * (v - 0.25) / 0.43
                    if abs(u - 0.5) < half:
                        colour = (255, 255, 255, 255)
                if 0.66 < v < 0.72 and abs(u - 0.5) < 0.32:
                    colour = (255, 255, 255, 255)
                if (u - 0.5) ** 2 + (v - 0.78) ** 2 < 0.06 ** 2:
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
    main(sys.argv[1] if len(sys.argv) > 1 else 'tray.ico')
