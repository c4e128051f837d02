#!/usr/bin/env bash
# Makes the loopback server's certificates with the openssl command line, as PEM pairs in $1:
#   selfsigned  for 127.0.0.1, valid now, signed by itself (no trusted issuer);
#   expired     for 127.0.0.1, valid 2015-01-01 to 2016-01-01;
#   wrongname   for wrong-name.invalid, valid now.
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/new"

cat > "$work/ca.cnf" <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = $work
database = $work/index.txt
new_certs_dir = $work/new
serial = $work/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = copy
[any]
commonName = supplied
CNF

# make_cert name common-name subject-alt-name start end
make_cert() {
  : > "$work/index.txt"
  echo 01 > "$work/serial"
  openssl req -new -newkey rsa:2048 -nodes -keyout "$out/$1.key" -subj "/CN=$2" \
    -addext "subjectAltName=$3" -out "$work/$1.csr" 2>/dev/null
  openssl ca -batch -config "$work/ca.cnf" -selfsign -notext -keyfile "$out/$1.key" \
    -in "$work/$1.csr" -startdate "$4" -enddate "$5" -out "$out/$1.pem" 2>/dev/null
}

now=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
later=$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)
make_cert selfsigned 127.0.0.1 IP:127.0.0.1 "$now" "$later"
make_cert expired 127.0.0.1 IP:127.0.0.1 20150101000000Z 20160101000000Z
make_cert wrongname wrong-name.invalid DNS:wrong-name.invalid "$now" "$later"
