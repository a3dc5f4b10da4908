#!/usr/bin/env bash
# Makes the test cards: one small CA per certificate authority name, and per
# card a signing and an encryption certificate (PEM) with their keys (PKCS#12,
# password "test"). The output is committed, so builds never run this; run it
# again only to change the cards (keys and signatures then change too).
#
#   tests/cards/make-cards.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/openssl.cnf" <<'EOF'
[ req ]
distinguished_name = dn
string_mask = utf8only
utf8 = yes
prompt = no
[ dn ]
C = TW
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = $ENV::CA_DIR
database = $dir/index.txt
new_certs_dir = $dir/new
serial = $dir/serial
default_md = sha256
policy = any
email_in_dn = no
unique_subject = no
copy_extensions = none
[ any ]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
[ ca_ext ]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[ card_ext ]
basicConstraints = CA:false
keyUsage = critical,digitalSignature,keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ card_ext_mail ]
basicConstraints = CA:false
keyUsage = critical,digitalSignature,keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = email:$ENV::CARD_EMAIL
EOF
export OPENSSL_CONF="$work/openssl.cnf"
export CARD_EMAIL=none

# 3DES and SHA-1 MAC: the PKCS#12 form every CryptoAPI reads.
pfx() {  # key cert ca out
  openssl pkcs12 -export -inkey "$1" -in "$2" -certfile "$3" -passout pass:test \
    -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1 -out "$4"
}


# make_ca NAME "AUTHORITY NAME"
make_ca() {
  local name=$1 authority=$2
  export CA_DIR="$work/$name"
  mkdir -p "$CA_DIR/new" ca
  : >"$CA_DIR/index.txt"
  echo 01 >"$CA_DIR/serial"
  openssl genrsa -out "ca/$name.key" 2048 2>/dev/null
  openssl req -new -utf8 -key "ca/$name.key" -subj "/C=TW/O=測試/OU=$authority" -out "$CA_DIR/ca.csr"
  openssl ca -batch -notext -utf8 -preserveDN -selfsign -keyfile "ca/$name.key" -in "$CA_DIR/ca.csr" \
    -startdate 20190101000000Z -enddate 20491231235959Z -extensions ca_ext -out "ca/$name.pem" 2>/dev/null
}

# issue CA SERIAL "CN" EMAIL START END KEY_OUT CERT_OUT
issue() {
  local ca=$1 serial=$2 cn=$3 email=$4 start=$5 end=$6 key=$7 cert=$8 ext=card_ext
  export CA_DIR="$work/$ca"
  echo "$serial" >"$CA_DIR/serial"
  if [ -n "$email" ]; then ext=card_ext_mail; export CARD_EMAIL=$email; fi
  openssl genrsa -out "$key" 2048 2>/dev/null
  openssl req -new -utf8 -key "$key" -subj "/C=TW/CN=$cn" -out "$work/card.csr"
  openssl ca -batch -notext -utf8 -preserveDN -cert "ca/$ca.pem" -keyfile "ca/$ca.key" -in "$work/card.csr" \
    -startdate "$start" -enddate "$end" -extensions "$ext" -out "$cert" 2>/dev/null
}

# card NAME CA SIGN_SERIAL ENC_SERIAL "CN" EMAIL START END CARD_NUMBER IDNO CARD_SERIAL "COMMENT"
card() {
  local name=$1 ca=$2 signSerial=$3 encSerial=$4 cn=$5 email=$6 start=$7 end=$8
  mkdir -p "$name"
  issue "$ca" "$signSerial" "$cn" "$email" "$start" "$end" "$work/sign.key" "$name/sign.pem"
  issue "$ca" "$encSerial" "$cn" "$email" "$start" "$end" "$work/encrypt.key" "$name/encrypt.pem"
  pfx "$work/sign.key" "$name/sign.pem" "ca/$ca.pem" "$name/sign.pfx"
  pfx "$work/encrypt.key" "$name/encrypt.pem" "ca/$ca.pem" "$name/encrypt.pfx"
  cat >"$name/card.profile" <<EOF
# ${12}
pin=1234
cardNumber=$9
idno=${10}
serialNumber=${11}
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
EOF
}

make_ca moi "內政部憑證管理中心"
make_ca moea "工商憑證管理中心"
make_ca gov "政府憑證管理中心"
make_ca org "組織及團體憑證管理中心"
make_ca other "測試憑證管理中心"

valid="20200101000000Z 20451231235959Z"
card citizen moi 10000001 10000002 "王小明" wang@example.com.tw $valid \
  TP0000000000000101 A123456789 0101 "A citizen card of the first authority."
card company moea 8F120001 8F120002 "測試股份有限公司" service@example.com.tw $valid \
  TP0000000000000201 12345678 0201 "A company card; serials with the high bit set."
card agency gov 30000001 30000002 "測試局" agency@example.gov.tw $valid \
  TP0000000000000301 2000000001 0301 "A government agency card."
card association org 40000001 40000002 "測試協會" "" $valid \
  TP0000000000000401 3000000001 0401 "An organisation card without an e-mail address."
card unknown other 50000001 50000002 "陳大文" chen@example.org $valid \
  TP0000000000000501 B223456789 0501 "An issuer with none of the four authority names."
card expired moi 10000011 10000012 "李小華" lee@example.com.tw 20190101000000Z 20210630235959Z \
  TP0000000000000601 C123456789 0601 "Expired: valid until 2021-06-30."
card revoked moi 10000021 10000022 "張小莉" chang@example.com.tw $valid \
  TP0000000000000701 D223456789 0701 "Revoked: both serials are in revoked-serials.txt."
card markup other 50000011 50000012 "林 & <測試>" "a&b@example.org" $valid \
  "TP<&>0801" "E1&<>" "0801" "Markup characters in the names and the card's own details."

# The revocation list of the test validation service: hex serials, one a line.
printf '%s\n' 10000021 10000022 >revoked-serials.txt
