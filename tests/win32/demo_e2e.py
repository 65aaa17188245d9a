#!/usr/bin/env python3
"""demo_e2e.py - the demo as a Windows program under Wine, driven like a user on the X
server the Windows test run provides: its windows appear, the scene's colours are on the
screen as the headless run draws them, a click on the road makes the creature walk there,
a Run menu pick halts the animation and Ctrl+A resumes it, Ctrl+Q ends it with status 0,
and a second run ends with status 0 on the window manager's close request.

    demo_e2e.py DEMO_EXE
Needs DISPLAY, WINEPREFIX (a running wineserver), xdotool and ImageMagick's import."""
import os, subprocess, sys, tempfile, time

DEMO = os.path.abspath(sys.argv[1])
CLIENT_W, CLIENT_H = 595, 493
ORIGIN_X, ORIGIN_Y = 297, 246          # the canvas point (0, 0) in client pixels
CREATURE_GREEN = (0, 102, 51)          # the creature's body colour, as the headless run draws it


def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def poll(what, predicate, timeout=20.0, step=0.1):
    """Bounded wait for predicate() to give a true value; fails the test with `what`."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        got = predicate()
        if got:
            return got
        time.sleep(step)
    sys.exit(f"FAIL: {what} (waited {timeout:.0f} s)")


def find_window(title):
    r = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], capture_output=True, text=True)
    ids = r.stdout.split()
    return ids[0] if ids else None


def demo_windows():
    """The demo's windows on the screen; an open popup menu is one of them."""
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "plotx-demo"], capture_output=True, text=True)
    return set(r.stdout.split())


def client_of(win):
    """The client area's top-left on the screen: the X window holds the menu bar above it."""
    g = dict(l.split("=") for l in run("xdotool", "getwindowgeometry", "--shell", win).split())
    return int(g["X"]), int(g["Y"]) + int(g["HEIGHT"]) - CLIENT_H


def screen_client(win):
    """The client area's pixels as rows of (r, g, b)."""
    x, y = client_of(win)
    ppm = subprocess.run(["import", "-window", "root", "-crop", f"{CLIENT_W}x{CLIENT_H}+{x}+{y}", "-depth", "8",
                          "ppm:-"], check=True, capture_output=True).stdout
    return parse_ppm(ppm)


def parse_ppm(data):
    parts, pos = [], 0
    while len(parts) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        parts.append(data[start:pos])
    w, h = int(parts[1]), int(parts[2])
    px = data[pos + 1:]
    return [[tuple(px[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def histogram(rows):
    counts = {}
    for row in rows:
        for p in row:
            counts[p] = counts.get(p, 0) + 1
    return counts


def creature_left(rows):
    xs = [x for row in rows for x, p in enumerate(row) if p == CREATURE_GREEN]
    return min(xs) if xs else None


def click(win, canvas_x, canvas_y):
    subprocess.run(["xdotool", "mousemove", "--window", win, str(ORIGIN_X + canvas_x),
                    str(ORIGIN_Y - canvas_y + client_top(win)), "click", "1"], check=True)


def client_top(win):
    g = dict(l.split("=") for l in run("xdotool", "getwindowgeometry", "--shell", win).split())
    return int(g["HEIGHT"]) - CLIENT_H


def key(win, keys):
    subprocess.run(["xdotool", "windowfocus", "--sync", win], capture_output=True)
    subprocess.run(["xdotool", "key", keys], check=True)


# Wine's own service processes inherit the program's output: a pipe would never reach its
# end, so output goes to files.
def wine(workdir, env, log):
    with open(os.path.join(workdir, log), "w") as out:
        return subprocess.Popen(["wine", DEMO], cwd=workdir, env=env, stdout=out, stderr=subprocess.STDOUT)


def start_demo(workdir):
    env = dict(os.environ, PLOTX_SEED="7")
    env.pop("PLOTX_BACKEND", None)
    return wine(workdir, env, "demo.log")


def finish(proc, what, timeout=15):
    try:
        rc = proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        sys.exit(f"FAIL: {what}: the demo did not end")
    if rc != 0:
        sys.exit(f"FAIL: {what}: exit status {rc}")


def reference_colours(workdir):
    """The scene's large colour areas as the headless backend draws the first frame."""
    with open(os.path.join(workdir, "PLOTX.SCR"), "w") as f:
        f.write("PLOTX_PERIODIC(1);\n")
    env = dict(os.environ, PLOTX_BACKEND="headless", PLOTX_PLAYBACK="1", PLOTX_SEED="7",
               PLOTX_SNAPSHOT="ref.png")
    if wine(workdir, env, "ref.log").wait(60) != 0:
        sys.exit("FAIL: the headless run of the demo")
    os.remove(os.path.join(workdir, "PLOTX.SCR"))
    ppm = subprocess.run(["convert", os.path.join(workdir, "ref.png"), "-depth", "8", "ppm:-"], check=True,
                         capture_output=True).stdout
    return {c: n for c, n in histogram(parse_ppm(ppm)).items() if n >= 2000}


def main():
    if not os.environ.get("DISPLAY"):
        print("SKIP: no X server (tools/build-windows.sh --test provides one)")
        sys.exit(77)
    with tempfile.TemporaryDirectory() as workdir:
        expected = reference_colours(workdir)
        demo = start_demo(workdir)
        graphics = poll("the graphics window appears", lambda: find_window("PLOTX Graphics"))
        poll("the text window appears", lambda: find_window("PLOTX Text"))

        # Every large area of the first frame is on the screen in the same colour, within
        # what the moving sun, traffic and creature may change.
        def colours_shown():
            shown = histogram(screen_client(graphics))
            return all(shown.get(c, 0) >= n * 0.8 for c, n in expected.items())
        poll(f"the scene's colours {sorted(expected)} are on the screen", colours_shown)

        # A click on the road far to the right: the creature walks there.
        start_left = poll("the creature is on the screen", lambda: creature_left(screen_client(graphics)))
        click(graphics, 220, -100)
        poll("the creature walks towards the click",
             lambda: (creature_left(screen_client(graphics)) or 0) >= start_left + 30)

        # Run > Halt animation from the real menu bar: the picture stops changing. Ctrl+A
        # animates again.
        top = client_top(graphics)
        before = demo_windows()
        subprocess.run(["xdotool", "mousemove", "--window", graphics, "15", str(top // 2), "click", "1"], check=True)
        poll("the Run menu opens", lambda: demo_windows() - before)
        subprocess.run(["xdotool", "mousemove", "--window", graphics, "60", str(top + 40), "click", "1"], check=True)

        def still():
            a = screen_client(graphics)
            time.sleep(0.35)
            return a == screen_client(graphics)
        poll("Run > Halt animation stops the picture", still)
        key(graphics, "ctrl+a")
        poll("Ctrl+A animates again", lambda: not still())

        key(graphics, "ctrl+q")
        finish(demo, "Ctrl+Q")

        # The window manager's close request ends a second run with status 0.
        first = graphics
        poll("the first run's windows are gone", lambda: find_window("PLOTX Graphics") != first)
        demo = start_demo(workdir)
        graphics = poll("the graphics window appears again", lambda: find_window("PLOTX Graphics"))
        poll("the scene is drawn", lambda: creature_left(screen_client(graphics)))
        key(graphics, "alt+F4")
        finish(demo, "the close request")
    print("ok")


main()
