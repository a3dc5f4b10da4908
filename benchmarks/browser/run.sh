#!/usr/bin/env bash
# The browser bridge page to page (bridge-rounds.mjs): headless Chromium, the
# extension and the page library, with qelt-bridge.exe against the echo host
# (benchmarks/bridge) behind the same browser, extension and library. Uses the
# browser tests' set-up (tests/browser/run.sh): its own HOME, profile and Wine
# prefix, a network namespace of its own; QELT_ARCH chooses the architecture.
# Usage: benchmarks/browser/run.sh [ROUNDS=200] [COLD_ROUNDS=200] [REPETITIONS=3]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
flock /tmp/qelt-build.lock ninja -C "$QELT_WIN_BUILD" qelt_bridge_echo >/dev/null
exec bash "$root/tests/browser/run.sh" --script "$root/benchmarks/browser/bridge-rounds.mjs" \
  "$QELT_WIN_BUILD/benchmarks/bridge/qelt-bridge-echo.exe" "$@"
