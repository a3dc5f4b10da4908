#!/usr/bin/env bash
# Every operation of the command line, as an operator runs them: qelt.exe
# (through host/qelt.sh, which runs it under Wine) with KEY=VALUE arguments,
# against the virtual card. Files land in the current folder.
# Run from the repository after `bash tools/build.sh win`:
#   bash examples/command-line.sh
# The validation (OPT=7) needs a validation service at the URL given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
qelt() { echo "\$ qelt $*"; bash "$root/host/qelt.sh" "$@"; }
export QELT_CARD_PROFILE="${QELT_CARD_PROFILE:-Z:${root//\//\\}\\tests\\cards\\citizen\\card.profile}"

qelt OPT=8 PIN=1234                                  # check the PIN: 檢查通過
qelt OPT=3 CERTTYP=1                                 # the signing certificate, Base64
qelt OPT=4 CERTTYP=1                                 # the card's information, ten lines
qelt OPT=1 UINFO=alice "SRC=pay 100" PIN=1234 SIG=pay.sig   # sign into pay.sig: 簽章完成
qelt OPT=2 UINFO=alice "SRC=pay 100" SIG=pay.sig     # verify: 驗章成功，簽章人員：…，簽章時間：…
printf 'line one\nline two\n' > plain.txt
qelt OPT=5 SIGTYP=1 SRC=plain.txt SIG=plain.enc      # encrypt the file for the card: 加密完成
qelt OPT=6 SIGTYP=1 SIG=plain.enc PIN=1234           # decrypt it: 解密成功，密文： and the text
qelt OPT=7 CERTTYP=1 "URL=${QELT_URL:-http://localhost/xkms/XKMS}"   # validate online: 驗證成功
