#!/usr/bin/env bash
# Both packages side by side in one 64-bit prefix, as on 64-bit Windows: the
# x86 package goes to Program Files (x86) and the 32-bit registry view, the
# x64 one to Program Files and the 64-bit view; a 32-bit and a 64-bit script
# host each create the control; removing either package leaves the other's
# hosts working, and removing both leaves nothing.
# The browser bridge likewise: each package registers its host for every
# browser in its own registry view and removes only that. With both, each
# browser's lookup (32-bit view first) finds the x86 host, which starts and
# creates the x86 control; with the x64 package alone, the x64 host.
# Usage: side_by_side_test.sh X64_MSI X86_MSI X64_CARD_DLL X86_CARD_DLL CARD_PROFILE IDS_JSON VERSION
# Ends with 77 (skipped) where the x86 package is not built or this machine
# cannot run 32-bit code.
set -euo pipefail
msi64="$1" msi32="$2" card64="$3" card32="$4" profile="$5" ids="$6" version="$7"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export QELT_ARCH=x64
source "$root/tests/installer/own_prefix.sh"
qelt_runs_32bit_code || { echo "skipped: this machine cannot run 32-bit code"; exit 77; }
[ -f "$msi32" ] || { echo "skipped: the x86 package is not built ($msi32)"; exit 77; }
qelt_own_prefix "$(dirname "$msi64")/wineprefix-side-by-side"
host32='C:\windows\syswow64\cscript.exe' host64='C:\windows\system32\cscript.exe'
expect() {  # host, expected output
  local got; got="$(create "$1")"
  local bits=64; [ "$1" = "$host32" ] && bits=32
  check "the $bits-bit script host prints [$2] ($got)" test "$got" = "$2"
}

# The card toolkit of each bitness, as the hosts need.
w regsvr32 /s "$(winpath "$card64")"
w 'C:\windows\syswow64\regsvr32.exe' /s "$(winpath "$card32")"

bridge_read_ids "$ids"
"$QELT_WINE" reg add 'HKLM\SOFTWARE\Policies\QELTReader\Bridge' /v AllowedOrigins /t REG_MULTI_SZ \
  /d https://portal.example.org /f /reg:64 >/dev/null
registered_by() {  # VIEW FOLDER: what a package registers
  local family
  for browser in chrome edge firefox; do
    [ $browser = firefox ] && family=firefox || family=chromium
    echo "$1 $browser (Default) $2\\$host_name.$family.json"
  done
}
dir32='C:\Program Files (x86)\QELT Reader' dir64='C:\Program Files\QELT Reader'
registered() {  # what: expected registrations
  local now; now="$(bridge_registrations)"
  check "$1" test "$now" = "$2"
  [ "$now" = "$2" ] || sed 's/^/     | /' <<<"$now"
}
picks() {  # folder: every browser finds the manifest there
  local browser found
  for browser in chrome edge firefox; do
    found="$(bridge_pick $browser)"
    check "  ...$browser finds ${found:-nothing}" test "${found%\\*}" = "$1"
  done
}

check "the x86 package installs" w msiexec /i "$(winpath "$msi32")" /qn
check "the x64 package installs beside it" w msiexec /i "$(winpath "$msi64")" /qn
check "the x86 module is in Program Files (x86)" test -f "$WINEPREFIX/drive_c/Program Files (x86)/QELT Reader/QELTReaderProj1.ocx"
check "the x64 module is in Program Files" test -f "$WINEPREFIX/drive_c/Program Files/QELT Reader/QELTReaderProj1.ocx"
expect "$host32" "created 3.0"
expect "$host64" "created 3.0"
registered "each package registers the bridge in its own view" \
  "$(registered_by 32 "$dir32"; registered_by 64 "$dir64")"
picks "$dir32"
answer="$(bridge_ask "$(bridge_pick chrome)" https://portal.example.org "chrome-extension://$chromium_id/" --parent-window=0)"
check "  ...and starts the x86 host, which creates the x86 control ($answer)" test "$answer" = "ready x86 $version"

# Either package leaves, the other's hosts go on (the ProgID is shared by both registry views).
check "the x64 package uninstalls" w msiexec /x "$(winpath "$msi64")" /qn
expect "$host64" "not created 800a01ad"
expect "$host32" "created 3.0"
registered "  ...and removes its own registrations alone" "$(registered_by 32 "$dir32")"
check "the x64 package installs again" w msiexec /i "$(winpath "$msi64")" /qn
check "the x86 package uninstalls" w msiexec /x "$(winpath "$msi32")" /qn
expect "$host32" "not created 800a01ad"
expect "$host64" "created 3.0"
registered "  ...and removes its own registrations alone" "$(registered_by 64 "$dir64")"
picks "$dir64"
answer="$(bridge_ask "$(bridge_pick firefox)" https://portal.example.org "$(bridge_pick firefox)" "$firefox_id")"
check "  ...and starts the x64 host ($answer)" test "$answer" = "ready x64 $version"
check "the x64 package uninstalls" w msiexec /x "$(winpath "$msi64")" /qn
expect "$host64" "not created 800a01ad"
check "the ProgID is gone with the last package" bash -c '! "$QELT_WINE" reg query "HKCR\\QELTReaderProj1.QELTReader" >/dev/null 2>&1'
registered "  ...and the last registration" ""
echo "side-by-side checks: $fails failed"
exit $((fails > 0))
