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


def book32():
    """The window icon at 32 pixels: an open book whose pages sag towards the spine, with
    lines of text, on a navy cover."""
    n = 32
    grid = [['.'] * n for _ in range(n)]

    def put(x, y, ch):
        if 0 <= x < n and 0 <= y < n:
            grid[y][x] = ch

    def top(x):  # upper edge of the pages: outer corners high, spine low
        d = x - 2 if x < 16 else 29 - x
        return 5 + round(d * 4 / 13)

    def bottom(x):
        return top(x) + 19

    for x in range(0, n):  # the cover, peeking out at the sides and below
        xi = min(max(x, 2), 29)
        for y in range(top(xi) + 3, bottom(xi) + 4):
            put(x, y, 'n')
    for x in range(2, 30):  # the pages and the stack of their edges below them
        for y in range(top(x), bottom(x) + 1):
            put(x, y, 'w')
        put(x, top(x), 'k')
        put(x, bottom(x), 'k')
        put(x, bottom(x) + 1, 'g')
    for y in range(top(2), bottom(2) + 1):
        put(2, y, 'k')
        put(29, y, 'k')
    for y in range(top(15) + 1, bottom(15) + 3):  # the spine
        put(15, y, 'g')
        put(16, y, 'k')
    gaps = ({8}, {10}, {7, 11}, {9}, {6}, {10})  # breaks between words, per line
    for row in range(6):  # lines of text, level across each page
        for x0, x1 in ((5, 14), (18, 27)):
            y = top(x0 if x0 < 16 else x1 - 1) + 4 + 3 * row
            for x in range(x0, x1):
                col = x - x0 + 5
                if y > top(x) + 2 and col not in gaps[row]:
                    put(x, y, 'g')
    return [''.join(r) for r in grid]


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in (('toolbar1', OPEN), ('toolbar2', CALENDAR), ('toolbar3', ABC),
                       ('toolbar4', HELP)):
        write_png(os.path.join(here, name + '.png'), rows, False)
    write_png(os.path.join(here, 'book16.png'), BOOK16, True)
    write_png(os.path.join(here, 'book32.png'), book32(), True)
