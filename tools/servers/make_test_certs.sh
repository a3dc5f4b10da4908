#!/usr/bin/env bash
# Makes two self-signed test certificates in DIR: valid.b64 (serial 1001) and
# revoked.b64 (serial 2002, listed in DIR/revoked.txt). Each .b64 file holds
# the DER certificate as one line of Base64, as a card toolkit hands it over.
set -euo pipefail
dir="$1"
mkdir -p "$dir"
make_cert() {  # name serial
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$dir/$1.key" -subj "/CN=QELT test $1" -days 30 -set_serial "0x$2" \
    -outform DER -out "$dir/$1.der" 2>/dev/null
  base64 -w0 "$dir/$1.der" >"$dir/$1.b64"
}
make_cert valid 1001
make_cert revoked 2002
echo 2002 >"$dir/revoked.txt"
