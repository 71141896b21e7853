#!/usr/bin/env python3
"""Writes the setup program's icon: a painter's palette with a brush, as a Windows .ico file with
four images. 32x32 and 16x16 are hand-drawn below in the standard 16 colours (4 bits per pixel
with a 1-bit mask); 48x48 (the same kind, which every Windows reads) and 256x256 (RGBA,
PNG-compressed, as Windows Vista and later read it) are painted from the shapes in SCENE, so the
picture stays crisp at 150 % and 200 % scaling. Hard edges and flat colours keep the four images
near 4 KB, and so setup.exe small.

    tools/make_icon.py [resources/setup.ico]

The icon is committed; run this again only when the pictures change.
"""
import math
import struct
import sys
import zlib

# The standard 16-colour palette (RGB) in the system's order, with the letters used below.
# '.' is transparent.
PALETTE = [
    ("k", (0x00, 0x00, 0x00)), ("m", (0x80, 0x00, 0x00)), ("g", (0x00, 0x80, 0x00)),
    ("o", (0x80, 0x80, 0x00)), ("n", (0x00, 0x00, 0x80)), ("p", (0x80, 0x00, 0x80)),
    ("t", (0x00, 0x80, 0x80)), ("s", (0xC0, 0xC0, 0xC0)), ("d", (0x80, 0x80, 0x80)),
    ("r", (0xFF, 0x00, 0x00)), ("l", (0x00, 0xFF, 0x00)), ("y", (0xFF, 0xFF, 0x00)),
    ("b", (0x00, 0x00, 0xFF)), ("f", (0xFF, 0x00, 0xFF)), ("a", (0x00, 0xFF, 0xFF)),
    ("w", (0xFF, 0xFF, 0xFF)),
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}

# Olive wood with paints in its wells; the brush's handle is maroon, its ferrule silver and
# its bristles black with red paint at the tip.
PICTURE_32 = [
    ".............................kmm",
    "............................kmmm",
    "...........................kmmmk",
    "..........................kmmmk.",
    ".........................kmmmk..",
    "............kkkkkk......kmmmk...",
    ".........kkkooooggkkk..kmmmk....",
    ".......kkoooooogllgookkssmk.....",
    ".....kkoooyyoogllllgoksssk......",
    "....kooooyyyyogllllgkssskk......",
    "...koooooyyyyoogllgkksskook.....",
    "..koooooooyyooooggkkkkkooook....",
    "..kooommoooooooookkkkkoooook....",
    ".kooomrrmooooooookkkkoooooook...",
    ".koomrrrrmoooooorkkkooooooook...",
    ".koomrrrrmooooorrrooooooooook...",
    "koooomrrmooooorrrooooooooooook..",
    "kooooommoooooorroooooooooooook..",
    "koooooooooooooooooooooooookkkk..",
    ".koooonnooooooooooookkoook......",
    ".kooonbbnooooooooook..kok.......",
    ".koonbbbbnooooooook....kk.......",
    "..konbbbbnooooooook....k........",
    "..koonbbnoooossoook....k........",
    "...koonnooooswwsoook..kk........",
    "....kooooooswwwwsoookkook.......",
    ".....kkooooswwwwsooooookk.......",
    ".......kkoooswwsoooookk.........",
    ".........kkkossoookkk...........",
    "............kkkkkk..............",
    "................................",
    "................................",
]

PICTURE_16 = [
    ".............kmm",
    "............kmmk",
    "...........kmmk.",
    "....kkkkkkkmmk..",
    "..kkoyyookssk...",
    ".koooyyoksskkk..",
    "koooooookkooook.",
    "korroookkoollok.",
    "korroorrooollok.",
    "kooooooooookkk..",
    "kobboookkok.....",
    "kobbook..kk.....",
    "koooook..kokk...",
    ".kooowwkkooookk.",
    "..kkowwoookkk...",
    "....kkkkkk......",
]


def indexed_image(picture):
    """BITMAPINFOHEADER, palette, then the colour rows and the mask rows, both bottom-up."""
    size = len(picture)
    assert all(len(row) == size for row in picture), "the picture must be square"
    colour_row = (size * 4 + 31) // 32 * 4
    colour = bytearray()
    for row in reversed(picture):
        line = bytearray(colour_row)
        for x, letter in enumerate(row):
            if letter != ".":
                line[x // 2] |= INDEX[letter] << (4 if x % 2 == 0 else 0)
        colour += line
    mask = mask_rows([[letter == "." for letter in row] for row in picture])
    palette = [rgb for _, rgb in PALETTE]
    return bitmap_header(size, 4, len(colour) + len(mask), len(palette)) + palette_bytes(palette) + \
        bytes(colour) + mask


def bitmap_header(size, bits, image_size, colours):
    # The height counts the colour and the mask images together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_size, 0, 0, colours, 0)


def palette_bytes(colours):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)


def mask_rows(transparent):
    """The 1-bit AND mask, bottom-up, rows padded to 32 bits: set where the picture is transparent."""
    size = len(transparent)
    mask = bytearray()
    for row in reversed(transparent):
        bits = bytearray((size + 31) // 32 * 4)
        for x, clear in enumerate(row):
            if clear:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return bytes(mask)


# The painted sizes: the motif of the 32x32 picture as shapes in its units (a 32 unit square,
# y downwards), each a colour, a signed distance (negative inside) and whether it has a darker
# outline, painted in this order.
def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry, angle):
    c, s = math.cos(angle), math.sin(angle)
    def distance(x, y):
        u, v = (x - cx) * c + (y - cy) * s, (y - cy) * c - (x - cx) * s
        # Near enough to the true distance where it matters, at the edge.
        k = math.hypot(u / rx, v / ry)
        return (k - 1) * min(rx, ry) if k > 0 else -min(rx, ry)
    return distance


def stroke(x0, y0, x1, y1, r0, r1):
    """A segment widening or narrowing from radius r0 at (x0, y0) to r1 at (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    def distance(x, y):
        t = min(1.0, max(0.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy) - (r0 + (r1 - r0) * t)
    return distance


def minus(shape, *holes):
    return lambda x, y: max([shape(x, y)] + [-hole(x, y) for hole in holes])


# Olive wood with paints in its wells and a notch for the thumb; the brush's handle is maroon, its
# ferrule silver and its bristles black with red paint at the tip, as in the 32x32 picture. Each
# shape has its colour for the PNG, its letter for the 16-colour image and the letter of its outline
# there (None: none; the PNG has no outlines).
RED = (0xE0, 0x28, 0x28)
BRISTLES = stroke(20.6, 10.6, 16.6, 14.6, 1.7, 0.35)
SCENE = [
    ((0xB4, 0x9A, 0x3C), "o", "k", minus(ellipse(14.6, 17.6, 14.4, 11.6, -0.32), circle(28.6, 23.0, 5.2))),
    ((0xFF, 0xD0, 0x20), "y", "o", circle(11.4, 10.4, 2.7)),
    ((0x3C, 0xB4, 0x3C), "l", "g", circle(17.6, 9.4, 2.5)),
    (RED, "r", "m", circle(7.4, 15.4, 2.7)),
    ((0x30, 0x50, 0xE0), "b", "n", circle(7.6, 21.9, 2.6)),
    ((0xF0, 0xF0, 0xF0), "w", "s", circle(15.0, 25.6, 2.6)),
    (RED, "r", None, ellipse(15.6, 16.2, 2.6, 1.5, -0.5)),
    ((0x9C, 0x28, 0x1C), "m", "k", stroke(31.2, 0.8, 22.6, 8.6, 1.35, 1.55)),
    ((0xC8, 0xC8, 0xD0), "s", "k", stroke(22.8, 8.4, 20.4, 10.8, 1.75, 1.75)),
    ((0x24, 0x20, 0x20), "k", "k", BRISTLES),
    (RED, "r", None, minus(BRISTLES, circle(20.6, 10.6, 3.6))),
]


def paint(size, outlines):
    """The scene with hard edges: for each pixel, the (colour, letter) of the last shape over its
    centre, or None. With outlines (letters only), an outlined shape is drawn in its outline's letter
    first and then, smaller by a line, in its own."""
    scale = size / 32
    line = max(1.0, size / 40)  # the outline's width in pixels
    layers = []
    for colour, letter, outline, shape in SCENE:
        if outlines and outline:
            layers.append(((None, outline), shape, 0))
        layers.append(((colour, letter), shape, line if outlines and outline else 0))
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = (px + 0.5) / scale, (py + 0.5) / scale
            top = None
            for colours, shape, inset in layers:
                if shape(x, y) * scale + inset < 0:
                    top = colours
            row.append(top)
        rows.append(row)
    return rows


def png_image(rows):
    """An RGBA PNG, 8 bits a channel: the only kind of PNG Windows documents for an icon. Rows are
    unfiltered, which on flat colours lets deflate match each against the row above, but a row that
    repeats the one above is filtered by Up: all zeros, which cost next to nothing. (Here that beats
    any one filter for all rows by a tenth, and the usual per-row choice by a fifth.)"""
    size = len(rows)
    raw = [bytes(channel for pixel in row for channel in pixel) for row in rows]
    lines = [b"\2" + bytes(len(row)) if y and row == raw[y - 1] else b"\0" + row for y, row in enumerate(raw)]
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    idat = zlib.compress(b"".join(lines), 9)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


def painted_48():
    """The 48x48 image in the standard 16 colours with its outlines, as the 32x32 picture is."""
    return indexed_image(["".join(pixel[1] if pixel else "." for pixel in row) for row in paint(48, True)])


def painted_256():
    """The 256x256 PNG: the scene painted in 128 pixels, each pixel doubled, without outlines. Each
    edge and each distinct row costs bytes in the PNG: outlines would double the edges and 256
    painted pixels the distinct rows, together about 2.7 KB instead of 1.4 (setup.exe 1.5 KB larger)."""
    half = paint(128, False)
    return png_image([[(pixel[0] + (255,)) if pixel else (0, 0, 0, 0) for pixel in row for _ in (0, 1)]
                      for row in half for _ in (0, 1)])


def icon_file(images):
    """images: (size, colour count byte, bits per pixel, bytes); 256 is written as 0, as Windows reads it."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bits, image in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(image), offset)
        offset += len(image)
    return out + b"".join(image for *_, image in images)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else "resources/setup.ico"
    images = [(32, 16, 4, indexed_image(PICTURE_32)), (16, 16, 4, indexed_image(PICTURE_16)),
              (48, 16, 4, painted_48()), (256, 0, 32, painted_256())]
    with open(target, "wb") as f:
        f.write(icon_file(images))


if __name__ == "__main__":
    main()
