#!/usr/bin/env bash
# Runs the README's worked examples as a user would and checks what they promise:
# the snapshot example writes its PNG; a recorded demo session replays headless to a
# picture (and the GIF the README shows); two replays with the same seed give byte-identical
# pictures; the README shows the example programs exactly as they are in examples/; a
# missing backend ends the program with status 2.
set -euo pipefail
src="$1"; build="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]; }

# The README quotes the example program verbatim.
python3 - "$src/README.md" "$src/examples/snapshot.c" <<'PY' || fail "README does not show examples/snapshot.c as it is"
import sys
readme, example = open(sys.argv[1]).read(), open(sys.argv[2]).read()
sys.exit(0 if example in readme else 1)
PY

# 1. A PNG of what the program drew.
(cd "$work" && PLOTX_BACKEND=headless "$build/examples/example-snapshot" house.png) || fail "snapshot example failed"
is_png "$work/house.png" || fail "snapshot example wrote no PNG"

# 2 and 3. Replay the shipped session twice with its seed: same picture, byte for byte.
for run in a b; do
  mkdir -p "$work/$run"
  cp "$src/demo/sessions/crush.scr" "$work/$run/PLOTX.SCR"
  (cd "$work/$run" && PLOTX_BACKEND=headless PLOTX_PLAYBACK=1 PLOTX_SEED="$(cat "$src/demo/sessions/crush.seed")" \
     PLOTX_SNAPSHOT=replay.png PLOTX_GIF=replay.gif timeout 60 "$build/demo/plotx-demo") || fail "replay $run did not end cleanly"
  is_png "$work/$run/replay.png" || fail "replay $run left no PNG"
done
cmp -s "$work/a/replay.png" "$work/b/replay.png" || fail "two replays with one seed differ"
# 4. Its GIF is the one the README shows, byte for byte.
cmp -s "$work/a/replay.gif" "$src/docs/images/crush.gif" || fail "the replay's GIF differs from docs/images/crush.gif"

# A backend that cannot be had (no display, an unknown name, a desktop that cannot start or
# was not built) ends the program with status 2 and one line saying what to set.
no_backend() {
  local status=0 out
  out=$(cd "$work" && env "$@" timeout 30 "$build/demo/plotx-demo" 2>&1) || status=$?
  [ "$status" = 2 ] || fail "env $* exited with status $status, not 2: $out"
  [ "$(printf '%s\n' "$out" | wc -l)" = 1 ] && echo "$out" | grep -q "PLOTX_BACKEND=headless\|use headless" \
    || fail "env $*: not one clear line: $out"
}
no_backend -u DISPLAY PLOTX_BACKEND=
no_backend PLOTX_BACKEND=nonesuch
no_backend DISPLAY=:9876 PLOTX_BACKEND=desktop
echo "README examples: all good"
