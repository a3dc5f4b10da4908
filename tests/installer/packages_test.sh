#!/usr/bin/env bash
# What we ship, as files: every module and package carries an Authenticode
# signature that verifies against the signing certificate, the modules
# inside the MSI and the CAB too (they are signed before they are packed),
# and a changed byte breaks it; the MSI and the CAB's INF carry the build's
# version. The MSI carries the bridge host, the CAB the control alone.
# Usage: packages_test.sh CAFILE VERSION OCX SETUP_ACTIONS_DLL MSI CAB BRIDGE_EXE
set -euo pipefail
cafile="$1" version="$2" ocx="$3" actions="$4" msi="$5" cab="$6" bridge="$7"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fails=0
check() {  # description, then a command that must succeed
  local what="$1"; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}
verifies() { osslsigncode verify -CAfile "$cafile" -in "$1" >"$work/verify.log" 2>&1; }

for file in "$ocx" "$actions" "$msi" "$cab" "$bridge"; do
  check "$(basename "$file") is signed" verifies "$file"
done

gcab --extract --directory "$work/cab" "$cab"
msiextract --directory "$work/msi" "$msi" >/dev/null
msiinfo extract "$msi" Binary.SetupActions >"$work/QeltSetupActions.dll"
check "the CAB's module is the signed module" cmp -s "$work/cab/QELTReaderProj1.ocx" "$ocx"
check "the MSI's module is the signed module" cmp -s "$(find "$work/msi" -name QELTReaderProj1.ocx)" "$ocx"
check "the MSI's action library is the signed one" cmp -s "$work/QeltSetupActions.dll" "$actions"
check "the MSI's bridge host is the signed one" cmp -s "$(find "$work/msi" -name qelt-bridge.exe)" "$bridge"
cab_files="$(ls "$work/cab" | sort | paste -sd' ')"
check "the CAB holds the INF and the control alone ($cab_files)" test "$cab_files" = "QELTReader.inf QELTReaderProj1.ocx"

cp "$ocx" "$work/changed.ocx"
python3 - "$work/changed.ocx" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(0, 2); middle = f.tell() // 2
    f.seek(middle); byte = f.read(1)
    f.seek(middle); f.write(bytes([byte[0] ^ 0xFF]))
PY
check "a module with one byte changed does not verify" bash -c '! osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1' _ "$cafile" "$work/changed.ocx"

property() { msiinfo export "$msi" Property | tr -d '\r' | awk -v name="$1" '$1 == name { print $2 }'; }
check "the MSI's ProductVersion is $version" test "$(property ProductVersion)" = "$version"
for file in ControlModule BridgeHost; do
  file_version="$(msiinfo export "$msi" File | tr -d '\r' | awk -F'\t' -v file=$file '$1 == file { print $5 " " $6 }')"
  check "the MSI's File table has the version and language of $file ($file_version)" test "$file_version" = "$version.0 1028"
done
inf_version="$(tr -d '\r' <"$work/cab/QELTReader.inf" | sed -n 's/^FileVersion=//p')"
check "the CAB's INF asks for version ${version//./,},0 ($inf_version)" test "$inf_version" = "${version//./,},0"

echo "package checks: $fails failed"
exit $((fails > 0))
