#!/usr/bin/env python3
"""Draws the images of the updater's page: the window background, the progress-bar texture, the
minimise and close buttons, the message box's OK and close buttons and its four icons.

Standard library only; PNG and GIF bytes are written here. Run once; the images it writes are
committed:  python3 make_images.py [OUTPUT_FOLDER]   (default: the img folder beside this file)
"""
import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 650, 150
BAND = 50  # the title band at the top of the window (the drag area)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def hexrgb(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


BAND_TOP, BAND_BOTTOM = hexrgb('#1b4a97'), hexrgb('#2c66b8')
BODY_TOP, BODY_BOTTOM = hexrgb('#b3d3f3'), hexrgb('#3f78c2')
PANEL = (255, 255, 255)


def band_colour(y):
    return mix(BAND_TOP, BAND_BOTTOM, y / (BAND - 1))


# --- shapes as coverage functions (0..1) with 4x4 supersampling ---------------------------------

def coverage(inside, x, y, samples=4):
    hit = 0
    for sy in range(samples):
        for sx in range(samples):
            if inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples):
                hit += 1
    return hit / (samples * samples)


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def strokes(segments, width):
    def inside(x, y):
        return any(seg_dist(x, y, *s) <= width / 2 for s in segments)
    return inside


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) <= r


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return math.hypot(x - cx, y - cy) <= r
    return inside


def question_mark(cx, cy, s):
    """A question mark of height about 2*s: an open hook, a stem and a dot."""
    def inside(x, y):
        hx, hy, hr = cx, cy - 0.45 * s, 0.42 * s
        d = math.hypot(x - hx, y - hy)
        ang = math.degrees(math.atan2(y - hy, x - hx))  # y grows downwards
        on_hook = abs(d - hr) <= 0.13 * s and not (90 < ang < 165)
        stem = seg_dist(x, y, cx, hy + hr, cx, cy + 0.35 * s) <= 0.13 * s
        dot = math.hypot(x - cx, y - (cy + 0.72 * s)) <= 0.16 * s
        return on_hook or stem or dot
    return inside


# --- image buffers -----------------------------------------------------------------------------

class Canvas:
    """RGBA pixels, painted with coverage-weighted colours."""

    def __init__(self, w, h, fill=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[fill for _ in range(w)] for _ in range(h)]

    def paint(self, inside, colour, box=None):
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                c = coverage(inside, x, y)
                if c > 0:
                    self.px[y][x] = over(colour, c, self.px[y][x])


def over(colour, alpha, under):
    """Source-over of an opaque colour with coverage alpha onto an RGBA pixel."""
    ua = under[3] / 255.0
    oa = alpha + ua * (1 - alpha)
    if oa <= 0:
        return (0, 0, 0, 0)
    rgb = tuple(int(round((colour[i] * alpha + under[i] * ua * (1 - alpha)) / oa)) for i in range(3))
    return rgb + (int(round(oa * 255)),)


# --- file writers ------------------------------------------------------------------------------

def png_bytes(canvas):
    raw = b''.join(b'\x00' + bytes(v for p in row for v in p) for row in canvas.px)

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    header = struct.pack('>IIBBBBB', canvas.w, canvas.h, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header)
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def gif_bytes(canvas, backdrop):
    """A GIF89a with one transparent palette entry. Partly covered pixels are blended onto the
    colour the image is shown on (backdrop(x, y)), since GIF has no partial transparency."""
    flat = []
    for y, row in enumerate(canvas.px):
        for x, p in enumerate(row):
            if p[3] < 8:
                flat.append(None)
            else:
                flat.append(mix(backdrop(x, y), p[:3], p[3] / 255.0))
    # Palette: colours rounded to a step that leaves at most 255 of them (entry 0 is transparent).
    step = 1
    while True:
        rounded = [None if c is None else tuple(min(255, (v + step // 2) // step * step) for v in c)
                   for c in flat]
        colours = sorted({c for c in rounded if c is not None})
        if len(colours) <= 255:
            break
        step *= 2
    index = {c: i + 1 for i, c in enumerate(colours)}
    pixels = [0 if c is None else index[c] for c in rounded]
    palette = [(0, 0, 0)] + colours
    palette += [(0, 0, 0)] * (256 - len(palette))

    out = b'GIF89a' + struct.pack('<HHBBB', canvas.w, canvas.h, 0xF7, 0, 0)
    out += b''.join(bytes(c) for c in palette)
    out += b'\x21\xF9\x04\x01\x00\x00\x00\x00'  # graphic control: transparent index 0
    out += b'\x2C' + struct.pack('<HHHHB', 0, 0, canvas.w, canvas.h, 0)
    out += b'\x08' + sub_blocks(lzw_literal(pixels))
    return out + b'\x3B'


def lzw_literal(pixels):
    """GIF LZW data made of literal codes only, with a clear code often enough that the code
    width stays at 9 bits. Larger than real compression, but simple and valid."""
    clear, end = 256, 257
    codes = [clear]
    run = 0
    for p in pixels:
        if run == 250:
            codes.append(clear)
            run = 0
        codes.append(p)
        run += 1
    codes.append(end)
    acc = bits = 0
    data = bytearray()
    for c in codes:
        acc |= c << bits
        bits += 9
        while bits >= 8:
            data.append(acc & 0xff)
            acc >>= 8
            bits -= 8
    if bits:
        data.append(acc & 0xff)
    return bytes(data)


def sub_blocks(data):
    out = b''
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        out += bytes([len(part)]) + part
    return out + b'\x00'


# --- the images --------------------------------------------------------------------------------

def background():
    c = Canvas(WIDTH, HEIGHT)
    for y in range(HEIGHT):
        colour = band_colour(y) if y < BAND else mix(BODY_TOP, BODY_BOTTOM, (y - BAND) / (HEIGHT - BAND - 1))
        for x in range(WIDTH):
            c.px[y][x] = colour + (255,)
    # A light line under the band, and a shield with a check mark at the band's left.
    for x in range(WIDTH):
        c.px[BAND - 1][x] = mix(c.px[BAND - 1][x][:3], (255, 255, 255), 0.35) + (255,)

    def shield(x, y):
        u, v = (x - 16) / 24.0, (y - 10) / 30.0
        half = 0.5 if v < 0.5 else 0.5 * max(0.0, (1.0 - v) / 0.5)
        return 0 <= v <= 1 and abs(u - 0.5) <= half
    c.paint(shield, (255, 255, 255), (14, 8, 42, 42))
    c.paint(strokes([(21, 24, 27, 31), (27, 31, 36, 18)], 3.2), (40, 100, 190), (14, 8, 42, 42))
    return c


def progress_texture():
    """A 20 x 100 tile of diagonal stripes; the page repeats it across the bar."""
    c = Canvas(20, 100)
    light, dark = hexrgb('#1f9d55'), hexrgb('#0b6b3a')
    for y in range(100):
        for x in range(20):
            c.px[y][x] = (light if ((x + y) // 10) % 2 == 0 else dark) + (255,)
    return c


def top_button(kind):
    c = Canvas(18, 18)
    c.paint(rounded_rect(0.5, 0.5, 17.5, 17.5, 3), mix(BAND_TOP, (255, 255, 255), 0.18))
    if kind == 'min':
        c.paint(strokes([(4.5, 12, 13.5, 12)], 2.2), (255, 255, 255))
    else:
        c.paint(strokes([(5, 5, 13, 13), (13, 5, 5, 13)], 2.2), (255, 255, 255))
    return c


def box_button(kind):
    c = Canvas(64, 24)
    fill = hexrgb('#2f6fc4') if kind == 'ok' else hexrgb('#8c96a3')
    c.paint(rounded_rect(0.5, 0.5, 63.5, 23.5, 5), fill)
    if kind == 'ok':
        c.paint(strokes([(24, 12.5, 29.5, 18), (29.5, 18, 40, 6.5)], 3), (255, 255, 255))
    else:
        c.paint(strokes([(26, 6, 38, 18), (38, 6, 26, 18)], 3), (255, 255, 255))
    return c


def icon(kind):
    c = Canvas(40, 40)
    white = (255, 255, 255)
    if kind == 'warning':
        def triangle(x, y):
            # Apex at (20, 3), base from (2, 37) to (38, 37), corners slightly inside the box.
            if y > 37 or y < 3:
                return False
            half = (y - 3) / 34.0 * 18
            return abs(x - 20) <= half
        c.paint(triangle, hexrgb('#f0a30a'))
        c.paint(strokes([(20, 14, 20, 26)], 4), (60, 40, 0))
        c.paint(circle(20, 31.5, 2.4), (60, 40, 0))
        return c
    fill = {'ask': '#2f6fc4', 'error': '#d23c3c', 'success': '#2e9d4f'}[kind]
    c.paint(circle(20, 20, 18.5), hexrgb(fill))
    if kind == 'ask':
        c.paint(question_mark(20, 19, 12), white)
    elif kind == 'error':
        c.paint(strokes([(13, 13, 27, 27), (27, 13, 13, 27)], 4), white)
    else:
        c.paint(strokes([(11, 20.5, 17.5, 27), (17.5, 27, 29.5, 13)], 4), white)
    return c


def main(folder):
    os.makedirs(folder, exist_ok=True)
    on_panel = lambda x, y: PANEL  # noqa: E731  (the message box's white panel)
    on_band = lambda x, y: band_colour(6 + y)  # noqa: E731  (the buttons sit 6 px below the top)
    files = {
        'background.png': png_bytes(background()),
        'processbar.png': png_bytes(progress_texture()),
        'min_normal.gif': gif_bytes(top_button('min'), on_band),
        'close_normal.gif': gif_bytes(top_button('close'), on_band),
        'msgbox_ok.gif': gif_bytes(box_button('ok'), on_panel),
        'msgbox_close.gif': gif_bytes(box_button('close'), on_panel),
        'ask.gif': gif_bytes(icon('ask'), on_panel),
        'error.gif': gif_bytes(icon('error'), on_panel),
        'success.gif': gif_bytes(icon('success'), on_panel),
        'warning.gif': gif_bytes(icon('warning'), on_panel),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'img'))
