#!/usr/bin/env bash
# The main job: sets up, builds, registers the virtual card in the project's
# prefix and shows what works so far, readable on a UTF-8 terminal.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh" win
source "$root/tools/wine-env.sh"
run() { env LC_ALL="$QELT_LC_ALL" wine "$@"; }
# Big5 from the component, UTF-8 for the terminal.
show() { iconv -f big5 -t utf-8; }

run regsvr32 /s "$root/build/win/virtualcard/QELTVirtualCard.dll"
profile="$root/demo/cards/demo.profile"
export QELT_CARD_PROFILE="Z:${profile//\//\\}"

echo "== PIN check against the virtual card (PIN 1234) =="
run "$root/build/win/demo/pin_check_demo.exe" | tr -d '\r' | show
wineserver -k 2>/dev/null || true
