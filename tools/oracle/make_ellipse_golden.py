#!/usr/bin/env python3
"""Makes tests/data/raster/ellipses.txt: the reference renderer's ellipse for every narrow
or flat box (shorter side up to 8, longer up to 60) and every box from 9x9 to 20x20.

One line per box:  <w> <h> <outer> <inner>
Character y of <outer> is row y's leftmost pixel and of <inner> the right end of the row's
left outline run, as box x offsets coded chr(48 + x); '.' marks a row left empty. Rows are
symmetric about the box's middle column: the outline is the two runs, the filled shape
the whole span between them. Each ellipse is drawn alone in its own run (the renderer can
carry points from one ellipse into the next). The renderer sometimes paints stray pixels
in rows a tall box three pixels wide leaves empty, and not the same ones from run to run;
the outline drawing is the source, and rows where the filled drawing disagrees with it are
reported on stderr.
usage: make_ellipse_golden.py [OUT]   (needs the reference renderer, see rasterlab.py)
"""
import os
import sys
from concurrent.futures import ThreadPoolExecutor

import rasterlab as R

AT = 20


def boxes():
    for w in range(1, 61):
        for h in range(1, 61):
            if min(w, h) <= 8 or (w <= 20 and h <= 20):
                yield w, h


def rows_of(w, h, filled):
    cmd = ("ellipse", 255, 255, 255, 0 if filled else 1, AT, AT, AT + w, AT + h)
    raster = R.run([cmd])
    return R.painted(raster, (0, 0, R.W, R.H))


def describe(w, h):
    outline, filled = rows_of(w, h, False), rows_of(w, h, True)
    outer, inner, problems = "", "", []
    for y in range(AT, AT + h):
        runs = outline.get(y)
        if not runs:
            outer += "."
            inner += "."
            continue
        lo, li = runs[0][0] - AT, runs[0][1] - AT
        want = [(AT + lo, AT + li), (AT + w - 1 - li, AT + w - 1 - lo)]
        if runs != (want[:1] if li >= w - 1 - li else want):
            problems.append("outline row %d: %s" % (y - AT, runs))
        outer += chr(48 + lo)
        inner += chr(48 + li)
    for y, runs in outline.items():
        if not AT <= y < AT + h:
            problems.append("outline row %d outside the box" % (y - AT))
    expect_fill = {AT + y: [(AT + ord(c) - 48, AT + w - 1 - (ord(c) - 48))] for y, c in enumerate(outer) if c != "."}
    if filled != expect_fill:
        bad = sorted(set(filled) ^ set(expect_fill) | {y for y in filled if filled[y] != expect_fill.get(y)})
        problems.append("filled differs on rows %s" % [y - AT for y in bad])
    return "%d %d %s %s" % (w, h, outer, inner), problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "../../tests/data/raster/ellipses.txt")
    with ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda b: describe(*b), boxes()))
    lines = ["# reference ellipses of small, narrow and flat boxes; made by tools/oracle/make_ellipse_golden.py"]
    for line, problems in results:
        for p in problems:
            print("%s: %s" % (line.split(" ")[0:2], p), file=sys.stderr)
        lines.append(line)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
