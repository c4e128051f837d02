"""Writes a Windows .ico file of 32-bit images drawn by a function of ours.

    import icon_file
    icon_file.write('core.ico', pixels)   # pixels(size) -> rows of (B, G, R, A) tuples, top first
"""
import struct


def _image(pixels, size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b''.join(bytes(c) for row in reversed(pixels(size)) for c in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b'\x00' * (mask_row * size)  # the alpha channel decides; the mask shows everything
    return header + data + mask


def write(path, pixels, sizes=(32, 16)):
    images = [_image(pixels, s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)
