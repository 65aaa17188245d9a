#!/usr/bin/env python3
"""x_driver.py - plays tests/input/scenario.txt with xdotool on an X server against the
input probe, for the two backends X drives: the desktop (on an Xvfb of its own, no window
manager: the keyboard follows the pointer) and Windows under Wine (on the X server and
window manager of the Windows test run).
    x_driver.py desktop|windows SCENARIO PROBE
Under Windows, PLOTX_SCALE=2 in the environment makes every window twice the size; each
point is then pressed at the far corner of its 2 x 2 block. PLOTX_TEST_WINE_DPI=192 sets
the screen's DPI in Wine's settings for the run instead, and the window's picture is checked
to be the program's canvas in exact blocks, as a system that stretched it would not show.
Exit status 77: no X server."""
import ctypes, os, subprocess, sys, tempfile, time

# Also imported for its X helpers by random_session.py, which takes the same first argument.
PLATFORM, SCENARIO, PROBE = (sys.argv + ["", "", ""])[1:4]
PROBE = os.path.abspath(PROBE) if PROBE else PROBE
CLIENT_W, CLIENT_H, ORIGIN_X, ORIGIN_Y = 595, 493, 297, 246
WINE_DPI = int(os.environ.get("PLOTX_TEST_WINE_DPI", "0")) if PLATFORM == "windows" else 0
# The library's rule: DPI / 96 rounded half up, 1 to 4.
SCALE = int(os.environ.get("PLOTX_SCALE", max(1, min(4, (WINE_DPI + 48) // 96)) if WINE_DPI else 1))
DPI_KEY = [r"HKCU\Control Panel\Desktop", "/v", "LogPixels"]


def set_wine_dpi(dpi):
    """The DPI Wine's programs started from now on see; 0 puts the default back."""
    value = ["/t", "REG_DWORD", "/d", str(dpi)] if dpi else []
    subprocess.run(["wine", "reg", "add" if dpi else "delete"] + DPI_KEY + value + ["/f"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=bool(dpi))


def read_ppm(data):
    """(width, height, RGB bytes) of a binary PPM."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    return int(fields[1]), int(fields[2]), data[at + 1:]


def read_scenario(path):
    """Steps as (line number, verb, args, expected lines, skips by platform)."""
    steps = []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith(">"):
            steps[-1][3].append(line[1:].strip())
        elif line.startswith("skip "):
            platform, reason = line[5:].split(" ", 1)
            steps[-1][4][platform] = reason
        else:
            verb, *args = line.split()
            steps.append((number, verb, args, [], {}))
    return steps


def poll(what, predicate, timeout=15.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        got = predicate()
        if got:
            return got
        time.sleep(0.05)
    sys.exit(f"FAIL: {what} (waited {timeout:.0f} s)")


def xdo(*args):
    return subprocess.run(["xdotool"] + [str(a) for a in args], check=True, capture_output=True, text=True).stdout


def find_window(title):
    return (subprocess.run(["xdotool", "search", "--name", f"^{title}$"], capture_output=True,
                           text=True).stdout.split() or [None])[0]


def request_close(window):
    """WM_DELETE_WINDOW, as a window manager sends it for the title bar's close button."""
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    d = x.XOpenDisplay(None)

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
    ev = ClientMessage(type=33, window=int(window), message_type=x.XInternAtom(d, b"WM_PROTOCOLS", 0), format=32)
    ev.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
    x.XSendEvent(d, int(window), 0, 0, ctypes.byref(ev))
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay(d)


def start_xvfb():
    """An Xvfb on a free display of its own; DISPLAY names it."""
    r, w = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                               "-noreset"],
                              pass_fds=[w], stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        number = f.readline().strip()
    if not number:
        sys.exit("FAIL: could not start Xvfb (is the xvfb package installed?)")
    os.environ["DISPLAY"] = ":" + number
    return server


class Run:
    """The probe on the X server, its output lines, and the pointer's canvas point."""

    def __init__(self, work):
        self.log = os.path.join(work, "events.txt")
        env = dict(os.environ)
        if PLATFORM == "desktop":
            env["PLOTX_BACKEND"] = "desktop"
        else:
            env.pop("PLOTX_BACKEND", None)
        command = [PROBE] if PLATFORM == "desktop" else ["wine", PROBE]
        with open(self.log, "w") as out:  # a file: Wine's services would hold a pipe open
            self.proc = subprocess.Popen(command, cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)
        self.taken = 0

    def wait_ready(self):
        self.win = poll("the graphics window appears", lambda: find_window("PLOTX Graphics"))
        poll("the probe is ready", lambda: "ready" in self.lines())
        g = dict(l.split("=") for l in xdo("getwindowgeometry", "--shell", self.win).split())
        if int(g["WIDTH"]) != CLIENT_W * SCALE:
            sys.exit(f"FAIL: the window is {g['WIDTH']} wide at scale {SCALE}")
        self.top = int(g["HEIGHT"]) - CLIENT_H * SCALE
        if WINE_DPI:
            # The screen is shorter than the scaled window: only the rows on it are seen.
            screen_h = int(xdo("getdisplaygeometry").split()[1])
            poll("the window shows the canvas in exact blocks", lambda: self.check_blocks(screen_h - int(g["Y"])))
        self.focus()

    def check_blocks(self, visible_rows):
        """Every visible pixel of the client is its canvas pixel, as the headless run saves it."""
        work = os.path.dirname(self.log)
        if not os.path.exists(os.path.join(work, "frame.png")):
            env = dict(os.environ, PLOTX_BACKEND="headless", PLOTX_SNAPSHOT="frame.png")
            subprocess.run(["wine", PROBE], cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cw, ch, canvas = read_ppm(subprocess.run(["convert", os.path.join(work, "frame.png"), "ppm:-"],
                                                 capture_output=True, check=True).stdout)
        shot = subprocess.run(["import", "-window", self.win, "-depth", "8", "ppm:-"], capture_output=True, check=True)
        w, h, screen = read_ppm(shot.stdout)
        wrong = 0
        for y in range(self.top, min(h, visible_rows)):
            cy = (y - self.top) // SCALE
            for x in range(min(w, cw * SCALE)):
                s, c = (y * w + x) * 3, (cy * cw + x // SCALE) * 3
                wrong += screen[s:s + 3] != canvas[c:c + 3]
        if wrong or min(h, visible_rows) <= self.top:
            print(f"{wrong} pixels of the window at DPI {WINE_DPI} differ from their canvas pixel")
            return False
        print(f"the window at DPI {WINE_DPI} shows the canvas in exact {SCALE} x {SCALE} blocks")
        return True

    def lines(self):
        with open(self.log) as f:
            return [l.rstrip("\n") for l in f if l.endswith("\n")]

    def expect(self, want, where):
        """The next line is `want`, pointer motion not asked for let pass."""
        def next_line():
            lines = self.lines()
            while self.taken < len(lines):
                self.taken += 1
                got = lines[self.taken - 1]
                if got == want:
                    return True
                if not got.startswith("MOUSE_MOVE ") and got != "ready":
                    sys.exit(f"FAIL: {where}: the probe printed \"{got}\" where \"{want}\" was due")
            return False
        poll(f"{where}: \"{want}\"", next_line, 10.0)

    def move(self, x, y):
        last = SCALE - 1  # the block's far corner
        xdo("mousemove", "--window", self.win, (ORIGIN_X + x) * SCALE + last, self.top + (ORIGIN_Y - y) * SCALE + last)

    def focus(self, window=None):
        # Without a window manager (the desktop) the keyboard follows the pointer until set.
        xdo("windowfocus" if PLATFORM == "desktop" else "windowactivate", "--sync", window or self.win)

    def step(self, verb, args):
        if verb == "move":
            self.move(int(args[0]), int(args[1]))
        elif verb == "click":
            xdo("click", args[0])
        elif verb == "wheel":
            xdo("click", 4 if int(args[0]) > 0 else 5)
        elif verb == "key":
            # Downs and ups in one go, before the server's auto-repeat could start.
            names = args[0].split("+")
            xdo(*sum([["keydown", k] for k in names] + [["keyup", k] for k in names], []))
        elif verb in ("down", "up"):
            xdo("key" + verb, args[0])
        elif verb == "blur":
            self.focus(find_window("PLOTX Text"))
        elif verb == "focus":
            self.focus()
        elif verb == "close":
            request_close(self.win)
        else:
            sys.exit(f"FAIL: no such step: {verb}")


def main():
    xvfb = start_xvfb() if PLATFORM == "desktop" else None
    if not os.environ.get("DISPLAY"):
        print("SKIP: no X server (tools/build-windows.sh --test provides one)")
        sys.exit(77)
    ran = skipped = 0
    run = None
    if WINE_DPI:
        set_wine_dpi(WINE_DPI)
    try:
        with tempfile.TemporaryDirectory() as work:
            run = Run(work)
            run.wait_ready()
            for number, verb, args, expected, skips in read_scenario(SCENARIO):
                where = f"{os.path.basename(SCENARIO)}:{number} {verb} {' '.join(args)}"
                if PLATFORM in skips:
                    print(f"skip {where}: {skips[PLATFORM]}")
                    skipped += 1
                    continue
                run.step(verb, args)
                for line in expected:
                    run.expect(line, where)
                ran += 1
            try:
                status = run.proc.wait(20)
            except subprocess.TimeoutExpired:
                run.proc.kill()
                sys.exit("FAIL: the probe did not end after the scenario")
            if status != 0:
                sys.exit(f"FAIL: the probe's exit status {status}")
    finally:
        if run and run.proc.poll() is None:
            run.proc.kill()  # a failed run's probe: the next run must not find its windows
            run.proc.wait()
        if WINE_DPI:
            set_wine_dpi(0)
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
    print(f"ok: {ran} steps run, {skipped} skipped on {PLATFORM}")


if __name__ == "__main__":
    main()
