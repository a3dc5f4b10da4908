#!/usr/bin/env bash
# QELT_ARCH (x86 or x64) chooses the architecture (tools/wine-env.sh).
# Soak: 10,000 create/release cycles of the control and 1,000 validations
# with injected faults (toolkit codes, refused connections, redirects, bad
# and stalled replies), under Wine against the loopback servers; prints the
# handle and memory counts before and after and every unexpected outcome.
# Usage: benchmarks/soak/run.sh [CYCLES] [VALIDATIONS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
build="${QELT_BENCH_BUILD_DIR:-$QELT_WIN_BUILD}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$QELT_TOOLCHAIN" >/dev/null
ninja -C "$build" -j"${QELT_JOBS:-2}" soak qelt_ocx qelt_virtual_card >/dev/null
winpath() { printf 'Z:%s' "${1//\//\\}"; }
env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" regsvr32 /s "$(winpath "$build/control/QELTReaderProj1.ocx")"
env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" regsvr32 /s "$(winpath "$build/virtualcard/QELTVirtualCard.dll")"
status=0
timeout 3600 bash "$root/tools/servers/with_server.sh" "$root/tools/wine-run.sh" \
  "$build/benchmarks/soak/soak.exe" "$(winpath "$root/tests/cards")" "$@" | iconv -f big5 -t utf-8 -c ||
  status=$?
wineserver -k 2>/dev/null || true
exit "$status"
