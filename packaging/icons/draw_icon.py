#!/usr/bin/env python3
"""Draws the station's application icon, a transmitter mast sending waves, once as
varnetix-nms.svg and as PNGs at the usual sizes, from one description of the shapes, so that
the two never drift apart. Needs nothing beyond Python itself; run it after changing a shape
and commit what it writes."""
import math
import struct
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
SIZES = (16, 24, 32, 48, 64, 128, 256)
VIEW = 256

TOP = (0x2E, 0x6C, 0xC0)
BOTTOM = (0x12, 0x32, 0x66)
WHITE = (0xFF, 0xFF, 0xFF)
BEACON = (0xFF, 0x4A, 0x3D)

MAST_TOP = (128, 96)
BASE_Y = 220
LEG = 14
BRACE = 9

# The tile first, then the mast, the waves, and the beacon over the mast's tip.
SHAPES = [
    ("tile", 16, 16, 224, 224, 44),
    ("line", MAST_TOP, (90, BASE_Y), LEG, WHITE),
    ("line", MAST_TOP, (166, BASE_Y), LEG, WHITE),
    ("line", (72, BASE_Y), (184, BASE_Y), LEG, WHITE),
    ("line", (117, 132), (139, 132), BRACE, WHITE),
    ("line", (117, 132), (150, 168), BRACE, WHITE),
    ("line", (139, 132), (106, 168), BRACE, WHITE),
    ("line", (106, 168), (150, 168), BRACE, WHITE),
    ("line", (106, 168), (166, BASE_Y), BRACE, WHITE),
    ("line", (150, 168), (90, BASE_Y), BRACE, WHITE),
    ("arc", (128, 84), 40, -38, 38, LEG, WHITE),
    ("arc", (128, 84), 40, 142, 218, LEG, WHITE),
    ("arc", (128, 84), 70, -34, 34, LEG, WHITE),
    ("arc", (128, 84), 70, 146, 214, LEG, WHITE),
    ("circle", (128, 84), 16, BEACON),
]


def hexcolour(c):
    return "#%02x%02x%02x" % c


def arc_point(centre, r, degrees):
    a = math.radians(degrees)
    return centre[0] + r * math.cos(a), centre[1] - r * math.sin(a)


def svg():
    out = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
        % (VIEW, VIEW, VIEW, VIEW),
        "  <title>Varnetix NMS</title>",
        '  <defs><linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/>'
        "</linearGradient></defs>" % (hexcolour(TOP), hexcolour(BOTTOM)),
    ]
    for shape in SHAPES:
        kind = shape[0]
        if kind == "tile":
            _, x, y, w, h, r = shape
            out.append('  <rect x="%d" y="%d" width="%d" height="%d" rx="%d" fill="url(#sky)"/>'
                       % (x, y, w, h, r))
        elif kind == "line":
            _, a, b, width, colour = shape
            out.append('  <line x1="%d" y1="%d" x2="%d" y2="%d" stroke="%s" stroke-width="%d" '
                       'stroke-linecap="round"/>' % (*a, *b, hexcolour(colour), width))
        elif kind == "arc":
            _, centre, r, start, end, width, colour = shape
            # From the upper end down: clockwise on the right, anticlockwise on the left.
            right = math.cos(math.radians((start + end) / 2)) > 0
            x0, y0 = arc_point(centre, r, end if right else start)
            x1, y1 = arc_point(centre, r, start if right else end)
            out.append('  <path d="M %.2f %.2f A %d %d 0 0 %d %.2f %.2f" fill="none" stroke="%s" '
                       'stroke-width="%d" stroke-linecap="round"/>'
                       % (x0, y0, r, r, 1 if right else 0, x1, y1, hexcolour(colour), width))
        elif kind == "circle":
            _, centre, r, colour = shape
            out.append('  <circle cx="%d" cy="%d" r="%d" fill="%s"/>' % (*centre, r,
                                                                          hexcolour(colour)))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def segment_distance(px, py, a, b):
    ax, ay = a
    dx, dy = b[0] - ax, b[1] - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def inside(shape, x, y):
    """The colour of the shape at (x, y) in view units, or None outside it."""
    kind = shape[0]
    if kind == "tile":
        _, tx, ty, w, h, r = shape
        if not (tx <= x <= tx + w and ty <= y <= ty + h):
            return None
        cx = min(max(x, tx + r), tx + w - r)
        cy = min(max(y, ty + r), ty + h - r)
        if math.hypot(x - cx, y - cy) > r:
            return None
        t = (y - ty) / h
        return tuple(TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3))
    if kind == "line":
        _, a, b, width, colour = shape
        return colour if segment_distance(x, y, a, b) <= width / 2 else None
    if kind == "arc":
        _, centre, r, start, end, width, colour = shape
        angle = math.degrees(math.atan2(centre[1] - y, x - centre[0]))
        for turn in (-360, 0, 360):
            if start <= angle + turn <= end:
                d = abs(math.hypot(x - centre[0], y - centre[1]) - r)
                return colour if d <= width / 2 else None
        for cap in (start, end):
            cx, cy = arc_point(centre, r, cap)
            if math.hypot(x - cx, y - cy) <= width / 2:
                return colour
        return None
    if kind == "circle":
        _, centre, r, colour = shape
        return colour if math.hypot(x - centre[0], y - centre[1]) <= r else None
    raise ValueError(kind)


def render(size):
    samples = 4 if size >= 64 else 8
    scale = VIEW / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for shape in SHAPES:
                        c = inside(shape, x, y)
                        if c is not None:
                            colour = c
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = samples * samples
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(acc[i] / acc[3]) for i in range(3)) +
                           (round(255 * acc[3] / n),))
        rows.append(row)
    return rows


def png(pixels, path):
    size = len(pixels)
    raw = b"".join(b"\x00" + b"".join(struct.pack("BBBB", *p) for p in row) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I",
                                                                         zlib.crc32(kind + data))

    head = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    Path(path).write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) +
                           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    (HERE / "varnetix-nms.svg").write_text(svg())
    for size in SIZES:
        png(render(size), HERE / ("varnetix-nms-%d.png" % size))


if __name__ == "__main__":
    main()
