#!/usr/bin/env bash
# QELT_ARCH (x86 or x64) chooses the architecture (tools/wine-env.sh).
# Builds the control benchmark (optimised) with the control and the virtual
# card, registers both in the project's prefix and runs it under Wine with
# the citizen test card; prints its figures.
# Usage: benchmarks/control/run.sh [ROUNDS] [CYCLES]
#   QELT_BENCH_BUILD_DIR  build folder (default: build/win-x86 or build/win-x64, a Release build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
build="${QELT_BENCH_BUILD_DIR:-$QELT_WIN_BUILD}"
jobs="${QELT_JOBS:-2}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$QELT_TOOLCHAIN" >/dev/null
ninja -C "$build" -j"$jobs" control_benchmark qelt_ocx qelt_virtual_card >/dev/null

winpath() { printf 'Z:%s' "${1//\//\\}"; }
for module in "$build/control/QELTReaderProj1.ocx" "$build/virtualcard/QELTVirtualCard.dll"; do
  flock "${TMPDIR:-/tmp}/qelt-regsvr32.lock" timeout 60 "$root/tools/wine-run.sh" regsvr32 /s "$(winpath "$module")"
done
export QELT_CARD_PROFILE="$(winpath "$root/tests/cards/citizen/card.profile")"
status=0
timeout 1800 "$root/tools/wine-run.sh" "$build/benchmarks/control/control_benchmark.exe" "$@" || status=$?
exit "$status"
