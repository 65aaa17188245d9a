#!/usr/bin/env bash
# Builds the library and the demo and makes their Debian packages with CPack: libplotx1,
# libplotx-dev, plotx-demo and plotx-check, left in dist/. Install them with
#   apt-get install ./dist/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh package
cmake --preset default >/dev/null
cmake --build --preset default --target plotx plotx_shared plotx-demo plotx-check
rm -rf dist
cpack --config build/CPackConfig.cmake -B build/cpack >/dev/null
mkdir -p dist
cp build/cpack/*.deb dist/
ls -1 dist/*.deb
