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

# The browser bridge's registrations:
#   bridge_read_ids IDS_JSON  sets host_name, chromium_id and firefox_id (the
#                           first of each list) from ids.json
#   bridge_views            the registry views of this prefix: "32" in a
#                           32-bit one, "32 64" in a 64-bit one
#   bridge_registrations    every value under the host's key of each browser,
#                           in each view, one line each: VIEW BROWSER NAME DATA
#                           (types other than REG_SZ show in NAME)
#   bridge_export FILE      the browsers' trees of HKLM, every view, as
#                           reg export writes them ("absent" for a missing one)
#   bridge_pick BROWSER     the manifest a browser starts: Chrome and Edge read
#                           HKCU then HKLM, each the 32-bit view first; Firefox
#                           HKCU, then HKLM's 32-bit view, then its 64-bit view
#   bridge_ask MANIFEST ORIGIN ARG...  starts the program a manifest names, as
#                           a browser does, says hello: "ready ARCH VERSION" or
#                           the refusal
declare -A bridge_browser_keys=(
  [chrome]='SOFTWARE\Google\Chrome\NativeMessagingHosts'
  [edge]='SOFTWARE\Microsoft\Edge\NativeMessagingHosts'
  [firefox]='SOFTWARE\Mozilla\NativeMessagingHosts')
bridge_read_ids() {
  read -r host_name chromium_id firefox_id < <(python3 -c 'import json, sys
ids = json.load(open(sys.argv[1]))
print(ids["hostName"], ids["chromium"][0]["id"], ids["firefox"][0]["id"])' "$1")
}
bridge_views() { if [ "$QELT_ARCH" = x64 ]; then echo "32 64"; else echo 32; fi; }
bridge_value() {  # ROOT\KEY VIEW: the default REG_SZ value, if any
  { env LC_ALL=C "$QELT_WINE" reg query "$1" /ve "/reg:$2" 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^ *(Default) *REG_SZ *//p'
}
bridge_registrations() {
  local view browser
  for view in $(bridge_views); do
    for browser in chrome edge firefox; do
      { env LC_ALL=C "$QELT_WINE" reg query "HKLM\\${bridge_browser_keys[$browser]}\\$host_name" "/reg:$view" 2>/dev/null ||
          true; } | tr -d '\r' | sed -n "s/^    \\(.*\\)    REG_SZ    /$view $browser \\1 /p; t; s/^    \\(.\\)/$view $browser \\1/p"
    done
  done
}
bridge_export() {
  local view key part=0
  : >"$1"
  for view in $(bridge_views); do
    for key in 'SOFTWARE\Google' 'SOFTWARE\Microsoft\Edge' 'SOFTWARE\Mozilla'; do
      part=$((part + 1))
      if "$QELT_WINE" reg export "HKLM\\$key" "C:\\bridge-export.reg" /y "/reg:$view" >/dev/null 2>&1; then
        { echo "== $view $key"; tr -d '\0' <"$WINEPREFIX/drive_c/bridge-export.reg"; } >>"$1"
      else
        echo "== $view $key absent" >>"$1"
      fi
    done
  done
  rm -f "$WINEPREFIX/drive_c/bridge-export.reg"
}
bridge_pick() {
  local views="32 64" root view found
  [ "$QELT_ARCH" = x64 ] || views=32
  for root in HKCU HKLM; do
    for view in $views; do
      found="$(bridge_value "$root\\${bridge_browser_keys[$1]}\\$host_name" "$view")"
      if [ -n "$found" ]; then echo "$found"; return; fi
    done
  done
}
bridge_ask() {
  local manifest="$1" origin="$2" program
  shift 2
  program="$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["path"])' "$(qelt_unix_path "$manifest")")"
  python3 "$QELT_ROOT/tests/installer/bridge_files.py" ask "$origin" "$QELT_WINE" "${manifest%\\*}\\$program" "$@" || true
}
qelt_unix_path() {  # C:\a\b -> the prefix's drive_c/a/b
  local p="${1#[Cc]:\\}"
  printf '%s/drive_c/%s' "$WINEPREFIX" "${p//\\//}"
}
