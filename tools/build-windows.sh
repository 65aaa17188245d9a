#!/usr/bin/env bash
# Builds PLOTX for 64-bit Windows with Debian's mingw-w64 cross toolchain (installing it)
# into build-windows/.
#   --test   then runs the whole suite under Wine: the headless tests, and the Windows
#            window tests under an X server they start themselves
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh windows
source tools/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
if [ "${1:-}" = "--test" ]; then
  ctest --preset windows
fi
