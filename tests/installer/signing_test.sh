#!/usr/bin/env bash
# Signing as a bank signs, over the life's programs (the test product_life, lived first): a
# release signed on a PKCS#11 token (SoftHSM, in a configuration of the test's own) with a
# certificate of a throw-away CA and its intermediate, time-stamped by a loopback RFC 3161 server
# (tsa_server.py), verified against --trust-chain; and the refusals around the trust chain and
# the token, one table row each.
# usage: signing_test.sh SOURCE_DIR BUILD_DIR (build/win32, or build/win64 for the amd64 life)
set -uo pipefail
src=$1 bld=$2
. "$src/tools/wine-env.sh"
work=$(mktemp -d /tmp/orv-signing-test.XXXXXX)
orv_on_exit rm -rf "$work"
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }

B=1.2.0.0
dev_fp=$(openssl rsa -in "$src/keys/manifest-dev.key" -RSAPublicKey_out -outform DER 2>/dev/null | sha256sum | cut -d' ' -f1)
bld=$(orv_life_build "$bld")
orv_build_bits "$(basename "$bld")"
programs=$bld/release/${dev_fp:0:12}-update.example.invalid
[ -d "$programs" ] && [ -f "$src/build/life/release-$B.log" ] ||
  { echo "no life lived over $bld: run tools/life.sh (the test product_life) first"; exit 1; }

# --- throw-away authorities, the loopback time-stamping server and the token (SoftHSM with its
# tokens in the test's folder, the signing key imported) ----------------------------------------
. "$src/tests/installer/signing_fixtures.sh"
orv_make_authorities "$work" || { echo "the throw-away authorities could not be made"; exit 1; }
orv_start_tsa "$work" || exit 1
tsa_url=$orv_tsa_url
export ORV_TEST_PIN=4711 ORV_WRONG_PIN=1111
orv_make_token "$work" release code-signing "$work/signer.key" "$ORV_TEST_PIN" || exit 1
module=$orv_pkcs11_module
uri='pkcs11:token=release;object=code-signing;type=private'
token=(--sign-pkcs11-module "$module" --sign-pkcs11-uri "$uri" --sign-cert "$work/signer-chain.pem")

# Content with a program signed under another root: the content's signatures meet the trust
# chain too.
mkdir -p "$work/foreign"
cp -r "$src/installer/content/." "$work/foreign/"
cp "$programs/engines/jornet/Jornet.dll" "$work/foreign/helper.dll"
osslsigncode sign -h sha256 -certs "$work/stranger.pem" -key "$work/stranger.key" \
  -in "$work/foreign/helper.dll" -out "$work/foreign/helper.signed" >/dev/null && mv "$work/foreign/helper.signed" "$work/foreign/helper.dll"

rel() { bash "$src/tools/release.sh" "$@"; }
life_release=(--dev --wine --arch "$orv_arch" --programs "$programs")
openssl genrsa -traditional -out "$work/manifest.key" 1024 2>/dev/null
prod=(--key "$work/manifest.key" --update-host updates.bank.test --sign-cert "$work/signer.pem"
      --sign-key "$work/signer.key" --timestamp-url "$tsa_url")
# name | expected exit code | expected text | command (after "--")
row() {
  local name=$1 code=$2 text=$3 rc=0; shift 4
  "$@" >"$work/out" 2>&1 || rc=$?
  if [ "$rc" -eq "$code" ] && grep -qF -- "$text" "$work/out"; then ok "$name"
  else fail "$name (exit code $rc)"; cat "$work/out"; fi
}
row "production without a trust chain" 2 "give --trust-chain" -- rel $B "${prod[@]}" --out "$work/r"
row "a trust chain holding the signing certificate" 2 "is no certificate authority" -- \
  rel $B "${prod[@]}" --trust-chain "$work/with-leaf.pem" --out "$work/r"
row "a signing certificate the trust chain does not issue, before anything is signed" 1 \
  "does not chain to the trust chain" -- rel $B "${life_release[@]}" --sign-cert "$work/stranger.pem" \
  --sign-key "$work/stranger.key" --trust-chain "$work/trust.pem" --out "$work/r"
row "content signed under another root" 1 "the content's helper.dll is a Windows program without a valid Authenticode signature" -- \
  rel $B "${life_release[@]}" "${token[@]}" --sign-pass-env ORV_TEST_PIN --trust-chain "$work/trust.pem" \
  --content "$work/foreign" --out "$work/r"
row "the token's PIN in its URI" 2 "never in the URI" -- \
  rel $B "${life_release[@]}" --sign-pkcs11-module "$module" --sign-pkcs11-uri "$uri;pin-value=4711" \
  --sign-cert "$work/signer-chain.pem" --out "$work/r"
row "a wrong PIN signs nothing" 3 "cannot sign" -- \
  rel $B "${life_release[@]}" "${token[@]}" --sign-pass-env ORV_WRONG_PIN --trust-chain "$work/trust.pem" --out "$work/r"
row "a development release without a trust chain says so" 0 "DEVELOPMENT: NO TRUST CHAIN" -- \
  cat "$src/build/life/release-$B.log"
row "a release signed on the token, time-stamped, verified against the trust chain" 0 \
  "on the PKCS#11 token, against the trust chain, each with a verified time stamp" -- \
  rel $B "${life_release[@]}" "${token[@]}" --sign-pass-env ORV_TEST_PIN --timestamp-url "$tsa_url" \
  --trust-chain "$work/trust.pem" --out "$work/signed"

# What osslsigncode itself says of every Windows program that release published: signed by the
# token's certificate under the root, with a time stamp of the loopback authority.
checked=0 wrong=""
while IFS= read -r -d '' f; do
  cmp -s -n 2 "$f" <(printf MZ) || continue
  checked=$((checked + 1))
  orv_signed_by_fixtures "$work" "$f" || wrong+=" ${f#$work/signed/}"
done < <(find "$work/signed" -type f -print0 2>/dev/null)
if [ "$checked" -gt 0 ] && [ -z "$wrong" ]; then
  ok "osslsigncode verify: $checked published programs carry the token's signature and a verified time stamp ($(grep -m1 'Timestamp time:' "$work/verify" | sed 's/^[[:space:]]*//'))"
else fail "osslsigncode verify of $checked published programs; not as signed:$wrong"; fi
osslsigncode verify -CAfile "$work/other.pem" -TSA-CAfile "$work/tsaroot.pem" -in "$work/signed/stage/OrvalinexUpdate.exe" >/dev/null 2>&1 &&
  fail "another root verifies the token's signature" || ok "another root does not verify the token's signature"

echo "signing: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
