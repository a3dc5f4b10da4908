#!/usr/bin/env bash
# Runs qelt.exe under Wine in the project's prefix with the given KEY=VALUE
# arguments, after registering the control (and the virtual card, unless
# QELT_NO_VIRTUAL_CARD is set). On a terminal the component's Big5 output is
# shown as UTF-8; piped or redirected, its bytes pass unchanged.
#
#   host/qelt.sh OPT=4
#   QELT_CARD_PROFILE='Z:\path\card.profile' host/qelt.sh OPT=8 PIN=1234
# The virtual card plays tests/cards/citizen unless QELT_CARD_PROFILE names
# another profile.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/wine-env.sh"
build="${QELT_BUILD_DIR:-$QELT_WIN_BUILD}"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
run() { qelt_wine "$@"; }

for module in "$build/control/QELTReaderProj1.ocx" "$build/host/qelt.exe"; do
  [ -f "$module" ] || { echo "qelt.sh: $module is not built (tools/build.sh win)" >&2; exit 2; }
done
run regsvr32 /s "$(winpath "$build/control/QELTReaderProj1.ocx")"
if [ -z "${QELT_NO_VIRTUAL_CARD:-}" ]; then
  run regsvr32 /s "$(winpath "$build/virtualcard/QELTVirtualCard.dll")"
  # Without a profile named, the virtual card plays the citizen test card.
  export QELT_CARD_PROFILE="${QELT_CARD_PROFILE:-$(winpath "$root/tests/cards/citizen/card.profile")}"
fi

if [ -t 1 ]; then
  run "$build/host/qelt.exe" "$@" | iconv -f big5 -t utf-8
  exit "${PIPESTATUS[0]}"
fi
exec env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "$build/host/qelt.exe" "$@"
