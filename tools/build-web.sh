#!/usr/bin/env bash
# Builds a program into a web page: a folder any static web server can host (index.html,
# the page's script, the program's script, WebAssembly and bundled faces).
#   bash tools/build-web.sh                      the demo, into dist/web/
#   bash tools/build-web.sh path/to/program.c    a program of your own, into dist/<name>/
#   bash tools/build-web.sh --tests              also everything else (the unit tests, for
#                                                ctest --test-dir build-web, and the examples)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program="" tests=OFF
for arg in "$@"; do
  case $arg in
    --tests) tests=ON ;;
    -*) echo "usage: $0 [--tests] [program.c]" >&2; exit 2 ;;
    *) program=$(realpath "$arg") ;;
  esac
done
cd "$root"
bash tools/install-deps.sh web
# The packaged optimizer finds its JavaScript modules only through NODE_PATH.
export NODE_PATH=/usr/share/nodejs
build=build-web
deps=$root/$build/deps/install
bash tools/web/build-deps.sh "$deps"
# emcmake's own emulator setting names a Node flag Node 20 rejects; Node's fetch() cannot
# read the program's files from a path.
# (emcmake's own line about the command is left out; a failure shows everything.)
if ! log=$(emcmake cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLOTX_WERROR=ON \
  -DCMAKE_PREFIX_PATH="$deps" -DCMAKE_FIND_ROOT_PATH="$deps" \
  -DPLOTX_WEB_PROGRAM="$program" "-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node;--no-experimental-fetch" 2>&1); then
  echo "$log" >&2
  exit 1
fi

if [ -n "$program" ]; then
  target=web-program
  name=$(basename "${program%.*}")
  out=dist/$name
else
  target=plotx-demo
  name=plotx-demo
  out=dist/web
fi
if [ "$tests" = ON ]; then cmake --build "$build" -j2; else cmake --build "$build" -j2 --target "$target"; fi

# The page: the shared page files and the program's own, under the program's name.
built=$(find "$build" -name "$target.js" -not -path "*/deps/*" | head -n1)
rm -rf "$out"
mkdir -p "$out"
for ext in js wasm data; do cp "${built%.js}.$ext" "$out/$name.$ext"; done
# The loader names its files after the build target: point it at the copies.
sed -i "s/$target\\.\\(wasm\\|data\\)/$name.\\1/g" "$out/$name.js"
page=library/backends/web/page
cp $page/plotx-web.js $page/plotx-web.css "$out/"
sed "s/@PROGRAM@/$name/g" $page/index.html >"$out/index.html"
# The demo's recorded sessions beside its page, for links such as ?script=crush.scr&playback=1.
if [ -z "$program" ]; then cp demo/sessions/*.scr "$out/"; fi
echo "$out/index.html"
