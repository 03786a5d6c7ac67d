#!/usr/bin/env python3
"""Draws keyboard.ico: a computer keyboard with its cable, in black, greys
and white, as two 16-colour images (32x32 first, 16x16 second) with AND
masks. Run it from this folder to redraw the icon after changing a picture.
"""
import struct

# The standard 16-colour palette; the pictures use four of its entries.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
COLOURS = {'#': 0, 'g': 8, 'l': 7, 'w': 15}  # '.' is transparent

KEYBOARD_32 = """
................................
................................
..............##................
..............##................
...............##...............
................##..............
.................##.............
.................##.............
................##..............
...............##...............
...............##...............
................##..............
................##..............
.................#..............
##############################..
#llllllllllllllllllllllllllll#g.
#lwwglwwglwwglwwglwwglwwglwwl#g.
#lwwglwwglwwglwwglwwglwwglwwl#g.
#lgggggggggggggggggggggggggll#g.
#llwwglwwglwwglwwglwwglwwglll#g.
#llwwglwwglwwglwwglwwglwwglll#g.
#llggggggggggggggggggggggggll#g.
#lwwwwwglwwglwwglwwglwwwwwwll#g.
#lwwwwwglwwglwwglwwglwwwwwwll#g.
#lggggggggggggggggggggggggggl#g.
#lllwwglwwwwwwwwwwwwwwglwwgll#g.
#lllwwglwwwwwwwwwwwwwwglwwgll#g.
#lllgggggggggggggggggggggggll#g.
#llllllllllllllllllllllllllll#g.
##############################g.
.gggggggggggggggggggggggggggggg.
................................
"""

KEYBOARD_16 = """
.......##.......
........#.......
.......#........
.......#........
........#.......
........#.......
###############.
#lllllllllllll#g
#lwlwlwlwlwlwl#g
#lllllllllllll#g
#llwlwlwlwlwll#g
#lllllllllllll#g
#lwwlwwwwwlwwl#g
#lllllllllllll#g
###############g
.gggggggggggggg.
"""


def rows(picture, size):
    lines = [line for line in picture.strip('\n').split('\n')]
    assert len(lines) == size, (size, len(lines))
    for line in lines:
        assert len(line) >= size, line
    return [line[:size] for line in lines]


def padded(data):
    return data + b'\0' * (-len(data) % 4)


def image(picture, size):
    """The icon image: header, palette, colour bits, then the AND mask,
    each bottom-up with rows padded to 4 bytes."""
    lines = rows(picture, size)
    colour = b''
    mask = b''
    for line in reversed(lines):
        nibbles = [COLOURS.get(c, 0) for c in line]
        colour += padded(bytes((nibbles[i] << 4) | nibbles[i + 1]
                               for i in range(0, size, 2)))
        bits = [1 if c == '.' else 0 for c in line]
        mask += padded(bytes(sum(bits[i + j] << (7 - j) for j in range(8))
                             for i in range(0, size, 8)))
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + colour + mask


def icon(pictures):
    images = [image(picture, size) for picture, size in pictures]
    offset = 6 + 16 * len(images)
    directory = struct.pack('<HHH', 0, 1, len(images))
    for (picture, size), data in zip(pictures, images):
        directory += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4,
                                 len(data), offset)
        offset += len(data)
    return directory + b''.join(images)


if __name__ == '__main__':
    with open('keyboard.ico', 'wb') as out:
        out.write(icon([(KEYBOARD_32, 32), (KEYBOARD_16, 16)]))
