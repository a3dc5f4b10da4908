#!/usr/bin/env bash
# QELT_ARCH (x86 or x64) chooses the architecture (tools/wine-env.sh).
# Builds qelt-bridge.exe, the echo host and the bridge benchmark (optimised)
# with the control and the virtual card, makes a Wine prefix of its own
# (build/bench-bridge-ARCH) with both registered and a policy admitting the
# benchmark's origin, and runs the benchmark there with the citizen test
# card; prints its figures. Exit status: the benchmark's (1: a target missed).
# Usage: benchmarks/bridge/run.sh [ROUNDS] [REPETITIONS]
#        benchmarks/bridge/run.sh --sign-in [ROUNDS] [REPETITIONS]
#          authenticate from the PIN dialog's OK to the result against the
#          toolkit calls behind it in process (sign_in_benchmark; each round
#          waits 1.1 s for the dialog: default 15 rounds x 3)
#   QELT_BENCH_BUILD_DIR  build folder (default: build/win-x86 or build/win-x64, a Release build)
#   QELT_BENCH_CPUS       CPUs (a taskset list, e.g. 0) for the Wine server, the benchmark and the
#                         hosts: on a busy machine the ratios hold steadier, as the hosts' threads
#                         no longer wake each other across CPUs that others load differently
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
build="${QELT_BENCH_BUILD_DIR:-$QELT_WIN_BUILD}"
lock=/tmp/qelt-build.lock
sign_in=false
targets=(qelt_bridge qelt_bridge_echo bridge_benchmark qelt_ocx qelt_virtual_card)
if [ "${1:-}" = --sign-in ]; then
  sign_in=true
  targets=(qelt_bridge sign_in_benchmark qelt_ocx qelt_virtual_card)
  shift
fi

# Others build in the same folders: configure and build one at a time.
flock "$lock" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$QELT_TOOLCHAIN" >/dev/null
log="$(mktemp)"
flock "$lock" ninja -C "$build" -j"${QELT_JOBS:-2}" "${targets[@]}" >"$log" || { cat "$log"; rm -f "$log"; exit 2; }
rm -f "$log"

# A prefix of its own: the benchmark's policy stays out of the project's.
export QELT_WINEPREFIX="$root/build/bench-bridge-$QELT_ARCH"
export WINEPREFIX="$QELT_WINEPREFIX"
bash "$root/tools/wine-prefix.sh"
trap 'wineserver -k 2>/dev/null || true' EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
for module in "$build/control/QELTReaderProj1.ocx" "$build/virtualcard/QELTVirtualCard.dll"; do
  timeout 120 env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" regsvr32 /s "$(winpath "$module")"
done
# Both hosts read the policy in the 64-bit view.
timeout 120 "$QELT_WINE" reg add 'HKLM\SOFTWARE\Policies\QELTReader\Bridge' /v AllowedOrigins \
  /t REG_MULTI_SZ /d https://bench.example /f /reg:64 >/dev/null
export QELT_CARD_PROFILE="$(winpath "$root/tests/cards/citizen/card.profile")"

pin=()
if [ -n "${QELT_BENCH_CPUS:-}" ]; then
  timeout 60 wineserver -w || true  # the next server starts with the benchmark, pinned too
  pin=(taskset -c "$QELT_BENCH_CPUS")
fi
bridge="$(winpath "$build/bridge/host/qelt-bridge.exe")"
if $sign_in; then
  run=("$build/benchmarks/bridge/sign_in_benchmark.exe" "$bridge")
else
  run=("$build/benchmarks/bridge/bridge_benchmark.exe" "$bridge" "$(winpath "$build/benchmarks/bridge/qelt-bridge-echo.exe")")
fi
status=0
timeout 1800 "${pin[@]}" env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "${run[@]}" "$@" || status=$?
exit "$status"
