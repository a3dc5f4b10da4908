#!/usr/bin/env bash
# qelt.exe as a user runs it: through Wine, standard output on a pipe, the
# citizen test card in the virtual card. Checks every operation's printed
# result, that openssl accepts the signatures and opens the envelopes, and
# that a run without arguments or with an operation number past 8 prints
# nothing.   Usage: host_test.sh BUILD_DIR
set -uo pipefail
build="$1"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine-env.sh"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
work="$(mktemp -d "${TMPDIR:-/tmp}/qelt-host.XXXXXX")"
service_pid=""
trap 'rm -rf "$work"; [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cards="$root/tests/cards"
export QELT_CARD_PROFILE="$(winpath "$cards/citizen/card.profile")"
env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" regsvr32 /s "$(winpath "$build/control/QELTReaderProj1.ocx")" || fail "control registration"
env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" regsvr32 /s "$(winpath "$build/virtualcard/QELTVirtualCard.dll")" || fail "card registration"

# qelt ARGS... : the raw bytes of standard output in $work/out, UTF-8 in $out.
qelt() {
  timeout 60 env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "$build/host/qelt.exe" "$@" >"$work/out" 2>"$work/err" </dev/null
  status=$?
  out="$(iconv -f big5 -t utf-8 <"$work/out")"
  [ "$status" = 0 ] || fail "qelt $* exited with $status: $(cat "$work/err")"
}
expect_out() {  # expected-utf8 args...
  local expected="$1"; shift
  qelt "$@"
  [ "$out" = "$expected"$'\r' ] || fail "qelt $*: printed [$out], expected [$expected]"
}

# No arguments, and operations that do nothing: nothing printed.
for args in "" "OPT=0" "OPT=9" "OPT=255"; do
  qelt $args
  [ -s "$work/out" ] && fail "qelt $args printed [$out]"
done

# 1: the signature itself, which openssl verifies against the card's CA.
qelt OPT=1 SRC=abc UINFO=u PIN=1234
tr -d '\r\n' <"$work/out" | base64 -d >"$work/sig.der" 2>/dev/null || fail "the signature is not Base64"
content="$(openssl cms -verify -inform DER -in "$work/sig.der" -CAfile "$cards/ca/moi.pem" -purpose any 2>"$work/ossl")" ||
  fail "openssl cms -verify: $(cat "$work/ossl")"
[ "$content" = "<TBSHeader>u</TBSHeader><TBSBody>abc</TBSBody>" ] || fail "signed content [$content]"
openssl cms -cmsout -print -inform DER -in "$work/sig.der" | grep -q signingTime || fail "no signing time"

# 1 into a file, then 2 from it.
sig="$(winpath "$work/out.sig")"
expect_out "簽章完成" OPT=1 SRC=abc UINFO=u PIN=1234 "SIG=$sig"
qelt OPT=2 SRC=abc UINFO=u "SIG=$sig"
[[ "$out" =~ ^驗章成功，簽章人員：王小明，簽章時間：[0-9]{4}/[0-9]{2}/[0-9]{2}\ [0-9:]{8}$'\r'$ ]] || fail "verify printed [$out]"

# 3: the certificate for type 0, the card's default (its signing certificate).
qelt OPT=3
expected="$(grep -v -- ----- "$cards/citizen/sign.pem" | tr -d '\n')"
[ "$(tr -d '\r\n' <"$work/out")" = "$expected" ] || fail "certificate [$out]"

# 4: the card information dump.
qelt OPT=4
[[ "$out" == "issuerName : C=TW, O=測試, OU=內政部憑證管理中心"$'\r\n'"Subjectname : C=TW, CN=王小明"* ]] || fail "dump [$out]"
[[ "$out" == *$'\r\n'"SerialNumber : 0101"$'\r' ]] || fail "dump end [$out]"

# 5 into a file; openssl opens the envelope; 6 from the file.
printf 'hello\n' >"$work/plain.txt"
cipher="$(winpath "$work/cipher.txt")"
expect_out "加密完成" OPT=5 SIGTYP=1 "SRC=$(winpath "$work/plain.txt")" "SIG=$cipher"
openssl pkcs12 -in "$cards/citizen/encrypt.pfx" -passin pass:test -nocerts -nodes -out "$work/key.pem" 2>/dev/null
tr -d '\r\n' <"$work/cipher.txt" | base64 -d >"$work/env.der"
plain="$(openssl cms -decrypt -inform DER -in "$work/env.der" -inkey "$work/key.pem" 2>"$work/ossl" | od -An -c | tr -s ' ')"
[ "$plain" = " h e l l o \r \n" ] || fail "openssl cms -decrypt: [$plain] $(cat "$work/ossl")"
qelt OPT=6 SIGTYP=1 "SIG=$cipher" PIN=1234
[ "$out" = "解密成功，密文："$'\r\n'"hello"$'\r\n\r' ] || fail "decrypt printed [$out]"

# 7: the validation service on loopback says the card is good.
python3 "$root/tools/servers/validation_service.py" --port 0 >"$work/service" 2>&1 &
service_pid=$!
for _ in $(seq 50); do grep -q READY "$work/service" && break; sleep 0.1; done
port="$(sed -n 's/.*READY port=\([0-9]*\).*/\1/p' "$work/service")"
qelt OPT=7 "URL=http://127.0.0.1:$port/xkms/XKMS"
[ -s "$work/out" ] || fail "validation printed nothing"

# 8: the PIN check, keys in any case.
expect_out "檢查通過" opt=8 pin=1234

wineserver -w 2>/dev/null || true
if [ "$failures" -ne 0 ]; then echo "$failures failure(s)" >&2; exit 1; fi
echo "host: all checks passed"
