#!/usr/bin/env bash
# The web port's tests: the unit and end-to-end headless suite built with emscripten and run
# under Node (ctest in build-web/), then the demo's page and an example's page (built by
# tools/build-web.sh as a user would) driven in headless Chromium by tests/web/e2e.js.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build-web.sh --tests >/dev/null
ctest --test-dir build-web --output-on-failure -j2 --timeout 300
bash tools/build-web.sh examples/snapshot.c >/dev/null
bash tools/build-web.sh tests/input/probe.c >/dev/null
# puppeteer-core, at the version the lockfile pins; installed again only when the lock changes.
if ! cmp -s tests/web/package-lock.json tests/web/node_modules/.installed-lock.json; then
  (cd tests/web && npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json node_modules/.installed-lock.json)
fi
node tests/web/e2e.js dist/web dist/snapshot dist/probe
