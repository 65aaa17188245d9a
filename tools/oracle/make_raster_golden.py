#!/usr/bin/env python3
"""Makes tests/data/raster/golden.txt: seeded random shapes of every kind, drawn by the
reference renderer, each with the pixels it painted on a black bitmap.

One line per shape:  <command> @ <x0 y0 x1 y1 | -> | <y>:<x0>-<x1>,... ...
The box is the shape's footprint (exclusive ends, clipped to the bitmap; '-' when it
cannot touch the bitmap). Lines between two 'batch' lines were drawn together: their
footprints do not overlap, so the test can replay a batch at once.
usage: make_raster_golden.py [OUT]   (needs the reference renderer, see rasterlab.py)
"""
import os
import random
import sys

import rasterlab as R

SEED = 20240611


def colour(rng):
    while True:
        c = (rng.randrange(256), rng.randrange(256), rng.randrange(256))
        if any(c):
            return c


def coord(rng, span, far=False):
    if far:
        return rng.choice([rng.randint(-3000, 3000), rng.randint(-2**31, 2**31 - 1)])
    return rng.randint(-span // 8, span + span // 8)


def box(rng, big):
    size = rng.choice([1, 2, 3, 5, 8, 13, 21, 40, 80]) if not big else rng.randint(100, 900)
    x = rng.randint(-size, R.W)
    y = rng.randint(-size, R.H)
    w = rng.randint(0, size)
    h = rng.randint(0, size)
    return x, y, x + w, y + h


def shapes():
    rng = random.Random(SEED)
    out = []
    for i in range(500):  # rectangles: filled and outlined, pens 0..6, some big or reversed
        w = rng.choice([0, 0, 1, 2, 3, 4, 5, 6])
        x1, y1, x2, y2 = box(rng, i % 25 == 0)
        if i % 10 == 3:
            x1, x2 = x2, x1
        if i % 10 == 7:
            y1, y2 = y2, y1
        out.append(("rect",) + colour(rng) + (w, x1, y1, x2, y2))
    for i in range(400):  # ellipses, filled and one-pixel outlines
        w = rng.choice([0, 0, 1])
        x1, y1, x2, y2 = box(rng, i % 40 == 0)
        if i % 3 == 0:  # circles, the library's only use
            x2 = x1 + (y2 - y1)
        out.append(("ellipse",) + colour(rng) + (w, x1, y1, x2, y2))
    for i in range(400):  # triangles and n-gons, some self-intersecting, some off the bitmap
        w = rng.choice([0, 0, 1, 2, 3, 4])
        n = 3 if i % 2 == 0 else rng.randint(4, 8)
        cx, cy = rng.randint(-40, R.W + 40), rng.randint(-40, R.H + 40)
        r = rng.choice([3, 10, 30, 80, 250])
        pts = [(cx + rng.randint(-r, r), cy + rng.randint(-r, r)) for _ in range(n)]
        if n == 3:
            out.append(("poly",) + colour(rng) + (w,) + tuple(v for p in pts for v in p))
        else:
            out.append(("polyn",) + colour(rng) + (w, n) + tuple(v for p in pts for v in p))
    for i in range(600):  # lines, widths 0..5, every direction, some crossing the edges
        w = rng.choice([0, 1, 2, 3, 4, 5])
        x1, y1 = rng.randint(-20, R.W + 20), rng.randint(-20, R.H + 20)
        L = rng.choice([1, 2, 5, 12, 40, 150, 700])
        x2, y2 = x1 + rng.randint(-L, L), y1 + rng.randint(-L, L)
        if i % 5 == 0:
            x2, y2 = x1 + rng.choice([-1, 0, 1]) * L, y1 + rng.choice([-1, 0, 1]) * L
        out.append(("line",) + colour(rng) + (w, x1, y1, x2, y2))
    for i in range(100):  # pixels, a few off the bitmap
        out.append(("pixel",) + colour(rng) + (rng.randint(-3, R.W + 2), rng.randint(-3, R.H + 2)))
    return out


def encode(rows):
    return " ".join("%d:%s" % (y, ",".join("%d-%d" % r for r in runs)) for y, runs in sorted(rows.items()))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "../../tests/data/raster/golden.txt")
    cmds = shapes()
    lines = ["# reference pixels of seeded random shapes; made by tools/oracle/make_raster_golden.py"]
    # Ellipses go one per run: the reference renderer carries points over from one ellipse
    # to the next (a narrow box after another ellipse can paint a pixel far outside itself).
    ellipses = [i for i, c in enumerate(cmds) if c[0] == "ellipse"]
    others = [i for i, c in enumerate(cmds) if c[0] != "ellipse"]
    batches = [[others[j] for j in idx] for idx in R.pack([cmds[i] for i in others])]
    batches += [[i] for i in ellipses]
    for idx in batches:
        raster = R.run([cmds[i] for i in idx])
        lines.append("batch")
        painted_total = 0
        for i in idx:
            fp = R.footprint(cmds[i])
            rows = R.painted(raster, fp) if fp else {}
            painted_total += sum(b - a + 1 for runs in rows.values() for a, b in runs)
            fps = "%d %d %d %d" % fp if fp else "-"
            lines.append("%s @ %s | %s" % (R.cmd_line(cmds[i]), fps, encode(rows)))
        everything = sum(1 for p in range(0, len(raster), 3) if raster[p] | raster[p + 1] | raster[p + 2])
        assert everything == painted_total, "a shape painted outside its footprint"
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
