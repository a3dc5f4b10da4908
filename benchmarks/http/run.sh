#!/usr/bin/env bash
# QELT_ARCH (x86 or x64) chooses the architecture (tools/wine-env.sh).
# Builds the HTTP POST benchmark (optimised) if needed, starts the loopback
# validation service and runs the benchmark under Wine; prints its figures.
# Usage: benchmarks/http/run.sh [ROUNDS] [EXCHANGES]
#   QELT_BENCH_BUILD_DIR  build folder (default: build/win-x86 or build/win-x64, a Release build)
#   QELT_BENCH_CERT       certificate text to post (default: the citizen card's signing one)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
build="${QELT_BENCH_BUILD_DIR:-$QELT_WIN_BUILD}"
cert="${QELT_BENCH_CERT:-$root/tests/cards/citizen/sign.pem}"
jobs="${QELT_JOBS:-2}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$QELT_TOOLCHAIN" >/dev/null
ninja -C "$build" -j"$jobs" http_post_benchmark >/dev/null

# Wine's drive Z: is the Linux root.
status=0
timeout 900 bash "$root/tools/servers/with_server.sh" \
  "$root/tools/wine-run.sh" "$build/benchmarks/http/http_post_benchmark.exe" "Z:$cert" "$@" \
  || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
