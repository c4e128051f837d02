"""Writes a Windows .ico file of 32-bit images drawn by a function of ours.

    import icon_file
    icon_file.write('core.ico', colour_at)
    # colour_at(u, v) -> (B, G, R, A) at a pixel's centre, u and v from 0 to 1, left to right
    # and top down
"""
import struct


def _pixels(colour, size):
    centres = [(i + 0.5) / size for i in range(size)]
    return [[colour(u, v) for u in centres] for v in centres]


def _image(colour, size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b''.join(bytes(c) for row in reversed(_pixels(colour, size)) for c in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b'\x00' * (mask_row * size)  # the alpha channel decides; the mask shows everything
    return header + data + mask


def write(path, colour, sizes=(32, 16)):
    images = [_image(colour, s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)
