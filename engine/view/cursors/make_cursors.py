#!/usr/bin/env python3
"""Draws the view's tool cursors and writes them as 32x32 monochrome .cur
files in this folder. Run it again after changing a drawing."""
import math
import os
import struct

N = 32


def blank():
    return [[0] * N for _ in range(N)]


def put(g, x, y):
    if 0 <= x < N and 0 <= y < N:
        g[y][x] = 1


def line(g, x0, y0, x1, y1):
    steps = max(abs(x1 - x0), abs(y1 - y0), 1)
    for i in range(steps + 1):
        put(g, round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps))


def rect(g, x0, y0, x1, y1):
    line(g, x0, y0, x1, y0)
    line(g, x1, y0, x1, y1)
    line(g, x1, y1, x0, y1)
    line(g, x0, y1, x0, y0)


def circle(g, cx, cy, r, a0=0.0, a1=360.0):
    n = max(int(r * 8), 16)
    for i in range(n + 1):
        a = math.radians(a0 + (a1 - a0) * i / n)
        put(g, round(cx + r * math.cos(a)), round(cy - r * math.sin(a)))


def cross(g, cx, cy, r=6):
    line(g, cx - r, cy, cx + r, cy)
    line(g, cx, cy - r, cx, cy + r)


def arrow(g):
    pts = [(0, 0), (0, 15), (4, 11), (7, 17), (9, 16), (6, 10), (11, 10)]
    for a, b in zip(pts, pts[1:] + pts[:1]):
        line(g, *a, *b)


def magnifier(g, sign):
    circle(g, 11, 11, 8)
    line(g, 17, 17, 27, 27)
    line(g, 18, 17, 28, 27)
    line(g, 7, 11, 15, 11)
    if sign == '+':
        line(g, 11, 7, 11, 15)


def arrows4(g, cx, cy, r):
    line(g, cx - r, cy, cx + r, cy)
    line(g, cx, cy - r, cx, cy + r)
    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
        tx, ty = cx + dx * r, cy + dy * r
        line(g, tx, ty, tx - dx * 3 + dy * 3, ty - dy * 3 + dx * 3)
        line(g, tx, ty, tx - dx * 3 - dy * 3, ty - dy * 3 - dx * 3)


def text_t(g, x, y):
    line(g, x, y, x + 8, y)
    line(g, x + 4, y, x + 4, y + 10)


CURSORS = {}


def cursor(name, hot):
    def wrap(f):
        CURSORS[name] = (f, hot)
        return f
    return wrap


@cursor("SELECT.cur", (0, 0))
def _(g): arrow(g)
@cursor("DRAW.cur", (15, 15))
def _(g): cross(g, 15, 15, 10)
@cursor("ZoomIn.cur", (11, 11))
def _(g): magnifier(g, '+')
@cursor("ZoomOut.cur", (11, 11))
def _(g): magnifier(g, '-')
@cursor("ZoomWin.cur", (6, 6))
def _(g): cross(g, 6, 6, 5); rect(g, 12, 12, 28, 24)
@cursor("Pan.cur", (15, 15))
def _(g): arrows4(g, 15, 15, 12)
@cursor("transl.cur", (15, 15))
def _(g): arrows4(g, 15, 15, 9); rect(g, 12, 12, 18, 18)
@cursor("rotate.cur", (15, 15))
def _(g):
    circle(g, 15, 15, 10, 30, 330)
    line(g, 24, 10, 24, 4); line(g, 24, 10, 18, 10); cross(g, 15, 15, 2)
@cursor("scale.cur", (4, 4))
def _(g):
    rect(g, 4, 4, 14, 14); rect(g, 4, 4, 26, 26); line(g, 14, 14, 26, 26)
@cursor("ident.cur", (0, 0))
def _(g):
    arrow(g); circle(g, 22, 22, 7); line(g, 22, 19, 22, 20); line(g, 22, 22, 22, 26)
@cursor("measure.cur", (15, 15))
def _(g):
    cross(g, 15, 15, 6); line(g, 3, 28, 28, 3); line(g, 5, 30, 30, 5)
    for i in range(4, 28, 4): line(g, i, 31 - i, i + 2, 29 - i)
@cursor("Point.cur", (15, 15))
def _(g): cross(g, 15, 15, 8); circle(g, 15, 15, 3)
@cursor("Line.cur", (6, 6))
def _(g): cross(g, 6, 6, 5); line(g, 12, 28, 28, 12)
@cursor("Arc.cur", (6, 6))
def _(g): cross(g, 6, 6, 5); circle(g, 20, 22, 9, 0, 180)
@cursor("Circle.cur", (6, 6))
def _(g): cross(g, 6, 6, 5); circle(g, 20, 20, 8)
@cursor("PLine.cur", (6, 6))
def _(g): cross(g, 6, 6, 5); line(g, 12, 28, 18, 16); line(g, 18, 16, 23, 24); line(g, 23, 24, 29, 12)
@cursor("Pgon.cur", (6, 6))
def _(g):
    cross(g, 6, 6, 5)
    pts = [(14, 28), (12, 18), (20, 12), (29, 18), (26, 28)]
    for a, b in zip(pts, pts[1:] + pts[:1]): line(g, *a, *b)
@cursor("Vertex.cur", (15, 15))
def _(g): cross(g, 15, 15, 10); rect(g, 12, 12, 18, 18)
@cursor("Text.cur", (6, 6))
def _(g): cross(g, 6, 6, 5); text_t(g, 16, 14)
@cursor("Img.cur", (6, 6))
def _(g):
    cross(g, 6, 6, 5); rect(g, 12, 14, 29, 28); line(g, 13, 27, 18, 20); line(g, 18, 20, 22, 25); line(g, 22, 25, 28, 18)


def write_cur(path, shape, hot):
    # A white rim around the black strokes keeps them visible on dark maps.
    rim = blank()
    for y in range(N):
        for x in range(N):
            if shape[y][x]:
                for dy in (-1, 0, 1):
                    for dx in (-1, 0, 1):
                        put(rim, x + dx, y + dy)
    xor_rows, and_rows = [], []
    for y in reversed(range(N)):  # bottom-up rows
        xb = ab = 0
        for x in range(N):
            black, shown = shape[y][x], rim[y][x]
            xbit = 1 if (shown and not black) else 0  # white
            abit = 0 if shown else 1                  # transparent
            xb = (xb << 1) | xbit
            ab = (ab << 1) | abit
        xor_rows.append(struct.pack(">I", xb))
        and_rows.append(struct.pack(">I", ab))
    bits = b"".join(xor_rows) + b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, N, 2 * N, 1, 1, 0, len(bits), 0, 0, 2, 0)
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    res = header + palette + bits
    icondir = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", N, N, 2, 0, hot[0], hot[1], len(res), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + res)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (draw, hot) in CURSORS.items():
        g = blank()
        draw(g)
        write_cur(os.path.join(here, name), g, hot)
