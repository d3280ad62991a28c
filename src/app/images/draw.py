#!/usr/bin/env python3
"""Draws the toolbar images and the window icon as 16-colour pixel art and writes them as
PNG files beside this script. Toolbar images keep the light-grey background (C0C0C0) that
the window turns transparent; the window icon is transparent itself."""
import os
import struct
import zlib

PALETTE = {
    'k': (0x00, 0x00, 0x00), 'm': (0x80, 0x00, 0x00), 'G': (0x00, 0x80, 0x00),
    'o': (0x80, 0x80, 0x00), 'n': (0x00, 0x00, 0x80), 'p': (0x80, 0x00, 0x80),
    't': (0x00, 0x80, 0x80), 'g': (0x80, 0x80, 0x80), '.': (0xC0, 0xC0, 0xC0),
    'r': (0xFF, 0x00, 0x00), 'l': (0x00, 0xFF, 0x00), 'y': (0xFF, 0xFF, 0x00),
    'b': (0x00, 0x00, 0xFF), 'f': (0xFF, 0x00, 0xFF), 'c': (0x00, 0xFF, 0xFF),
    'w': (0xFF, 0xFF, 0xFF),
}


def write_png(path, rows, transparent_background):
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        assert len(row) == width, (path, row)
        raw.append(0)
        for ch in row:
            r, g, b = PALETTE[ch]
            if transparent_background:
                raw += bytes((r, g, b, 0 if ch == '.' else 255))
            else:
                raw += bytes((r, g, b))

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    color_type = 6 if transparent_background else 2
    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, color_type, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9))
    png += chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


# 1: an open folder with an arrow.
OPEN = [
    "................",
    "..........kkk...",
    ".........k...k..",
    "........k.....k.",
    ".kkkk.........k.",
    "kwyyyk.......kkk",
    "kyyyyykkkkkk..k.",
    "kywyyyyyyyyk....",
    "kyyyyyyyyyyk....",
    "kywykkkkkkkkkkkk",
    "kyyykoooooooook.",
    "kyykoooooooook..",
    "kykoooooooook...",
    "kkoooooooook....",
    "kkkkkkkkkkk.....",
    "................",
]

# 2: a calendar page with two rings, a red header and a grid of days.
CALENDAR = [
    "....k.....k.....",
    ".kkkkkkkkkkkkk..",
    ".krrrgrrrrgrrkg.",
    ".krrrrrrrrrrrkg.",
    ".krrrrrrrrrrrkg.",
    ".kkkkkkkkkkkkkg.",
    ".kwwgwwgwwgwwkg.",
    ".kwwgwwgwwgwwkg.",
    ".kggggggggggggg.",
    ".kwwgwwgrrgwwkg.",
    ".kwwgwwgrrgwwkg.",
    ".kggggggggggggg.",
    ".kwwgwwgwwgwwkg.",
    ".kwwgwwgwwgwwkg.",
    ".kkkkkkkkkkkkkg.",
    "..gggggggggggggg",
]

# 3: the letters ABC with a tick.
ABC = [
    "................",
    ".nn..nnn...nnn..",
    "n..n.n..n.n...n.",
    "n..n.n..n.n.....",
    "nnnn.nnn..n.....",
    "n..n.n..n.n.....",
    "n..n.n..n.n...n.",
    "n..n.nnn...nnn..",
    "..............GG",
    ".............GG.",
    "............GG..",
    "..GG.......GG...",
    "...GG.....GG....",
    "....GG...GG.....",
    ".....GG.GG......",
    "......GGG.......",
]

# 4: a question mark.
HELP = [
    "................",
    "................",
    "......nnnn......",
    "....nnnnnnnn....",
    "...nnn....nnn...",
    "...nnn....nnn...",
    "..........nnn...",
    ".........nnn....",
    "........nnn.....",
    ".......nnn......",
    ".......nnn......",
    "................",
    ".......nnn......",
    ".......nnn......",
    "................",
    "................",
]

# The window icon at 16 pixels: an open book on its navy cover.
BOOK16 = [
    "................",
    "................",
    ".kkkk......kkkk.",
    ".kwwwkk..kkwwwk.",
    "nkwwwwwkkwwwwwkn",
    "nkwgggwkkwgggwkn",
    "nkwwwwwkkwwwwwkn",
    "nkwgggwkkwgggwkn",
    "nkwwwwwkkwwwwwkn",
    "nkwgggwkkwgggwkn",
    "nkwwwwwkkwwwwwkn",
    "nkwgggwkkwgggwkn",
    "nkwwwwwkkwwwwwkn",
    "nkkkkwwkkwwkkkkn",
    "nnnnnkkkkkknnnnn",
    "................",
]


def book(size):
    """An open book seen from the front: two white pages sagging towards the spine, with
    lines of text, on a navy cover."""
    s = size / 16.0
    grid = [['.'] * size for _ in range(size)]
    mid = size // 2

    def top(x):  # the pages' upper edge, highest at the outer corners
        d = abs(x + 0.5 - size / 2) / (size / 2)
        return round((2 + 2.5 * (1 - d)) * s)

    def bottom(x):
        d = abs(x + 0.5 - size / 2) / (size / 2)
        return round((11 + 2.5 * (1 - d)) * s)

    # the cover, one step wider and lower than the pages
    for x in range(size):
        for y in range(top(x) + round(2 * s), min(size, bottom(x) + round(2 * s))):
            grid[y][x] = 'n'
    for x in range(size):
        y = min(size - 1, bottom(x) + round(2 * s) - 1)
        grid[y][x] = 'k'
    # the pages
    margin = max(1, round(0.5 * s))
    for x in range(margin, size - margin):
        t, b = top(x), bottom(x)
        for y in range(t, b + 1):
            grid[y][x] = 'w'
        grid[t][x] = 'k'
        grid[b][x] = 'k'
        if x < size - margin - 1 and x > margin:
            grid[b + 1][x] = 'g'  # the page block's edge
    for y in range(top(margin), bottom(margin) + 1):
        grid[y][margin] = 'k'
    for y in range(top(size - margin - 1), bottom(size - margin - 1) + 1):
        grid[y][size - margin - 1] = 'k'
    # the spine
    for y in range(top(mid), bottom(mid) + 1):
        grid[y][mid - 1] = 'g'
        grid[y][mid] = 'k'
    # lines of text, following the sag of the page
    step = max(2, round(2 * s))
    inset = max(2, round(2 * s))
    for x in range(margin + inset, size - margin - inset):
        if mid - 2 - (1 if size > 16 else 0) <= x <= mid + 1 + (1 if size > 16 else 0):
            continue
        for y in range(top(x) + step, bottom(x) - 1, step):
            grid[y][x] = 't' if size > 16 else 'g'
    return [''.join(r) for r in grid]


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in (('toolbar1', OPEN), ('toolbar2', CALENDAR), ('toolbar3', ABC),
                       ('toolbar4', HELP)):
        write_png(os.path.join(here, name + '.png'), rows, False)
    write_png(os.path.join(here, 'book16.png'), BOOK16, True)
    write_png(os.path.join(here, 'book32.png'), book(32), True)
