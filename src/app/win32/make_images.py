#!/usr/bin/env python3
"""Writes the Windows window's images from the PNG files in src/app/images (draw.py):
mdbcheck.ico (the open book, 16 x 16 and 32 x 32, 32-bit with an AND mask) and toolbar.bmp
(the four toolbar images side by side, 24-bit, on their light-grey background, which the
toolbar's image list masks out). Both are committed; run this again after draw.py."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, '..', 'images')


def read_png(path):
    """(width, height, rows of (r, g, b, a)) of an 8-bit RGB or RGBA PNG without interlace."""
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', path
    pos, idat = 8, b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, color, _, _, interlace = struct.unpack('>IIBBBBB', body)
            assert depth == 8 and color in (2, 6) and interlace == 0, path
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    bpp = 4 if color == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([tuple(line[x * bpp:x * bpp + 3]) + ((line[x * bpp + 3],) if bpp == 4 else (255,))
                     for x in range(width)])
        prev = line
    return width, height, rows


def icon_entry(width, height, rows):
    """A DIB for an icon: BITMAPINFOHEADER (double height), BGRA bottom-up, then the AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, width, 2 * height, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + mask


def write_ico(path, images):
    entries = [icon_entry(*image) for image in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (width, height, _), entry in zip(images, entries):
        out += struct.pack('<BBBBHHII', width % 256, height % 256, 0, 0, 1, 32, len(entry), offset)
        offset += len(entry)
    with open(path, 'wb') as f:
        f.write(out + b''.join(entries))


def write_bmp(path, images):
    height = images[0][1]
    rows = [sum((image[2][y] for image in images), []) for y in range(height)]
    width = len(rows[0])
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


def main():
    write_ico(os.path.join(HERE, 'mdbcheck.ico'),
              [read_png(os.path.join(IMAGES, 'book%d.png' % size)) for size in (16, 32)])
    write_bmp(os.path.join(HERE, 'toolbar.bmp'),
              [read_png(os.path.join(IMAGES, 'toolbar%d.png' % i)) for i in range(1, 5)])


if __name__ == '__main__':
    main()
