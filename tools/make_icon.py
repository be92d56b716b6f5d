#!/usr/bin/env python3
"""Draws the Quadix icon and writes it as PNGs for the hicolor icon theme.

The icon is a 32 x 32 miniature of the main window in sixteen colours: the
grey window, the black well with a few bevelled blocks resting at the bottom
and a piece on its way down, and the small black preview box at the top left
holding the next piece. Every block carries the same bevel as the playfield's
tiles: light top, dark bottom, the sides in between.

The 32-pixel picture is the one drawn by hand below. The larger sizes repeat
each pixel (nearest neighbour) so the pixel art stays crisp; 16 pixels is a
2 x 2 mean, the only way to halve it without losing whole rows of blocks.

Only the standard library is used, and the output is the same on every run:

    python3 tools/make_icon.py [output-folder]   (default: assets/icons)
"""
import pathlib
import struct
import sys
import zlib

SIZE = 32
OUTPUT_SIZES = (16, 32, 48, 64, 128, 256)

# The sixteen colours. Block hues take their top, right and bottom faces
# from the tile sheet's colour table.
BLACK = (0x00, 0x00, 0x00)
WINDOW = (0xC0, 0xC0, 0xC0)     # the main window's background
SHADOW = (0x80, 0x80, 0x80)     # sunken edge, upper and left sides
LIGHT = (0xFF, 0xFF, 0xFF)      # sunken edge, lower and right sides
HUES = {
    "b": ((0xA0, 0xDF, 0xEF), (0x80, 0xC7, 0xEF), (0x2F, 0x80, 0xDF)),  # blue
    "r": ((0xF0, 0xCF, 0xCF), (0xEF, 0xA0, 0xA0), (0xB0, 0x58, 0x5F)),  # rose
    "y": ((0xF0, 0xF7, 0xA0), (0xF0, 0xF0, 0x00), (0x9F, 0x98, 0x00)),  # yellow
    "g": ((0x7F, 0xF7, 0x7F), (0x50, 0xBF, 0x50), (0x20, 0x78, 0x20)),  # green
}

# The well: 5 columns by 7 rows of 4-pixel blocks. A falling T at the top,
# a stack with one gap at the bottom.
WELL_LEFT, WELL_TOP, WELL_CELL = 11, 2, 4
WELL = [
    ".rrr.",
    "..r..",
    ".....",
    ".....",
    "b...y",
    "bgg.y",
    "bbggy",
]
# The preview: 3 columns by 5 rows of 2-pixel blocks holding an L.
PREVIEW_LEFT, PREVIEW_TOP, PREVIEW_CELL = 2, 2, 2
PREVIEW = [
    "...",
    ".g.",
    ".g.",
    ".gg",
    "...",
]


def sunken_box(img, left, top, width, height):
    """A black box with a 1-pixel sunken edge around its inner area."""
    for y in range(top - 1, top + height + 1):
        for x in range(left - 1, left + width + 1):
            if x < left or y < top:
                img[y][x] = SHADOW
            elif x >= left + width or y >= top + height:
                img[y][x] = LIGHT
            else:
                img[y][x] = BLACK
    # The corners where the two edges meet belong to neither; keep the frame
    # readable by giving them the window colour, as a 3-D border does.
    img[top + height][left - 1] = WINDOW
    img[top - 1][left + width] = WINDOW


def block(img, left, top, cell, hue):
    """One bevelled block: top row light, bottom row and right column dark."""
    light, middle, dark = HUES[hue]
    for dy in range(cell):
        for dx in range(cell):
            if dy == cell - 1 or dx == cell - 1:
                colour = dark
            elif dy == 0 or dx == 0:
                colour = light
            else:
                colour = middle
            img[top + dy][left + dx] = colour


def draw_grid(img, rows, left, top, cell):
    for r, line in enumerate(rows):
        for c, hue in enumerate(line):
            if hue != ".":
                block(img, left + c * cell, top + r * cell, cell, hue)


def draw_icon():
    img = [[WINDOW] * SIZE for _ in range(SIZE)]
    sunken_box(img, WELL_LEFT, WELL_TOP, len(WELL[0]) * WELL_CELL, len(WELL) * WELL_CELL)
    draw_grid(img, WELL, WELL_LEFT, WELL_TOP, WELL_CELL)
    sunken_box(img, PREVIEW_LEFT, PREVIEW_TOP,
               len(PREVIEW[0]) * PREVIEW_CELL, len(PREVIEW) * PREVIEW_CELL)
    draw_grid(img, PREVIEW, PREVIEW_LEFT, PREVIEW_TOP, PREVIEW_CELL)
    colours = {p for row in img for p in row}
    assert len(colours) <= 16, f"icon uses {len(colours)} colours"
    return img


def scaled(img, size):
    if size >= SIZE:
        # Nearest neighbour; 48 repeats alternate pixels once or twice.
        return [[img[y * SIZE // size][x * SIZE // size] for x in range(size)]
                for y in range(size)]
    step = SIZE // size
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            px = [img[y * step + dy][x * step + dx] for dy in range(step) for dx in range(step)]
            n = len(px)
            row.append(tuple((sum(p[c] for p in px) + n // 2) // n for c in range(3)))
        out.append(row)
    return out


def png_bytes(pixels):
    """An 8-bit RGB PNG with no ancillary chunks, so the bytes never vary."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height = len(pixels)
    width = len(pixels[0])
    raw = bytearray()
    for row in pixels:
        raw.append(0)                       # filter type 0 on every row
        for p in row:
            raw += bytes(p)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    default = pathlib.Path(__file__).resolve().parent.parent / "assets" / "icons"
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    folder.mkdir(parents=True, exist_ok=True)
    icon = draw_icon()
    for size in OUTPUT_SIZES:
        out = folder / f"quadix-{size}.png"
        out.write_bytes(png_bytes(scaled(icon, size)))
        print(f"wrote {out}")


if __name__ == "__main__":
    main()
