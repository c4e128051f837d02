#!/usr/bin/env bash
# Makes every key a release needs into a new folder, readable by its owner alone (folder 700,
# files 600), and prints each key's fingerprint (SHA-256 of its public half's DER; for the keys
# of The Update Framework also the key id their metadata names them by):
#   manifest.key, manifest.pub   the manifest key: 1024-bit RSA, and its PKCS#1 public half
#                                (the programs carry it: -DORV_MANIFEST_PUBLIC_KEY)
#   root-1.key, root-2.key, root-3.key   the offline root keys of the repository (2 of 3)
#   targets.key                  the offline targets key
#   snapshot.key, timestamp.key  the online keys
#   codesign.pem, codesign.key   (--dev only) a throw-away self-signed code signing certificate
# The TUF keys are ed25519 (PKCS#8 PEM). Keep the root keys apart, offline, each with its holder.
#
# usage: tools/keys.sh DIR [--dev]
#   DIR    a new or empty folder outside the checkout (the checkout is no place for private keys)
#   --dev  a development set: DIR may lie inside the checkout (keys/...), and a code signing
#          certificate is made; a production release refuses every development key it knows
# Exit code 0 made, 1 refused (DIR in the checkout or not empty), 2 usage, 3 failed.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() { sed -n '/^# usage:/,/^# Exit code/p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }
refuse() { echo "keys: refused: $*" >&2; exit 1; }
trap 'echo "keys: failed: $BASH_COMMAND (line $LINENO)" >&2; exit 3' ERR
[ $# -ge 1 ] && [ $# -le 2 ] || usage
dir=$1 dev=0
case ${2:-} in --dev) dev=1;; "") ;; *) usage;; esac
[ ! -e "$dir" ] || [ -d "$dir" ] || refuse "$dir is no folder"
[ ! -d "$dir" ] || [ -z "$(ls -A "$dir")" ] || refuse "$dir is not empty; keys are never replaced"
umask 077
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
case $dir/ in
  "$root"/*) [ $dev -eq 1 ] || { rmdir "$dir" 2>/dev/null || true; refuse "$dir lies inside the checkout $root; make production keys outside it (--dev for a development set)"; };;
esac
chmod 700 "$dir"
cd "$dir"

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out manifest.key 2>/dev/null
openssl rsa -in manifest.key -RSAPublicKey_out -out manifest.pub 2>/dev/null
echo "manifest.key  RSA 1024  fingerprint $(openssl rsa -in manifest.key -RSAPublicKey_out -outform DER 2>/dev/null | sha256sum | cut -d' ' -f1)"
for n in root-1 root-2 root-3 targets snapshot timestamp; do
  openssl genpkey -algorithm ed25519 -out "$n.key"
  der_hex=$(openssl pkey -in "$n.key" -pubout -outform DER | od -An -v -tx1 | tr -d ' \n')
  # The key id: SHA-256 of the canonical JSON of the key as metadata lists it.
  key_id=$(printf '{"keytype":"ed25519","keyval":{"public":"%s"},"scheme":"ed25519"}' "${der_hex: -64}" | sha256sum | cut -d' ' -f1)
  printf '%-13s ed25519   fingerprint %s key id %s\n' "$n.key" \
    "$(openssl pkey -in "$n.key" -pubout -outform DER | sha256sum | cut -d' ' -f1)" "$key_id"
done
if [ $dev -eq 1 ]; then
  openssl req -x509 -newkey rsa:3072 -nodes -keyout codesign.key -out codesign.pem -days 90 \
    -subj "/CN=Orvalinex DEVELOPMENT code signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
  echo "codesign.pem  self-signed certificate fingerprint $(openssl x509 -in codesign.pem -outform DER | sha256sum | cut -d' ' -f1) (development only)"
fi
chmod 600 ./*
echo "made in $dir (owner only); next: tuf_repo init REPO --root-key $dir/root-1.key --root-key $dir/root-2.key --root-key $dir/root-3.key --targets-key $dir/targets.key --snapshot-key $dir/snapshot.key --timestamp-key $dir/timestamp.key"
