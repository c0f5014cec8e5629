#!/usr/bin/env python3
"""Writes a large course for measuring the drawing: a closed room whose six walls face inward.

    make_room_course.py CELLS BOXES [OUTPUT]

The room spans x and z from -20 to 20 and y from -10 to 10 course units (file numbers are 5
times those), so the orbiting camera (radius 40, height 15) sees the near walls and the ceiling
from behind, as outlines, and the floor and the far walls filled. Each wall is a grid of CELLS
by CELLS cells, each cell two triangles whose normal points into the room, and is cut into
BOXES by BOXES collision boxes of whole cells. The course holds 12 * CELLS^2 triangles:
CELLS 91 with BOXES 4 gives 99372, CELLS 289 with BOXES 12 gives 1002252.
"""

import sys

# Course units to file numbers: the reader multiplies every coordinate by 0.2.
FILE_PER_COURSE_UNIT = 5.0
HALF_WIDTH = 20.0  # x and z, course units
HALF_HEIGHT = 10.0  # y, course units

# A few colours, so that neighbouring boxes and walls tell apart on screenshots.
PALETTE = (
    (0.1, 0.36, 0.14, 1.0),
    (0.2, 0.62, 0.22, 1.0),
    (0.7, 0.2, 0.15, 1.0),
    (0.25, 0.3, 0.75, 1.0),
    (0.8, 0.7, 0.2, 1.0),
    (0.9, 0.9, 0.88, 1.0),
    (0.5, 0.25, 0.6, 1.0),
)

# Each wall: its origin corner and two edge vectors u and v (course units) with u x v pointing
# into the room, so that the triangles (p, p+u, p+u+v) and (p, p+u+v, p+v) face inward.
W, H = HALF_WIDTH, HALF_HEIGHT
WALLS = (
    ((-W, -H, -W), (0, 0, 2 * W), (2 * W, 0, 0)),  # floor, normal +y
    ((-W, H, -W), (2 * W, 0, 0), (0, 0, 2 * W)),  # ceiling, normal -y
    ((-W, -H, -W), (0, 2 * H, 0), (0, 0, 2 * W)),  # x = -20, normal +x
    ((W, -H, -W), (0, 0, 2 * W), (0, 2 * H, 0)),  # x = +20, normal -x
    ((-W, -H, -W), (2 * W, 0, 0), (0, 2 * H, 0)),  # z = -20, normal +z
    ((-W, -H, W), (0, 2 * H, 0), (2 * W, 0, 0)),  # z = +20, normal -z
)


def split(cells, parts):
    """Cell index ranges of `parts` nearly equal runs covering 0..cells."""
    edges = [cells * i // parts for i in range(parts + 1)]
    return [(edges[i], edges[i + 1]) for i in range(parts)]


def point(origin, u, v, i, j, cells):
    """File numbers of the grid point i cells along u and j along v."""
    return tuple(
        FILE_PER_COURSE_UNIT * (origin[a] + u[a] * i / cells + v[a] * j / cells) for a in range(3)
    )


def write_course(out, cells, boxes):
    colour_index = 0
    for origin, u, v in WALLS:
        for i0, i1 in split(cells, boxes):
            for j0, j1 in split(cells, boxes):
                colour = PALETTE[colour_index % len(PALETTE)]
                colour_index += 1
                out.write("start\n" + " ".join(f"{c:g}" for c in colour) + "\n")
                for i in range(i0, i1):
                    for j in range(j0, j1):
                        p00 = point(origin, u, v, i, j, cells)
                        p10 = point(origin, u, v, i + 1, j, cells)
                        p11 = point(origin, u, v, i + 1, j + 1, cells)
                        p01 = point(origin, u, v, i, j + 1, cells)
                        for triangle in ((p00, p10, p11), (p00, p11, p01)):
                            out.write("  ".join(" ".join(f"{c:.6g}" for c in p) for p in triangle))
                            out.write("\n")
                out.write("\n")
    out.write("end\n")


def main(argv):
    if len(argv) not in (3, 4):
        sys.stderr.write("usage: make_room_course.py CELLS BOXES [OUTPUT]\n")
        return 2
    try:
        cells, boxes = int(argv[1]), int(argv[2])
    except ValueError:
        sys.stderr.write("make_room_course.py: CELLS and BOXES are whole numbers\n")
        return 2
    if not 1 <= boxes <= cells <= 10000:
        sys.stderr.write("make_room_course.py: need 1 <= BOXES <= CELLS <= 10000\n")
        return 2
    if len(argv) == 4:
        with open(argv[3], "w") as out:
            write_course(out, cells, boxes)
    else:
        write_course(sys.stdout, cells, boxes)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
