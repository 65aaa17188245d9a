#!/usr/bin/env bash
# Builds the library, the demo and every test, and runs them all (headless tests, and the
# desktop tests under an Xvfb server the tests start themselves), then the same suite
# cross-built for Windows and run under Wine (tools/build-windows.sh --test), then the web
# port's tests (tools/test-web.sh: the suite under Node, the pages in headless Chromium).
#   --sanitize   the same under AddressSanitizer and UBSan (build-asan/), without the ports
#   --clang      the same built by Clang with the portable fallbacks forced (build-clang/),
#                without the ports
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default
[ "${1:-}" = "--sanitize" ] && preset=asan
[ "${1:-}" = "--clang" ] && preset=clang
bash tools/install-deps.sh test
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
if [ "$preset" = default ]; then
  bash tools/build-windows.sh --test
  bash tools/install-deps.sh web
  bash tools/test-web.sh
fi
