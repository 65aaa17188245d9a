#!/usr/bin/env python3
"""Makes tests/data/text/golden.txt: the extent and ink box of strings in the drawing font,
as the reference renderer draws them with the face the platform gives an unknown face name.

The renderer runs in a private Wine prefix made here, whose font replacements map the
platform's core faces to Debian's metric-compatible Liberation faces (fonts-liberation must
be installed). The same steps by hand:
    export WINEPREFIX=$(mktemp -d) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    env -u DISPLAY wine wineboot --init
    wine reg add 'HKCU\\Software\\Wine\\Fonts\\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f
    (likewise Times New Roman -> Liberation Serif, Courier New -> Liberation Mono)
    wineserver -w
    ORACLE_WINEPREFIX=$WINEPREFIX oracle.sh cmds.txt out.ppm extents.txt
Every text must report the face "Liberation Sans", or the script stops.
usage: make_text_golden.py [OUT]   (needs the reference renderer, see rasterlab.py)
"""
import os
import shutil
import subprocess
import sys
import tempfile

import rasterlab as R

FACE = "Liberation Sans"
REPLACEMENTS = [("Arial", "Liberation Sans"), ("Times New Roman", "Liberation Serif"),
                ("Courier New", "Liberation Mono")]
X, Y = 20, 30  # where each text is drawn

COMMON = ["Hello", "Hg", "PLOTX Demo", "Speed: 3", "Wy.,;|", "0123456789", "iiii", "WWW", "A", "jgpq_",
          "~!@#$%^&*()"]
# The sizes the library is asked for (0 is the default), each with the strings that fit.
CASES = [(s, COMMON) for s in (0, 7, 8, 10, 12, 13, 16, 20, 24)]
CASES += [(s, ["Hello", "Hg", "Speed: 3", "Wy.,;|", "iiii", "WWW", "A", "jgpq_"]) for s in (32, 48)]
CASES += [(s, ["Hg", "iiii", "WWW", "A"]) for s in (72, 127)]
# The demo's own lines at their sizes: the longest texts a user sees first.
CASES += [(16, ["PLOTX Demo: the creature and the traffic"]),
          (12, ['Clock a spot to move him there!  ("There" should be somewhere on the road for maximum effect.)'])]


def wine_env(prefix):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def make_prefix():
    prefix = tempfile.mkdtemp(prefix="plotx-text-wine.")
    env = wine_env(prefix)
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, check=True)
    subprocess.run(["wine", "wineboot", "--init"], **quiet)
    for name, face in REPLACEMENTS:
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", name,
                        "/t", "REG_SZ", "/d", face, "/f"], **quiet)
    subprocess.run(["wineserver", "-w"], **quiet)  # the registry reaches its files
    return prefix


def ink_box(raster):
    xs, ys = [], []
    for y in range(R.H):
        row = raster[y * R.W * 3:(y + 1) * R.W * 3]
        for x in range(R.W):
            if row[3 * x:3 * x + 3] != b"\xff\xff\xff":
                xs.append(x)
                ys.append(y)
    return min(xs) - X, min(ys) - Y, max(xs) - X, max(ys) - Y


def draw(prefix, size, text):
    """(cx, cy, face, ink box) of one text drawn alone in black on white."""
    with tempfile.TemporaryDirectory() as d:
        src, out, ext = (os.path.join(d, n) for n in ("c.txt", "o.ppm", "e.txt"))
        with open(src, "w") as f:
            # 'clear' also draws a black frame; paint it over, leaving a white bitmap.
            f.write("clear\nrect 255 255 255 0 0 0 601 540\n")
            f.write("text 0 0 0 %d %d %d %s\n" % (size, X, Y, text))
        subprocess.run([R.ORACLE, src, out, ext], check=True, env=dict(os.environ, ORACLE_WINEPREFIX=prefix))
        cx, cy, face = open(ext).read().rstrip("\n").split(" ", 2)
        data = open(out, "rb").read()
    header = b"P6\n%d %d\n255\n" % (R.W, R.H)
    assert data.startswith(header)
    return int(cx), int(cy), face, ink_box(data[len(header):])


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "..", "tests", "data", "text", "golden.txt")
    prefix = make_prefix()
    try:
        lines = ['# Text as the platform draws it: CreateFontA(-size, ..., "PLOTX-font"), TextOutA at (%d,%d) in' % (X, Y),
                 "# black on white, the face being %s. Per line: size, extent cx cy, ink box x0 y0 x1 y1" % FACE,
                 "# (inclusive, relative to the text's point), then the string to the end of the line.",
                 "# Made by tools/oracle/make_text_golden.py."]
        for size, texts in CASES:
            for text in texts:
                cx, cy, face, ink = draw(prefix, size, text)
                if face != FACE:
                    sys.exit("the renderer drew %r in %r, not %r: is fonts-liberation installed?" % (text, face, FACE))
                lines.append("%d %d %d %d %d %d %d %s" % ((size, cx, cy) + ink + (text,)))
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)
    with open(out_path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
