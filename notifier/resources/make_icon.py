#!/usr/bin/env python3
"""Draws the tray notifier's icon (icon 128): a blue rounded square with a white bell, 32x32 and
16x16, 32 bits per pixel. Run once; the .ico it writes is committed."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools'))
import icon_file  # noqa: E402


def colour_at(u, v):
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
    return colour


if __name__ == '__main__':
    icon_file.write(sys.argv[1] if len(sys.argv) > 1 else 'tray.ico', colour_at)
