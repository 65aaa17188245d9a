"""Drives the reference renderer for the rasterizer's golden data: packs shapes whose
footprints do not overlap into one run, draws each run on a black bitmap and reads back,
per shape, the rows and runs of pixels it painted."""
import os
import subprocess
import tempfile

W, H = 601, 540
ORACLE = os.environ.get("PLOTX_ORACLE", "/work/shared/oracle/oracle.sh")


def footprint(cmd):
    """Conservative box (x0, y0, x1, y1), exclusive ends, clipped to the bitmap; None when
    the shape cannot touch the bitmap."""
    k = cmd[0]
    if k == "pixel":
        x, y = cmd[4], cmd[5]
        box = (x, y, x + 1, y + 1)
    else:
        w = cmd[4]
        if k == "polyn":
            pts = cmd[6:]
        else:
            pts = cmd[5:]
        xs, ys = pts[0::2], pts[1::2]
        m = w // 2 + 3
        box = (min(xs) - m, min(ys) - m, max(xs) + m + 1, max(ys) + m + 1)
    x0, y0 = max(box[0], 0), max(box[1], 0)
    x1, y1 = min(box[2], W), min(box[3], H)
    if x0 >= x1 or y0 >= y1:
        return None
    return (x0, y0, x1, y1)


def overlaps(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def pack(cmds):
    """Greedy first fit: lists of indices whose footprints are pairwise disjoint."""
    batches = []  # (indices, boxes)
    for i, c in enumerate(cmds):
        fp = footprint(c)
        for idx, boxes in batches:
            if fp is None or all(not overlaps(fp, b) for b in boxes):
                idx.append(i)
                if fp is not None:
                    boxes.append(fp)
                break
        else:
            batches.append(([i], [fp] if fp else []))
    return [idx for idx, _ in batches]


def cmd_line(c):
    return " ".join(str(v) for v in c)


def run(cmds):
    """Draws the commands on a black bitmap; returns the RGB raster bytes."""
    with tempfile.TemporaryDirectory() as d:
        src, out = os.path.join(d, "c.txt"), os.path.join(d, "o.ppm")
        with open(src, "w") as f:
            for c in cmds:
                f.write(cmd_line(c) + "\n")
        subprocess.run([ORACLE, src, out], check=True)
        data = open(out, "rb").read()
    header = b"P6\n%d %d\n255\n" % (W, H)
    assert data.startswith(header)
    return data[len(header):]


def painted(raster, box):
    """{y: [(x0, x1), ...]} inclusive runs of non-black pixels inside box."""
    x0, y0, x1, y1 = box
    rows = {}
    for y in range(y0, y1):
        base = y * W * 3
        runs, start = [], None
        for x in range(x0, x1):
            p = base + x * 3
            on = raster[p] | raster[p + 1] | raster[p + 2]
            if on and start is None:
                start = x
            elif not on and start is not None:
                runs.append((start, x - 1))
                start = None
        if start is not None:
            runs.append((start, x1 - 1))
        if runs:
            rows[y] = runs
    return rows


def draw_each(cmds):
    """Per command, the runs it paints alone on a black bitmap. Checks that nothing was
    painted outside the footprints."""
    result = [None] * len(cmds)
    for idx in pack(cmds):
        raster = run([cmds[i] for i in idx])
        total = 0
        for i in idx:
            fp = footprint(cmds[i])
            result[i] = painted(raster, fp) if fp else {}
            total += sum(b - a + 1 for r in result[i].values() for a, b in r)
        everything = sum(1 for p in range(0, len(raster), 3) if raster[p] | raster[p + 1] | raster[p + 2])
        assert everything == total, "pixels painted outside the footprints"
    return result
