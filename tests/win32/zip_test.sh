#!/usr/bin/env bash
# zip_test.sh - the Windows zip as a user on Windows takes it: unpacked, a plain C program
# built against it with find_package(plotx) (the DLL, then the static library) by the
# mingw-w64 toolchain, and run under Wine with nothing but plotx.dll beside it; and the demo
# started on its own.
#   zip_test.sh ZIP CONSUMER_DIR TOOLCHAIN_FILE
set -euo pipefail
zip=$1 consumer=$2 toolchain=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

unzip -q "$zip" -d "$work/unpacked"
root=$(echo "$work"/unpacked/*)
for f in include/plotx.h lib/libplotx.a lib/libplotx.dll.a lib/cmake/plotx/plotxConfig.cmake bin/plotx.dll \
         bin/plotx-demo.exe bin/plotx-check.exe LICENSE README.txt examples/bounce.c; do
  [ -e "$root/$f" ] || fail "the zip has no $f"
done
# Stripped, with the debugging information in the second zip.
[ "$(stat -c %s "$root/bin/plotx.dll")" -lt 2000000 ] || fail "bin/plotx.dll is not stripped"
unzip -q "${zip%.zip}-debug.zip" -d "$work/debug"
for f in plotx.dll plotx-demo.exe plotx-check.exe; do
  [ -s "$work/debug/$(basename "$root")/bin/$f.debug" ] || fail "the debug zip has no bin/$f.debug"
done

# A saved picture: PNG signature, then an IHDR of 595 x 493, 8-bit RGB.
check_png() {
  [ "$(od -An -tx1 -N26 "$1" | tr -d ' \n')" = "89504e470d0a1a0a0000000d4948445200000253000001ed0802" ] ||
    fail "$1 is not the 595x493 RGB picture"
}

for kind in shared static; do
  shared=ON; [ $kind = static ] && shared=OFF
  cmake -S "$consumer" -B "$work/$kind" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -Dplotx_DIR="$root/lib/cmake/plotx" -DBUILD_SHARED_LIBS=$shared -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$work/$kind" >/dev/null
  run=$work/run-$kind
  mkdir -p "$run"
  cp "$work/$kind/consumer.exe" "$run/"
  [ $kind = shared ] && cp "$root/bin/plotx.dll" "$run/"
  # Only the DLL goes beside the shared program; the static one needs nothing.
  objdump=x86_64-w64-mingw32-objdump
  deps=$($objdump -p "$run/consumer.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  case $kind in
    shared) [[ " $deps " == *" plotx.dll "* ]] || fail "the shared consumer does not use plotx.dll: $deps" ;;
    static) [[ " $deps " != *" plotx.dll "* ]] || fail "the static consumer uses plotx.dll" ;;
  esac
  for d in $deps; do
    case $d in plotx.dll|kernel32.dll|user32.dll|gdi32.dll|msvcrt.dll|advapi32.dll|shell32.dll) ;;
      *) fail "the $kind consumer needs $d, which a bare Windows lacks" ;; esac
  done
  (cd "$run" && PLOTX_BACKEND=headless wine ./consumer.exe out.png >log.txt 2>&1) || fail "the $kind consumer failed: $(cat "$run/log.txt")"
  check_png "$run/out.png"
done

# plotx-check runs a program (in its job object) and compares its picture with the consumer's.
check=$root/bin/plotx-check.exe
run=$work/run-static
(cd "$run" && wine "$check" run consumer.exe "$run/again.png" --png last.png >check.txt 2>&1) ||
  fail "plotx-check run: $(cat "$run/check.txt")"
(cd "$run" && wine "$check" compare out.png again.png >compare.txt 2>&1) || fail "plotx-check compare: $(cat "$run/compare.txt")"
grep -q "^agree: 0 pixels differ" "$run/compare.txt" || fail "plotx-check compare says: $(cat "$run/compare.txt")"

# The demo starts alone and replays a short script headless.
mkdir -p "$work/demo"
cp "$root/bin/plotx-demo.exe" "$work/demo/"
printf 'PLOTX_PERIODIC(3);\n' > "$work/demo/PLOTX.SCR"
(cd "$work/demo" && PLOTX_BACKEND=headless PLOTX_PLAYBACK=1 PLOTX_SNAPSHOT=demo.png wine ./plotx-demo.exe >log.txt 2>&1) ||
  fail "the demo failed: $(cat "$work/demo/log.txt")"
check_png "$work/demo/demo.png"
echo ok
