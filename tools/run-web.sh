#!/usr/bin/env bash
# Builds the demo's page (tools/build-web.sh) and serves dist/web/ on 127.0.0.1 until
# interrupted, printing the address to open.
#   bash tools/run-web.sh [port]      (default 8600)
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-8600}
bash tools/build-web.sh >/dev/null
echo "PLOTX demo page: http://127.0.0.1:$port/  (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory dist/web
