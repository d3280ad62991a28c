#!/usr/bin/env python3
"""Converts an uncompressed 24-bit BMP (the Windows window's picture, written by
tests/win32's driver) to PNG. Usage: bmp-to-png.py IN.bmp OUT.png"""
import struct
import sys
import zlib


def main(src, dst):
    data = open(src, 'rb').read()
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from('<iiHHI', data, 18)
    assert bits == 24 and compression == 0, 'a 24-bit BMP without compression'
    stride = (width * 3 + 3) & ~3
    raw = bytearray()
    rows = range(abs(height) - 1, -1, -1) if height > 0 else range(abs(height))
    for y in rows:
        line = data[offset + y * stride: offset + y * stride + width * 3]
        raw.append(0)
        for x in range(0, len(line), 3):
            raw += bytes((line[x + 2], line[x + 1], line[x]))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9))
    png += chunk(b'IEND', b'')
    open(dst, 'wb').write(png)


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
