#!/usr/bin/env bash
# wine-run.sh - what the Windows build's test programs run under. Wine now and then fails to
# start a program; such a run ends in failure with no output at all, so only then the
# program runs once more, and the restart is noted in $PLOTX_WINE_RESTARTS (a file) when set.
# A test that fails after starting is never run again: its failure stands.
out=$(mktemp); err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err"; status=$?
if [ $status -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run: $1 did not start (status $status, no output); starting it once more" >&2
  [ -n "${PLOTX_WINE_RESTARTS:-}" ] && echo "$*" >>"$PLOTX_WINE_RESTARTS"
  wine "$@" >"$out" 2>"$err"; status=$?
fi
cat "$out"; cat "$err" >&2
exit $status
