#!/usr/bin/env bash
# Builds PLOTX for 64-bit Windows with Debian's mingw-w64 cross toolchain (installing it)
# into build-windows/, and packs dist/plotx-<version>-win64.zip (stripped) and
# dist/plotx-<version>-win64-debug.zip (the debugging information).
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
# CRLF line ends, so Notepad shows the instructions as lines.
sed 's/$/\r/' tools/zip/README.txt >"$stage/README.txt"
mkdir -p "$stage/examples" dist
cp examples/*.c "$stage/examples/"
# Programs and the DLL go stripped; their debugging information goes into a second zip of
# the same layout (NAME.debug beside each, found through the debug link), the static
# library keeps its symbols but not its debugging information.
debug=build-windows/zip/debug/$name
mkdir -p "$debug/bin"
for f in "$stage"/bin/*.exe "$stage"/bin/*.dll; do
  x86_64-w64-mingw32-objcopy --only-keep-debug "$f" "$debug/bin/$(basename "$f").debug"
  x86_64-w64-mingw32-strip --strip-all "$f"
  (cd "$debug/bin" && x86_64-w64-mingw32-objcopy --add-gnu-debuglink="$(basename "$f").debug" "$OLDPWD/$f")
done
x86_64-w64-mingw32-strip --strip-debug "$stage/lib/libplotx.a"
rm -f "dist/$name.zip" "dist/$name-debug.zip"
(cd build-windows/zip && cmake -E tar cf "../../dist/$name.zip" --format=zip "$name")
(cd build-windows/zip/debug && cmake -E tar cf "../../../dist/$name-debug.zip" --format=zip "$name")
echo "dist/$name.zip"
echo "dist/$name-debug.zip"

if [ "${1:-}" = "--test" ]; then
  PLOTX_WINE_RESTARTS=$(mktemp); export PLOTX_WINE_RESTARTS
  status=0
  ctest --preset windows || status=$?
  echo "$(wc -l <"$PLOTX_WINE_RESTARTS") test program(s) did not start under Wine and were started again"
  sed 's/^/  /' "$PLOTX_WINE_RESTARTS"
  rm -f "$PLOTX_WINE_RESTARTS"
  exit $status
fi
