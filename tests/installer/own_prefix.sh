# Sourced by the installer tests, which install machine-wide and so each use
# a fresh Wine prefix of their own, for the architecture of the build.
#   qelt_own_prefix DIR   makes the prefix DIR anew, exports WINEPREFIX and
#                         stops its server when the test ends
#   qelt_own_workspace DIR  makes the folder DIR anew ($work) with such a
#                         prefix inside, DIR/wineprefix
#   w ARGS...             runs a Windows program there, in the project's locale
#   winpath PATH          a Linux path as Wine sees it (drive Z: is /)
#   check WHAT CMD...     runs CMD and prints "ok   WHAT" or "FAIL WHAT";
#                         $fails counts the failures
#   create [HOST]         what a script host (default: cscript) prints when it
#                         tries to create the control: "created 3.0" or
#                         "not created <error>"; the card is $profile
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-env.sh"

qelt_own_prefix() {
  export WINEPREFIX="$1"
  rm -rf "$WINEPREFIX"
  QELT_WINEPREFIX="$WINEPREFIX" bash "$QELT_ROOT/tools/wine-prefix.sh" >/dev/null
  trap 'wineserver -k 2>/dev/null || true' EXIT
  cat >"$WINEPREFIX/drive_c/create-control.js" <<'JS'
try { var c = new ActiveXObject("QELTReaderProj1.QELTReader"); WScript.Echo("created " + c.ver); }
catch (e) { WScript.Echo("not created " + (e.number >>> 0).toString(16)); }
JS
}

qelt_own_workspace() {
  work="$1"
  rm -rf "$work"
  mkdir -p "$work"
  qelt_own_prefix "$work/wineprefix"
}

w() { env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

fails=0
check() {
  local what="$1"; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}

create() {
  QELT_CARD_PROFILE="$(winpath "$profile")" w "${1:-cscript}" //nologo 'C:\create-control.js' | tr -d '\r'
}
