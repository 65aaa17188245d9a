#!/usr/bin/env python3
"""measure.py - processor share, tick period and presentation time of the Windows backend
under Wine, on the X server of the environment (run it through tools/measure-windows.sh).
    measure.py BUILD_DIR [SECONDS]
Prints the processor share of the probe halted, of the demo halted and animating (the
program itself, and Wine's server with it), the tick periods of an animation with a full
redraw per tick, and the time of one presentation of the canvas."""
import os, subprocess, sys, time

BUILD = os.path.abspath(sys.argv[1])
SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
PROBE = os.path.join(BUILD, "bench", "win32", "plotx-win32-measure.exe")
DEMO = os.path.join(BUILD, "demo", "plotx-demo.exe")
TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def wineserver_pid():
    prefix = os.environ["WINEPREFIX"].encode()
    for p in os.listdir("/proc"):
        if not p.isdigit():
            continue
        try:
            if b"wineserver" not in open(f"/proc/{p}/cmdline", "rb").read():
                continue
            if b"WINEPREFIX=" + prefix in open(f"/proc/{p}/environ", "rb").read().split(b"\0"):
                return int(p)
        except OSError:
            pass
    return None


def share(pid, seconds):
    server = wineserver_pid()
    a, s = cpu_seconds(pid), cpu_seconds(server) if server else 0
    t = time.monotonic()
    time.sleep(seconds)
    dt = time.monotonic() - t
    b, s2 = cpu_seconds(pid), cpu_seconds(server) if server else 0
    return 100 * (b - a) / dt, 100 * (s2 - s) / dt


def start(cmd, log):
    out = open(log, "w")
    return subprocess.Popen(["wine"] + cmd, stdout=out, stderr=subprocess.STDOUT)


def await_line(log, prefix, timeout=30):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        with open(log) as f:
            for line in f:
                if line.startswith(prefix):
                    return line.strip()
        time.sleep(0.1)
    sys.exit(f"timed out waiting for {prefix!r} in {log}")


def window(title, timeout=30):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        ids = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], capture_output=True, text=True).stdout.split()
        if ids:
            return ids[0]
        time.sleep(0.1)
    sys.exit(f"no window {title}")


def keys(win, combo):
    subprocess.run(["xdotool", "windowfocus", "--sync", win], capture_output=True)
    subprocess.run(["xdotool", "key", combo], check=True)


def main():
    log = "/tmp/plotx-measure-%d.log" % os.getpid()
    p = start([PROBE, "idle"], log)
    await_line(log, "ready")
    time.sleep(1)
    prog, server = share(p.pid, SECONDS)
    print(f"probe halted, {SECONDS:.0f} s: program {prog:.2f} %, wineserver {server:.2f} % of a core")
    keys(window("PLOTX Graphics"), "ctrl+q")
    p.wait(20)

    p = start([DEMO], log)
    win = window("PLOTX Graphics")
    time.sleep(1)
    keys(win, "ctrl+h")
    time.sleep(0.5)
    prog, server = share(p.pid, SECONDS)
    print(f"demo halted, {SECONDS:.0f} s: program {prog:.2f} %, wineserver {server:.2f} % of a core")
    keys(win, "ctrl+a")
    time.sleep(0.5)
    prog, server = share(p.pid, SECONDS)
    print(f"demo animating, {SECONDS:.0f} s: program {prog:.2f} %, wineserver {server:.2f} % of a core")
    keys(win, "ctrl+q")
    p.wait(20)

    p = start([PROBE, "ticks", "101"], log)
    print(await_line(log, "ticks", 60))
    p.wait(20)
    p = start([PROBE, "present", "200"], log)
    print(await_line(log, "present", 60))
    p.wait(20)
    os.remove(log)


main()
