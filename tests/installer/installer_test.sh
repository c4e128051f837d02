#!/usr/bin/env bash
# The product's life (tools/life.sh: releases, installer, update with hand-over, repair, refused
# download, uninstall) over the 32-bit build, then the refusals of the release tool and of the
# server check, one table row each.
# usage: installer_test.sh SOURCE_DIR BUILD_DIR (build/win32, or build/win64 for the amd64 life)
set -uo pipefail
src=$1 bld=$2
. "$src/tools/wine-env.sh"
work=$(mktemp -d /tmp/orv-installer-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }

bash "$src/tools/life.sh" --build-dir "$bld" && ok "the product's life" || fail "the product's life"

life=$src/build/life B=1.2.0.0
dev_fp=$(openssl rsa -in "$src/keys/manifest-dev.key" -RSAPublicKey_out -outform DER 2>/dev/null | sha256sum | cut -c1-12)
# The life's programs: those of the build it lived, chosen as the life chooses it.
bld=$(orv_life_build "$bld")
orv_build_bits "$(basename "$bld")"
arch=$orv_arch
programs=$bld/release/$dev_fp-update.example.invalid
openssl genrsa -traditional -out "$work/other.key" 1024 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.pem" -days 2 \
  -subj "/CN=refusal test" >/dev/null 2>&1
openssl pkcs12 -export -in "$work/sign.pem" -inkey "$work/sign.key" -out "$work/sign.p12" -passout pass:secret
mkdir -p "$work/content/web"
cp -r "$src/installer/content/." "$work/content/"
printf 'logo' >"$work/content/web/logo.txt"
prod=(--key "$work/other.key" --update-host updates.bank.test --sign-cert "$work/sign.pem" --sign-key "$work/sign.key")

# name | expected exit code | expected text | command (after "--")
refusal() {
  local name=$1 code=$2 text=$3 rc=0; shift 4
  "$@" >"$work/out" 2>&1 || rc=$?
  if [ "$rc" -eq "$code" ] && grep -qF -- "$text" "$work/out"; then ok "$name"
  else fail "$name (exit code $rc)"; cat "$work/out"; fi
}
rel() { bash "$src/tools/release.sh" "$@"; }
refusal "production without a key" 2 "a production release needs --key" -- \
  rel 1.2.0.0 --update-host updates.bank.test --out "$work/r"
refusal "production without an update host" 2 "a production release needs --update-host" -- \
  rel 1.2.0.0 --key "$work/other.key" --out "$work/r"
refusal "production with the development key" 2 "is the development key" -- \
  rel 1.2.0.0 "${prod[@]}" --key "$src/keys/manifest-dev.key" --out "$work/r"
refusal "production with the placeholder host" 2 "is the placeholder host" -- \
  rel 1.2.0.0 "${prod[@]}" --update-host update.example.invalid --out "$work/r"
refusal "production without Authenticode" 2 "is Authenticode-signed" -- \
  rel 1.2.0.0 --key "$work/other.key" --update-host updates.bank.test --out "$work/r"
refusal "a PKCS#12 password only from the environment" 2 "needs --sign-pass-env naming a set" -- \
  rel 1.2.0.0 --dev --sign-pkcs12 "$work/sign.p12" --sign-pass-env ORV_UNSET_PASSWORD --out "$work/r"
refusal "a version of three numbers" 2 "is not four numbers" -- rel 1.2.0 --dev --out "$work/r"
refusal "programs that carry another version" 1 "carries version \"$B\", not 1.3.0.0" -- \
  rel 1.3.0.0 --dev --wine --arch $arch --programs "$programs" --out "$work/r"
refusal "a key the programs do not carry" 1 "refused: the installation folder does not verify" -- \
  rel $B --dev --wine --arch $arch --programs "$programs" --key "$work/other.key" --out "$work/r"
refusal "a last entry that is not the installer" 1 'refused: the last entry in key order is web\logo.txt, not the installer OrvalinexSetup.exe' -- \
  rel $B --dev --wine --arch $arch --programs "$programs" --content "$work/content" --out "$work/r2"
[ -d "$work/r2/server-DEVELOPMENT.refused" ] && [ ! -e "$work/r2/server-DEVELOPMENT" ] &&
  ok "a refused folder is set aside, not published" || fail "a refused folder is set aside, not published"
served=$life/$B/server-DEVELOPMENT
check_served() { "$src/build/native/tools/manifest/manifest" server-check "$served" --setup OrvalinexSetup.exe "$@"; }
refusal "server check: the placeholder host" 1 "points at the placeholder host update.example.invalid" -- check_served --version $B
refusal "server check: the development key" 1 "carries the development key" -- check_served --version $B
refusal "server check: an updater of another version" 1 "the served updater's own version is \"$B\", not the release's 1.2.0.1" -- \
  check_served --version 1.2.0.1 --dev
refusal "server check: a development folder with --dev" 0 "publishable" -- check_served --version $B --dev

echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
