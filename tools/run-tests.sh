#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the portable
# parts natively, then everything under Wine in the project's own prefix.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh" all
source "$root/tools/wine-env.sh"
status=0
ctest --test-dir "$root/build/native" --output-on-failure -j2 || status=1
ctest --test-dir "$root/build/win" --output-on-failure -j2 || status=1
wineserver -k 2>/dev/null || true
exit $status
