#!/usr/bin/env bash
# measure.sh - processor use, tick regularity and presentation time of the desktop backend,
# measured with the probe program under a private Xvfb.
#   bench/desktop/measure.sh [build dir] [seconds] [parts]
# Prints: the processor share of a wait with animation halted (for the given seconds,
# default 10), of 100 ticks with a full redraw each, the tick periods, of the demo when
# it was built, the time to present one changed frame, and what a user of the demo waits
# for: a press of "New Color" until the cars show it (25 presses, halted and animating)
# and a start until the first frame is on the screen (10 starts), and how many of 100
# quick pointer moves a program taking 50 ms per move is given (motion is coalesced).
# The animating share and the presentation time are measured at display scales 1, 2 and 3
# (PLOTX_SCALE; the screen is large enough for the graphics window at 3).
# parts picks some of idle, animate, demo, present, latency, behind (default: all). Build the tools first:
#   cmake --build <build dir> --target plotx-desktop-measure plotx-desktop-latency plotx-demo
# For the polling design, configure another build dir with -DPLOTX_BUSY_POLL=ON and pass it.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
seconds=${2:-10}
parts=${3:-idle animate demo present latency behind}
want() { [[ " $parts " == *" $1 "* ]]; }
probe=$build/bench/desktop/plotx-desktop-measure
[ -x "$probe" ] || { echo "no probe at $probe; build the plotx-desktop-measure target" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 2600x2200x24 -nolisten tcp -noreset 2>"$work/xvfb.log" &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
export PLOTX_BACKEND=desktop

# Waits (bounded) for a line starting with $2 in file $1.
await() {
  for _ in $(seq 300); do grep -q "^$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  echo "timed out waiting for '$2' in $1" >&2
  return 1
}

if want idle; then
echo "== halted, ${seconds} s"
"$probe" idle >"$work/idle.out" &
pid=$!
await "$work/idle.out" ready
sleep "$seconds"
xdotool mousemove 300 300 key ctrl+q
wait "$pid"
grep '^idle' "$work/idle.out"
fi

if want animate; then
for scale in 1 2 3; do
  echo "== animating, 100 ticks with a full redraw each, scale $scale"
  PLOTX_SCALE=$scale "$probe" animate 100 | grep '^ticks'
done
fi

demo=$build/demo/plotx-demo
if want demo && [ -x "$demo" ]; then
  echo "== the demo animating, ${seconds} s (its own scene redrawn on every tick)"
  (cd "$work" && exec "$demo" >/dev/null 2>&1) &
  pid=$!
  sleep 1
  ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
  t0=$(ticks "$pid"); s0=$(date +%s.%N)
  sleep "$seconds"
  t1=$(ticks "$pid"); s1=$(date +%s.%N)
  hz=$(getconf CLK_TCK)
  awk -v a="$t0" -v b="$t1" -v s="$s0" -v e="$s1" -v hz="$hz" \
    'BEGIN { printf "demo cpu_ms %.0f wall_ms %.0f cpu_percent %.2f\n", (b-a)*1000/hz, (e-s)*1000, 100*(b-a)/hz/(e-s) }'
  kill "$pid"; wait "$pid" 2>/dev/null || true
fi

if want present; then
for scale in 1 2 3; do
  echo "== presenting a changed frame (canvas to client image, to the server, round trip), scale $scale"
  PLOTX_SCALE=$scale "$probe" present 300 | grep '^present'
done
fi

latency=$build/bench/desktop/plotx-desktop-latency
if want latency && [ -x "$demo" ] && [ -x "$latency" ]; then
  echo "== a press of New Color until the cars show it on the screen (ms)"
  for mode in halted animating; do
    (cd "$work" && exec "$demo" >/dev/null 2>&1) &
    pid=$!
    "$latency" clicks 25 "$mode"
    kill "$pid"; wait "$pid" 2>/dev/null || true
  done
  echo "== the demo's start until its first frame is on the screen (ms)"
  (cd "$work" && "$latency" start 10 "$demo")
fi

if want behind; then
  echo "== 100 pointer moves within a few ms, to a program that takes 50 ms per move"
  "$probe" behind >"$work/behind.out" &
  pid=$!
  await "$work/behind.out" ready
  xdotool mousemove 100 100
  for i in $(seq 1 100); do echo "mousemove $((100 + 3 * i)) $((100 + i))"; done | xdotool -
  sleep 1
  xdotool key x
  wait "$pid"
  grep '^behind' "$work/behind.out"
fi
