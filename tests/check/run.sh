#!/usr/bin/env bash
# plotx-check end to end: compare's statuses and diff, run's timeout, crash and limits, and
# grade on a small class made here from examples/bounce.c (plus shards and merge).
#   run.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$(cd "$1" && pwd); build=$(cd "$2" && pwd)
check="$build/tools/check/plotx-check"
work=$(mktemp -d)
chmod 755 "$work"  # a root run's programs run as nobody and must reach their files
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT; [ -n "${KEEP:-}" ] && echo "work: $work"
passed=0; failed=0
ok() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }
expect_status() {  # expect_status WANTED WHAT COMMAND...
  local want=$1 what=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"; local got=$?
  if [ "$got" = "$want" ]; then ok; else fail "$what: status $got, expected $want"; cat "$work/out" "$work/err" >&2; fi
}
cc_plotx() {  # cc_plotx OUT SOURCE: a program built against the build tree's library
  cc -o "$1" "$2" -I"$src/library/include" -L"$build/library" -Wl,-rpath,"$build/library" -lplotx -lm
}

# --- compare: the same picture 0; one pixel changed 1, and only it marked; sizes differ 2.
cp "$src/examples/hello.c" "$work/hello.c"
sed 's|PLOTX_draw_circle(YELLOW, 0, 60, 50);|&\n    PLOTX_draw_pixel(RED, -200, -150);|' "$src/examples/hello.c" >"$work/hello1.c"
cc_plotx "$work/hello" "$work/hello.c" && cc_plotx "$work/hello1" "$work/hello1.c" || fail "building the hello programs"
expect_status 0 "run hello" "$check" run "$work/hello" --png "$work/a.png" --log "$work/a.jsonl"
expect_status 0 "run hello with one pixel more" "$check" run "$work/hello1" --png "$work/b.png"
expect_status 0 "compare a picture with itself" "$check" compare "$work/a.png" "$work/a.png" --diff "$work/same.png"
expect_status 1 "compare pictures a pixel apart" "$check" compare "$work/a.png" "$work/b.png" --diff "$work/diff.png"
# The canvas pixel (-200, -150) is image pixel (97, 396): the middle (297, 246) moved by it.
grep -q "^differ: 1 pixel differs, from (97, 396) to (97, 396)$" "$work/out" && ok || fail "compare's count and box: $(cat "$work/out")"
# The diff of the two differs from the diff of a picture with itself in that pixel alone.
expect_status 1 "the diff marks one pixel" "$check" compare "$work/same.png" "$work/diff.png"
grep -q "1 pixel differs, from (97, 396) to (97, 396)" "$work/out" && ok || fail "diff marks: $(cat "$work/out")"
expect_status 0 "one pixel allowed" "$check" compare "$work/a.png" "$work/b.png" --max-pixels 1
expect_status 2 "a missing file" "$check" compare "$work/a.png" "$work/none.png"
grep -q "none.png" "$work/err" && ok || fail "compare names the missing file"
# The log as JSON Lines: hello logs nothing with logging off, so log something that does.
[ -f "$work/a.jsonl" ] && ok || fail "run --log left no file"

# --- run: timeout, crash, limits.
cat >"$work/forever.c" <<'C'
int main(void) { volatile int spin = 1; while (spin) {} return 0; }
C
cat >"$work/crash.c" <<'C'
int main(void) { volatile int* p = 0; *p = 1; return 0; }
C
cat >"$work/forkbomb.c" <<'C'
#include <signal.h>
#include <unistd.h>
int main(void) {  /* bounded, so a missing limit cannot take the machine down */
  for (int i = 0; i < 3000; ++i) { pid_t p = fork(); if (p < 0) return 3; if (p == 0) { pause(); _exit(0); } }
  return 0;
}
C
cat >"$work/hog.c" <<'C'
#include <stdlib.h>
#include <string.h>
int main(void) {
  size_t n = (size_t)10 << 30; char* p = malloc(n);
  if (!p) return 3;
  memset(p, 1, n); return 0;
}
C
cat >"$work/logger.c" <<'C'
#include <plotx.h>
int main(void) {
  int x, y; char key; PLOTX_begin(0, 0, "", 1); PLOTX_set_animation(RUN_ANIMATE);
  for (int i = 0; i < 3; ++i) { PLOTX_wait_event(&x, &y, &key); PLOTX_log("step \"%d\"", i); }
  return PLOTX_end() ? 0 : 1;
}
C
for p in forever crash forkbomb hog; do cc -o "$work/$p" "$work/$p.c" || fail "building $p"; done
cc_plotx "$work/logger" "$work/logger.c" || fail "building logger"
expect_status 124 "a program that never ends" "$check" run "$work/forever" --timeout 1
grep -q "stopped at the timeout" "$work/err" && ok || fail "timeout not said: $(cat "$work/err")"
expect_status 139 "a crash" "$check" run "$work/crash"
grep -q "killed by signal 11 (SIGSEGV" "$work/err" && ok || fail "crash signal not said: $(cat "$work/err")"
expect_status 3 "a fork bomb" "$check" run "$work/forkbomb" --processes 32 --timeout 20
expect_status 3 "a 10 GB allocation" "$check" run "$work/hog" --timeout 20
expect_status 124 "a processor-time limit over the timeout" "$check" run "$work/forever" --timeout 1 --cpu 5
expect_status 0 "a log as JSON Lines" "$check" run "$work/logger" --log "$work/logger.jsonl"
grep -q '^{"event":2,"tick":2,"text":"step \\"1\\""}$' "$work/logger.jsonl" && ok || fail "JSON log: $(cat "$work/logger.jsonl")"
# Stopped itself (Ctrl+C, a CI system's cancel), plotx-check takes its run with it.
cp "$work/forever" "$work/stray"
"$check" run "$work/stray" --timeout 60 >/dev/null 2>&1 &
tool=$!
for _ in $(seq 100); do pgrep -f "^$work/stray" >/dev/null && break; sleep 0.1; done
pgrep -f "^$work/stray" >/dev/null && ok || fail "the stray program did not start"
kill -TERM $tool; wait $tool
for _ in $(seq 50); do pgrep -f "^$work/stray" >/dev/null || break; sleep 0.1; done
pgrep -f "^$work/stray" >/dev/null && fail "plotx-check stopped by a signal left its run running" || ok
expect_status 125 "run without a program" "$check" run --timeout 1
expect_status 127 "a program that is not there" "$check" run "$work/none"

# --- grade: a class of five made from bounce.c, two scripts.
class="$work/class"; mkdir -p "$class/ref" "$class/subs"/{good,pixel,crash,broken,forever} "$class/scripts"
cp "$src/examples/bounce.c" "$class/ref/"
cp "$src/examples/sessions/bounce.scr" "$class/scripts/bounce.scr"
printf 'PLOTX_PERIODIC(5);\n' >"$class/scripts/short.scr"
cp "$src/examples/bounce.c" "$class/subs/good/main.c"
sed 's|PLOTX_draw_circle(ORANGE, x, y, RADIUS);|&\n        PLOTX_draw_pixel(RED, -250, -200);|' "$src/examples/bounce.c" >"$class/subs/pixel/main.c"
sed 's|if (kind == PLOTX_PERIODIC) {|&\n            if (x > 100) *(volatile int*)0 = 1;|' "$src/examples/bounce.c" >"$class/subs/crash/main.c"
sed 's|x += dx;|x += dx|' "$src/examples/bounce.c" >"$class/subs/broken/main.c"
sed 's|return PLOTX_end() ? 0 : 1;|{ volatile int spin = 1; while (spin) {} }\n    &|' "$src/examples/bounce.c" >"$class/subs/forever/main.c"
expect_status 1 "grade a class" "$check" grade --reference "$class/ref" --submissions "$class/subs" \
  --scripts "$class/scripts" --report "$work/report" --timeout 2 --jobs 2
csv="$work/report/results.csv"
row() { grep -c "^$1,$2,$3," "$csv"; }
for s in bounce short; do
  [ "$(row good $s pass)" = 1 ] && ok || fail "good/$s is not a pass"
  [ "$(row forever $s timeout)" = 1 ] && ok || fail "forever/$s is not a timeout"
  [ "$(row broken $s build-error)" = 1 ] && ok || fail "broken/$s is not a build error"
done
grep -q '^pixel,bounce,differ,0,[0-9.]*,1,"47,446-47,446",final,' "$csv" && ok || fail "pixel/bounce: one pixel at (47, 446)"
[ "$(row crash bounce crash)" = 1 ] && grep -q '^crash,bounce,.*SIGSEGV' "$csv" && ok || fail "crash/bounce is not a crash with its signal"
grep -q 'main.c:20:20: error: expected' "$csv" && ok || fail "the build error's first lines are in the CSV"
junit="$work/report/junit.xml"
grep -q '<testsuite name="good" tests="2" failures="0" errors="0">' "$junit" && ok || fail "JUnit: good"
grep -q '<testsuite name="pixel" tests="2" failures="2" errors="0">' "$junit" && ok || fail "JUnit: pixel"
grep -q '<testsuite name="crash" tests="2" failures="0" errors="1">' "$junit" && ok || fail "JUnit: crash (the short script passes)"
grep -q '<testsuite name="broken" tests="2" failures="0" errors="2">' "$junit" && ok || fail "JUnit: broken"
grep -q '<testsuite name="forever" tests="2" failures="0" errors="2">' "$junit" && ok || fail "JUnit: forever"
html="$work/report/index.html"
[ "$(grep -c '^<tr><td data-key=' "$html")" = 5 ] && ok || fail "index.html has not five rows"
grep -q 'data:image/png;base64,' "$html" && ! grep -q 'src="http' "$html" && ok || fail "index.html thumbnails"
# Two shards merged give the same results as one grading.
for k in 1 2; do
  "$check" grade --reference "$class/ref" --submissions "$class/subs" --scripts "$class/scripts" \
    --report "$work/shard$k" --timeout 2 --shard $k/2 >/dev/null 2>&1
done
expect_status 1 "merge two shards" "$check" merge --report "$work/merged" "$work/shard1" "$work/shard2"
strip() { cut -d, -f1-3 "$1" | sort; }
[ "$(strip "$work/merged/results.csv")" = "$(strip "$csv")" ] && ok || fail "the merged shards' results differ from one grading's"
# The thumbnail is a picture of another size: compare says so.
expect_status 2 "pictures of different sizes" "$check" compare "$work/a.png" "$work/report/thumbs/expected.bounce.png"
grep -q "the sizes differ: expected 595x493, actual" "$work/err" && ok || fail "sizes not said: $(cat "$work/err")"

# --- grade --frames: programs that leave a prepared canvas and GIF capture stand for runs
# whose frames differ before the last (2x1 GIFs; frames as colour indices: ref and same
# [0,1] [1,1], late [0,1] [0,0], short [0,1] alone).
gif() {  # gif FRAME_CODES...: each frame's two LZW bytes (clear, two pixels, end)
  printf 'GIF89a\x02\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\x00\x00'
  for codes in "$@"; do printf '\x2c\x00\x00\x00\x00\x02\x00\x01\x00\x00\x02\x02'"$codes"'\x00'; done
  printf '\x3b'
}
frames="$work/frames"; mkdir -p "$frames/subs" "$frames/scripts"
gif '\x44\x0a' '\x4c\x0a' >"$frames/ref.gif"
gif '\x44\x0a' '\x04\x0a' >"$frames/late.gif"
gif '\x44\x0a' >"$frames/short.gif"
cp "$frames/ref.gif" "$frames/same.gif"
printf 'PLOTX_PERIODIC(1);\n' >"$frames/scripts/one.scr"
for p in ref same late short; do
  printf '#!/bin/sh\ncp %s "$PLOTX_SNAPSHOT"\n[ -z "$PLOTX_GIF" ] || cp %s "$PLOTX_GIF"\n' "$work/a.png" "$frames/$p.gif" >"$frames/$p"
  chmod 755 "$frames/$p"
  [ $p = ref ] || mv "$frames/$p" "$frames/subs/$p"
done
expect_status 0 "grade without --frames: the last canvases agree" "$check" grade --reference "$frames/ref" \
  --submissions "$frames/subs" --scripts "$frames/scripts" --report "$work/frames-last"
expect_status 1 "grade --frames" "$check" grade --reference "$frames/ref" --submissions "$frames/subs" \
  --scripts "$frames/scripts" --report "$work/frames-all" --frames
csv="$work/frames-all/results.csv"
grep -q '^same,one,pass,' "$csv" && ok || fail "--frames: same frames do not pass"
grep -q '^late,one,differ,0,[0-9.]*,0,,2,' "$csv" && ok || fail "--frames: late's first differing frame is not 2"
grep -q '^short,one,differ,0,[0-9.]*,0,,2,.*1 frames, the reference.s 2' "$csv" && ok || fail "--frames: short's missing frame"

echo "plotx-check: $passed passed, $failed failed"
[ "$failed" = 0 ]
