#!/usr/bin/env bash
# The main job: sets up, builds, registers the virtual card in the project's
# prefix, starts the local validation service on the default validation
# host, and shows the component at work, readable on a UTF-8 terminal.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh" win utility_demo qelt_virtual_card >/tmp/qelt-demo-build.log 2>&1 || { tail -30 /tmp/qelt-demo-build.log; exit 1; }
source "$root/tools/wine-env.sh"
run() { env LC_ALL="$QELT_LC_ALL" wine "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

host="${QELT_VALIDATION_HOST:-localhost}"
port="${QELT_DEMO_PORT:-80}"
cards="$root/tests/cards"
python3 "$root/tools/servers/validation_service.py" --host 127.0.0.1 --port "$port" \
  --revoked-file "$cards/revoked-serials.txt" >/tmp/qelt-demo-service.out 2>&1 &
service=$!
trap 'kill $service 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q READY /tmp/qelt-demo-service.out 2>/dev/null && break; sleep 0.1; done

run regsvr32 /s "$(winpath "$root/build/win/virtualcard/QELTVirtualCard.dll")"
url="http://$host/xkms/XKMS"
[ "$port" = 80 ] || url="http://$host:$port/xkms/XKMS"
# Big5 from the component, UTF-8 for the terminal.
run "$root/build/win/demo/utility_demo.exe" "$(winpath "$cards/citizen/card.profile")" \
  "$(winpath "$cards/revoked/card.profile")" "$url" | tr -d '\r' | iconv -f big5 -t utf-8
