#!/usr/bin/env bash
# Worst-case shapes: builds the benchmark natively with optimisation and runs
# it; prints the table and exits 1 when a target is missed.
# Usage: benchmarks/shapes/run.sh [--once]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${QELT_BENCH_BUILD_DIR:-$root/build/bench-native}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j"${QELT_JOBS:-2}" shapes_benchmark >/dev/null
"$build/benchmarks/shapes/shapes_benchmark" "$@"
