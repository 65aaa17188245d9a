#!/usr/bin/env bash
# Makes the Debian packages of this build with CPack, checks them with lintian (no errors),
# unpacks them into a scratch root and builds and runs a C program against what they hold,
# every way the README offers (tests/install/run.cmake): shared and static.
#   run.sh SOURCE_DIR BUILD_DIR C_COMPILER GENERATOR
set -euo pipefail
src="$1"; build="$2"; cc="$3"; generator="$4"
work="$build/tests/debian-packages"
rm -rf "$work"
mkdir -p "$work/root"
cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
debs=("$work"/cpack/*.deb)
names=$(for d in "${debs[@]}"; do dpkg-deb -f "$d" Package; done | sort | tr '\n' ' ')
[ "$names" = "libplotx-dev libplotx1 plotx-check plotx-demo " ] || { echo "FAIL: packages made: $names" >&2; exit 1; }

# lintian prints warnings too; only errors fail.
status=0
lintian --fail-on error "${debs[@]}" >"$work/lintian.log" 2>&1 || status=$?
grep -v "root privileges is not recommended" "$work/lintian.log" || true
[ $status -eq 0 ] || { echo "FAIL: lintian reports errors" >&2; exit 1; }

for d in "${debs[@]}"; do dpkg-deb -x "$d" "$work/root"; done
cmake -DPREFIX="$work/root/usr" -DWORK_DIR="$work/consumers" -DC_COMPILER="$cc" -DGENERATOR="$generator" \
      -DDEMO=bin/plotx-demo -P "$src/tests/install/run.cmake"
# The packaged plotx-check runs and compares.
"$work/root/usr/bin/plotx-check" --help >/dev/null || { echo "FAIL: the packaged plotx-check does not run" >&2; exit 1; }
echo "Debian packages: made, lintian-clean, and usable from a scratch root"
