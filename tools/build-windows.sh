#!/usr/bin/env bash
# Builds PLOTX for 64-bit Windows with Debian's mingw-w64 cross toolchain (installing it)
# into build-windows/, and packs dist/plotx-<version>-win64.zip.
#   --test   then runs the whole suite under Wine: the headless tests, the Windows
#            backend's tests on the X server wine-env.sh starts, and the zip's test
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh windows
source tools/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

# The zip: what a user on Windows needs, laid out as the install tree, with the licence and
# the examples' sources at the top.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)
name=plotx-$version-win64
stage=build-windows/zip/$name
rm -rf build-windows/zip
cmake --install build-windows --prefix "$stage" >/dev/null
rm -rf "$stage/share"  # the licence goes to the top instead
cp LICENSE "$stage/"
mkdir -p "$stage/examples" dist
cp examples/*.c "$stage/examples/"
rm -f "dist/$name.zip"
(cd build-windows/zip && cmake -E tar cf "../../dist/$name.zip" --format=zip "$name")
echo "dist/$name.zip"

if [ "${1:-}" = "--test" ]; then
  ctest --preset windows
fi
