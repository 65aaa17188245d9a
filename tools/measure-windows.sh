#!/usr/bin/env bash
# Measures the Windows build under Wine on an X server of its own: processor share halted
# and animating, tick periods with a full redraw per tick, and presentation time.
#   bash tools/measure-windows.sh [seconds per share, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh windows
source tools/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target plotx-demo plotx-win32-measure >/dev/null
python3 bench/win32/measure.py build-windows "${1:-10}"
