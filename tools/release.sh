#!/usr/bin/env bash
# Publishes a release: builds the deliverables, stages the installation folder, signs its
# manifests, builds the installer and lays out the update server's folder, then checks that folder
# against what the updater relies on and refuses to publish it otherwise.
#
# usage: tools/release.sh VERSION [--key PRIVATE_KEY] [--wine] [--content DIR] [--out DIR]
#                          [--no-build [--build-dir DIR]]
#   VERSION     four numbers joined by dots; written as the installation's Version value and as
#               the version of every manifest entry
#   --key       the manifest signing key (default: the development key keys/manifest-dev.key);
#               for another key the programs are built, carrying its public half, in
#               build/release-keys/<build>-<fingerprint>
#   --wine      the amd64 build for 64-bit Wine: the core host and the updater are their test
#               builds (the stand-in page; Wine cannot render their real pages) under the shipped
#               names
#   --content   the core host's scripts and entry page (default: installer/content)
#   --out       where to write (default: build/release/VERSION, or VERSION-wine)
#   --no-build  use the programs already built (in DIR with --build-dir)
# Writes OUT/stage (the installation folder), OUT/<id>Setup.exe (the installer) and OUT/server
# (the update server's folder). Exit code 0 published, 1 refused or failed, 2 usage.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

usage() { sed -n '6,20p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 1 ] || usage
version=$1; shift
key=$root/keys/manifest-dev.key wine=0 out="" build=1 content=$root/installer/content built=""
while [ $# -gt 0 ]; do
  case $1 in
    --key) [ $# -ge 2 ] || usage; key=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2;;
    --wine) wine=1; shift;;
    --out) [ $# -ge 2 ] || usage; out=$2; shift 2;;
    --no-build) build=0; shift;;
    --build-dir) [ $# -ge 2 ] || usage; built=$(cd "$2" && pwd); shift 2;;
    --content) [ $# -ge 2 ] || usage; content=$(cd "$2" && pwd); shift 2;;
    *) usage;;
  esac
done
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  { echo "release: $version is not four numbers joined by dots" >&2; exit 2; }
[ -r "$key" ] || { echo "release: cannot read the signing key $key" >&2; exit 2; }

id=$(sed -n 's/^#define ORV_PRODUCT_ID "\(.*\)"$/\1/p' common/product.h)
if [ $wine -eq 1 ]; then preset=win64 arch=amd64; else preset=win32 arch=x86; fi
out=${out:-build/release/$version$([ $wine -eq 1 ] && echo -wine || true)}
mkdir -p "$out"; out=$(cd "$out" && pwd)

# The programs must carry the public half of the signing key. The development key's programs are
# the ordinary build; another key's programs are built in a folder of their own, so that the
# ordinary build (and the tests) keep the development key.
signing_pub=$out/signing-key.pub
openssl rsa -in "$key" -RSAPublicKey_out -out "$signing_pub" 2>/dev/null ||
  { echo "release: $key is not an RSA private key" >&2; exit 2; }
if cmp -s "$signing_pub" keys/manifest-dev.pub; then
  bld=$root/build/$preset
  configure=(cmake --preset "$preset")
else
  fingerprint=$(sha1sum "$signing_pub" | cut -c1-12)
  bld=$root/build/release-keys/$preset-$fingerprint
  configure=(cmake --preset "$preset" -B "$bld" -DORV_MANIFEST_PUBLIC_KEY="$bld.pub")
fi
if [ -n "$built" ]; then
  [ $build -eq 0 ] || { echo "release: --build-dir goes with --no-build" >&2; exit 2; }
  bld=$built
fi
targets=(${id}Core ${id}Update ${id}Tray OstwinAutoCtrl kavrel jornet)
[ $wine -eq 0 ] || targets+=(${id}CoreTestHost ${id}UpdateTestHost)

echo "== release $version ($arch$([ $wine -eq 1 ] && echo ', Wine mode' || true)) into $out"
if [ $wine -eq 1 ]; then
  echo "   Wine mode: ${id}Core.exe and ${id}Update.exe are the test builds ${id}CoreTestHost and"
  echo "   ${id}UpdateTestHost (the stand-in page: Wine cannot render the real pages) under the shipped names"
fi
echo "   programs from $bld"
if [ $build -eq 1 ]; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
  [ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
  if [ ! -f "$bld/CMakeCache.txt" ]; then
    [ "$bld" = "$root/build/$preset" ] || { mkdir -p "$(dirname "$bld")"; cp "$signing_pub" "$bld.pub"; }
    "${configure[@]}" >/dev/null
  fi
  flock -o /tmp/orv-build.lock cmake --build build/native --target manifest >/dev/null
  flock -o /tmp/orv-build.lock cmake --build "$bld" --target "${targets[@]}" >/dev/null
fi
tool=$root/build/native/tools/manifest/manifest
[ -x "$tool" ] || { echo "release: the manifest tool is not built ($tool)" >&2; exit 1; }

# The public key the programs carry: every manifest must verify with it.
public=$(sed -n 's/^ORV_MANIFEST_PUBLIC_KEY:FILEPATH=//p' "$bld/CMakeCache.txt" 2>/dev/null)
[ -r "$public" ] || { echo "release: no programs built in $bld (run without --no-build)" >&2; exit 1; }

# The installation folder. What an earlier run wrote here goes first: a refused run leaves no
# server folder behind.
stage=$out/stage
rm -rf "$stage" "$out/server" "$out/server.new" "$out/server.refused"; mkdir -p "$stage"
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

setup_name=${id}Setup.exe
installer=$out/$setup_name
bash installer/build-installer.sh "$stage" "$version" "$arch" "$installer" >/dev/null
echo "   installer: $installer ($(file -b "$installer" | cut -d, -f1))"

# The update server's folder: every file under its manifest path, the updater at the base, and
# the installer in the folder "setup": a lower-case first letter sorts after every key of a file
# at the base (which starts with a backslash) and every upper-case folder, so the updater, which
# runs the last entry in key order, runs the installer.
staging=$out/server.new
cp -r "$stage" "$staging"
rm -f "$staging/Digest.xml" "$staging/Digest_n.xml"
mkdir -p "$staging/setup"
cp "$installer" "$staging/setup/$setup_name"
sign "$staging"

if ! "$tool" server-check "$staging" --version "$version" --setup "$setup_name" --key "$public" \
    >"$out/server-check.txt"; then
  mv "$staging" "$out/server.refused"
  echo "release: refused to publish (left in $out/server.refused):"
  cat "$out/server-check.txt"
  exit 1
fi
mv "$staging" "$out/server"
first=$(grep -o '<File FileName="[^"]*" Path="[^"]*"' "$out/server/Digest.xml" | grep -v "\"${id}Update.exe\"" | head -n1)
echo "   server: $out/server: $(grep -c '<File ' "$out/server/Digest.xml") files; ${first#<File } carries $version; setup/$setup_name sorts last"
echo "published $version"
