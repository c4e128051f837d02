#!/usr/bin/env bash
# Publishes a release: builds the deliverables with the release's version, update host and
# manifest key, signs them (Authenticode), stages the installation folder, signs its manifests,
# builds the installer and lays out the update server's folder, then checks that folder against
# what the updater relies on and refuses to publish it otherwise.
#
# usage: tools/release.sh VERSION (--key KEY --update-host HOST[:PORT] SIGNING | --dev [SIGNING])
#                          [--wine] [--content DIR] [--out DIR] [--build-dir DIR] [--no-build]
#                          [--programs DIR] [--arch x86|amd64]
#   SIGNING: (--sign-cert CERT.pem --sign-key KEY.pem | --sign-pkcs12 FILE --sign-pass-env VAR)
#            [--timestamp-url URL]
#   VERSION        four numbers joined by dots: every program's and library's version, the
#                  installer's, the installation's Version value and every manifest entry's
#   --key          the manifest signing key of a production release (not the development key);
#                  the programs carry its public half
#   --update-host  the update server the programs are built for
#   --dev          a development release: the development key and the placeholder host are
#                  allowed (and the defaults), signing is optional, and every output says so
#   --sign-cert, --sign-key    Authenticode certificate (chain) and key, PEM
#   --sign-pkcs12  Authenticode PKCS#12 file; its password is in the environment variable VAR
#   --timestamp-url  RFC 3161 time-stamping server for the signatures
#   --wine         the release for Wine: the core host and the updater are their test builds (the
#                  stand-in page; Wine cannot render their real pages) under the shipped names
#   --content      the core host's scripts and entry page (default: installer/content)
#   --out          where to write (default: build/release/VERSION, -DEVELOPMENT and -wine added)
#   --build-dir    the 32-bit build (default build/win32); the release's programs are built in
#                  DIR/release/<key>-<host>, with the release's version, host and key
#   --no-build     use the programs already built there
#   --programs     use the programs already built in DIR as they are
#   --arch         x86 (default: the shipped 32-bit build, build/win32) or amd64 (build/win64)
# Writes OUT/stage (the installation folder), OUT/<id>Setup.exe (the installer) and OUT/server
# (the update server's folder; OUT/server-DEVELOPMENT for --dev). Exit code 0 published, 1
# refused or failed, 2 usage.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

usage() { sed -n '7,33p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }
fail() { echo "release: $*" >&2; exit 2; }
abspath() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
[ $# -ge 1 ] || usage
version=$1; shift
key="" host="" dev=0 wine=0 out="" build=1 content=$root/installer/content built="" base="" arch=x86
sign_cert="" sign_key="" sign_p12="" sign_pass_env="" timestamp=""
while [ $# -gt 0 ]; do
  case $1 in
    --dev) dev=1; shift; continue;;
    --wine) wine=1; shift; continue;;
    --no-build) build=0; shift; continue;;
  esac
  [ $# -ge 2 ] || usage
  case $1 in
    --key) key=$(abspath "$2");;
    --update-host) host=$2;;
    --out) out=$2;;
    --build-dir) base=$(cd "$2" && pwd);;
    --programs) built=$(cd "$2" && pwd) build=0;;
    --arch) arch=$2;;
    --content) content=$(cd "$2" && pwd);;
    --sign-cert) sign_cert=$(abspath "$2");;
    --sign-key) sign_key=$(abspath "$2");;
    --sign-pkcs12) sign_p12=$(abspath "$2");;
    --sign-pass-env) sign_pass_env=$2;;
    --timestamp-url) timestamp=$2;;
    *) usage;;
  esac
  shift 2
done
case $arch in x86) preset=win32;; amd64) preset=win64;; *) fail "unknown architecture $arch";; esac
base=${base:-$root/build/$preset}
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$version is not four numbers joined by dots"
dev_key=$root/keys/manifest-dev.key placeholder=update.example.invalid
fingerprint() {  # the SHA-256 of the DER of a private key's public half
  openssl rsa -in "$1" -RSAPublicKey_out -outform DER 2>/dev/null | sha256sum | cut -d' ' -f1
}

# --- what kind of release ---------------------------------------------------------------------
if [ $dev -eq 1 ]; then
  key=${key:-$dev_key} host=${host:-$placeholder}
else
  [ -n "$key" ] || fail "a production release needs --key (or --dev for a development release)"
  [ -n "$host" ] || fail "a production release needs --update-host (or --dev for a development release)"
fi
[ -r "$key" ] || fail "cannot read the signing key $key"
[[ $host =~ ^[A-Za-z0-9.-]+(:[0-9]+)?$ ]] || fail "$host is not host[:port]"
key_fp=$(fingerprint "$key")
[ "$key_fp" != "$(sha256sum </dev/null | cut -d' ' -f1)" ] || fail "$key is not an RSA private key"
if [ $dev -eq 0 ]; then
  [ "$key_fp" != "$(fingerprint "$dev_key")" ] ||
    fail "refused: $key is the development key (its fingerprint $key_fp); use the bank's key, or --dev"
  [ "$host" != $placeholder ] || fail "refused: $host is the placeholder host; name the bank's, or --dev"
fi
signing=0
if [ -n "$sign_cert$sign_key$sign_p12" ]; then
  if [ -n "$sign_p12" ]; then
    [ -z "$sign_cert$sign_key" ] || fail "--sign-pkcs12 goes alone, without --sign-cert and --sign-key"
    [ -n "$sign_pass_env" ] && [ -n "${!sign_pass_env+x}" ] ||
      fail "--sign-pkcs12 needs --sign-pass-env naming a set environment variable"
  else
    [ -n "$sign_cert" ] && [ -n "$sign_key" ] || fail "--sign-cert and --sign-key go together"
  fi
  signing=1
elif [ $dev -eq 0 ]; then
  fail "a production release is Authenticode-signed: give --sign-cert and --sign-key, or --sign-pkcs12"
fi
command -v osslsigncode >/dev/null || [ $signing -eq 0 ] || fail "osslsigncode is missing"

id=$(sed -n 's/^#define ORV_PRODUCT_ID "\(.*\)"$/\1/p' common/product.h)
kind=$([ $dev -eq 1 ] && echo DEVELOPMENT || echo production)
out=${out:-build/release/$version$([ $dev -eq 1 ] && echo -DEVELOPMENT || true)$([ $wine -eq 1 ] && echo -wine || true)}
mkdir -p "$out"; out=$(cd "$out" && pwd)
server_name=server$([ $dev -eq 1 ] && echo -DEVELOPMENT || true)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

# --- the programs, built with the release's version, host and key -----------------------------
bld=${built:-$base/release/$(echo "$key_fp" | cut -c1-12)-${host//:/_}}
targets=(${id}Core ${id}Update ${id}Tray OstwinAutoCtrl kavrel jornet)
[ $wine -eq 0 ] || targets+=(${id}CoreTestHost ${id}UpdateTestHost)

echo "== $kind release $version ($arch$([ $wine -eq 1 ] && echo ', Wine mode' || true)) into $out"
if [ $dev -eq 1 ]; then
  echo "   DEVELOPMENT: manifest key $(basename "$key") ($key_fp$([ "$key" = "$dev_key" ] && echo ', the development key' || true)), update host $host: not for customers"
else
  echo "   production: manifest key $key_fp, update host $host"
fi
if [ $wine -eq 1 ]; then
  echo "   Wine mode: ${id}Core.exe and ${id}Update.exe are the test builds ${id}CoreTestHost and"
  echo "   ${id}UpdateTestHost (the stand-in page: Wine cannot render the real pages) under the shipped names"
fi
echo "   programs from $bld"
public=$bld/manifest-key.pub
if [ $build -eq 1 ]; then
  mkdir -p "$bld"
  openssl rsa -in "$key" -RSAPublicKey_out -out "$public.new" 2>/dev/null
  cmp -s "$public.new" "$public" && rm "$public.new" || mv "$public.new" "$public"
  [ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
  cmake --build build/native --target manifest >/dev/null
  cmake --preset "$preset" -B "$bld" -DORV_MANIFEST_PUBLIC_KEY="$public" \
    -DORV_UPDATE_HOST="$host" -DORV_RELEASE_VERSION="$version" >"$bld.configure.log" ||
    { cat "$bld.configure.log"; exit 1; }
  cmake --build "$bld" --target "${targets[@]}" >"$bld.build.log" ||
    { tail -n 30 "$bld.build.log"; exit 1; }
fi
tool=$root/build/native/tools/manifest/manifest
[ -x "$tool" ] || { echo "release: the manifest tool is not built ($tool)" >&2; exit 1; }
# The public key the programs carry: every manifest must verify with it.
public=$(sed -n 's/^ORV_MANIFEST_PUBLIC_KEY:FILEPATH=//p' "$bld/CMakeCache.txt" 2>/dev/null)
[ -r "$public" ] || { echo "release: no programs built in $bld (run without --no-build)" >&2; exit 1; }

# --- the installation folder; what an earlier run wrote goes first -----------------------------
stage=$out/stage
rm -rf "$stage" "$out"/server*; mkdir -p "$stage"
pick() {  # pick BUILT_FILE INSTALLED_NAME
  [ -f "$1" ] || { echo "release: $1 is not built" >&2; exit 1; }
  cp "$1" "$stage/$2"
}
if [ $wine -eq 1 ]; then
  pick "$bld/tests/core/${id}CoreTestHost.exe" "${id}Core.exe"
  pick "$bld/tests/updater/${id}UpdateTestHost.exe" "${id}Update.exe"
else
  pick "$bld/core/${id}Core.exe" "${id}Core.exe"
  pick "$bld/updater/${id}Update.exe" "${id}Update.exe"
fi
pick "$bld/notifier/${id}Tray.exe" "${id}Tray.exe"
pick "$bld/tokenctl/OstwinAutoCtrl.dll" OstwinAutoCtrl.dll
pick "$bld/engines/kavrel/Kavrel.dll" Kavrel.dll
pick "$bld/engines/jornet/Jornet.dll" Jornet.dll
programs=("${id}Core.exe" "${id}Update.exe" "${id}Tray.exe" OstwinAutoCtrl.dll Kavrel.dll Jornet.dll)
for p in "${programs[@]}"; do
  carried=$("$tool" updater-facts "$stage/$p" | sed -n 's/^version //p')
  [ "$carried" = "$version" ] ||
    { echo "release: refused: $p carries version \"$carried\", not $version (built in $bld)"; exit 1; }
done
echo "   programs: ${#programs[@]} files carry version $version"

# --- Authenticode, before the manifests list the bytes -----------------------------------------
if [ $signing -eq 1 ]; then
  export ORV_SIGN_CERT=$sign_cert ORV_SIGN_KEY=$sign_key ORV_SIGN_PKCS12=$sign_p12
  export ORV_SIGN_PASS_ENV=$sign_pass_env ORV_SIGN_TIMESTAMP_URL=$timestamp ORV_SIGN_TIME=$SOURCE_DATE_EPOCH
  # Signatures are verified against the signing certificates themselves.
  export ORV_SIGN_CAFILE=$out/signing-certificates.pem
  if [ -n "$sign_p12" ]; then
    printf '%s' "${!sign_pass_env}" |
      openssl pkcs12 -in "$sign_p12" -nokeys -passin stdin -out "$ORV_SIGN_CAFILE" 2>/dev/null ||
      { echo "release: cannot read the certificates of $sign_p12" >&2; exit 1; }
  else
    cp "$sign_cert" "$ORV_SIGN_CAFILE"
  fi
  for p in "${programs[@]}"; do bash tools/authenticode.sh sign "$stage/$p"; done
fi
verify_signatures() {  # verify_signatures FILE...: every one carries a verified signature
  local f
  for f in "$@"; do
    bash tools/authenticode.sh verify "$f" ||
      { echo "release: refused: the Authenticode signature of $f does not verify"; exit 1; }
  done
}
[ $signing -eq 0 ] || verify_signatures "${programs[@]/#/$stage/}"
cp -r "$content/." "$stage/"

sign() {  # sign DIR: the signed main manifest and the unsigned extra one
  "$tool" sign "$1" --key "$key" --version "$version" >/dev/null
  "$tool" sign "$1" --extra --version "$version" >/dev/null
}
sign "$stage"
if ! "$tool" check "$stage" --key "$public" >"$out/stage-check.txt"; then
  echo "release: refused: the installation folder does not verify with the programs' key $public:"
  cat "$out/stage-check.txt"
  exit 1
fi
echo "   stage: $(grep -c '^Unchanged ' "$out/stage-check.txt") files, Digest.xml signed with $(basename "$key"), intact"

# --- the installer ------------------------------------------------------------------------------
setup_name=${id}Setup.exe
installer=$out/$setup_name
ORV_INSTALLER_DEVELOPMENT=$dev bash installer/build-installer.sh "$stage" "$version" "$arch" "$installer" >/dev/null
if [ $signing -eq 1 ]; then
  bash tools/authenticode.sh sign "$installer"
  verify_signatures "$installer"
  echo "   Authenticode: the ${#programs[@]} programs and libraries, the installer and its uninstaller signed (SHA-256), verified"
else
  echo "   Authenticode: not signed ($kind release without signing material)"
fi
echo "   installer: $installer ($(file -b "$installer" | cut -d, -f1))$([ $dev -eq 1 ] && echo ', titled DEVELOPMENT' || true)"

# --- the update server's folder: every file under its manifest path, the updater at the base,
# and the installer in the folder "setup": a lower-case first letter sorts after every key of a
# file at the base (which starts with a backslash) and every upper-case folder, so the updater,
# which runs the last entry in key order, runs the installer.
staging=$out/$server_name.new
cp -r "$stage" "$staging"
rm -f "$staging/Digest.xml" "$staging/Digest_n.xml"
mkdir -p "$staging/setup"
cp "$installer" "$staging/setup/$setup_name"
sign "$staging"

check_args=(--version "$version" --setup "$setup_name" --key "$public")
[ $dev -eq 0 ] || check_args+=(--dev)
if ! "$tool" server-check "$staging" "${check_args[@]}" >"$out/server-check.txt"; then
  mv "$staging" "$out/$server_name.refused"
  echo "release: refused to publish (left in $out/$server_name.refused):"
  cat "$out/server-check.txt"
  exit 1
fi
mv "$staging" "$out/$server_name"
first=$(grep -o '<File FileName="[^"]*" Path="[^"]*"' "$out/$server_name/Digest.xml" | grep -v "\"${id}Update.exe\"" | head -n1)
echo "   server: $out/$server_name: $(grep -c '<File ' "$out/$server_name/Digest.xml") files; ${first#<File } carries $version; setup/$setup_name sorts last"
echo "   $(grep '^served updater' "$out/server-check.txt")"
echo "published $version$([ $dev -eq 1 ] && echo ' (DEVELOPMENT)' || true)"
