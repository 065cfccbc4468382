#!/usr/bin/env python3
"""Writes the game's six data files into a folder (default: data/ beside this tools/ folder).

    python3 tools/make_data.py [output-folder]

Four Open Inventor 2.1 models and two 24-bit BMP pictures, all generated from code with the
Python standard library alone, so the output is the same on every run and every machine:

  boarder.iv            a snowboarder on his board, built with z up, the board's nose towards +x
                        and the back of the rear binding at (9.5, 0, 0); the game moves the model
                        by (-19, 0, 0) after scaling it by 2, which puts that point on its origin,
                        the place it stands on the ground.
  start.iv, finish.iv   arches with a lettered banner, built with y up in the plane z = 0; the game
                        turns them by -90 degrees about y and scales them by 5.
  tree.iv               a pine, y up, base at the origin (read by the game but not drawn).
  snow16.bmp            128 x 128 seamless snow, repeated once per terrain cell.
  panorama20480256.bmp  2048 x 256 mountain skyline; columns 1664..2047 and 0..639 go once round
                        the horizon and join seamlessly at column 640 / 1664.

Each model is a single shape of triangles with a colour per vertex, drawn without lighting: the
game sets up no light, so the shading of a light of the model's own is worked out here, once, on
top of a glow that keeps every part in colour on its dark side (see Mesh). One shape instead of a
group of nodes per part keeps the cost of walking the model each frame small.
"""

import math
import os
import random
import struct
import sys

# ---------------------------------------------------------------------------------------------
# Open Inventor text
# ---------------------------------------------------------------------------------------------


def fmt(value):
    """A number as short Inventor text: at most four decimals, no trailing zeros."""
    text = f"{value:.4f}".rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def vec(values):
    return " ".join(fmt(v) for v in values)


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def scaled(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def length(a):
    return math.sqrt(dot(a, a))


def unit(a):
    n = length(a)
    return (a[0] / n, a[1] / n, a[2] / n)


def rotation_y_to(direction):
    """The axis-angle rotation that turns +y (the axis of the cylinders and cones below) into
    direction."""
    d = direction
    n = length(d)
    dx, dy, dz = d[0] / n, d[1] / n, d[2] / n
    # axis = y x d = (dz, 0, -dx)
    ax, az = dz, -dx
    s = math.sqrt(ax * ax + az * az)
    angle = math.acos(max(-1.0, min(1.0, dy)))
    if s < 1e-9:
        return (1.0, 0.0, 0.0, 0.0 if dy > 0 else math.pi)
    return (ax / s, 0.0, az / s, angle)


def rotate(rotation, p):
    """p turned by the axis-angle rotation (x, y, z, angle), Rodrigues' formula."""
    if rotation is None:
        return p
    k = unit(rotation[:3])
    c, s = math.cos(rotation[3]), math.sin(rotation[3])
    kxp = cross(k, p)
    kp = dot(k, p) * (1.0 - c)
    return tuple(p[i] * c + kxp[i] * s + k[i] * kp for i in range(3))


class Placement:
    """Where a part sits: scaled about its centre first, then turned, then moved, as an Inventor
    Transform would do it. Normals go through the inverse scale so that they stay square to the
    scaled surface."""

    def __init__(self, translation=(0.0, 0.0, 0.0), rotation=None, scale=None):
        self.translation = translation
        self.rotation = rotation
        self.scale = scale or (1.0, 1.0, 1.0)

    def point(self, p):
        s = self.scale
        return add(self.translation, rotate(self.rotation, (p[0] * s[0], p[1] * s[1], p[2] * s[2])))

    def normal(self, n):
        s = self.scale
        return unit(rotate(self.rotation, (n[0] / s[0], n[1] / s[1], n[2] / s[2])))


class Mesh:
    """All the parts of one model as a single list of triangles, each vertex with the colour the
    model shows there.

    The parts used to be one Inventor node group each (material, transform, primitive), several
    hundred nodes per model, and walking them each frame cost more than drawing them. Here they
    are one shape. The colour of each part is lit once, here, the way the fixed-function light of
    the old files lit it (so the model looks the same without any light of the game's): an emissive
    part of glow times the colour, the ambient part (a fifth of the colour) under the default
    global ambient of 0.2, and the diffuse rest under the model's own directional light. Only the
    faint grey highlight of the old specular colour is left out, as it moved with the camera."""

    def __init__(self, light_direction, light_intensity, origin=(0.0, 0.0, 0.0)):
        self.origin = origin  # added to every point on output
        self.towards_light = unit(scaled(light_direction, -1.0))
        self.intensity = light_intensity
        self.points = []
        self.colours = []
        self.triangles = []

    def lit(self, colour, glow, normal):
        diffuse = max(0.0, dot(normal, self.towards_light)) * self.intensity
        k = glow + 0.2 * 0.2 + (1.0 - glow) * diffuse
        return tuple(min(1.0, c * k) for c in colour)

    def vertex(self, point, normal, colour, glow):
        self.points.append(point)
        self.colours.append(self.lit(colour, glow, normal))
        return len(self.points) - 1

    def triangle(self, a, b, c, outward):
        """Adds the triangle a, b, c wound counter-clockwise as seen from the side outward points
        to."""
        pa, pb, pc = self.points[a], self.points[b], self.points[c]
        if dot(cross(sub(pb, pa), sub(pc, pa)), outward) < 0.0:
            b, c = c, b
        self.triangles.append((a, b, c))

    def quad(self, a, b, c, d, outward):
        self.triangle(a, b, c, outward)
        self.triangle(a, c, d, outward)

    # Parts, in the conventions of Inventor's primitives: centred on the origin of their
    # placement, cylinders and cones along y (a cone's tip at +y).

    def box(self, colour, centre, size, rotation=None, glow=0.55):
        place = Placement(centre, rotation)
        half = scaled(size, 0.5)
        for axis in range(3):
            for sign in (-1.0, 1.0):
                n = [0.0, 0.0, 0.0]
                n[axis] = sign
                u, v = (axis + 1) % 3, (axis + 2) % 3
                corners = []
                for cu, cv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
                    p = [0.0, 0.0, 0.0]
                    p[axis] = sign * half[axis]
                    p[u] = cu * half[u]
                    p[v] = cv * half[v]
                    corners.append(p)
                normal = place.normal(n)
                ids = [self.vertex(place.point(p), normal, colour, glow) for p in corners]
                self.quad(*ids, normal)

    def tile(self, colour, centre, size, facing, glow=0.75):
        """A thin box square to the axes, shown only from its face towards facing (+1: +z, -1:
        -z): all eight corners take that face's colour, so the box needs no vertices of its own per
        face. For letters and squares laid on a flat face, whose rims are too thin to see."""
        normal = (0.0, 0.0, facing)
        ids = {}
        for cx in (-1, 1):
            for cy in (-1, 1):
                for cz in (-1, 1):
                    p = (centre[0] + cx * size[0] / 2.0, centre[1] + cy * size[1] / 2.0,
                         centre[2] + cz * size[2] / 2.0)
                    ids[cx, cy, cz] = self.vertex(p, normal, colour, glow)
        for axis in range(3):
            for sign in (-1, 1):
                out = [0.0, 0.0, 0.0]
                out[axis] = float(sign)
                u, v = (axis + 1) % 3, (axis + 2) % 3
                corners = []
                for cu, cv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
                    c = [0, 0, 0]
                    c[axis], c[u], c[v] = sign, cu, cv
                    corners.append(ids[tuple(c)])
                self.quad(*corners, tuple(out))

    def ball(self, colour, centre, radius, scale=None, rotation=None, glow=0.55, slices=12,
             stacks=8):
        place = Placement(centre, rotation, scale)
        rings = []
        for i in range(stacks + 1):
            theta = math.pi * i / stacks
            ring = []
            for j in range(slices if 0 < i < stacks else 1):
                phi = 2.0 * math.pi * j / slices
                n = (math.sin(theta) * math.sin(phi), math.cos(theta),
                     math.sin(theta) * math.cos(phi))
                ring.append(self.vertex(place.point(scaled(n, radius)), place.normal(n), colour,
                                        glow))
            rings.append(ring)
        centre_point = place.point((0.0, 0.0, 0.0))
        for i in range(stacks):
            top, bottom = rings[i], rings[i + 1]
            for j in range(slices):
                k = (j + 1) % slices
                corners = [top[j % len(top)], top[k % len(top)], bottom[k % len(bottom)],
                           bottom[j % len(bottom)]]
                out = sub(self.points[corners[0]], centre_point)
                out = add(out, sub(self.points[corners[2]], centre_point))
                if len(top) == 1:
                    self.triangle(corners[0], corners[2], corners[3], out)
                elif len(bottom) == 1:
                    self.triangle(corners[0], corners[1], corners[2], out)
                else:
                    self.quad(*corners, out)

    def _round(self, colour, place, r0, r1, height, glow, caps, sides):
        """A cylinder (r0 == r1) or a cone (r1 == 0) along y from -height/2 to +height/2."""
        y0, y1 = -height / 2.0, height / 2.0
        slope = (r0 - r1) / height
        lows, highs = [], []
        for j in range(sides):
            for ring, r, y in ((lows, r0, y0), (highs, r1, y1)):
                # a cone's tip gets one vertex per side, with the normal of the middle of that side
                phi = 2.0 * math.pi * (j + (0.5 if r == 0.0 else 0.0)) / sides
                n = unit((math.sin(phi), slope, math.cos(phi)))
                p = (r * math.sin(phi), y, r * math.cos(phi))
                ring.append(self.vertex(place.point(p), place.normal(n), colour, glow))
        axis_low, axis_high = place.point((0.0, y0, 0.0)), place.point((0.0, y1, 0.0))
        middle = scaled(add(axis_low, axis_high), 0.5)
        for j in range(sides):
            k = (j + 1) % sides
            out = sub(add(self.points[lows[j]], self.points[lows[k]]), scaled(middle, 2.0))
            if r1 == 0.0:
                self.triangle(lows[j], lows[k], highs[j], out)
            else:
                self.quad(lows[j], lows[k], highs[k], highs[j], out)
        for r, y, ny, end in ((r0, y0, -1.0, caps[0]), (r1, y1, 1.0, caps[1])):
            if r == 0.0 or not end:
                continue
            normal = place.normal((0.0, ny, 0.0))
            ring = []
            for j in range(sides):
                phi = 2.0 * math.pi * j / sides
                p = (r * math.sin(phi), y, r * math.cos(phi))
                ring.append(self.vertex(place.point(p), normal, colour, glow))
            for j in range(1, sides - 1):
                self.triangle(ring[0], ring[j], ring[j + 1], normal)

    def rod(self, colour, p0, p1, radius, glow=0.55, caps=(True, True), sides=12):
        """A cylinder from point p0 to point p1; caps says which ends are closed."""
        mid = scaled(add(p0, p1), 0.5)
        place = Placement(mid, rotation_y_to(sub(p1, p0)))
        self._round(colour, place, radius, radius, length(sub(p1, p0)), glow, caps, sides)

    def disc(self, colour, centre, radius, thickness, axis=(0.0, 0.0, 1.0), glow=0.55,
             sides=12):
        """A flat cylinder whose axis points along axis."""
        place = Placement(centre, rotation_y_to(axis))
        self._round(colour, place, radius, radius, thickness, glow, (True, True), sides)

    def cone(self, colour, base, tip, radius, glow=0.55, sides=12):
        mid = scaled(add(base, tip), 0.5)
        place = Placement(mid, rotation_y_to(sub(tip, base)))
        self._round(colour, place, radius, 0.0, length(sub(tip, base)), glow, (True, True), sides)

    def inventor(self, comment, caching="AUTO"):
        """The Open Inventor file of the model: one shape whose vertex colours are drawn as they
        are, without lighting, closed and counter-clockwise so that back faces may be culled."""
        lines = ["#Inventor V2.1 ascii", "", f"# {comment}", "", "Separator {"]
        if caching != "AUTO":
            lines.append(f"  renderCaching {caching}")
        lines += [
            "  ShapeHints {", "    vertexOrdering COUNTERCLOCKWISE", "    shapeType SOLID", "  }",
            "  LightModel { model BASE_COLOR }",
            "  Material {", "    diffuseColor ["]
        lines += [f"      {vec(c)}," for c in self.colours]
        lines += ["    ]", "  }", "  MaterialBinding { value PER_VERTEX_INDEXED }",
                  "  Coordinate3 {", "    point ["]
        lines += [f"      {vec(add(p, self.origin))}," for p in self.points]
        lines += ["    ]", "  }", "  IndexedFaceSet {", "    coordIndex ["]
        lines += [f"      {a}, {b}, {c}, -1," for a, b, c in self.triangles]
        lines += ["    ]", "  }", "}"]
        return "\n".join(lines) + "\n"


# ---------------------------------------------------------------------------------------------
# The snowboarder
# ---------------------------------------------------------------------------------------------

JACKET = (1.0, 0.38, 0.04)
JACKET_DARK = (0.75, 0.18, 0.02)
PANTS = (0.12, 0.16, 0.34)
BOOTS = (0.16, 0.16, 0.18)
GLOVES = (0.08, 0.08, 0.09)
SKIN = (0.96, 0.74, 0.58)
HELMET = (1.0, 0.86, 0.08)
STRAP = (0.06, 0.06, 0.07)
LENS = (0.22, 0.45, 1.0)
BOARD = (0.05, 0.42, 0.95)
BOARD_STRIPE = (1.0, 0.85, 0.1)
BINDING = (0.1, 0.1, 0.1)


def snowboard(mesh, length, kick_length, kick_rise, waist, contact, tip, thickness, sections):
    """A snowboard along x, centred on x = 0, its sole on z = 0 between the kicks: a plank whose
    nose and tail turn up along circular arcs (kick_length long, rising kick_rise) and whose
    half-width runs from waist at the centre to contact where the kicks begin and rounds off to tip
    at the ends. sections lists the stations along one kick, from where it begins (0) to the end
    (1); the flat middle has stations under the feet and at the centre. One closed shape: top, sole
    and both edges as strips along the board, and the two ends closed."""
    half = length / 2.0
    flat = half - kick_length
    radius = (kick_length ** 2 + kick_rise ** 2) / (2.0 * kick_rise)
    stations = [-half + kick_length * (1.0 - t) for t in reversed(sections)][:-1]
    stations += [-flat, -flat / 2.0, 0.0, flat / 2.0]
    stations += [flat + kick_length * t for t in sections]

    def section(x):
        u = max(0.0, abs(x) - flat)
        z = radius - math.sqrt(max(0.0, radius * radius - u * u))
        if u == 0.0:
            w = waist + (contact - waist) * (x / flat) ** 2
        else:
            t = u / kick_length
            w = tip + (contact - tip) * math.sqrt(max(0.0, 1.0 - t * t))
        return z, w

    faces = (  # (corner pair along the section's outline, outward direction)
        (((-1, 1), (1, 1)), (0.0, 0.0, 1.0)),
        (((1, 0), (-1, 0)), (0.0, 0.0, -1.0)),
        (((-1, 0), (-1, 1)), (0.0, -1.0, 0.0)),
        (((1, 1), (1, 0)), (0.0, 1.0, 0.0)),
    )
    strips = [[] for _ in faces]
    ends = []
    for x in stations:
        z, w = section(x)
        corner = {(sy, top): (x, sy * w, z + top * thickness) for sy in (-1, 1) for top in (0, 1)}
        for k, (pair, normal) in enumerate(faces):
            if normal[2] != 0.0:
                # the sole and the top follow the kick: tilt their normals with it
                u = max(0.0, abs(x) - flat)
                slope = u / math.sqrt(max(1e-9, radius * radius - u * u))
                normal = unit((-math.copysign(slope, x) * normal[2], 0.0, normal[2]))
            strips[k].append([mesh.vertex(corner[c], normal, BOARD, 0.55) for c in pair])
        ends.append(corner)
    for k, (pair, normal) in enumerate(faces):
        for i in range(len(stations) - 1):
            a, b = strips[k][i]
            c, d = strips[k][i + 1]
            mid = scaled(add(add(mesh.points[a], mesh.points[b]), add(mesh.points[c], mesh.points[d])),
                         0.25)
            centre_z = section(stations[i])[0] + thickness / 2.0
            outward = sub(mid, (mid[0], 0.0, centre_z)) if normal[2] == 0.0 else normal
            if normal[2] != 0.0:
                outward = (0.0, 0.0, normal[2])
            mesh.quad(a, b, d, c, outward)
    for corner, sign in ((ends[0], -1.0), (ends[-1], 1.0)):
        normal = (sign, 0.0, 0.0)
        ids = [mesh.vertex(corner[c], normal, BOARD, 0.55) for c in ((-1, 0), (1, 0), (1, 1), (-1, 1))]
        mesh.quad(*ids, normal)


def make_boarder():
    """The rider stands sideways on the board in a regular stance (left foot towards the nose,
    +x), facing -y, knees bent, the lead arm out towards the nose and the rear hand in front of
    the hips, looking down the course over the left shoulder. The figure is 8.2 units tall and the
    board 6.3 long with its nose and tail turned up, which the game's scale of 2 makes 16 m and
    13 m.

    The model's origin is the rear foot, so that the board reaches only its short, turned-up tail
    behind the place where the game stands it on the ground, and the rider's body stands over or
    ahead of it. The game does not tilt the model to the slope: on a course that falls away ahead,
    everything ahead of the foot clears the snow, and what lies behind it has to rise faster than
    the steepest slope under the start (a gradient of about 4.5) to stay out of it."""
    stance = 1.1  # each foot's distance from the board's centre
    binding = 0.9  # length of a binding's base plate along the board
    # The origin, which the game puts on the ground, under the back of the rear binding.
    origin = stance + binding / 2.0
    mesh = Mesh((0.35, 0.45, -0.82), 0.9, origin=(9.5 + origin, 0.0, 0.0))

    # Board with a stripe along its flat middle and two bindings.
    thickness = 0.2
    snowboard(mesh, length=6.3, kick_length=1.05, kick_rise=0.55, waist=0.7, contact=0.78,
              tip=0.34, thickness=thickness, sections=(0.0, 0.3, 0.6, 0.85, 1.0))
    mesh.box(BOARD_STRIPE, (0.0, 0.0, thickness + 0.012), (4.0, 0.32, 0.024))
    for foot in (-stance, stance):
        mesh.box(BINDING, (foot, 0.0, thickness + 0.1), (binding, 1.3, 0.2))
        mesh.box(BINDING, (foot, 0.6, 0.83), (0.82, 0.14, 0.86))  # high-back at the heel side

    # Legs: boots, shins, knees, thighs; the knees bent forwards and a little inwards.
    for side in (-1.0, 1.0):
        foot = stance * side
        ankle = (foot, 0.02, 0.95)
        knee = (0.8 * side, -0.55, 2.4)
        hip = (0.5 * side, 0.15, 3.8)
        mesh.box(BOOTS, (foot, -0.05, 0.67), (0.76, 1.18, 0.7))
        mesh.rod(BOOTS, (foot, 0.0, 0.6), ankle, 0.36)
        mesh.rod(PANTS, ankle, knee, 0.37)
        mesh.ball(PANTS, knee, 0.43)
        mesh.rod(PANTS, knee, hip, 0.44)
    mesh.ball(PANTS, (0.0, 0.15, 3.92), 1.0, scale=(0.92, 0.62, 0.55))

    # Body: the jacket leaning a little forward, a darker waist band and collar.
    mesh.ball(JACKET, (0.0, -0.02, 5.12), 1.0, scale=(1.0, 0.72, 1.38), rotation=(1, 0, 0, 0.18))
    mesh.disc(JACKET_DARK, (0.0, 0.12, 4.02), 0.93, 0.28, axis=(0.0, 0.0, 1.0))
    mesh.rod(JACKET_DARK, (0.0, -0.2, 6.22), (0.04, -0.28, 6.6), 0.42)

    # Arms: the lead (left) arm out towards the nose, the rear hand low in front of the hips.
    arms = (
        ((0.95, -0.28, 6.0), (1.8, -0.6, 5.2), (2.5, -0.85, 4.55)),
        ((-0.95, -0.2, 6.0), (-1.3, -0.62, 5.05), (-0.95, -1.05, 4.3)),
    )
    for shoulder, elbow, hand in arms:
        mesh.ball(JACKET, shoulder, 0.44)
        mesh.rod(JACKET, shoulder, elbow, 0.32)
        mesh.ball(JACKET, elbow, 0.32)
        mesh.rod(JACKET, elbow, hand, 0.29)
        mesh.ball(GLOVES, hand, 0.34)

    # Head looking towards the nose: face, helmet, goggle strap and goggles.
    head = (0.12, -0.32, 7.35)
    look = (0.86, -0.51, 0.0)
    mesh.ball(SKIN, head, 0.6)
    mesh.ball(HELMET, add(add(head, scaled(look, -0.2)), (0.0, 0.0, 0.14)), 0.7,
         scale=(1.0, 1.0, 0.96))
    band = add(head, (0.0, 0.0, 0.08))
    mesh.disc(STRAP, add(band, scaled(look, -0.1)), 0.66, 0.2)
    heading = math.atan2(look[1], look[0])
    goggles = add(band, scaled(look, 0.5))
    mesh.box(STRAP, goggles, (0.24, 0.84, 0.34), rotation=(0, 0, 1, heading))
    mesh.box(LENS, add(goggles, scaled(look, 0.11)), (0.06, 0.72, 0.25),
        rotation=(0, 0, 1, heading), glow=0.7)
    return mesh.inventor(
        "Snowboarder, z up, board nose towards +x, rear foot at (9.5, 0, 0).")


# ---------------------------------------------------------------------------------------------
# Start and finish arches
# ---------------------------------------------------------------------------------------------

# A 5 x 7 block font, top row first.
FONT = {
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "N": ["#...#", "##..#", "##..#", "#.#.#", "#..##", "#..##", "#...#"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
}

WHITE = (0.97, 0.97, 0.97)
BLACK = (0.05, 0.05, 0.06)


def lettering(mesh, word, colour, centre_x, centre_y, face_z, pixel, mirrored):
    """Block letters on the banner face at z = face_z, centred on (centre_x, centre_y). Each run of
    set pixels in a row becomes one thin box. mirrored lays the word out towards -x, so that it
    reads rightly from the -z side."""
    columns = 6 * len(word) - 1
    left = -columns * pixel / 2.0
    top = 3.5 * pixel
    thickness = 0.04
    z = face_z + (thickness / 2.0 if face_z > 0 else -thickness / 2.0)
    facing = 1.0 if face_z > 0 else -1.0
    for index, letter in enumerate(word):
        for row, bits in enumerate(FONT[letter]):
            column = 0
            while column < 5:
                if bits[column] != "#":
                    column += 1
                    continue
                end = column
                while end < 5 and bits[end] == "#":
                    end += 1
                x0 = left + (6 * index + column) * pixel
                x = x0 + (end - column) * pixel / 2.0
                if mirrored:
                    x = -x
                y = top - (row + 0.5) * pixel
                mesh.tile(colour, (centre_x + x, centre_y + y, z),
                          ((end - column) * pixel, pixel, thickness), facing)
                column = end


def chequers(mesh, x0, x1, y, size, face_z):
    """A row of black squares on every other place of a white strip at height y, on the face at
    z = face_z."""
    thickness = 0.04
    z = face_z + (thickness / 2.0 if face_z > 0 else -thickness / 2.0)
    facing = 1.0 if face_z > 0 else -1.0
    mesh.tile(WHITE, ((x0 + x1) / 2.0, y, z - (thickness / 4.0 if face_z > 0 else -thickness / 4.0)),
              (x1 - x0, size * 2.0, thickness / 2.0), facing)
    count = int((x1 - x0) / size)
    start = (x0 + x1) / 2.0 - count * size / 2.0
    for i in range(count):
        for j in (0, 1):
            if (i + j) % 2:
                continue
            mesh.tile(BLACK, (start + (i + 0.5) * size, y + (j - 0.5) * size, z),
                      (size, size, thickness), facing)


def striped_post(mesh, x, bottom, top, radius, colours, band):
    """A round post from y = bottom to y = top at (x, 0), in bands of the given colours counted
    from the top down, with a ball on top. The bands meet without inner end faces; only the two
    ends of the post are closed."""
    y = top
    i = 0
    while y > bottom + 1e-6:
        low = max(bottom, y - band)
        mesh.rod(colours[i % len(colours)], (x, low, 0.0), (x, y, 0.0), radius,
                 caps=(low <= bottom + 1e-6, i == 0))
        y = low
        i += 1
    mesh.ball(colours[0], (x, top + radius * 0.9, 0.0), radius * 1.5)


def arch(comment, word, posts, post_bottom, banner_bottom, banner_top, banner_colour,
         post_colours, finish_strips):
    """An arch of two posts in the plane z = 0 with a banner between them lettered on both
    faces."""
    mesh = Mesh((-0.3, -0.8, -0.5), 0.8)
    x0, x1 = posts
    radius = 0.3
    post_top = banner_top + 0.35
    for x in posts:
        striped_post(mesh, x, post_bottom, post_top, radius, post_colours, 1.0)
    depth = 0.16
    centre_x = (x0 + x1) / 2.0
    height = banner_top - banner_bottom
    centre_y = (banner_bottom + banner_top) / 2.0
    mesh.box(banner_colour, (centre_x, centre_y, 0.0), (x1 - x0 - 2 * radius, height, depth))
    # A thin frame round the banner.
    for y in (banner_bottom, banner_top):
        mesh.rod(WHITE, (x0, y, 0.0), (x1, y, 0.0), 0.09)
    pixel = min(height * 0.62, (x1 - x0) * 0.7 / (6 * len(word) - 1) * 7.0) / 7.0
    if finish_strips:
        size = height * 0.1
        pixel = min(pixel, (height - 5.0 * size) / 7.0)
    for face in (depth / 2.0, -depth / 2.0):
        lettering(mesh, word, WHITE, centre_x, centre_y, face, pixel, mirrored=face < 0)
        if finish_strips:
            for y in (banner_top - 1.2 * size, banner_bottom + 1.2 * size):
                chequers(mesh, x0 + radius + 0.1, x1 - radius - 0.1, y, size, face)
    return mesh.inventor(comment)


def make_start():
    """Start arch: posts at x = 0.4 and x = 15, which the game's placement puts on the edges of the
    start zone; the banner from 18 to 30 m above the ground, high over the boarder. The posts
    reach 40 m below the origin so that they meet the ground on a slope."""
    return arch("Start arch, y up, in the plane z = 0; banner faces +z (the approach).", "START",
                (0.4, 15.0), -8.0, 3.7, 5.9, (0.08, 0.55, 0.2), (WHITE, (0.08, 0.55, 0.2)), False)


def make_finish():
    """Finish arch: posts at x = -3 and x = 11.8 (the edges of the finish zone). The game lifts
    the origin 70 m above the ground, so the banner hangs 67 to 82 m up and the posts reach down
    to y = -17, 15 m below the ground under the origin."""
    return arch("Finish arch, y up, in the plane z = 0; banner faces +z (the approach).",
                "FINISH", (-3.0, 11.8), -17.0, -0.6, 2.4, (0.85, 0.08, 0.08),
                (WHITE, (0.85, 0.08, 0.08)), True)


# ---------------------------------------------------------------------------------------------
# Tree
# ---------------------------------------------------------------------------------------------

TRUNK = (0.545, 0.3528, 0.1689)
NEEDLES = (0.18, 0.545, 0.341)
NEEDLES_DARK = (0.12, 0.42, 0.26)
SNOW = (0.95, 0.97, 1.0)


def make_tree():
    """A snowy pine in metres, y up, its base at the origin: a trunk 20 high and three tiers of
    needles up to 70, each tier dusted with snow; the size and colours of the trees the game
    draws."""
    mesh = Mesh((-0.3, -0.8, -0.5), 0.8)
    mesh.rod(TRUNK, (0.0, 0.0, 0.0), (0.0, 24.0, 0.0), 2.0)
    tiers = ((20.0, 45.0, 10.0, NEEDLES_DARK), (34.0, 58.0, 8.0, NEEDLES),
             (47.0, 70.0, 6.0, NEEDLES))
    for index, (base, tip, radius, colour) in enumerate(tiers):
        mesh.cone(colour, (0.0, base, 0.0), (0.0, tip, 0.0), radius)
        # Snow lying on the tier: a pale cone of the same slope over its upper part, of which a
        # band shows below the next tier (and the whole cap on the top tier).
        snow_base = base + (tip - base) * (0.62 if index == len(tiers) - 1 else 0.42)
        mesh.cone(SNOW, (0.0, snow_base, 0.0), (0.0, tip + 0.3, 0.0),
             radius * (tip - snow_base) / (tip - base) + 0.25)
    return mesh.inventor("Pine, y up, base at the origin, 70 high.")


# ---------------------------------------------------------------------------------------------
# Pictures
# ---------------------------------------------------------------------------------------------


def write_bmp(path, width, height, pixels):
    """Writes a 24-bit uncompressed BMP (40-byte info header, rows bottom-up, each padded to four
    bytes). pixels holds rows top row first, each row a list of (r, g, b) in 0..255."""
    pad = (4 - (width * 3) % 4) % 4
    row_size = width * 3 + pad
    image_size = row_size * height
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + image_size, 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    body = bytearray()
    for row in reversed(pixels):
        for r, g, b in row:
            body += bytes((b, g, r))
        body += b"\0" * pad
    with open(path, "wb") as f:
        f.write(header + info + body)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def fade(t):
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0)


def mix(a, b, t):
    return a + (b - a) * t


def mix3(a, b, t):
    return (mix(a[0], b[0], t), mix(a[1], b[1], t), mix(a[2], b[2], t))


class PeriodicNoise1D:
    """Value noise on [0, 1) that wraps round: cells lattice values, smooth between them."""

    def __init__(self, rng, cells):
        self.cells = cells
        self.values = [rng.random() for _ in range(cells)]

    def __call__(self, u):
        x = (u % 1.0) * self.cells
        i = int(x)
        f = fade(x - i)
        return mix(self.values[i % self.cells], self.values[(i + 1) % self.cells], f)


class PeriodicNoise2D:
    """Gradient noise on the unit square that wraps round in both directions, cells_x by cells_y
    lattice cells; values in 0..1, mostly near the middle."""

    def __init__(self, rng, cells_x, cells_y=None):
        self.cx = cells_x
        self.cy = cells_y or cells_x
        self.gradients = []
        for _ in range(self.cy):
            row = []
            for _ in range(self.cx):
                a = rng.random() * 2.0 * math.pi
                row.append((math.cos(a), math.sin(a)))
            self.gradients.append(row)

    def corner(self, i, j, dx, dy):
        gx, gy = self.gradients[j % self.cy][i % self.cx]
        return gx * dx + gy * dy

    def __call__(self, u, v):
        x = (u % 1.0) * self.cx
        y = (v % 1.0) * self.cy
        i, j = int(x), int(y)
        fx, fy = x - i, y - j
        sx, sy = fade(fx), fade(fy)
        top = mix(self.corner(i, j, fx, fy), self.corner(i + 1, j, fx - 1.0, fy), sx)
        bottom = mix(self.corner(i, j + 1, fx, fy - 1.0),
                     self.corner(i + 1, j + 1, fx - 1.0, fy - 1.0), sx)
        return clamp01(0.5 + 0.75 * mix(top, bottom, sy))


def fbm(octaves, *coords):
    """Sum of noise octaves given as (noise, weight); the result is normalised to 0..1."""
    total = sum(w for _, w in octaves)
    return sum(n(*coords) * w for n, w in octaves) / total


def to_byte(colour):
    return tuple(max(0, min(255, int(round(c * 255.0)))) for c in colour)


def make_snow(size=128):
    """Seamless snow: near white with soft blue-grey drifts and a few sparkling grains."""
    rng = random.Random(1601)
    drifts = [(PeriodicNoise2D(rng, 2), 1.0), (PeriodicNoise2D(rng, 4), 0.6),
              (PeriodicNoise2D(rng, 8), 0.3)]
    grain = [(PeriodicNoise2D(rng, 32), 1.0), (PeriodicNoise2D(rng, 64), 0.7)]
    sparkle = {(rng.randrange(size), rng.randrange(size)) for _ in range(size * size // 90)}
    light = (0.975, 0.985, 1.0)
    shade = (0.80, 0.85, 0.93)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u, v = x / size, y / size
            d = clamp01((fbm(drifts, u, v) - 0.35) * 1.6)
            g = fbm(grain, u, v) - 0.5
            colour = mix3(light, shade, d * 0.5)
            colour = tuple(c + g * 0.05 for c in colour)
            if (x, y) in sparkle:
                colour = (1.0, 1.0, 1.0) if (x + y) % 3 else (0.9, 0.95, 1.0)
            row.append(to_byte(colour))
        rows.append(row)
    return size, size, rows


def ridge_noise(octaves, u):
    """A mountain profile: sharp crests where each octave's noise crosses its middle value."""
    total = sum(w for _, w in octaves)
    return sum((1.0 - abs(2.0 * n(u) - 1.0)) ** 1.6 * w for n, w in octaves) / total


def make_panorama(width=2048, height=256):
    """Mountains round the horizon. The picture repeats every half of its width, so the half that
    the game shows (columns 1664..2047 and 0..639) closes on itself, and the texture also wraps
    round at its left and right edges. Heights are fractions of the picture from its bottom: the
    game's band runs from 500 m below to 2000 m above the ground, so 0.2 is ground level. Far
    snowy peaks reach 0.5 to 0.78, a nearer range 0.42 to 0.66, dark forest on the foothills up to
    about 0.36, and a snowfield below 0.2. The light comes from the left."""
    period = width // 2
    rng = random.Random(2048256)
    sky_top = (0.16, 0.36, 0.70)
    sky_low = (0.74, 0.84, 0.95)
    clouds = [(PeriodicNoise2D(rng, 8, 4), 1.0), (PeriodicNoise2D(rng, 16, 8), 0.5),
              (PeriodicNoise2D(rng, 32, 16), 0.25)]
    far = [(PeriodicNoise1D(rng, 6), 1.0), (PeriodicNoise1D(rng, 13), 0.55),
           (PeriodicNoise1D(rng, 29), 0.25), (PeriodicNoise1D(rng, 61), 0.1)]
    mid = [(PeriodicNoise1D(rng, 9), 1.0), (PeriodicNoise1D(rng, 19), 0.5),
           (PeriodicNoise1D(rng, 41), 0.22), (PeriodicNoise1D(rng, 97), 0.08)]
    hills = [(PeriodicNoise1D(rng, 7), 1.0), (PeriodicNoise1D(rng, 17), 0.4)]
    treetops = PeriodicNoise1D(rng, 256)
    tip_heights = [0.25 + 0.75 * rng.random() for _ in range(512)]
    rock = [(PeriodicNoise2D(rng, 96, 12), 1.0), (PeriodicNoise2D(rng, 192, 24), 0.5),
            (PeriodicNoise2D(rng, 384, 48), 0.25)]
    snowline = PeriodicNoise1D(rng, 23)
    woods = [(PeriodicNoise2D(rng, 64, 8), 1.0), (PeriodicNoise2D(rng, 256, 32), 0.6),
             (PeriodicNoise2D(rng, 512, 64), 0.3)]
    field = [(PeriodicNoise2D(rng, 16, 4), 1.0), (PeriodicNoise2D(rng, 64, 8), 0.3)]

    def crest(octaves, low, high):
        return [low + (high - low) * ridge_noise(octaves, x / period) for x in range(period)]

    far_crest = crest(far, 0.48, 0.78)
    mid_crest = crest(mid, 0.40, 0.66)

    def light(profile, x, depth_rows):
        """How much a mountain face is lit: the slope of its crest line, taken over a span that
        widens with the depth below the crest, so that the line between the lit and the shaded
        face runs down from every peak."""
        w = 2 + int(depth_rows * 0.6)
        rise = (profile[(x + w) % period] - profile[(x - w) % period]) * height / (2.0 * w)
        return clamp01(0.5 + rise * 1.6)

    def mountain(profile, x, u, t, shade, snow_bright, stone_dark, stone_bright, snow_from, haze):
        depth_rows = (profile[x] - t) * height
        lit = light(profile, x, depth_rows)
        snow = mix3(shade, snow_bright, lit)
        stone = mix3(stone_dark, stone_bright, lit)
        line = snow_from + 0.08 * snowline(u)
        r = fbm(rock, u, t)
        rocky = clamp01((line - t) * 12.0 + (r - 0.5) * 3.0)
        # Rock shows through on the steepest crests and in the gullies.
        rocky = max(rocky, clamp01((r - 0.72) * 5.0))
        return mix3(mix3(snow, stone, rocky), sky_low, haze)

    def sky(x, u, t):
        """A gradient from the zenith to a pale horizon, with soft high clouds."""
        k = clamp01((t - 0.45) / 0.55)
        colour = mix3(sky_low, sky_top, k ** 0.8)
        c = clamp01((fbm(clouds, u, t * 0.5) - 0.55) * 3.0) * clamp01((t - 0.72) * 4.0)
        return mix3(colour, (0.97, 0.98, 1.0), c * 0.6)

    def far_range(x, u, t):
        """Hazy and nearly all snow."""
        return mountain(far_crest, x, u, t, (0.68, 0.75, 0.88), (0.96, 0.97, 1.0),
                        (0.50, 0.56, 0.68), (0.66, 0.71, 0.82), 0.5, 0.3)

    def near_range(x, u, t):
        """Sharper, with rock below its snow line."""
        return mountain(mid_crest, x, u + 0.37, t, (0.62, 0.69, 0.84), (0.99, 0.99, 1.0),
                        (0.27, 0.28, 0.33), (0.50, 0.48, 0.50), 0.44, 0.08)

    def forest(x, u, t):
        """Dark firs on the foothills, snow in the clearings."""
        p = fbm(woods, u, t)
        trees = mix3((0.08, 0.17, 0.14), (0.18, 0.32, 0.25), clamp01(p * 1.6 - 0.3))
        clearing = clamp01((p - 0.64) * 7.0)
        return mix3(trees, (0.86, 0.90, 0.96), clearing * 0.85)

    def snowfield(x, u, t):
        f = fbm(field, u, t)
        return mix3((0.97, 0.98, 1.0), (0.80, 0.85, 0.94), clamp01((f - 0.4) * 1.2))

    rows = [[None] * width for _ in range(height)]
    for x in range(period):
        u = x / period
        r_far = far_crest[x]
        r_mid = mid_crest[x]
        # Tree tips: a saw-tooth of 512 teeth, each of its own height.
        spikes = abs(((u * 512.0) % 1.0) - 0.5) * 2.0
        tip = tip_heights[int(u * 512.0) % 512]
        r_hill = 0.24 + 0.1 * fbm(hills, u) + 0.014 * tip * (1.0 - spikes) + 0.006 * treetops(u)
        r_field = 0.2 + 0.012 * fbm(hills, u + 0.5)
        for y in range(height):
            t = 1.0 - (y + 0.5) / height
            # Layers from the back to the front, each with its coverage of this pixel (edges
            # smoothed over one pixel); only the frontmost fully covering layer and those in front
            # of it need painting.
            layers = [
                (sky, 1.0),
                (far_range, clamp01((r_far - t) * height + 0.5)),
                (near_range, clamp01((r_mid - t) * height + 0.5)),
                (forest, clamp01((r_hill - t) * height + 0.5)),
                (snowfield, clamp01((r_field - t) * height + 0.5)),
            ]
            first = max(i for i, (_, cover) in enumerate(layers) if cover >= 1.0)
            colour = None
            for paint, cover in layers[first:]:
                if cover > 0.0:
                    m = paint(x, u, t)
                    colour = m if colour is None else mix3(colour, m, cover)
            pixel = to_byte(colour)
            rows[y][x] = pixel
            rows[y][x + period] = pixel
    return width, height, rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data")
    os.makedirs(out, exist_ok=True)
    files = {
        "boarder.iv": make_boarder(),
        "start.iv": make_start(),
        "finish.iv": make_finish(),
        "tree.iv": make_tree(),
    }
    for name, content in files.items():
        with open(os.path.join(out, name), "w", encoding="ascii", newline="\n") as f:
            f.write(content)
    pictures = {
        "snow16.bmp": make_snow(),
        "panorama20480256.bmp": make_panorama(),
    }
    for name, (width, height, rows) in pictures.items():
        write_bmp(os.path.join(out, name), width, height, rows)


if __name__ == "__main__":
    main()
