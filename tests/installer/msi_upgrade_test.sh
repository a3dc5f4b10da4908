#!/usr/bin/env bash
# Upgrades of the installer package under Wine, in a prefix of its own:
#   the shipped package, then a package of a later version (made here, the
#   shipped recipe around a module of that version) -> one product left, the
#   later one, its module installed and registered, a script creates the
#   control -> the shipped package again is refused with a message naming
#   the product, nothing changes -> the later package again after its module
#   was unregistered and deleted repairs it, still one product.
# After each step the browser bridge is registered exactly once for each
# browser, as the first install left it, with its files in place; the repair
# puts back a deleted registration and deleted files. The first install is
# given CHROMIUMEXTENSIONIDS (blanks, an empty entry, a repeated ID): its
# manifest for Chrome and Edge lists those IDs, and the upgrade and the repair
# keep them without being given them again; a list with a bad ID is refused,
# naming it, and changes nothing.
# Usage: msi_upgrade_test.sh MSI VERSION NEXT_OCX NEXT_VERSION ACTIONS_DLL PROBE
#                            VIRTUAL_CARD_DLL CARD_PROFILE IDS_JSON -- PACK_COMMAND...
# PACK_COMMAND makes a package when given -DOCX, -DACTIONS, -DVERSION, -DSTAGE
# and -DOUT before its own -P script (installer/PackMsi.cmake).
set -euo pipefail
msi="$1" version="$2" next_ocx="$3" next_version="$4" actions="$5" probe="$6" card="$7" profile="$8" ids="$9"
shift 9
[ "${1:-}" = -- ] && shift
pack=("$@")
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tests/installer/own_prefix.sh"
qelt_own_workspace "$(dirname "$probe")/upgrade"

# The later package: the last element of PACK_COMMAND is the script after -P.
next_msi="$work/QELTReader-$next_version.msi"
"${pack[@]:0:${#pack[@]}-2}" -DOCX="$next_ocx" -DACTIONS="$actions" -DVERSION="$next_version" \
  -DSTAGE="$work/stage" -DOUT="$next_msi" "${pack[@]: -2}"
upgrade_code="$(msiinfo export "$msi" Property | tr -d '\r' | awk '$1 == "UpgradeCode" { print $2 }')"
shipped_code="$(msiinfo export "$msi" Property | tr -d '\r' | awk '$1 == "ProductCode" { print $2 }')"
next_code="$(msiinfo export "$next_msi" Property | tr -d '\r' | awk '$1 == "ProductCode" { print $2 }')"

installed="$WINEPREFIX/drive_c/Program Files/QELT Reader/QELTReaderProj1.ocx"
clsid='{D4025A2B-8E7E-419D-B403-520F5EF50059}'
products() { w "$(winpath "$probe")" products "$upgrade_code" | tr -d '\r'; }
registered() { w reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve >/dev/null 2>&1; }

bridge_read_ids "$ids"
folder="$WINEPREFIX/drive_c/Program Files/QELT Reader"
given_ids=' bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb;;ponmlkjihgfedcbaponmlkjihgfedcba ;bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb'
chromium_ids='bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb;ponmlkjihgfedcbaponmlkjihgfedcba'
bridge_in_place() {  # the registrations as the first install left them, the files there
  local now; now="$(bridge_registrations)"
  [ "$now" = "$registrations" ] || { sed 's/^/     | /' <<<"$now"; return 1; }
  [ -f "$folder/qelt-bridge.exe" ] &&
    python3 "$root/tests/installer/bridge_files.py" manifests "$folder" "$ids" "$chromium_ids"
}

w regsvr32 /s "$(winpath "$card")"

check "the shipped package ($version) installs, given extension IDs" \
  w msiexec /i "$(winpath "$msi")" /qn "CHROMIUMEXTENSIONIDS=$given_ids"
check "  ...one product, the shipped one" test "$(products)" = "$shipped_code $version"
registrations="$(bridge_registrations)"
check "  ...the bridge registered once for each browser" test "$(wc -l <<<"$registrations")" = 3
check "  ...the Chrome/Edge manifest lists the IDs given" bridge_in_place

check "the later package ($next_version) installs over it" w msiexec /i "$(winpath "$next_msi")" /qn
check "  ...one product left, the later one" test "$(products)" = "$next_code $next_version"
check "  ...its module is installed" cmp -s "$installed" "$next_ocx"
check "  ...and registered" registered
created="$(create)"
check "  ...a script creates the control ($created)" test "$created" = "created 3.0"
check "  ...the bridge registered as before, its files there" bridge_in_place

refusal="$(w "$(winpath "$probe")" install "$(winpath "$msi")" | tr -d '\r')"
check "the shipped package over the later one is refused" grep -qx 'result: 1603' <<<"$refusal"
check "  ...saying why" grep -qx 'message: A newer version of QELTReader Control is already installed: remove it first to install this one.' <<<"$refusal"
check "  ...and changes nothing" test "$(products)" = "$next_code $next_version"
check "  ...the later module stays" cmp -s "$installed" "$next_ocx"
created="$(create)"
check "  ...and is still created ($created)" test "$created" = "created 3.0"
check "  ...the bridge registered as before, its files there" bridge_in_place

bad="$(w "$(winpath "$probe")" install "$(winpath "$next_msi")" \
  "CHROMIUMEXTENSIONIDS=$chromium_ids;chrome-extension://bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/" | tr -d '\r')"
check "a bad extension ID is refused" grep -qx 'result: 1603' <<<"$bad"
check "  ...naming it" grep -qF 'message: CHROMIUMEXTENSIONIDS: "chrome-extension://bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/" is no Chromium extension ID' <<<"$bad"
check "  ...and changes nothing" test "$(products)" = "$next_code $next_version"
check "  ...the bridge registered as before, its files there" bridge_in_place

w regsvr32 /s /u "C:\\Program Files\\QELT Reader\\QELTReaderProj1.ocx"
rm -f "$installed"
[ "$QELT_ARCH" = x64 ] && view=64 || view=32
"$QELT_WINE" reg delete "HKLM\\${bridge_browser_keys[edge]}\\$host_name" /f /reg:$view >/dev/null
rm -f "$folder/$host_name.firefox.json" "$folder/$host_name.chromium.json" "$folder/qelt-bridge.exe"
check "the later package again repairs the damaged install" w msiexec /i "$(winpath "$next_msi")" /qn
check "  ...still one product" test "$(products)" = "$next_code $next_version"
check "  ...the module is back" cmp -s "$installed" "$next_ocx"
created="$(create)"
check "  ...registered again ($created)" test "$created" = "created 3.0"
check "  ...the bridge's registration and files are back, once" bridge_in_place

if [ "$fails" -gt 0 ]; then echo "$refusal"; echo "$bad"; fi
echo "upgrade checks: $fails failed"
exit $((fails > 0))
