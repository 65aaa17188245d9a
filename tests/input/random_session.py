#!/usr/bin/env python3
"""random_session.py - a fixed-seed run of random user input against the demo on an X server
(the desktop on an Xvfb of its own, Windows under Wine on the test run's server): clicks, the
wheel, the Run menu's shortcuts, typing and arrows, for SECONDS. The demo must stay alive and
its window answer throughout, end when asked, and every recording it wrote must replay headless
to its end.
    random_session.py desktop|windows DEMO [SECONDS] [SEED]        Exit status 77: no X server."""
import os, random, shutil, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import x_driver as x  # noqa: E402

PLATFORM, DEMO = sys.argv[1], os.path.abspath(sys.argv[2])
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
SEED = int(sys.argv[4]) if len(sys.argv) > 4 else 1
KEYS = ["ctrl+a", "ctrl+h", "ctrl+f", "ctrl+l", "ctrl+r", "ctrl+p", "ctrl+o", "a", "k", "space", "Return", "BackSpace",
        "Left", "Right", "Up", "Down"]


def command(program):
    return [program] if PLATFORM == "desktop" else ["wine", program]


def fail(text):
    sys.exit(f"FAIL (seed {SEED}): {text}")


def replays(work, script, number):
    """The recording plays headless to its end, every line read."""
    run = os.path.join(work, f"replay{number}")
    os.mkdir(run)
    shutil.copy(script, os.path.join(run, "PLOTX.SCR"))
    env = dict(os.environ, PLOTX_BACKEND="headless", PLOTX_PLAYBACK="1", PLOTX_SEED="1", PLOTX_LOG_ECHO="1")
    done = subprocess.run(command(DEMO), cwd=run, env=env, capture_output=True, text=True, errors="replace",
                          timeout=120)
    if done.returncode != 0 or "EOF encountered" not in done.stderr or "cannot read" in done.stderr:
        fail(f"recording {number} did not replay to its end (status {done.returncode}):\n{done.stderr[-2000:]}")


def main():
    xvfb = x.start_xvfb() if PLATFORM == "desktop" else None
    if not os.environ.get("DISPLAY"):
        print("SKIP: no X server (tools/build-windows.sh --test provides one)")
        sys.exit(77)
    rng = random.Random(SEED)
    proc = None
    try:
        with tempfile.TemporaryDirectory() as work:
            env = dict(os.environ, PLOTX_SEED="1")
            if PLATFORM == "desktop":
                env["PLOTX_BACKEND"] = "desktop"
            else:
                env.pop("PLOTX_BACKEND", None)
            with open(os.path.join(work, "out.txt"), "w") as out:  # a file: Wine's services would hold a pipe
                proc = subprocess.Popen(command(DEMO), cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)
            win = x.poll("the demo's window appears", lambda: x.find_window("PLOTX Graphics"))
            g = dict(line.split("=") for line in x.xdo("getwindowgeometry", "--shell", win).split())
            width, height = int(g["WIDTH"]), int(g["HEIGHT"])
            x.xdo("windowfocus" if PLATFORM == "desktop" else "windowactivate", "--sync", win)
            script, kept, last, steps = os.path.join(work, "PLOTX.SCR"), [], b"", 0
            end = time.monotonic() + SECONDS
            while time.monotonic() < end:
                if proc.poll() is not None:
                    fail(f"the demo ended with status {proc.returncode} after {steps} steps")
                r = rng.random()
                if r < 0.3:
                    x.xdo("mousemove", "--window", win, rng.randrange(width), rng.randrange(40, height), "click", 1)
                elif r < 0.4:
                    x.xdo("click", rng.choice([4, 5]))
                else:
                    x.xdo("key", rng.choice(KEYS))
                steps += 1
                if steps % 40 == 0:
                    # The window answers: the server still has it and it takes the focus.
                    if x.find_window("PLOTX Graphics") != win:
                        fail(f"the demo's window is gone after {steps} steps")
                    x.xdo("windowfocus" if PLATFORM == "desktop" else "windowactivate", "--sync", win)
                    # Each state of the script file is a recording to replay (written by whole lines).
                    now = open(script, "rb").read() if os.path.exists(script) else b""
                    if now and now != last:
                        kept.append(os.path.join(work, f"kept{len(kept)}.scr"))
                        shutil.copy(script, kept[-1])
                        last = now
            x.xdo("key", "ctrl+q")
            try:
                status = proc.wait(30)
            except subprocess.TimeoutExpired:
                fail(f"the demo did not end on Ctrl+Q after {steps} steps")
            if status != 0:
                fail(f"the demo's exit status {status}")
            if os.path.exists(script) and os.path.getsize(script) > 0:
                kept.append(script)
            for number, recording in enumerate(kept):
                replays(work, recording, number)
            print(f"ok: {steps} random steps (seed {SEED}) on {PLATFORM}, {len(kept)} recordings replayed")
    finally:
        if proc and proc.poll() is None:
            proc.kill()
            proc.wait()
        if xvfb:
            xvfb.terminate()
            xvfb.wait()


main()
