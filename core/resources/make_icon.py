#!/usr/bin/env python3
"""Draws the core host's icon (icon 128): a blue shield with a white check mark, 32x32 and
16x16, 32 bits per pixel. Run once; the .ico it writes is committed."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools'))
import icon_file  # noqa: E402


def colour_at(u, v):
    # Shield: straight top half, narrowing to a point at the bottom.
    half = 0.42 if v < 0.55 else 0.42 * max(0.0, (1.0 - v) / 0.45)
    inside = 0.08 < v < 0.97 and abs(u - 0.5) < half
    colour = (0, 0, 0, 0)
    if inside:
        colour = (200, 90, 20, 255)  # BGRA: a bank blue
        # Check mark: two strokes.
        d1 = abs((v - 0.55) - (u - 0.30)) if 0.28 < u < 0.46 else 9
        d2 = abs((v - 0.73) + (u - 0.46) * 1.4) if 0.44 < u < 0.74 else 9
        if min(d1, d2) < 0.07:
            colour = (255, 255, 255, 255)
    return colour


if __name__ == '__main__':
    icon_file.write(sys.argv[1] if len(sys.argv) > 1 else 'core.ico', colour_at)
