#!/usr/bin/env bash
# Makes the token tests' certificates with the openssl command line, as DER files in $1:
#   holder.der  several subject attributes, serial stored as 01 02 0A (0x0a0201),
#               valid 2015-10-18 12:00 UTC to 2025-10-17 12:00 UTC;
#   second.der  another holder, serial 0x1234, valid 2016-01-05 to 2026-01-04;
#   long.der    a 40-byte serial number.
# Noon UTC keeps the local calendar date the same in every time zone within 11 hours.
set -euo pipefail
out=$1
. "$(dirname "${BASH_SOURCE[0]}")/../support/self_signed_certs.sh"
certs_begin
mkdir -p "$out"

# make_cert name subject serial-hex start end
make_cert() {
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$certs_work/$1.key" -subj "$2" -out "$certs_work/$1.csr" 2>/dev/null
  certs_sign "$certs_work/$1.key" "$certs_work/$1.csr" "$3" "$4" "$5" "$certs_work/$1.pem"
  openssl x509 -in "$certs_work/$1.pem" -outform DER -out "$out/$1.der"
}

make_cert holder "/C=CN/ST=Beijing/L=Haidian/O=Delmora Bank/OU=Online Banking/CN=Zhang San" \
  0A0201 20151018120000Z 20251017120000Z
make_cert second "/C=CN/O=Delmora Bank/CN=Li Si" 1234 20160105120000Z 20260104120000Z
make_cert long "/C=CN/O=Delmora Bank/CN=Wang Wu" \
  7F0102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F2021222324252627 \
  20170301120000Z 20270301120000Z
