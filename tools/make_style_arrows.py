#!/usr/bin/env python3
"""Draws the small arrow images the style sheets use for spin boxes and
combo boxes (resources/styles/arrow-*.png). Standard library only; run by
hand from the repository folder, the PNGs are committed."""
import struct
import zlib

SIZE = 9


def png(pixels, width, height):
    raw = b"".join(b"\x00" + bytes(pixels[y * width * 4:(y + 1) * width * 4]) for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def triangle(colour, pointing_up):
    """A filled triangle, 9 px wide and 5 px high, centred in 9 x 9."""
    r, g, b = colour
    pixels = [0] * (SIZE * SIZE * 4)
    for row in range(5):
        half = row if pointing_up else 4 - row
        y = 2 + row
        for x in range(4 - half, 5 + half):
            i = (y * SIZE + x) * 4
            pixels[i:i + 4] = [r, g, b, 255]
    return png(pixels, SIZE, SIZE)


for theme, colour in (("light", (0x1F, 0x23, 0x28)), ("dark", (0xE6, 0xE8, 0xEB))):
    for name, up in (("up", True), ("down", False)):
        with open(f"resources/styles/arrow-{name}-{theme}.png", "wb") as out:
            out.write(triangle(colour, up))
