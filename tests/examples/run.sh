#!/usr/bin/env bash
# Runs every example headless, driven by its session in examples/sessions/ when it has one,
# and checks that the picture it leaves has the colours its program puts at a few points and
# is byte for byte the one in docs/images/.
#   run.sh SOURCE_DIR BUILD_DIR            check
#   run.sh SOURCE_DIR BUILD_DIR --update   write the pictures anew (after a change in drawing)
set -euo pipefail
src=$(cd "$1" && pwd); build=$(cd "$2" && pwd); update="${3:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# example | picture in docs/images | arguments (@work@ is this run's scratch directory) |
# colours at canvas points that follow from the program and its session, not from the picture
examples="
hello|hello.png||0,60=FFFF00 0,112=FFFFFF
bounce|bounce.png||-295,-244=99FFFF
plot|plot.png||100,0=000000 0,100=000000 63,150=0000FF
paint|paint.png||-200,100=FF0000
palette|palette.png||-255,165=000000 -60,165=9900CC -255,61=FF0000 135,9=006633 135,-199=CCCCCC
text|text.png||270,-70=FFFF99 20,190=FF0000
stepper|stepper.png||6,0=33CC99 0,6=FFFFFF
steer|steer.png||-290,-240=99FFFF 290,241=FFFFFF
sketch|sketch.png||290,240=CCCCCC -200,100=003399
snapshot|house.png|@work@/house.png|180,160=FFFF00 -50,-60=003399 0,-200=33CC99 -40,100=FF0000 0,0=996633
capture|capture.png|@work@/throw.gif|0,-240=33CC99 0,0=99FFFF
regression|regression.png|$src/examples/sessions/regression.scr @expected@ @work@/regression.png|290,200=99FFFF 290,-200=33CC99
"
# Every example program is in the table.
for f in "$src"/examples/*.c; do
  name=$(basename "$f" .c)
  grep -q "^$name|" <<<"$examples" || { echo "FAIL: examples/$name.c has no picture in tests/examples/run.sh" >&2; exit 1; }
done

status=0
while IFS='|' read -r name picture args probes; do
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
  # shellcheck disable=SC2086
  if ! "$build/tests/example-probe" "$work/$picture" $probes; then
    echo "FAIL: example-$name drew a wrong picture" >&2; status=1; continue
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
