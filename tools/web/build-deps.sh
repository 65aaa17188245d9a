#!/usr/bin/env bash
# Builds the C libraries the web build links (zlib, FreeType) with emscripten from
# Debian's own source packages, since Debian ships no WebAssembly builds of them and the
# emscripten package cannot fetch its ports. Installs them under $1 (default
# build-web/deps/install); a finished install is kept and reused.
#   tools/web/build-deps.sh [prefix]
set -euo pipefail
cd "$(dirname "$0")/../.."
prefix=$(realpath -m "${1:-build-web/deps/install}")
work=$(dirname "$prefix")
stamp="$prefix/.complete"
[ -f "$stamp" ] && exit 0
export NODE_PATH=/usr/share/nodejs

rm -rf "$work/src" "$prefix"
mkdir -p "$work/apt/lists/partial" "$work/src" "$prefix"
# A private apt configuration with a source entry: the machine's own lists stay untouched.
echo "deb-src http://deb.debian.org/debian bookworm main" >"$work/apt/sources.list"
apt_opts=(-q -o "Dir::Etc::SourceList=$work/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o "Dir::State::Lists=$work/apt/lists" -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
apt-get "${apt_opts[@]}" update >/dev/null
(cd "$work/src" && apt-get "${apt_opts[@]}" source --download-only zlib freetype >/dev/null)
for dsc in "$work"/src/*.dsc; do
  (cd "$work/src" && dpkg-source --no-check -x "$dsc" >/dev/null)
done

configure() {  # source dir, build dir, extra CMake arguments
  local src=$1 bin=$2
  shift 2
  emcmake cmake -S "$src" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" "$@" >/dev/null
  cmake --build "$bin" -j2 >/dev/null
  cmake --install "$bin" >/dev/null
}

# zlib's CMake file wants Windows resources the Debian source leaves out: its own script.
(cd "$work"/src/zlib-*/ && CHOST=wasm32 emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
  emmake make -j2 libz.a >/dev/null && emmake make install >/dev/null)
configure "$(echo "$work"/src/freetype-*/)" "$work/build/freetype" -DBUILD_SHARED_LIBS=OFF \
  -DFT_REQUIRE_ZLIB=ON -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
touch "$stamp"
