#!/usr/bin/env python3
"""Builds assets/tiles.bmp, the sheet every block on screen is copied from.

The sheet is 126 x 21 pixels:
  rows 0..13   nine 14 x 14 tiles for the playfield, tile k at x = 14k
  rows 14..20  nine 7 x 7 tiles for the preview, tile k at x = 7k,
               and a white strip at x = 63..125 that is never copied

Tile 0 is the black empty cell; tiles 1..8 are bevelled squares cut along
both diagonals into four flat faces. The file is a plain 24-bit BMP with no
compression, so the game can load it with nothing but the image reader.

Only the standard library is used. Running the script again writes the same
bytes, so the committed file can always be checked against it:

    python3 tools/make_tilesheet.py [output]   (default: assets/tiles.bmp)
"""
import pathlib
import struct
import sys

LARGE = 14
SMALL = 7
TILES = 9
WIDTH = LARGE * TILES       # 126
HEIGHT = LARGE + SMALL      # 21
WHITE = (0xFF, 0xFF, 0xFF)

# Face colours (top, left, right, bottom) as 0xRRGGBB. The light falls from
# above, so the top face is the lightest and the bottom face the darkest.
FACES = [
    (0x000000, 0x000000, 0x000000, 0x000000),  # 0 black: the empty cell
    (0xA0DFEF, 0x50A0E0, 0x80C7EF, 0x2F80DF),  # 1 blue
    (0xF0CFCF, 0xDF787F, 0xEFA0A0, 0xB0585F),  # 2 rose
    (0xBFA0DF, 0x8058A0, 0x9F78BF, 0x6F409F),  # 3 violet
    (0xF0F7A0, 0xBFBF00, 0xF0F000, 0x9F9800),  # 4 yellow
    (0xF0DFAF, 0xD0A780, 0xE0BF90, 0xC0886F),  # 5 beige
    (0xF0AF6F, 0xC07820, 0xDF903F, 0xAF601F),  # 6 orange
    (0x7FF77F, 0x3F983F, 0x50BF50, 0x207820),  # 7 green
    (0xEFEFEF, 0x7F787F, 0xB0B0B0, 0x3F3F3F),  # 8 grey
]


def rgb(value):
    return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


def face_at(x, y):
    """Which face pixel (x, y) of a large tile belongs to.

    The diagonals go to the left and right faces, so those two faces are
    56 pixels each and the top and bottom faces 42; the centre pixel (7, 7)
    falls to the right face.
    """
    m = y if y <= 6 else LARGE - 1 - y
    if x <= m:
        return "left"
    if x >= LARGE - 1 - m:
        return "right"
    return "top" if y <= 6 else "bottom"


def large_tile(k):
    top, left, right, bottom = (rgb(c) for c in FACES[k])
    colour = {"top": top, "left": left, "right": right, "bottom": bottom}
    return [[colour[face_at(x, y)] for x in range(LARGE)] for y in range(LARGE)]


def small_tile(large):
    """Half-size reduction: each small pixel is the rounded mean of a 2 x 2 block.

    Pixels well inside a face keep its exact colour; those on the diagonals
    and where faces meet come out as blends, which smooths the bevel.
    """
    def mean(values):
        return (sum(values) + 2) // 4

    tile = []
    for y in range(SMALL):
        row = []
        for x in range(SMALL):
            block = [large[2 * y + dy][2 * x + dx] for dy in (0, 1) for dx in (0, 1)]
            row.append(tuple(mean([p[c] for p in block]) for c in range(3)))
        tile.append(row)
    return tile


def build_sheet():
    sheet = [[WHITE] * WIDTH for _ in range(HEIGHT)]
    for k in range(TILES):
        large = large_tile(k)
        for y in range(LARGE):
            sheet[y][LARGE * k:LARGE * (k + 1)] = large[y]
        small = small_tile(large)
        for y in range(SMALL):
            sheet[LARGE + y][SMALL * k:SMALL * (k + 1)] = small[y]
    return sheet


def bmp_bytes(pixels):
    """A bottom-up 24-bit BMP with a BITMAPINFOHEADER; rows padded to 4 bytes."""
    height = len(pixels)
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3           # 378 bytes of pixels -> 380
    image = bytearray()
    for row in reversed(pixels):            # BMP stores the bottom row first
        for r, g, b in row:
            image += bytes((b, g, r))       # and each pixel blue first
        image += bytes(stride - width * 3)
    offset = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    info_header = struct.pack("<IiiHHIIiiII",
                              40, width, height, 1, 24, 0,  # BI_RGB: no compression
                              len(image), 0, 0, 0, 0)
    return file_header + info_header + bytes(image)


def main():
    default = pathlib.Path(__file__).resolve().parent.parent / "assets" / "tiles.bmp"
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(bmp_bytes(build_sheet()))
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
