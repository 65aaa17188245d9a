#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages a layer needs and this machine lacks. Runs as
# root, or through sudo when that is available.
#   bash tools/install-deps.sh run    building the library and the demo, and running them
#   bash tools/install-deps.sh package  the run layer and what making Debian packages adds
#   bash tools/install-deps.sh test   the package layer, and what the tests, sanitizers,
#                                     fuzzers, benchmarks and the HTML reference add (default)
#   bash tools/install-deps.sh windows  the Windows cross build and its tests under Wine
#   bash tools/install-deps.sh web    the WebAssembly build and its browser tests
# A new dependency goes into the one layer that needs it; a port with its own toolchain adds
# a layer of its own below (a name and its list) and asks for it by name.
set -euo pipefail

declare -A layer
layer[run]="cmake ninja-build g++ pkg-config
  libfreetype-dev libfontconfig-dev fonts-dejavu-core zlib1g-dev
  fonts-liberation
  libfltk1.3-dev libx11-dev libxext-dev libxrender-dev"
layer[package]="${layer[run]}
  dpkg-dev file"
layer[test]="${layer[package]}
  git python3 googletest libgtest-dev libbenchmark-dev
  xvfb xdotool libxtst-dev x11-apps x11-utils imagemagick
  clang libclang-rt-14-dev libcairo2-dev
  doxygen lintian"
# Windows: the mingw-w64 cross toolchain with static zlib, Wine to run the programs, and an
# X server, a window manager and input tools for the window tests.
layer[windows]="cmake ninja-build googletest python3 fonts-liberation fonts-dejavu-core
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 xvfb xdotool openbox x11-utils imagemagick unzip"
# The WebAssembly port (tools/build-web.sh) and its browser tests; npm only where no npm is
# on the machine already (a Node from elsewhere brings its own).
layer[web]="cmake ninja-build python3 googletest dpkg-dev emscripten chromium fonts-liberation fonts-dejavu-core
  fonttools"
command -v npm >/dev/null 2>&1 || layer[web]+=" npm"

name="${1:-test}"
if [ -z "${layer[$name]+set}" ]; then
  echo "install-deps.sh: no layer \"$name\"; layers: ${!layer[*]}" >&2
  exit 2
fi

missing=()
for p in ${layer[$name]}; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then as_root=(sudo); else
    echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
