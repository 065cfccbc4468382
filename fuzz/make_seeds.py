#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: fuzz/corpus/bitmap/ (the BMP reader) and
fuzz/corpus/model/ (the model path, see model_seeds below).

Small valid pictures of every depth the reader accepts (8 with a palette, 16, 24, 32), odd widths
(padded rows), bottom-up and top-down rows, the 40-byte header and the V4 (108) and V5 (124)
headers, bit-field masks, a gap before the pixel data, an empty picture, and a picture of no rows
whose one row would not fit an int (refused). Deterministic: the same files every run.  Usage: fuzz/make_seeds.py
(fuzz/make_seeds.py --worst <folder> writes the largest models the model checks admit there instead)
"""
import os
import struct
import sys

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


HEADER = "#Inventor V2.1 ascii\n"


def triangles_on_points(count, points, stride1, stride2, light="BASE_COLOR", extent=1.0):
    """count triangles over `points` points on a circle of radius extent; triangle t uses points
    t, t + stride1 and t + stride2 (mod points), so each point is used by 3 * count / points
    faces. Colours per vertex, as the game's models are made."""
    import math
    lines = [HEADER, "Separator {", "  ShapeHints { vertexOrdering COUNTERCLOCKWISE shapeType SOLID }",
             f"  LightModel {{ model {light} }}", "  Material { diffuseColor ["]
    lines += [f"    {(i % 7) / 7:.3f} 0.5 {(i % 5) / 5:.3f}," for i in range(points)]
    lines += ["  ] }", "  MaterialBinding { value PER_VERTEX_INDEXED }", "  Coordinate3 { point ["]
    for i in range(points):
        a = 2 * math.pi * i / points
        lines.append(f"    {extent * math.cos(a):.5f} {extent * math.sin(a):.5f} {(i % 3) * 0.01:.3f},")
    lines += ["  ] }", "  IndexedFaceSet { coordIndex ["]
    lines += [f"    {t % points}, {(t + stride1) % points}, {(t + stride2) % points}, -1,"
              for t in range(count)]
    lines += ["  ] }", "}"]
    return "\n".join(lines) + "\n"


def five_faces(binding_node, extra_fields, property_nodes=""):
    """Five triangles over six points with a binding and index fields of the caller's."""
    return (HEADER + "Separator {\n" + property_nodes +
            "  Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0, 2 0 0, 2 1 0] }\n" + binding_node +
            "  IndexedFaceSet { coordIndex [0, 1, 2, -1, 1, 3, 2, -1, 1, 4, 3, -1, 4, 5, 3, -1,"
            " 0, 4, 5, -1] " + extra_fields + " }\n}\n")


def model_seeds():
    """The model fuzz target's seeds besides the game's four models (scripts/fuzz adds those from
    data/): every hostile model of the damage reports, which passed the checks of their day and crashed or froze
    Coin (each must be refused now). Also the largest models the checks admit, for measuring the
    first frame."""
    seeds = {}
    tri = "Coordinate4 { point [0 0 0 1, 1 0 0 1, 0 1 0 1, 1 1 0 1] }\n"
    seeds.update({
        # Coin's digit reader overflows a stack buffer; at 20,000 digits the return address.
        "hostile_digits_2100": HEADER + "Cube { width " + "9" * 2100 + " }\n",
        "hostile_digits_20000": HEADER + "Cube { width " + "9" * 20000 + " }\n",
        # Coin's name table overflows on a word over 65,535 characters.
        "hostile_def_name_65536": HEADER + "DEF " + "n" * 65536 + " Cube {}\n",
        "hostile_word_70000": HEADER + "Cube { " + "w" * 70000 + " 1 }\n",
        # Homogeneous coordinates without normals: Coin's normal generation fails.
        "hostile_coordinate4_faceset": HEADER + "Separator {\n" + tri +
        "IndexedFaceSet { coordIndex [0, 1, 2, -1, 1, 3, 2, -1] }\n}\n",
        "hostile_coordinate4_stripset": HEADER + "Separator {\n" + tri +
        "IndexedTriangleStripSet { coordIndex [0, 1, 2, 3, -1] }\n}\n",
        "hostile_coordinate4_plainstrips": HEADER + "Separator {\n" + tri +
        "TriangleStripSet { numVertices [4] }\n}\n",
        "hostile_coordinate4_quadmesh": HEADER + "Separator {\n" + tri +
        "QuadMesh { verticesPerRow 2 verticesPerColumn 2 }\n}\n",
        # Index lists shorter than their binding needs.
        "hostile_materialindex_per_face": five_faces(
            "  MaterialBinding { value PER_FACE_INDEXED }\n", "materialIndex [0]",
            "  Material { diffuseColor [1 0 0, 0 1 0] }\n"),
        "hostile_materialindex_per_vertex": five_faces(
            "  MaterialBinding { value PER_VERTEX_INDEXED }\n", "materialIndex [0, 1, 0]",
            "  Material { diffuseColor [1 0 0, 0 1 0] }\n"),
        "hostile_normalindex_per_face": five_faces(
            "  NormalBinding { value PER_FACE_INDEXED }\n", "normalIndex [0]",
            "  Normal { vector [0 0 1, 0 0 -1] }\n"),
        "hostile_normalindex_per_vertex": five_faces(
            "  NormalBinding { value PER_VERTEX_INDEXED }\n", "normalIndex [0, 1]",
            "  Normal { vector [0 0 1, 0 0 -1] }\n"),
        "hostile_texturecoordindex": five_faces(
            "", "textureCoordIndex [0, 1, 2]",
            "  Texture2 { image 1 1 3 0xff0000 }\n"
            "  TextureCoordinate2 { point [0 0, 1 0, 0 1] }\n"),
        # Coin's reader throws std::bad_alloc (w x h x c over 2^31).
        "hostile_texture_image_huge": HEADER + "Texture2 { image 23171 23171 4 0 }\n",
        # Normal generation eats memory without end.
        "hostile_strip_of_one": HEADER + "Separator { TriangleStripSet { numVertices [ 1 ] } }\n",
        # Normal generation is quadratic in the faces on one point.
        "hostile_same_three_points": HEADER + "Separator { LightModel { model PHONG }\n"
        "Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] }\nIndexedFaceSet { coordIndex [\n" +
        "0,1,2,-1,\n" * 200000 + "] } }\n",
        # Tessellation cost: one sphere used 99,990 times; cylinders at complexity 1.
        "hostile_sphere_uses": HEADER + "Separator { DEF S Sphere {}\n" +
        "USE S\n" * 99989 + "}\n",
        "hostile_cylinders_complexity_1": HEADER + "Separator { Complexity { value 1 } DEF C Cylinder {}\n" +
        "USE C\n" * 99989 + "}\n",
    })
    return seeds


def grid_triangles(count, light, flat=0.26):
    """count small right triangles over a grid of 13 x 13 x 18 points (flattened in y), going
    round the grid's 12 x 12 x 18 cells as often as it takes: for 50,000 triangles at most 60
    faces on a point, some dozens of faces in each cell of the check's grid, and faces of about 15
    times the square of the model's diagonal, just under the bound of 16."""
    nx, ny, nz = 13, 13, 18
    lines = [HEADER, "Separator {", f"  LightModel {{ model {light} }}", "  Coordinate3 { point ["]
    for i in range(nx * ny * nz):
        x, y, z = i % nx, (i // nx) % ny, i // (nx * ny)
        lines.append(f"    {x} {y * flat:.4f} {z},")
    lines += ["  ] }", "  IndexedFaceSet { coordIndex ["]
    corners = [x + nx * (y + ny * z) for z in range(nz) for y in range(ny - 1) for x in range(nx - 1)]
    for t in range(count):
        c = corners[t % len(corners)]
        lines.append(f"    {c}, {c + 1}, {c + nx}, -1,")
    lines += ["  ] }", "}"]
    return "\n".join(lines) + "\n"


def worst_models():
    """The largest models the checks admit, for measuring the first frame (not committed: some
    megabytes each): 50,000 triangles, lit (normals generated) and unlit; 111 spheres (the
    budget at the default complexity) lit, on a grid."""
    spheres = [HEADER, "Separator { LightModel { model PHONG } DEF S Sphere {}"]
    for i in range(1, 111):
        spheres.append(f"Separator {{ Translation {{ translation {i % 8 * 3} {i // 8 % 8 * 3} "
                       f"{i // 64 * 3} }} USE S }}")
    return {
        "worst_admitted_lit": grid_triangles(50000, "PHONG"),
        "worst_admitted_unlit": grid_triangles(50000, "BASE_COLOR"),
        "worst_admitted_spheres": "\n".join(spheres) + "\n}\n",
    }


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) == 3 and sys.argv[1] == "--worst":
        os.makedirs(sys.argv[2], exist_ok=True)
        for name, text in worst_models().items():
            with open(os.path.join(sys.argv[2], name + ".iv"), "w", encoding="ascii") as f:
                f.write(text)
        return
    model_dir = os.path.join(here, "corpus", "model")
    os.makedirs(model_dir, exist_ok=True)
    models = model_seeds()
    for name, text in models.items():
        with open(os.path.join(model_dir, name + ".iv"), "w", encoding="ascii", newline="\n") as f:
            f.write(text)
    print(f"{len(models)} seeds in {model_dir}")
    out = os.path.join(here, "corpus", "bitmap")
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
