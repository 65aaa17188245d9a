#!/usr/bin/env bash
# Runs every example headless, driven by its session in examples/sessions/ when it has one,
# and checks that the picture it leaves is byte for byte the one in docs/images/.
#   run.sh SOURCE_DIR BUILD_DIR            check
#   run.sh SOURCE_DIR BUILD_DIR --update   write the pictures anew (after a change in drawing)
set -euo pipefail
src=$(cd "$1" && pwd); build=$(cd "$2" && pwd); update="${3:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# example | picture in docs/images | arguments (@work@ is this run's scratch directory)
examples="
hello|hello.png|
bounce|bounce.png|
plot|plot.png|
paint|paint.png|
palette|palette.png|
text|text.png|
stepper|stepper.png|
steer|steer.png|
sketch|sketch.png|
snapshot|house.png|@work@/house.png
capture|capture.png|@work@/throw.gif
regression|regression.png|$src/examples/sessions/regression.scr @expected@ @work@/regression.png
"
# Every example program is in the table.
for f in "$src"/examples/*.c; do
  name=$(basename "$f" .c)
  grep -q "^$name|" <<<"$examples" || { echo "FAIL: examples/$name.c has no picture in tests/examples/run.sh" >&2; exit 1; }
done

status=0
while IFS='|' read -r name picture args; do
  [ -n "$name" ] || continue
  expected="$src/docs/images/$picture"
  [ "$update" = "--update" ] && expected="$work/none-$picture"
  args=${args//@work@/$work}
  args=${args//@expected@/$expected}
  mkdir -p "$work/$name"
  playback=
  if [ -f "$src/examples/sessions/$name.scr" ]; then
    cp "$src/examples/sessions/$name.scr" "$work/$name/PLOTX.SCR"
    playback=1
  fi
  # shellcheck disable=SC2086
  if ! (cd "$work/$name" && PLOTX_BACKEND=headless PLOTX_PLAYBACK=$playback PLOTX_SNAPSHOT="$work/$picture" \
        timeout 60 "$build/examples/example-$name" $args >"$work/$name.out" 2>&1); then
    echo "FAIL: example-$name did not end cleanly:" >&2; cat "$work/$name.out" >&2; status=1; continue
  fi
  if [ "$update" = "--update" ]; then
    cp "$work/$picture" "$src/docs/images/$picture"; echo "wrote docs/images/$picture"
  elif ! cmp -s "$work/$picture" "$src/docs/images/$picture"; then
    echo "FAIL: example-$name drew a picture other than docs/images/$picture" >&2
    echo "      (after an intended change in drawing: bash tests/examples/run.sh . build --update)" >&2
    status=1
  fi
done <<<"$examples"
[ $status -eq 0 ] && echo "examples: every picture as in docs/images/"
exit $status
