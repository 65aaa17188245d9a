#!/usr/bin/env bash
# Builds and runs the demo. On a display it opens the demo's windows; with no display it
# replays the shipped demo session headless and says where its last picture is.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what building and running needs: no test, benchmark or packaging tools.
bash tools/install-deps.sh run
cmake --preset default -DPLOTX_TESTS=OFF -DPLOTX_BENCH=OFF >/dev/null
cmake --build --preset default --target plotx-demo
demo="$PWD/build/demo/plotx-demo"
if [ -n "${DISPLAY:-}" ] || [ "${PLOTX_BACKEND:-}" = "desktop" ]; then
  exec "$demo"
fi
out="$PWD/build/demo-replay"
mkdir -p "$out"
cp demo/sessions/crush.scr "$out/PLOTX.SCR"
cd "$out"
PLOTX_BACKEND=headless PLOTX_PLAYBACK=1 PLOTX_SEED="$(cat "$OLDPWD/demo/sessions/crush.seed")" \
  PLOTX_SNAPSHOT="$out/demo.png" "$demo"
echo "No display: replayed demo/sessions/crush.scr headless; its last picture is $out/demo.png"
