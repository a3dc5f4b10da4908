#!/usr/bin/env bash
# The development kit's package under Wine, in a prefix of its own:
#   the packages keep apart (no kit file in the product's package, no
#   control in the kit's); the guide shows its example script as it is;
#   with another toolkit registered the kit is refused and that registration
#   stays byte for byte; installed, it registers the virtual card, the
#   control reads the kit's default card and the card chosen by the
#   environment or the kit's setting; the guide's example runs as written,
#   validation through the kit's service included; uninstalled, the class
#   registrations are as before and the kit's folder is gone.
# Usage: kit_test.sh KIT_MSI PRODUCT_MSI OCX GUIDE EXAMPLE_CMD CAFILE VERSION
set -euo pipefail
kit="$1" product="$2" ocx="$3" guide="$4" example="$5" cafile="$6" version="$7"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tests/installer/own_prefix.sh"
qelt_own_workspace "$(dirname "$kit")/kit-test"

toolkit='{BC6CA137-0C5C-4850-AE73-5AB35BD1DB8A}'
folder="$WINEPREFIX/drive_c/Program Files/QELT DevKit"
kitdir='C:\Program Files\QELT DevKit'

# The packages, as files.
msiinfo export "$kit" File | cut -f3 >"$work/kit-files"
msiinfo export "$product" File | cut -f3 >"$work/product-files"
check "the kit's package holds no control" bash -c '! grep -qi "QELTReaderProj1" "$1"' _ "$work/kit-files"
check "the product's package holds no kit file" \
  bash -c '! grep -qiE "QELTVirtualCard|QELTValidationService|\.profile|\.pfx" "$1"' _ "$work/product-files"
# Versioned and signed like the product's package, the modules inside too.
msiinfo export "$kit" Property | tr -d '\r' >"$work/kit-properties"
check "the kit's package has the product's version" grep -qx "ProductVersion	$version" "$work/kit-properties"
msiextract --directory "$work/extracted" "$kit" >/dev/null
for file in "$kit" "$(find "$work/extracted" -name QELTVirtualCard.dll)" "$(find "$work/extracted" -name QELTValidationService.exe)"; do
  check "$(basename "$file") is signed" bash -c 'osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1' _ "$cafile" "$file"
done
# The guide quotes the example script; the tests run the script itself.
sed -n '/^```bat$/,/^```$/p' "$guide" | sed '1d;$d' >"$work/guide-example"
tr -d '\r' <"$example" >"$work/example"
check "the guide shows the example script as it is" cmp -s "$work/guide-example" "$work/example"

classes() { w reg export 'HKCR\CLSID' "$(winpath "$1")" /y >/dev/null; }
w regsvr32 /s "$(winpath "$ocx")"

# Another toolkit already registered: refused, and nothing changes.
w reg add "HKCR\\CLSID\\$toolkit\\InprocServer32" /ve /d 'C:\Vendor\CardToolkit.ocx' /f >/dev/null
w reg add "HKCR\\CLSID\\$toolkit\\InprocServer32" /v ThreadingModel /d Apartment /f >/dev/null
classes "$work/other-before.reg"
refused=0
w msiexec /i "$(winpath "$kit")" /qn /l*v 'C:\refused.log' || refused=$?
check "with another toolkit registered the install fails ($refused)" test "$refused" -ne 0
# Wine's quiet install logs neither the message nor the condition: the
# package's launch condition is read instead, with what it found.
tr -d '\0' <"$WINEPREFIX/drive_c/refused.log" >"$work/refused.log"
check "  ...having found that registration" grep -qF 'OTHERTOOLKIT = C:\Vendor\CardToolkit.ocx' "$work/refused.log"
check "  ...which the package's launch condition refuses with its message" \
  bash -c 'msiinfo export "$1" LaunchCondition | grep -qF "Installed OR NOT OTHERTOOLKIT	Another card toolkit is registered on this machine ([OTHERTOOLKIT] under class"' _ "$kit"
classes "$work/other-after.reg"
check "  ...and that registration stays byte for byte" cmp -s "$work/other-before.reg" "$work/other-after.reg"
check "  ...and nothing is installed" test ! -e "$folder"
w reg delete "HKCR\\CLSID\\$toolkit" /f >/dev/null

# Installed.
classes "$work/before.reg"
check "installs quietly" w msiexec /i "$(winpath "$kit")" /qn
inproc="$(env LC_ALL=C "$QELT_WINE" reg query "HKCR\\CLSID\\$toolkit\\InprocServer32" /ve | tr -d '\r' | sed -n 's/.*REG_SZ *//p')"
check "the virtual card is registered ($inproc)" test "$inproc" = "$kitdir\\QELTVirtualCard.dll"

cat >"$WINEPREFIX/drive_c/read-card.js" <<'JS'
try { var c = new ActiveXObject("QELTReaderProj1.QELTReader"); c.readCard(); WScript.Echo("card " + c.idno); }
catch (e) { WScript.Echo("no card " + (e.number >>> 0).toString(16)); }
JS
card() { w cscript //nologo 'C:\read-card.js' | tr -d '\r'; }
check "the control reads the kit's default card" test "$(card)" = "card A123456789"
check "the environment chooses a card" \
  test "$(QELT_CARD_PROFILE="$kitdir\\cards\\revoked\\card.profile" card)" = "card D223456789"
w reg add 'HKCU\Software\QELTReader\DevKit' /v CardProfile /d "$kitdir\\cards\\expired\\card.profile" /f >/dev/null
check "the kit's setting chooses a card" test "$(card)" = "card C123456789"
check "  ...and the environment comes first" \
  test "$(QELT_CARD_PROFILE="$kitdir\\cards\\company\\card.profile" card)" = "card 12345678"
w reg delete 'HKCU\Software\QELTReader\DevKit' /f >/dev/null

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
w cmd /c "$kitdir\\run-page-tests.cmd" "$port" | tr -d '\r' >"$work/example.out" || true
sed 's/^/     | /' "$work/example.out"
check "the guide's example passes for its three cards" grep -qx 'ALL PAGE TESTS PASSED' "$work/example.out"
check "  ...validation through the kit's service included" \
  test "$(grep -c '^PASS the certificate is \(valid\|refused\)' "$work/example.out")" = 3

# Uninstalled.
check "uninstalls quietly" w msiexec /x "$(winpath "$kit")" /qn
classes "$work/after.reg"
check "the class registrations are as before" cmp -s "$work/before.reg" "$work/after.reg"
check "the kit's folder is gone" test ! -e "$folder"
exit $((fails > 0))
