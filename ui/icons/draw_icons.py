#!/usr/bin/env python3
"""Draws the station's seven 16 x 16 toolbar and tree pictures as PNG files (no dependencies)."""
import math
import struct
import zlib
from pathlib import Path

N = 16


def png(pixels, path):
    raw = b"".join(b"\x00" + b"".join(struct.pack("BBBB", *p) for p in row) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    head = struct.pack(">IIBBBBB", N, N, 8, 6, 0, 0, 0)
    Path(path).write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) +
                           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def canvas():
    return [[(0, 0, 0, 0) for _ in range(N)] for _ in range(N)]


def put(c, x, y, colour):
    if 0 <= x < N and 0 <= y < N:
        c[y][x] = colour


def rect(c, x0, y0, x1, y1, colour, fill=True):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if fill or x in (x0, x1) or y in (y0, y1):
                put(c, x, y, colour)


def ring(c, cx, cy, r, colour, width=1.0, start=0, end=360):
    for y in range(N):
        for x in range(N):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            a = math.degrees(math.atan2(cy - (y + 0.5), x + 0.5 - cx)) % 360
            if abs(d - r) <= width / 2 and start <= a <= end:
                put(c, x, y, colour)


def line(c, x0, y0, x1, y1, colour):
    steps = max(abs(x1 - x0), abs(y1 - y0)) * 2 + 1
    for i in range(steps + 1):
        put(c, round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)


DARK = (40, 40, 48, 255)
BLUE = (30, 90, 200, 255)
LIGHT_BLUE = (150, 190, 250, 255)
GREEN = (20, 150, 40, 255)
RED = (200, 30, 30, 255)
ORANGE = (220, 120, 20, 255)
GREY = (160, 160, 170, 255)
WHITE = (255, 255, 255, 255)


def discover():  # radar: a dish sending waves
    c = canvas()
    for r in (3, 6, 9):
        ring(c, 2.5, 13.5, r, BLUE, 1.3, 0, 90)
    rect(c, 1, 12, 3, 14, DARK)
    return c


def refresh():  # circular arrow
    c = canvas()
    ring(c, 8, 8, 5.5, GREEN, 2.0, 40, 330)
    for x, y in ((11, 1), (12, 2), (13, 3), (13, 4), (13, 5), (12, 5), (11, 5), (10, 5), (12, 3), (11, 2)):
        put(c, x, y, GREEN)
    rect(c, 11, 3, 12, 4, GREEN)
    return c


def save():  # floppy disk
    c = canvas()
    rect(c, 1, 1, 14, 14, BLUE)
    rect(c, 4, 1, 11, 5, WHITE)
    rect(c, 9, 2, 10, 4, DARK)
    rect(c, 3, 8, 12, 14, LIGHT_BLUE)
    line(c, 4, 10, 11, 10, GREY)
    line(c, 4, 12, 11, 12, GREY)
    return c


def level_start():  # meter bars with a play mark
    c = canvas()
    for i, h in enumerate((4, 7, 10, 13)):
        rect(c, 1 + i * 2, 15 - h, 1 + i * 2, 14, GREEN)
    for y in range(3, 14):
        for x in range(9, 9 + (5 - abs(y - 8))):
            put(c, x + 1, y, DARK)
    return c


def level_stop():  # meter bars with a stop mark
    c = canvas()
    for i, h in enumerate((4, 7, 10, 13)):
        rect(c, 1 + i * 2, 15 - h, 1 + i * 2, 14, GREY)
    rect(c, 9, 5, 14, 10, RED)
    return c


def box_with_arrow(colour, outwards):
    c = canvas()
    rect(c, 1, 4, 9, 12, colour)
    rect(c, 2, 5, 8, 11, WHITE, fill=False)
    if outwards:  # audio leaves the encoder
        line(c, 10, 8, 14, 8, DARK)
        for d in (1, 2):
            put(c, 14 - d, 8 - d, DARK)
            put(c, 14 - d, 8 + d, DARK)
    else:  # audio arrives at the decoder
        line(c, 10, 8, 14, 8, DARK)
        for d in (1, 2):
            put(c, 10 + d, 8 - d, DARK)
            put(c, 10 + d, 8 + d, DARK)
    return c


if __name__ == "__main__":
    here = Path(__file__).parent
    for name, drawing in (("discover", discover()), ("refresh", refresh()), ("save", save()),
                          ("level-start", level_start()), ("level-stop", level_stop()),
                          ("encoder", box_with_arrow(BLUE, True)),
                          ("decoder", box_with_arrow(ORANGE, False))):
        png(drawing, here / f"{name}.png")
