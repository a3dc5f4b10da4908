#!/usr/bin/env bash
# The installer package under Wine, in a prefix of its own (registration is
# machine-wide, so the other tests never see this one's changes):
#   install quietly -> the registry is exactly what the module's own
#   registration writes (compared with regsvr32 of the installed file) ->
#   a script creates the control -> uninstall -> creation fails, the keys
#   are gone, a key someone else added below the class key stays.
# The browser bridge alongside: installed, the host and one manifest per
# browser family (valid, naming the host beside them and exactly the IDs of
# ids.json), registered for Chrome, Edge and Firefox in the package's
# registry view alone; the host a browser finds there starts and creates the
# control of its architecture; uninstalled, the browsers' registry trees are
# as before (another host's registration stays) and the folder is gone.
# Usage: msi_test.sh MSI VIRTUAL_CARD_DLL CARD_PROFILE BRIDGE_EXE IDS_JSON VERSION
set -euo pipefail
msi="$1" card="$2" profile="$3" bridge="$4" ids="$5" version="$6"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tests/installer/own_prefix.sh"
# A new prefix each run: installs of earlier builds (each has its own product
# code) would otherwise stay clients of the same component.
qelt_own_prefix "$(dirname "$msi")/wineprefix-msi"

clsid='{D4025A2B-8E7E-419D-B403-520F5EF50059}'
libid='{F4417984-BADA-4CAA-9BEF-B4E5D77E89E6}'
progid='QELTReaderProj1.QELTReader'
installed='C:\Program Files\QELT Reader\QELTReaderProj1.ocx'
foreign="HKCR\\CLSID\\$clsid\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"
registry() {  # everything the control's registration owns, as text
  for key in "HKCR\\CLSID\\$clsid" "HKCR\\$progid" "HKCR\\TypeLib\\$libid"; do
    (env LC_ALL=C "$QELT_WINE" reg query "$key" /s 2>&1 || true) | tr -d "\r"
  done
}

w regsvr32 /s "$(winpath "$card")"

bridge_read_ids "$ids"
folder='C:\Program Files\QELT Reader'
[ "$QELT_ARCH" = x64 ] && view=64 || view=32
# Another host registered before: it stays.
"$QELT_WINE" reg add "HKLM\\${bridge_browser_keys[chrome]}\\com.example.other" /ve /d 'C:\Other\host.json' /f /reg:$view >/dev/null
"$QELT_WINE" reg add 'HKLM\SOFTWARE\Policies\QELTReader\Bridge' /v AllowedOrigins /t REG_MULTI_SZ \
  /d https://portal.example.org /f /reg:64 >/dev/null
bridge_export "$(dirname "$msi")/bridge-before.reg"

check "installs quietly" w msiexec /i "$(winpath "$msi")" /qn
check "the module is in a folder with a blank" test -f "$WINEPREFIX/drive_c/Program Files/QELT Reader/QELTReaderProj1.ocx"
after_install="$(registry)"
check "InprocServer32 holds the short path" grep -q 'InprocServer32' <<<"$after_install"
inproc="$(env LC_ALL=C "$QELT_WINE" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve | tr -d '\r' | sed -n 's/.*REG_SZ *//p')"
check "  ...without a blank ($inproc)" test -n "$inproc" -a "${inproc#* }" = "$inproc"
if [ "$QELT_ARCH" = x64 ]; then
  # 64-bit Windows: the 64-bit Program Files and the 64-bit registry view, nothing for 32-bit hosts.
  check "the x64 package leaves Program Files (x86) alone" test ! -e "$WINEPREFIX/drive_c/Program Files (x86)/QELT Reader"
  only_in_64bit_view() {
    "$QELT_WINE" reg query "HKCR\\CLSID\\$clsid" /reg:64 >/dev/null 2>&1 &&
      ! "$QELT_WINE" reg query "HKCR\\CLSID\\$clsid" /reg:32 >/dev/null 2>&1
  }
  check "  ...and registers in the 64-bit view alone" only_in_64bit_view
fi
check "ToolboxBitmap32 holds the long path" grep -qF "$installed,1" <<<"$after_install"
w regsvr32 /s /u "$installed"
w regsvr32 /s "$installed"
check "the registry is what regsvr32 leaves" test "$after_install" = "$(registry)"
created="$(create)"
check "a script creates the control ($created)" test "$created" = "created 3.0"

check "the bridge host is installed, the signed one" cmp -s "$WINEPREFIX/drive_c/Program Files/QELT Reader/qelt-bridge.exe" "$bridge"
check "  ...with a manifest per browser family" python3 "$root/tests/installer/bridge_files.py" manifests \
  "$WINEPREFIX/drive_c/Program Files/QELT Reader" "$ids"
expected="$view chrome (Default) $folder\\$host_name.chromium.json
$view edge (Default) $folder\\$host_name.chromium.json
$view firefox (Default) $folder\\$host_name.firefox.json"
registrations="$(bridge_registrations)"
check "  ...registered for each browser in the $view-bit view alone" test "$registrations" = "$expected"
[ "$registrations" = "$expected" ] || sed 's/^/     | /' <<<"$registrations"
for browser in chrome firefox; do
  manifest="$(bridge_pick $browser)"
  [ $browser = chrome ] && args=("chrome-extension://$chromium_id/" --parent-window=0) || args=("$manifest" "$firefox_id")
  answer="$(bridge_ask "$manifest" https://portal.example.org "${args[@]}")"
  check "  ...$browser starts the host, which creates the control ($answer)" test "$answer" = "ready $QELT_ARCH $version"
done

w reg add "$foreign" /f >/dev/null
check "uninstalls quietly" w msiexec /x "$(winpath "$msi")" /qn
check "the module is gone" test ! -f "$WINEPREFIX/drive_c/Program Files/QELT Reader/QELTReaderProj1.ocx"
created="$(create)"
check "creation then fails ($created)" test "$created" = "not created 800a01ad"
after_uninstall="$(registry)"
check "the ProgID and the server keys are gone" \
  bash -c '! grep -qE "InprocServer32|ProgID|QELTReaderProj1.QELTReader|MiscStatus|Verb" <<<"$1"' _ "$after_uninstall"
check "a key someone else added stays" w reg query "$foreign"
w reg delete "$foreign" /f >/dev/null 2>&1 || true
check "the folder is gone, the bridge's files with it" test ! -e "$WINEPREFIX/drive_c/Program Files/QELT Reader"
bridge_export "$(dirname "$msi")/bridge-after.reg"
check "the browsers' registry trees are as before" cmp -s "$(dirname "$msi")/bridge-before.reg" "$(dirname "$msi")/bridge-after.reg"
diff "$(dirname "$msi")/bridge-before.reg" "$(dirname "$msi")/bridge-after.reg" | head -20 | sed 's/^/     | /' || true
echo "installer checks: $fails failed"
exit $((fails > 0))
