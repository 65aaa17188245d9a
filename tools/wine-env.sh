# wine-env.sh - sourced by the Windows scripts: a fresh Wine prefix for this run (about
# 700 MB, so made anew rather than cached), an X server of its own with a window manager
# (every Wine program of the run shares one wineserver, and so one display), and a
# persistent wineserver, so each test program starts in a fraction of a second. All of it
# goes at exit. The screen is large enough for the graphics window at scale 2.
#   PLOTX_WINEPREFIX=dir   use (and keep) this prefix instead, made if it does not exist
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no installer dialogs for .NET or the browser engine
if [ -n "${PLOTX_WINEPREFIX:-}" ]; then
  export WINEPREFIX="$PLOTX_WINEPREFIX"
  plotx_wine_keep=1
else
  export WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/plotx-wine.XXXXXX")"
  plotx_wine_keep=0
fi
plotx_wine_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  [ -n "${plotx_wm_pid:-}" ] && kill "$plotx_wm_pid" 2>/dev/null || true
  [ -n "${plotx_x_pid:-}" ] && kill "$plotx_x_pid" 2>/dev/null || true
  [ "$plotx_wine_keep" = 1 ] || rm -rf "$WINEPREFIX"
  rm -f "${plotx_x_number_file:-}"
}
trap plotx_wine_cleanup EXIT
# The X server picks a free display number itself, so runs side by side never share one.
plotx_x_number_file="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1920x1440x24 -nolisten tcp 3>"$plotx_x_number_file" >/dev/null 2>&1 &
plotx_x_pid=$!
for _ in $(seq 100); do [ -s "$plotx_x_number_file" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$plotx_x_number_file")"
openbox >/dev/null 2>&1 &
plotx_wm_pid=$!
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # No display while the prefix is made: faster, and nothing is shown.
  env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # Faces as Windows names them, with Liberation's matching metrics where installed.
  for pair in "Arial=Liberation Sans" "Times New Roman=Liberation Serif" "Courier New=Liberation Mono"; do
    env -u DISPLAY wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1 || true
  done
  wineserver -w
fi
wineserver -p
# Wine's own services start with the first program and live as long as the server; started
# here, they hold no test's output pipe open (which would make its reader wait for ever).
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
