#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (ASan+UBSan) and runs each for the given
# number of seconds (default 60), starting from a copy of its saved corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash tools/install-deps.sh test
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name"
  cp -r "fuzz/corpus/$name/." "$work/$name/" 2>/dev/null || true
  echo "== $name for ${seconds}s"
  (cd "$work" && PLOTX_BACKEND=headless "$OLDPWD/$target" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 "$work/$name") || status=1
done
exit $status
