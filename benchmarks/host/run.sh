#!/usr/bin/env bash
# Times qelt.exe OPT=3 and OPT=4 (the whole process under Wine: start,
# control creation, card reading, output) against the baseline program that
# only creates and releases a COM object, side by side, and prints the
# medians and the ratio (target: at most 1.2).
#
#   benchmarks/host/run.sh [BUILD_DIR]     (default build/win-x86 or build/win-x64, by QELT_ARCH)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
build="${1:-$QELT_WIN_BUILD}"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
ninja -C "$build" -j2 qelt qelt_ocx qelt_virtual_card host_com_baseline >/dev/null
export QELT_CARD_PROFILE="$(winpath "$root/tests/cards/citizen/card.profile")"
"$root/tools/wine-run.sh" regsvr32 /s "$(winpath "$build/control/QELTReaderProj1.ocx")"
"$root/tools/wine-run.sh" regsvr32 /s "$(winpath "$build/virtualcard/QELTVirtualCard.dll")"
wineserver -w 2>/dev/null || true
# Keep one wineserver up for the whole comparison, as a test run would.
"$root/tools/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true

# The locale reaches Wine only (ANSI code page 950), not this shell.
baseline="env LC_ALL=$QELT_LC_ALL $QELT_WINE $build/benchmarks/host/host_com_baseline.exe"
for opt in 3 4; do
  echo "== qelt.exe OPT=$opt  vs  $baseline"
  farm-bench -n "${QELT_BENCH_RUNS:-10}" --warmup 2 --timeout 600 --vs "$baseline" -- \
    env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "$build/host/qelt.exe" "OPT=$opt"
done
