#!/usr/bin/env bash
# The CAB under Wine, in a prefix of its own: the platform's INF installer
# (advpack's LaunchINFSectionEx, given the CAB) takes the INF out of the CAB
# and installs its DefaultInstall section -> the module from the CAB is in
# Program Files and registered -> a script creates the control.
# Usage: cab_test.sh CAB OCX VIRTUAL_CARD_DLL CARD_PROFILE
set -euo pipefail
cab="$1" ocx="$2" card="$3" profile="$4"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tests/installer/own_prefix.sh"
qelt_own_workspace "$(dirname "$cab")/cab-test"
mkdir -p "$work/download"

clsid='{D4025A2B-8E7E-419D-B403-520F5EF50059}'
installed="$WINEPREFIX/drive_c/Program Files/QELT Reader/QELTReaderProj1.ocx"

w regsvr32 /s "$(winpath "$card")"
created="$(create)"
check "nothing registered before ($created)" test "$created" = "not created 800a01ad"

# As downloaded: the CAB alone in a folder. Flags 4: quiet.
cp "$cab" "$work/download/QELTReader.cab"
w rundll32 advpack.dll,LaunchINFSectionEx "QELTReader.inf,DefaultInstall,$(winpath "$work/download/QELTReader.cab"),4"
check "advpack installs the signed module from the CAB" cmp -s "$installed" "$ocx"
inproc="$(env LC_ALL=C "$QELT_WINE" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')"
check "  ...registered through its own registration ($inproc)" test -n "$inproc"
created="$(create)"
check "  ...a script creates the control ($created)" test "$created" = "created 3.0"

echo "CAB checks: $fails failed"
exit $((fails > 0))
