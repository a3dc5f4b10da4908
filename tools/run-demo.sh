#!/usr/bin/env bash
# The main job: sets up, builds, registers the control and the virtual card
# in the project's prefix, starts the local validation service on the
# default validation host, and shows the control at work the way a page uses
# it, then the command line; readable on a UTF-8 terminal. It runs the x86
# module where this machine runs 32-bit code, else the x64 one (QELT_ARCH
# chooses).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/wine-env.sh"
echo "== The $QELT_ARCH module under $([ "$QELT_ARCH" = x64 ] && echo 64 || echo 32)-bit Wine (build/win-$QELT_ARCH)"
QELT_ARCHS="$QELT_ARCH" bash "$root/tools/setup.sh"
log="${TMPDIR:-/tmp}/qelt-demo-build.log"
QELT_ARCHS="$QELT_ARCH" bash "$root/tools/build.sh" win qelt_ocx qelt_virtual_card qelt qelt_validation_service >"$log" 2>&1 ||
  { tail -30 "$log"; exit 1; }
run() { qelt_wine "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
big5() { iconv -f big5 -t utf-8 | tr -d '\r'; }  # the component's text, for the terminal

host="${QELT_VALIDATION_HOST:-localhost}"
cards="$root/tests/cards"
work="$(mktemp -d)"
python3 "$root/tools/servers/validation_service.py" --host 127.0.0.1 --port 80 \
  --revoked-file "$cards/revoked-serials.txt" >"$work/service.out" 2>&1 &
service=$!
trap 'kill $service 2>/dev/null || true; wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do grep -q READY "$work/service.out" 2>/dev/null && break; sleep 0.1; done
grep -q READY "$work/service.out" || { echo "the validation service cannot listen on port 80"; exit 1; }

run regsvr32 /s "$(winpath "$QELT_WIN_BUILD/control/QELTReaderProj1.ocx")"
run regsvr32 /s "$(winpath "$QELT_WIN_BUILD/virtualcard/QELTVirtualCard.dll")"

echo "== A page-like script (demo/demo.js) with the citizen card; validation at http://$host/xkms/XKMS"
out="$work/demo.txt"
QELT_CARD_PROFILE="$(winpath "$cards/citizen/card.profile")" \
  run cscript //nologo "$(winpath "$root/demo/demo.js")" "$(winpath "$out")"
QELT_CARD_PROFILE="$(winpath "$cards/revoked/card.profile")" \
  run cscript //nologo "$(winpath "$root/demo/demo.js")" "$(winpath "$out")" validate
iconv -f utf-16 -t utf-8 "$out" | tr -d '\r'

echo
echo "== The command line (host/qelt.sh): OPT=8 PIN=1234, then OPT=4"
QELT_CARD_PROFILE="$(winpath "$cards/citizen/card.profile")" bash "$root/host/qelt.sh" OPT=8 PIN=1234 | big5
QELT_CARD_PROFILE="$(winpath "$cards/citizen/card.profile")" bash "$root/host/qelt.sh" OPT=4 | big5

echo
echo "== The development kit (docs/devkit-guide.md): a page's test, validating through the kit's service as the proxy"
run "$(winpath "$QELT_WIN_BUILD/devkit/service/QELTValidationService.exe")" --port 0 \
  --ready-file "$(winpath "$work/kit.port")" --revoked-file "$(winpath "$cards/revoked-serials.txt")" >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$work/kit.port" ] && break; sleep 0.1; done
kit_port="$(tr -d '\r\n' <"$work/kit.port")"
example="$(winpath "$root/docs/devkit-example/page-test.js")"
echo "-- the citizen card"
QELT_CARD_PROFILE="$(winpath "$cards/citizen/card.profile")" run cscript //nologo "$example" "$kit_port" A123456789 valid | tr -d '\r' || true
echo "-- a revoked card"
QELT_CARD_PROFILE="$(winpath "$cards/revoked/card.profile")" run cscript //nologo "$example" "$kit_port" D223456789 invalid | tr -d '\r' || true

echo
echo "== The browser bridge (docs/bridge-guide.md): examples/reader-page-bridge.html in headless Chromium"
bash "$root/tests/browser/run.sh" --demo "$root/build/demo/bridge-page.png"
