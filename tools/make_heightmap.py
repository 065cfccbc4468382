#!/usr/bin/env python3
"""Generates world/heightmap_data.cpp, the game's 81 x 81 terrain table.

The surveyed elevations we have are a coarse 9 x 9 grid (every tenth row and column), two rows
around the summit and a few single vertices. The vertices between them are filled with a thin-plate
spline through all of these control values (the surface of least bending through them, which looks
like a real mountain), plus a gentle ripple of a few metres so the slope is not unnaturally even.
Elevations are rounded to centimetres. A handful of shaping points of our own keep the lowest vertex
where the survey puts it. Along the course the free elevations are then reshaped so that the cells
the boarder crosses are close to planar (the GL draws a cell as two triangles, the boarder stands
on the bilinear surface) and the fall below the start's cliff is spread out (see shape_course).

Before writing anything the script checks every property the game relies on (layout, eastings and
northings, the surveyed values in place, the heights the height query must give, the summit as the
highest and the valley vertex as the lowest point, centimetre values, smoothness, the course's cells
close to planar) and exits with an error naming the first property that fails.

Usage: make_heightmap.py [--check] [OUTPUT]
  OUTPUT   the file to write (default: world/heightmap_data.cpp of this checkout)
  --check  write nothing; fail unless OUTPUT already holds exactly what would be generated

Python 3 standard library only.
"""

import argparse
import math
import os
import struct
import sys

SIZE = 81  # vertices along each side
SPACING = 25.0  # metres between neighbouring vertices
EASTING0 = 616000.0  # easting of column 0
NORTHING0 = 92700.0  # northing of row 0
SUMMIT = (41, 42, 4478.0)
LOWEST = (80, 66, 3036.8)

# Surveyed elevations at every tenth row (down) and column (across).
COARSE = [
    [3432.7, 3441.88, 3372.61, 3326.11, 3280.0, 3243.99, 3184.38, 3093.48, 3066.69],
    [3391.49, 3534.31, 3605.51, 3417.89, 3370.12, 3323.71, 3298.62, 3267.42, 3160.52],
    [3235.99, 3464.69, 3721.1, 3646.11, 3446.38, 3497.38, 3586.41, 3541.09, 3437.6],
    [3138.58, 3413.21, 3693.61, 3957.01, 4105.52, 3963.39, 3887.7, 3604.02, 3336.82],
    [3108.12, 3417.49, 3903.69, 4148.08, 4460.78, 4133.62, 3832.81, 3561.89, 3331.4],
    [3411.29, 3608.7, 4083.62, 4158.31, 3943.9, 3815.98, 3662.71, 3518.8, 3224.81],
    [3596.29, 3679.5, 3803.0, 3804.71, 3594.71, 3412.51, 3287.0, 3315.1, 3228.39],
    [3481.39, 3380.3, 3579.5, 3468.8, 3315.49, 3210.38, 3139.28, 3158.99, 3318.59],
    [3257.72, 3197.89, 3283.28, 3161.39, 3101.91, 3045.4, 3044.18, 3051.61, 3156.11],
]

# Surveyed rows around the summit, columns 38 to 46.
SUMMIT_ROWS = {
    40: [4437.4, 4466.99, 4460.78, 4454.79, 4447.89, 4440.59, 4423.11, 4400.3, 4288.81],
    41: [4427.0, 4425.99, 4450.9, 4464.41, 4478.0, 4453.22, 4425.99, 4376.21, 4278.8],
}

# Single surveyed vertices (row, column): the edge values one step inside the far corners, the
# two vertices under the start model, and the lowest point of the slope.
SINGLE = {
    (1, 0): 3446.38,
    (1, 79): 3083.12,
    (43, 46): 4325.08,
    (43, 47): 4254.98,
    (80, 66): 3036.8,
}

# Shaping points of our own: without them the spline's lowest point drifts one column west of the
# surveyed one.
SHAPING = {
    (80, 65): 3037.6,
    (80, 67): 3037.9,
}

# Ripple: (amplitude m, wavelength in grid steps, direction in degrees, phase in radians). Long
# waves of a few metres; faded out near the lowest point so that it stays the lowest.
RIPPLES = [
    (2.2, 13.0, 20.0, 0.4),
    (1.6, 9.0, 115.0, 1.9),
    (1.1, 6.5, 62.0, 3.1),
    (0.7, 5.0, 160.0, 5.2),
]
RIPPLE_FADE = (4.0, 12.0)  # grid steps from the lowest point: no ripple within, full beyond

# Checks of smoothness, in metres. The survey itself has neighbours 111.49 m apart (row 40,
# columns 45 and 46) and a bend of 88.68 m there.
MAX_STEP = 120.0  # largest difference between neighbouring vertices
MAX_BEND = 95.0  # largest second difference along a row or a column
MEAN_BEND = 6.0  # mean absolute second difference: a smooth surface, not noise

# Heights the query must give at these world points (x, z).
QUERIES = [
    (0.0, 0.0, 4460.78),
    (50.0, -25.0, 4478.0),
    (-1000.0, -1000.0, 3257.72),
    (-1000.0, 1000.0, 3446.38),
    (1000.0, 1000.0, 3083.12),
    (5000.0, 2000.0, 3083.12),
    (-3000.0, -1000.0, 3257.72),
    (170.0, -75.0, 4269.0),
    (12.5, -12.5, 4457.72),
]


# The course: the boarder starts at x = 100, z = 0 and runs towards +x past the gates (z from -30
# to 160) to the finish at x = 952. The game stands the boarder's model, which it does not tilt to
# the slope, on the bilinear height of its cell, while the GL draws each cell as two triangles: in
# a twisted cell (A + D != B + C for the near corners A, B and the far corners C, D) the two differ
# by up to |A + D - B - C| / 4 at its middle, and the model stands in a hole or above a hump of that
# depth. Inside the course's corridor the free elevations are reshaped so that its cells are close
# to planar, and the fall from the start's cliff (forced by the survey at x = 125..150) to x = 250
# is spread evenly instead of dropping away at once.
COURSE_COLUMNS = (43, 80)  # vertex columns reshaped: x from 75 to 1000
COURSE_ROWS = (31, 44)  # vertex rows reshaped: z from 225 down to -100
# The cells the boarder crosses: those within a model's reach (5 m) of the lines z = 0, -20, 60
# and 140 from x = 90 to 965, the way from the start down to the start zone (x > 170, z < 0), and
# beyond the start (x > 175) the whole width the gates ask of it.
# Beside the start's cliff, between the lines, the cells stay free to take the cliff's fall out.
COURSE_LINES = (0.0, -20.0, 60.0, 140.0)
COURSE_REACH = 5.0
COURSE_X = (90.0, 965.0)
CORRIDOR = (175.0, -45.0, 170.0)  # from x, z from, z to
START_APPROACH = (100.0, 175.0, -50.0, 0.0)  # x from, x to, z from, z to: from the start to its zone
TWIST_WEIGHT = 150.0  # against the twist of a course cell, relative to the bending of the change
SPREAD = (range(33, 43), 44, 50)  # rows whose steps between these columns are evened out
SPREAD_WEIGHT = 2.0
SHAPING_SWEEPS = 400
MAX_COURSE_TWIST = 2.0  # largest |A + D - B - C| / 4 left in a course cell with a free corner, m


def course_cells():
    """The cells (row, column: the corner of smallest row and column) the boarder crosses."""
    cells = []
    for r in range(SIZE - 1):
        for c in range(SIZE - 1):
            top, bottom = 1000.0 - SPACING * r, 1000.0 - SPACING * (r + 1)
            left, right = SPACING * c - 1000.0, SPACING * (c + 1) - 1000.0
            if right <= COURSE_X[0] or left >= COURSE_X[1]:
                continue
            near_line = any(bottom < z + COURSE_REACH and top > z - COURSE_REACH
                            for z in COURSE_LINES)
            in_corridor = right > CORRIDOR[0] and bottom < CORRIDOR[2] and top > CORRIDOR[1]
            x0, x1, z0, z1 = START_APPROACH
            approach = right > x0 and left < x1 and bottom < z1 and top > z0
            if near_line or in_corridor or approach:
                cells.append((r, c))
    return cells


def twist(table, r, c):
    """|A + D - B - C| / 4 of the cell with (r, c) as its corner: how far its two triangles stray
    from the bilinear surface at its middle."""
    return abs(table[r][c] + table[r + 1][c + 1] - table[r][c + 1] - table[r + 1][c]) / 4.0


def shape_course(table, fixed):
    """Reshapes the free elevations of the course's corridor in place: least squares of the
    bending of the change (second differences along rows, columns and across, as a thin plate
    bends), of the twist of the course's cells, and of the steps of the start's fall, solved by
    Gauss-Seidel sweeps. Elevations in fixed, and all outside the corridor, stay."""
    r0, r1 = COURSE_ROWS
    c0, c1 = COURSE_COLUMNS
    free = {(r, c) for r in range(r0, r1 + 1) for c in range(c0, c1 + 1) if (r, c) not in fixed}
    base = [row[:] for row in table]
    terms = []  # [weight, [(vertex, coefficient)], constant]: weight * (sum + constant)^2

    def add_term(weight, parts, on_change):
        if not any(v in free for v, _ in parts):
            return
        const = -sum(k * base[r][c] for (r, c), k in parts) if on_change else 0.0
        terms.append([weight, parts, const])

    inside = lambda r, c: 0 <= r < SIZE and 0 <= c < SIZE
    for r in range(r0 - 1, r1 + 2):
        for c in range(c0 - 1, c1 + 2):
            for dr, dc in ((0, 1), (1, 0)):
                if inside(r - dr, c - dc) and inside(r + dr, c + dc):
                    add_term(1.0, [((r - dr, c - dc), 1.0), ((r, c), -2.0), ((r + dr, c + dc), 1.0)],
                             True)
            if inside(r + 1, c + 1):
                cross = [((r, c), 1.0), ((r + 1, c + 1), 1.0), ((r, c + 1), -1.0), ((r + 1, c), -1.0)]
                add_term(2.0, cross, True)
    for r, c in course_cells():
        add_term(TWIST_WEIGHT,
                 [((r, c), 1.0), ((r + 1, c + 1), 1.0), ((r, c + 1), -1.0), ((r + 1, c), -1.0)],
                 False)
    rows, first, last = SPREAD
    for r in rows:
        for c in range(first, last):
            add_term(SPREAD_WEIGHT, [((r, c), -1.0), ((r, c + 1), 1.0)], False)

    # Each term's current value, and the terms each free vertex takes part in.
    uses = {v: [] for v in free}
    for term in terms:
        weight, parts, const = term
        term.append(const + sum(k * table[r][c] for (r, c), k in parts))
        for v, k in parts:
            if v in free:
                uses[v].append((term, k))
    order = sorted(free)
    for _ in range(SHAPING_SWEEPS):
        for r, c in order:
            num = sum(t[0] * k * t[3] for t, k in uses[(r, c)])
            den = sum(t[0] * k * k for t, k in uses[(r, c)])
            step = -num / den
            table[r][c] += step
            for t, k in uses[(r, c)]:
                t[3] += k * step
    for r, c in free:
        table[r][c] = round(table[r][c], 2)


class CheckFailed(Exception):
    pass


def surveyed():
    """All surveyed elevations as {(row, column): metres}."""
    values = {}
    for i, row in enumerate(COARSE):
        for j, h in enumerate(row):
            values[(10 * i, 10 * j)] = h
    for r, row in SUMMIT_ROWS.items():
        for k, h in enumerate(row):
            if (r, 38 + k) in values and values[(r, 38 + k)] != h:
                raise CheckFailed("surveyed values disagree at row %d column %d" % (r, 38 + k))
            values[(r, 38 + k)] = h
    values.update(SINGLE)
    return values


def ripple(r, c):
    """The ripple in metres at vertex (r, c)."""
    d = math.hypot(r - LOWEST[0], c - LOWEST[1])
    lo, hi = RIPPLE_FADE
    t = min(1.0, max(0.0, (d - lo) / (hi - lo)))
    fade = t * t * (3.0 - 2.0 * t)
    s = 0.0
    for amplitude, wavelength, direction, phase in RIPPLES:
        a = math.radians(direction)
        k = 2.0 * math.pi / wavelength
        s += amplitude * math.sin(k * (r * math.cos(a) + c * math.sin(a)) + phase)
    return fade * s


def spline_kernel(d2):
    """The thin-plate kernel r^2 log r, written with the squared distance."""
    return 0.0 if d2 == 0.0 else 0.5 * d2 * math.log(d2)


def solve(matrix, rhs):
    """Solves matrix * x = rhs by Gaussian elimination with partial pivoting."""
    n = len(rhs)
    a = [row[:] + [b] for row, b in zip(matrix, rhs)]
    for k in range(n):
        p = max(range(k, n), key=lambda i: abs(a[i][k]))
        if abs(a[p][k]) < 1e-12:
            raise CheckFailed("the spline's equations are singular")
        a[k], a[p] = a[p], a[k]
        pivot = a[k]
        for i in range(k + 1, n):
            f = a[i][k] / pivot[k]
            if f != 0.0:
                row = a[i]
                for j in range(k, n + 1):
                    row[j] -= f * pivot[j]
    x = [0.0] * n
    for k in range(n - 1, -1, -1):
        x[k] = (a[k][n] - sum(a[k][j] * x[j] for j in range(k + 1, n))) / a[k][k]
    return x


def elevations():
    """The full table of elevations, [row][column] in metres, rounded to centimetres."""
    control = surveyed()
    control.update(SHAPING)
    points = sorted(control)
    n = len(points)
    # Thin-plate spline in grid units: weights for each control point plus an affine part, fitted
    # to the control values less the ripple, so that adding the ripple back meets them exactly.
    matrix = [[0.0] * (n + 3) for _ in range(n + 3)]
    rhs = [0.0] * (n + 3)
    for a, (r, c) in enumerate(points):
        for b, (r2, c2) in enumerate(points):
            matrix[a][b] = spline_kernel(float((r - r2) ** 2 + (c - c2) ** 2))
        matrix[a][n : n + 3] = [1.0, float(r), float(c)]
        matrix[n][a], matrix[n + 1][a], matrix[n + 2][a] = 1.0, float(r), float(c)
        rhs[a] = control[(r, c)] - ripple(r, c)
    x = solve(matrix, rhs)
    table = []
    for r in range(SIZE):
        row = []
        for c in range(SIZE):
            h = x[n] + x[n + 1] * r + x[n + 2] * c + ripple(r, c)
            for a, (pr, pc) in enumerate(points):
                h += x[a] * spline_kernel(float((r - pr) ** 2 + (c - pc) ** 2))
            row.append(round(h, 2))
        table.append(row)
    # The spline meets its control values to within rounding; write the exact ones.
    for (r, c), h in control.items():
        if abs(table[r][c] - h) > 0.015:
            raise CheckFailed("the spline misses row %d column %d by %.3f m" % (r, c, table[r][c] - h))
        table[r][c] = h
    shape_course(table, set(control))
    return table


def to_float(v):
    """v rounded to single precision."""
    return struct.unpack("f", struct.pack("f", v))[0]


def height_at(table, x, z):
    """The game's height query, step by step with its single-precision roundings."""
    x, z = to_float(x), to_float(z)
    x = min(1000.0, max(-1000.0, x))
    z = min(1000.0, max(-1000.0, z))
    u, v = to_float(x + 1000.0), to_float(z + 1000.0)
    i, j = int(math.floor(u / 25.0)), int(math.floor(v / 25.0))
    fu, fv = to_float(u - 25.0 * i), to_float(v - 25.0 * j)
    i, j = min(79, max(0, i)), min(79, max(0, j))
    near_row, far_row = 80 - j, 79 - j
    a, b = to_float(table[near_row][i]), to_float(table[near_row][i + 1])
    c, d = to_float(table[far_row][i]), to_float(table[far_row][i + 1])
    near = to_float(a + (b - a) * fu / 25.0)
    far = to_float(c + (d - c) * fu / 25.0)
    return to_float(near + (far - near) * fv / 25.0)


def format_value(h):
    """The shortest literal that reads back as h."""
    return repr(float(h))


def check(table):
    """Raises CheckFailed naming the first broken property of the table."""
    if len(table) != SIZE or any(len(row) != SIZE for row in table):
        raise CheckFailed("the table is not %d x %d" % (SIZE, SIZE))
    for (r, c), h in surveyed().items():
        if table[r][c] != h:
            raise CheckFailed("row %d column %d is %r, surveyed %r" % (r, c, table[r][c], h))
    for r in range(SIZE):
        for c in range(SIZE):
            h = table[r][c]
            text = format_value(h)
            if not math.isfinite(h) or len(text.split(".")[1]) > 2 or round(h, 2) != h:
                raise CheckFailed("row %d column %d (%s) has more than two decimals" % (r, c, text))
    flat = [(table[r][c], r, c) for r in range(SIZE) for c in range(SIZE)]
    top = [(r, c) for h, r, c in flat if h >= SUMMIT[2]]
    if top != [SUMMIT[:2]] or table[SUMMIT[0]][SUMMIT[1]] != SUMMIT[2]:
        raise CheckFailed("the summit is not the one highest vertex: %r" % top)
    bottom = [(r, c) for h, r, c in flat if h <= LOWEST[2]]
    if bottom != [LOWEST[:2]] or table[LOWEST[0]][LOWEST[1]] != LOWEST[2]:
        raise CheckFailed("row 80 column 66 is not the one lowest vertex: %r" % bottom)
    for x, z, expected in QUERIES:
        got = height_at(table, x, z)
        if got != to_float(expected):
            raise CheckFailed("height at (%g, %g) is %r, should be %r" % (x, z, got, expected))
    steps, bends = [], []
    for r in range(SIZE):
        for c in range(SIZE):
            if c + 1 < SIZE:
                steps.append(abs(table[r][c + 1] - table[r][c]))
            if r + 1 < SIZE:
                steps.append(abs(table[r + 1][c] - table[r][c]))
            if 0 < c < SIZE - 1:
                bends.append(abs(table[r][c - 1] - 2 * table[r][c] + table[r][c + 1]))
            if 0 < r < SIZE - 1:
                bends.append(abs(table[r - 1][c] - 2 * table[r][c] + table[r + 1][c]))
    if max(steps) > MAX_STEP:
        raise CheckFailed("neighbours differ by %.2f m, more than %.0f" % (max(steps), MAX_STEP))
    if max(bends) > MAX_BEND:
        raise CheckFailed("a second difference of %.2f m, more than %.0f" % (max(bends), MAX_BEND))
    mean_bend = sum(bends) / len(bends)
    if mean_bend > MEAN_BEND:
        raise CheckFailed("mean second difference %.2f m, more than %.0f" % (mean_bend, MEAN_BEND))
    # The survey fixes all four corners of a few cells at the start; every other cell the boarder
    # crosses must be close to planar.
    fixed = surveyed()
    free_cells = [(r, c) for r, c in course_cells()
                  if any(v not in fixed for v in ((r, c), (r, c + 1), (r + 1, c), (r + 1, c + 1)))]
    worst = max(free_cells, key=lambda cell: twist(table, *cell))
    if twist(table, *worst) > MAX_COURSE_TWIST:
        raise CheckFailed("the course's cell at row %d column %d is twisted by %.2f m, more than %.1f"
                          % (worst + (twist(table, *worst), MAX_COURSE_TWIST)))
    return {
        "largest step": max(steps),
        "mean step": sum(steps) / len(steps),
        "largest bend": max(bends),
        "mean bend": mean_bend,
        "largest twist of a course cell": twist(table, *worst),
    }


def source(table):
    """The C++ source text of the table."""
    lines = [
        "// Generated by tools/make_heightmap.py from the surveyed elevations; do not edit.",
        "// clang-format off",
        '#include "world/heightmap.h"',
        "",
        "const double Heightmap[81][81][3] = {",
    ]
    for r in range(SIZE):
        lines.append("    // Row %d, northing %s." % (r, format_value(NORTHING0 - SPACING * r)))
        lines.append("    {")
        for c in range(SIZE):
            lines.append(
                "        {%s, %s, %s},"
                % (
                    format_value(EASTING0 + SPACING * c),
                    format_value(NORTHING0 - SPACING * r),
                    format_value(table[r][c]),
                )
            )
        lines.append("    },")
    lines.append("};")
    return "\n".join(lines) + "\n"


def check_source(text, table):
    """Reads the generated text back and checks layout, eastings, northings and elevations."""
    rows = [line.strip() for line in text.splitlines() if line.strip().startswith("{6")]
    if len(rows) != SIZE * SIZE:
        raise CheckFailed("the source holds %d vertices" % len(rows))
    for k, line in enumerate(rows):
        r, c = divmod(k, SIZE)
        e, n, h = (float(v) for v in line.strip("{},").split(","))
        if e != EASTING0 + SPACING * c or n != NORTHING0 - SPACING * r or h != table[r][c]:
            raise CheckFailed("vertex row %d column %d reads back as %r" % (r, c, line))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Generates the terrain table.")
    parser.add_argument("output", nargs="?", default=os.path.join(root, "world", "heightmap_data.cpp"))
    parser.add_argument("--check", action="store_true", help="only compare with OUTPUT")
    args = parser.parse_args()
    try:
        table = elevations()
        figures = check(table)
        text = source(table)
        check_source(text, table)
    except CheckFailed as failure:
        print("make_heightmap: check failed: %s" % failure, file=sys.stderr)
        return 1
    for name, value in figures.items():
        print("%s: %.2f m" % (name, value))
    if args.check:
        try:
            with open(args.output, encoding="utf-8") as f:
                current = f.read()
        except OSError as error:
            print("make_heightmap: cannot read %s: %s" % (args.output, error), file=sys.stderr)
            return 1
        if current != text:
            print("make_heightmap: %s is out of date" % args.output, file=sys.stderr)
            return 1
        print("%s is up to date" % args.output)
        return 0
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)
    print("wrote %s" % args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
