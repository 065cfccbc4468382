#!/usr/bin/env python3
"""Writes the seed corpus of the BMP fuzz target into fuzz/corpus/bitmap/.

Small valid pictures of every depth the reader accepts (8 with a palette, 16, 24, 32), odd widths
(padded rows), bottom-up and top-down rows, the 40-byte header and the V4 (108) and V5 (124)
headers, bit-field masks, a gap before the pixel data, an empty picture, and a picture of no rows
whose one row would not fit an int (refused). Deterministic: the same files every run.  Usage: fuzz/make_seeds.py
"""
import os
import struct

HEADER_SIZES = {40: "info", 108: "v4", 124: "v5"}


def bmp(width, height, bits, header=40, palette=None, top_down=False, masks=None, gap=0):
    """A BMP file: file header, information header of `header` bytes, palette, pixels."""
    row = ((bits * width + 31) & ~31) // 8
    pixels = bytearray()
    for y in range(height):
        line = bytearray((x * 37 + y * 11 + i) & 0xFF for x in range(width) for i in range(bits // 8))
        if bits == 8:
            line = bytearray((x + y) % len(palette) for x in range(width))
        pixels += line + bytes(row - len(line))
    compression = 3 if masks else 0
    info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1, bits,
                       compression, len(pixels), 2835, 2835,
                       len(palette) if palette and len(palette) < 256 else 0, 0)
    if header >= 52:
        info += struct.pack("<III", *(masks or (0, 0, 0)))
    if header >= 56:
        info += struct.pack("<I", 0xFF000000 if masks and bits == 32 else 0)
    if header >= 108:
        info += b"BGRs" + bytes(36) + bytes(12)  # colour space, endpoints, gamma
    if header >= 124:
        info += struct.pack("<IIII", 4, 0, 0, 0)  # intent, profile data, profile size, reserved
    info = info.ljust(header, b"\0")
    extra = b""
    if masks and header == 40:
        extra = struct.pack("<III", *masks)
    table = b"".join(bytes(entry) for entry in (palette or []))
    offset = 14 + len(info) + len(extra) + len(table) + gap
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return head + info + extra + table + bytes(gap) + bytes(pixels)


def header_only(width, height, bits):
    """The 54 bytes of headers of a picture without pixel data (biSizeImage 0)."""
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, 0, 0)
    return b"BM" + struct.pack("<IHHI", 54, 0, 0, 54) + info


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "bitmap")
    os.makedirs(out, exist_ok=True)
    grey16 = [(i * 16, i * 16, i * 16, 0) for i in range(16)]
    grey256 = [(i, 255 - i, i // 2, 0) for i in range(256)]
    seeds = {
        "rgb24_1x1": bmp(1, 1, 24),
        "rgb24_3x2_padded": bmp(3, 2, 24),
        "rgb24_5x3_topdown": bmp(5, 3, 24, top_down=True),
        "rgb24_4x4_v5": bmp(4, 4, 24, header=124),
        "rgb24_3x3_gap": bmp(3, 3, 24, gap=6),
        "rgb24_0x0_empty": bmp(0, 0, 24),
        "rgb32_3x3": bmp(3, 3, 32),
        "rgb32_2x2_topdown": bmp(2, 2, 32, top_down=True),
        "rgb32_3x2_v4_bitfields": bmp(3, 2, 32, header=108,
                                      masks=(0x00FF0000, 0x0000FF00, 0x000000FF)),
        "rgb16_3x2": bmp(3, 2, 16),
        "rgb16_5x2_bitfields565": bmp(5, 2, 16, masks=(0xF800, 0x07E0, 0x001F)),
        "rgb16_3x3_v4_topdown": bmp(3, 3, 16, header=108, top_down=True),
        "pal8_5x4_256": bmp(5, 4, 8, palette=grey256),
        "pal8_3x3_16": bmp(3, 3, 8, palette=grey16),
        "pal8_7x2_16_topdown_v5": bmp(7, 2, 8, header=124, palette=grey16, top_down=True),
        # 2^24 pixels of 1024 bits: rows of 2^31 bytes, though there are none
        "wide_1024bit_no_rows": header_only(1 << 24, 0, 1024),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name + ".bmp"), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {out}")


if __name__ == "__main__":
    main()
