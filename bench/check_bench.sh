#!/usr/bin/env bash
# Grading speed: a class of N copies (default 100) of a built example, three sessions each,
# graded by plotx-check with the default --jobs; prints runs per second and the share of
# processor time spent in plotx-check itself rather than in the programs.
#   bash bench/check_bench.sh [BUILD_DIR] [N]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build}" && pwd); n=${2:-100}
work=$(mktemp -d); chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/subs" "$work/scripts"
cp "$build/examples/example-bounce" "$work/reference"
for i in $(seq -w 1 "$n"); do cp "$build/examples/example-bounce" "$work/subs/student$i"; done
cp "$src/examples/sessions/bounce.scr" "$work/scripts/1-bounce.scr"
printf 'PLOTX_PERIODIC(5);\n' >"$work/scripts/2-short.scr"
printf 'PLOTX_PERIODIC(20);\nPLOTX_MOUSE(-100, 50);\nPLOTX_PERIODIC(30);\nPLOTX_KBD(113);\n' >"$work/scripts/3-click.scr"
"$build/tools/check/plotx-check" grade --reference "$work/reference" --submissions "$work/subs" \
  --scripts "$work/scripts" --report "$work/report" | tail -1
