#!/usr/bin/env python3
"""Draws the program's icons: a yellow price tag with a hole, a string and a
few barcode bars, in the 16 standard Windows colours.

    python3 resources/make_icons.py      # writes resources/lumivo.ico, small.ico

lumivo.ico (icon 107) holds 32x32 and 16x16 images, small.ico (icon 108) the
16x16 one. Each image is a 4-bit BMP with an AND mask, as Windows reads .ico
files. The output depends only on this script, so running it again gives the
same bytes.
"""

import os
import struct

# The 16 colours every Windows display has (blue, green, red, reserved).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]  # (red, green, blue)
BLACK, NAVY, GRAY, YELLOW = 0, 4, 8, 11
CLEAR = None  # transparent pixel


def inside_polygon(x, y, points):
    """Even-odd rule at the point (x, y)."""
    result = False
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        if (y1 > y) != (y2 > y):
            if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                result = not result
    return result


def draw_tag(size, outline, hole, hole_radius, bars, string):
    """Returns rows of palette indices (or CLEAR), top row first."""
    image = [[CLEAR] * size for _ in range(size)]

    def in_tag(x, y):
        cx, cy = x + 0.5, y + 0.5
        if not inside_polygon(cx, cy, outline):
            return False
        return (cx - hole[0]) ** 2 + (cy - hole[1]) ** 2 > hole_radius ** 2

    for y in range(size):
        for x in range(size):
            if in_tag(x, y):
                image[y][x] = YELLOW

    # Outline: a pixel of the tag with a neighbour outside it is an edge.
    for y in range(size):
        for x in range(size):
            if image[y][x] is CLEAR:
                continue
            neighbours = [(x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)]
            if any(not (0 <= nx < size and 0 <= ny < size) or not in_tag(nx, ny)
                   for nx, ny in neighbours):
                image[y][x] = BLACK

    for x, top, bottom in bars:
        for y in range(top, bottom + 1):
            image[y][x] = NAVY

    for x, y in string:
        if image[y][x] is CLEAR:
            image[y][x] = GRAY
    return image


def string_path(points):
    """Pixels of a polyline through the given pixel positions."""
    pixels = []
    for (x1, y1), (x2, y2) in zip(points, points[1:]):
        steps = max(abs(x2 - x1), abs(y2 - y1))
        for i in range(steps + 1):
            pixels.append((round(x1 + (x2 - x1) * i / steps), round(y1 + (y2 - y1) * i / steps)))
    return pixels


def large_tag():
    outline = [(1.5, 16.0), (10.5, 7.0), (30.5, 7.0), (30.5, 25.0), (10.5, 25.0)]
    bars = [(x, 11, 21) for x in (15, 16, 18, 20, 21, 22, 24, 26, 27)]
    string = string_path([(9, 15), (8, 11), (6, 6), (4, 3), (2, 1)])
    return draw_tag(32, outline, (9.5, 16.0), 2.0, bars, string)


def small_tag():
    outline = [(0.5, 8.0), (5.5, 3.0), (15.5, 3.0), (15.5, 13.0), (5.5, 13.0)]
    bars = [(x, 6, 10) for x in (8, 10, 11, 13)]
    string = string_path([(4, 7), (3, 4), (1, 1)])
    return draw_tag(16, outline, (5.0, 8.0), 1.0, bars, string)


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def bmp_image(image):
    """The BITMAPINFOHEADER, palette, colour bits and AND mask of one image."""
    size = len(image)
    colour_stride = row_bytes(size * 4)
    mask_stride = row_bytes(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         (colour_stride + mask_stride) * size, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colours = bytearray()
    mask = bytearray()
    for row in reversed(image):  # bottom-up, as in every BMP
        line = bytearray(colour_stride)
        mask_line = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            index = BLACK if pixel is CLEAR else pixel
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if pixel is CLEAR:
                mask_line[x // 8] |= 0x80 >> (x % 8)
        colours += line
        mask += mask_line
    return header + palette + bytes(colours) + bytes(mask)


def ico_file(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    blobs = b""
    for image in images:
        blob = bmp_image(image)
        size = len(image)
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return directory + entries + blobs


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "lumivo.ico"), "wb") as f:
        f.write(ico_file([large_tag(), small_tag()]))
    with open(os.path.join(here, "small.ico"), "wb") as f:
        f.write(ico_file([small_tag()]))


if __name__ == "__main__":
    main()
