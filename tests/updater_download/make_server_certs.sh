#!/usr/bin/env bash
# Makes the loopback server's certificates with the openssl command line, as PEM pairs in $1:
#   selfsigned  for 127.0.0.1, valid now, signed by itself (no trusted issuer);
#   expired     for 127.0.0.1, valid 2015-01-01 to 2016-01-01;
#   wrongname   for wrong-name.invalid, valid now.
set -euo pipefail
out=$1
. "$(dirname "${BASH_SOURCE[0]}")/../support/self_signed_certs.sh"
certs_begin
mkdir -p "$out"

# make_cert name common-name subject-alt-name start end
make_cert() {
  openssl req -new -newkey rsa:2048 -nodes -keyout "$out/$1.key" -subj "/CN=$2" \
    -addext "subjectAltName=$3" -out "$certs_work/$1.csr" 2>/dev/null
  certs_sign "$out/$1.key" "$certs_work/$1.csr" 01 "$4" "$5" "$out/$1.pem"
}

now=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
later=$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)
make_cert selfsigned 127.0.0.1 IP:127.0.0.1 "$now" "$later"
make_cert expired 127.0.0.1 IP:127.0.0.1 20150101000000Z 20160101000000Z
make_cert wrongname wrong-name.invalid DNS:wrong-name.invalid "$now" "$later"
