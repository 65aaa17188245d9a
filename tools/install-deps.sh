#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests, the fuzzers and the benchmarks need
# and this Debian machine lacks. Runs as root, or through sudo when that is available.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config git python3
  googletest libgtest-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core libpng-dev
  libfltk1.3-dev libx11-dev
  xvfb xdotool x11-apps x11-utils imagemagick
  clang libclang-rt-14-dev
  libcairo2-dev
)

missing=()
for p in "${packages[@]}"; do
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
