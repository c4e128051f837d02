#!/usr/bin/env python3
"""Draws the updater's icon (icon 128): a green disc with a white downward arrow over a bar,
32x32 and 16x16, 32 bits per pixel. Run once; the .ico it writes is committed."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools'))
import icon_file  # noqa: E402


def colour_at(u, v):
    u, v = u - 0.5, v - 0.5
    colour = (0, 0, 0, 0)
    if u * u + v * v < 0.47 * 0.47:
        colour = (60, 150, 30, 255)  # BGRA: green
        shaft = abs(u) < 0.07 and -0.30 < v < 0.08
        head = 0.02 <= v < 0.22 and abs(u) < (0.22 - v) * 1.2
        bar = 0.26 < v < 0.33 and abs(u) < 0.24
        if shaft or head or bar:
            colour = (255, 255, 255, 255)
    return colour


if __name__ == '__main__':
    icon_file.write(sys.argv[1] if len(sys.argv) > 1 else 'updater.ico', colour_at)
