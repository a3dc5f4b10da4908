#!/usr/bin/env bash
# The samples in examples/ run as their readers would run them: the JScript
# and VBScript samples and the sample page's script through Windows Script
# Host, and the command-line examples through the host program, against the
# virtual card and a validation service on the default validation URL.
# Usage: examples_test.sh BUILD_DIR
set -uo pipefail
build="$1"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
w() { env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "$@"; }
work="$(mktemp -d "${TMPDIR:-/tmp}/qelt-examples.XXXXXX")"
service=""
trap 'rm -rf "$work"; [ -n "$service" ] && kill "$service" 2>/dev/null' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
same() {  # name expected-file actual-utf16-file
  local actual; actual="$(iconv -f utf-16 -t utf-8 "$3" | tr -d '\r')"
  if [ "$actual" = "$(cat "$2")" ]; then echo "ok   $1"; else
    fail "$1"; diff <(echo "$actual") "$2" | head -20; fi
}

cards="$root/tests/cards"
python3 "$root/tools/servers/validation_service.py" --host 127.0.0.1 --port 80 \
  --revoked-file "$cards/revoked-serials.txt" >"$work/service.out" 2>&1 &
service=$!
for _ in $(seq 50); do grep -q READY "$work/service.out" 2>/dev/null && break; sleep 0.1; done
grep -q READY "$work/service.out" || { echo "FAIL: the validation service cannot listen on port 80"; exit 1; }
w regsvr32 /s "$(winpath "$build/control/QELTReaderProj1.ocx")" || fail "control registration"
w regsvr32 /s "$(winpath "$build/virtualcard/QELTVirtualCard.dll")" || fail "card registration"
export QELT_CARD_PROFILE="$(winpath "$cards/citizen/card.profile")"
here="$(dirname "${BASH_SOURCE[0]}")"

# The WSH samples: right PIN (all through), then a wrong one.
for sample in read-card.js read-card.vbs; do
  for pin in 1234 0000; do
    rm -f "$work/out.txt"
    timeout 120 env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" cscript //nologo "$(winpath "$root/examples/$sample")" "$pin" "$(winpath "$work/out.txt")"
    same "$sample with PIN $pin" "$here/expected/read-card-$pin.txt" "$work/out.txt"
  done
done

# The page's own script, with a shim for what the browser provides.
sed -n '/^\/\/ page script begins/,/^\/\/ page script ends/p' "$root/examples/reader-page.html" >"$work/page.js"
{ cat "$here/page_shim.js" "$work/page.js"; echo "pressButtons();"; } >"$work/page-run.js"
rm -f "$work/out.txt"
timeout 120 env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" cscript //nologo "$(winpath "$work/page-run.js")" "$(winpath "$work/out.txt")" 4321
same "reader-page.html's script" "$here/expected/page.txt" "$work/out.txt"

# The command-line examples, in a folder of their own.
(cd "$work" && QELT_BUILD_DIR="$build" timeout 300 bash "$root/examples/command-line.sh" </dev/null) \
  >"$work/cl.out" 2>&1
iconv -f big5 -t utf-8 "$work/cl.out" | tr -d '\r' >"$work/cl.txt"
for expected in "檢查通過" "簽章完成" "驗章成功，簽章人員：王小明，簽章時間：" "加密完成" \
                "解密成功，密文：" "line two" "驗證成功" "Subjectname : C=TW, CN=王小明"; do
  grep -qF "$expected" "$work/cl.txt" && echo "ok   command line prints $expected" ||
    fail "the command-line examples print no [$expected]"
done

echo "examples: $failures failed"
exit $((failures > 0))
