#!/usr/bin/env python3
"""input_e2e.py - the Windows backend's input under Wine, driven with xdotool on the X
server of the Windows test run: the probe, with every kind of input enabled, reports each
button's press and release at the canvas point clicked, the wheel both ways, an arrow key
down and up, a typed letter, Shift held on a click, and the close request.

    input_e2e.py PROBE_EXE
With PLOTX_SCALE=2 in the environment the window is twice the size and each point is
clicked at the far corner of its 2 x 2 block, which must still be that point.
Needs DISPLAY, WINEPREFIX (a running wineserver) and xdotool."""
import os, subprocess, sys, tempfile, time

PROBE = os.path.abspath(sys.argv[1])
CLIENT_W, CLIENT_H = 595, 493
SCALE = int(os.environ.get("PLOTX_SCALE", "1"))
ORIGIN_X, ORIGIN_Y = 297, 246
MOUSE, KBD, QUIT, MOUSE_UP, WHEEL, KEY_DOWN, KEY_UP = 1, 2, 4, 5, 7, 8, 9
KEY_LEFT, MOD_SHIFT = 256, 1


def poll(what, predicate, timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        got = predicate()
        if got:
            return got
        time.sleep(0.1)
    sys.exit(f"FAIL: {what} (waited {timeout:.0f} s)")


def xdo(*args):
    subprocess.run(["xdotool"] + list(args), check=True)


def main():
    if not os.environ.get("DISPLAY"):
        print("SKIP: no X server (tools/build-windows.sh --test provides one)")
        sys.exit(77)
    with tempfile.TemporaryDirectory() as work:
        log = os.path.join(work, "events.txt")
        with open(log, "w") as out:  # a file: Wine's services would hold a pipe open
            probe = subprocess.Popen(["wine", PROBE, "events"], cwd=work, stdout=out, stderr=subprocess.STDOUT)

        def events():
            with open(log) as f:
                return [tuple(int(v) for v in l.split()[1:]) for l in f if l.startswith("event ")]

        def seen(*want):
            return lambda: any(e[:len(want)] == want for e in events())

        win = poll("the graphics window appears",
                   lambda: (subprocess.run(["xdotool", "search", "--name", "^PLOTX Graphics$"],
                                           capture_output=True, text=True).stdout.split() or [None])[0])
        poll("the probe is ready", lambda: "ready" in open(log).read())
        geometry = dict(l.split("=") for l in subprocess.run(["xdotool", "getwindowgeometry", "--shell", win],
                                                              capture_output=True, text=True).stdout.split())
        if int(geometry["WIDTH"]) != CLIENT_W * SCALE:
            sys.exit(f"FAIL: the window is {geometry['WIDTH']} wide at scale {SCALE}")
        top = int(geometry["HEIGHT"]) - CLIENT_H * SCALE
        xdo("windowfocus", "--sync", win)

        def at(cx, cy):
            last = SCALE - 1  # the block's far corner
            xdo("mousemove", "--window", win, str((ORIGIN_X + cx) * SCALE + last),
                str(top + (ORIGIN_Y - cy) * SCALE + last))

        at(40, 30)
        xdo("click", "3")
        poll("a right press at the point", seen(MOUSE, 40, 30, 3))
        poll("its release", seen(MOUSE_UP, 40, 30, 3))
        at(-60, -20)
        xdo("click", "2")
        poll("a middle press and release", seen(MOUSE_UP, -60, -20, 2))
        xdo("click", "4")
        poll("the wheel away from the user", seen(WHEEL, -60, -20, 1))
        xdo("click", "5")
        poll("the wheel towards the user", seen(WHEEL, -60, -20, -1))
        xdo("keydown", "shift")
        at(10, 10)
        xdo("click", "1")
        xdo("keyup", "shift")
        poll("a left press with Shift held", lambda: any(e[:4] == (MOUSE, 10, 10, 1) and e[5] & MOD_SHIFT
                                                          for e in events()))
        xdo("key", "Left")
        poll("the left arrow down", lambda: any(e[0] == KEY_DOWN and e[4] == KEY_LEFT for e in events()))
        poll("the left arrow up", lambda: any(e[0] == KEY_UP and e[4] == KEY_LEFT for e in events()))
        xdo("type", "q")
        poll("the typed letter", lambda: any(e[0] == KBD and e[4] == ord("q") for e in events()))
        xdo("key", "alt+F4")
        poll("the close request ends it", seen(QUIT))
        if probe.wait(20) != 0:
            sys.exit("FAIL: the probe's exit status")
    print("ok")


main()
