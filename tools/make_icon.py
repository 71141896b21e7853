#!/usr/bin/env python3
"""Writes the setup program's icon: a painter's palette with a brush, drawn below at 32x32 and
16x16 in the standard 16 colours, as a Windows .ico file (4 bits per pixel with a 1-bit mask).

    tools/make_icon.py [resources/setup.ico]

The icon is committed; run this again only when the pictures change.
"""
import struct
import sys

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


def image_bytes(picture):
    """BITMAPINFOHEADER, palette, then the colour rows and the mask rows, both bottom-up."""
    size = len(picture)
    assert all(len(row) == size for row in picture), "the picture must be square"
    colour_row = (size * 4 + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(picture):
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, letter in enumerate(row):
            if letter == ".":
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                line[x // 2] |= INDEX[letter] << (4 if x % 2 == 0 else 0)
        colour += line
        mask += bits
    # The height counts the colour and the mask images together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colour) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(pictures):
    images = [image_bytes(picture) for picture in pictures]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for picture, image in zip(pictures, images):
        size = len(picture)
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else "resources/setup.ico"
    with open(target, "wb") as f:
        f.write(icon_file([PICTURE_32, PICTURE_16]))


if __name__ == "__main__":
    main()
