#!/usr/bin/env bash
# The release tool's refusals and the server check's, one table row each, and the release
# record, over the programs and releases of the product's life (the test product_life, lived
# first by tools/life.sh); then release B's server folder through nginx, checked against its
# record over HTTP (manifest live-check).
# usage: release_tool_test.sh SOURCE_DIR BUILD_DIR (build/win32, or build/win64 for the amd64 life)
set -uo pipefail
src=$1 bld=$2
. "$src/tools/wine-env.sh"
. "$src/tools/serve.sh"
work=$(mktemp -d /tmp/orv-release-test.XXXXXX)
orv_on_exit rm -rf "$work"
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }

life=$src/build/life B=1.2.0.0
tool=$src/build/native/tools/manifest/manifest
dev_fp=$(openssl rsa -in "$src/keys/manifest-dev.key" -RSAPublicKey_out -outform DER 2>/dev/null | sha256sum | cut -d' ' -f1)
# The life's programs: those of the build it lived, chosen as the life chooses it.
bld=$(orv_life_build "$bld")
orv_build_bits "$(basename "$bld")"
arch=$orv_arch
programs=$bld/release/${dev_fp:0:12}-update.example.invalid
[ -f "$life/$B/release.json" ] && [ -d "$programs" ] ||
  { echo "no life lived over $bld: run tools/life.sh (the test product_life) first"; exit 1; }
openssl genrsa -traditional -out "$work/other.key" 1024 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.pem" -days 2 \
  -subj "/CN=refusal test" >/dev/null 2>&1
openssl pkcs12 -export -in "$work/sign.pem" -inkey "$work/sign.key" -out "$work/sign.p12" -passout pass:secret
prod=(--key "$work/other.key" --update-host updates.bank.test --sign-cert "$work/sign.pem" --sign-key "$work/sign.key"
      --timestamp-url http://127.0.0.1:9/ --trust-chain "$work/sign.pem")
life_release=(--dev --wine --arch $arch --programs "$programs")
# Content folders: the shipped content with one file added.
content() {  # content NAME FILE [SOURCE]: $work/NAME, holding FILE (a copy of SOURCE, or a text)
  mkdir -p "$work/$1/$(dirname "$2")"
  cp -r "$src/installer/content/." "$work/$1/"
  if [ -n "${3:-}" ]; then cp "$3" "$work/$1/$2"; else printf 'text' >"$work/$1/$2"; fi
}
content late web/logo.txt
content deliverable kavrel.dll
content unsigned web/helper.dll "$programs/engines/jornet/Jornet.dll"
content unholdable 'web/a|b.txt'
content empty web/empty.txt /dev/null
content linked web/README.txt && rm "$work/linked/web/README.txt" &&
  ln -s "$src/README.md" "$work/linked/web/README.txt"
openssl genrsa -traditional -out "$work/big.key" 2048 2>/dev/null
# A tree of the release tool alone, committed, without the development key's files.
tree=$work/tree
mkdir -p "$tree/tools" "$tree/common/rules"
cp "$src/tools/release.sh" "$src/tools/programs.sh" "$src/tools/authenticode.sh" "$src/tools/help.sh" \
   "$src/tools/serve_folder.sh" "$tree/tools/"
cp "$src/programs.txt" "$tree/"
cp "$src/common/rules/product.h" "$tree/common/rules/"
git -C "$tree" init -q && git -C "$tree" add . &&
  git -C "$tree" -c user.name=test -c user.email=test@example.invalid commit -qm tree
cp "$src/keys/manifest-dev.key" "$work/dev.key"
# Repositories of The Update Framework: the development one (its committed root) and another.
tk=$src/keys/tuf-dev
mkdir -p "$work/dev-repo/metadata" "$work/other-keys"
cp "$tk/root.json" "$work/dev-repo/metadata/1.root.json" && cp "$tk/root.json" "$work/dev-repo/metadata/root.json"
for n in root targets snapshot timestamp; do openssl genpkey -algorithm ed25519 -out "$work/other-keys/$n.key" 2>/dev/null; done
"$src/build/native/tools/tuf_repo/tuf_repo" init "$work/other-repo" --root-key "$work/other-keys/root.key" \
  $(for n in targets snapshot timestamp; do echo "--$n-key $work/other-keys/$n.key"; done) >/dev/null
dev_tuf=(--tuf-repo "$work/dev-repo" --tuf-targets-key "$tk/targets.key" --tuf-snapshot-key "$tk/snapshot.key"
         --tuf-timestamp-key "$tk/timestamp.key")
other_tuf=(--tuf-repo "$work/other-repo" --tuf-targets-key "$work/other-keys/targets.key"
           --tuf-snapshot-key "$work/other-keys/snapshot.key" --tuf-timestamp-key "$work/other-keys/timestamp.key")

# name | expected exit code | expected text | command (after "--")
refusal() {
  local name=$1 code=$2 text=$3 rc=0; shift 4
  "$@" >"$work/out" 2>&1 || rc=$?
  if [ "$rc" -eq "$code" ] && grep -qF -- "$text" "$work/out"; then ok "$name"
  else fail "$name (exit code $rc)"; cat "$work/out"; fi
}
rel() { bash "$src/tools/release.sh" "$@"; }
refusal "production without a key" 2 "a production release needs --key" -- \
  rel $B --update-host updates.bank.test --out "$work/r"
refusal "production without an update host" 2 "a production release needs --update-host" -- \
  rel $B --key "$work/other.key" --out "$work/r"
refusal "production without Authenticode" 2 "is Authenticode-signed" -- \
  rel $B --key "$work/other.key" --update-host updates.bank.test --out "$work/r"
refusal "production without a time stamp" 2 "give --timestamp-url" -- \
  rel $B --key "$work/other.key" --update-host updates.bank.test --sign-cert "$work/sign.pem" \
  --sign-key "$work/sign.key" --out "$work/r"
refusal "a PKCS#12 password only from the environment" 2 "needs --sign-pass-env naming a set" -- \
  rel $B --dev --sign-pkcs12 "$work/sign.p12" --sign-pass-env ORV_UNSET_PASSWORD --out "$work/r"
refusal "a version of three numbers" 2 "is not four numbers" -- rel 1.2.0 --dev --out "$work/r"
refusal "a manifest key of 2048 bits, before any build" 1 "is a 2048-bit RSA key; the manifest key is a 1024-bit" -- \
  rel $B --dev --key "$work/big.key" --out "$work/r"
refusal "production in Wine mode" 1 "it is for --dev only" -- rel $B "${prod[@]}" --wine --out "$work/r"
refusal "production from programs built elsewhere" 1 "--no-build and --programs are for --dev only" -- \
  rel $B "${prod[@]}" --programs "$programs" --out "$work/r"
refusal "production with the development key" 1 "is the development key" -- \
  rel $B "${prod[@]}" --key "$src/keys/manifest-dev.key" --out "$work/r"
refusal "the development key, its files not in the tree" 1 "is the development key" -- \
  bash "$tree/tools/release.sh" $B "${prod[@]}" --key "$work/dev.key" --out "$work/r"
refusal "production with the placeholder host" 1 "is the placeholder host" -- \
  rel $B "${prod[@]}" --update-host update.example.invalid --out "$work/r"
refusal "production without a TUF repository" 2 "a production release needs --tuf-repo" -- \
  bash "$tree/tools/release.sh" $B "${prod[@]}" --first-release --out "$work/r"
refusal "production with neither --previous nor --first-release" 2 "needs --previous OLD/release.json" -- \
  bash "$tree/tools/release.sh" $B "${prod[@]}" "${dev_tuf[@]}" --out "$work/r"
refusal "production with the development TUF repository" 1 "names the development key" -- \
  bash "$tree/tools/release.sh" $B "${prod[@]}" "${dev_tuf[@]}" --first-release --out "$work/r"
printf 'change' >"$tree/uncommitted.txt"
refusal "production from a tree with uncommitted changes" 1 "the tree holds uncommitted changes" -- \
  bash "$tree/tools/release.sh" $B "${prod[@]}" --out "$work/r"
refusal "programs of another version" 1 "OrvalinexCore.exe's own version is \"$B\", not the release's 1.3.0.0" -- \
  rel 1.3.0.0 "${life_release[@]}" --out "$work/r"
refusal "programs built for another key" 1 "OrvalinexUpdate.exe carries the key $dev_fp, not the release's" -- \
  rel $B "${life_release[@]}" --key "$work/other.key" --out "$work/r"
refusal "programs built for another host" 1 "OrvalinexUpdate.exe points at the update host update.example.invalid, not the release's updates.bank.test" -- \
  rel $B "${life_release[@]}" --update-host updates.bank.test --out "$work/r"
refusal "content with a deliverable's name" 1 "the content's kavrel.dll would replace the release's own Kavrel.dll" -- \
  rel $B "${life_release[@]}" --content "$work/deliverable" --out "$work/r"
refusal "an unsigned Windows program in the content" 1 "the content's web/helper.dll is a Windows program without a valid Authenticode signature" -- \
  rel $B "${life_release[@]}" --content "$work/unsigned" --out "$work/r"
refusal "a content name the installer cannot carry" 1 'the staged name "a|b.txt" holds a character Windows does not allow' -- \
  rel $B "${life_release[@]}" --content "$work/unholdable" --out "$work/r"
refusal "a link in the content" 1 "the content's web/README.txt is not a regular file" -- \
  rel $B "${life_release[@]}" --content "$work/linked" --out "$work/r"
refusal "an empty file in the content" 1 "the content's web/empty.txt is empty" -- \
  rel $B "${life_release[@]}" --content "$work/empty" --out "$work/r"
refusal "a TUF key of another type, before any build" 1 "the TUF snapshot key is an ed25519 or ECDSA P-256 private key" -- \
  rel $B --dev --tuf-snapshot-key "$work/big.key" --out "$work/r"
refusal "a TUF key of another role" 1 "is not a targets key of root version 1" -- \
  rel $B "${life_release[@]}" "${dev_tuf[@]}" --tuf-targets-key "$tk/timestamp.key" --out "$work/r"
# The chain of releases, after the life's release B: each refusal, and its override letting the
# release on to the next check (the programs' facts).
prev=(--previous "$life/$B/release.json")
refusal "a version not above the previous release's" 1 "is not above the previous release's $B" -- \
  rel $B "${life_release[@]}" "${prev[@]}" --out "$work/r"
refusal "another manifest key than the previous release's" 1 "is not the previous release's $dev_fp" -- \
  rel 1.2.0.1 "${life_release[@]}" "${prev[@]}" --key "$work/other.key" --out "$work/r"
refusal "another manifest key with --rotate manifest-key" 1 "OrvalinexUpdate.exe carries the key $dev_fp, not the release's" -- \
  rel 1.2.0.1 "${life_release[@]}" "${prev[@]}" --key "$work/other.key" --rotate manifest-key --out "$work/r"
refusal "another update host than the previous release's" 1 "is not the previous release's update.example.invalid" -- \
  rel 1.2.0.1 "${life_release[@]}" "${prev[@]}" --update-host updates.bank.test --out "$work/r"
refusal "another update host with --new-host" 1 "OrvalinexUpdate.exe points at the update host update.example.invalid, not the release's updates.bank.test" -- \
  rel 1.2.0.1 "${life_release[@]}" "${prev[@]}" --update-host updates.bank.test --new-host updates.bank.test --out "$work/r"
refusal "a repository whose root is not the previous release's" 1 "as the previous release recorded it" -- \
  rel 1.2.0.1 "${life_release[@]}" "${prev[@]}" "${other_tuf[@]}" --out "$work/r"
before=$(cd "$life/$B" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)
refusal "an output folder that holds a release" 1 "holds a release or other files already" -- \
  rel $B "${life_release[@]}" --out "$life/$B"
[ "$before" = "$(cd "$life/$B" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)" ] &&
  ok "the release already there is kept as it was" || fail "the release already there changed"
refusal "a signed release refused at the server check" 1 'refused: the last entry in key order is web\logo.txt, not the installer OrvalinexSetup.exe' -- \
  rel $B "${life_release[@]}" --content "$work/late" --sign-cert "$work/sign.pem" --sign-key "$work/sign.key" --out "$work/late-out"
left=$(cd "$work/late-out" && find . -type f ! -name '*-check.txt')
[ -z "$left" ] && ok "a refused release leaves its reports and nothing signed" ||
  fail "a refused release leaves its reports and nothing signed; left: $left"

served=$life/$B/server-DEVELOPMENT
check_served() { "$tool" server-check "$served" --setup OrvalinexSetup.exe "$@"; }
refusal "server check: the placeholder host" 1 "points at the placeholder host update.example.invalid" -- check_served --version $B
refusal "server check: the development key" 1 "carries the development key" -- check_served --version $B
refusal "server check: an updater of another version" 1 "the served updater's own version is \"$B\", not the release's 1.2.0.1" -- \
  check_served --version 1.2.0.1 --dev
refusal "server check: a development folder with --dev, as recorded" 0 "publishable" -- \
  check_served --version $B --dev --record "$life/$B/release.json"
cp -r "$life/$B" "$work/served"
printf 'added' >"$work/served/server-DEVELOPMENT/extra.txt"
refusal "server check: a file the record does not list" 1 "refused: not in the record: extra.txt" -- \
  "$tool" server-check "$work/served/server-DEVELOPMENT" --setup OrvalinexSetup.exe --version $B --dev \
  --record "$work/served/release.json"

# The record of the life's release B: what it was made from and every file it published.
python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))
print(r["commit"], r["clean"], r["version"], r["manifestKey"], r["updateHost"], r["signer"], r["server"])
for f in r["files"]: print(f["path"], f["size"], f["sha256"])' "$life/$B/release.json" >"$work/recorded"
{
  clean=$([ -z "$(git -C "$src" status --porcelain)" ] && echo True || echo False)
  signer=$(openssl x509 -in "$life/sign.pem" -outform DER | sha256sum | cut -d' ' -f1)
  echo "$(git -C "$src" rev-parse HEAD) $clean $B $dev_fp update.example.invalid $signer server-DEVELOPMENT"
  (cd "$life/$B" && find OrvalinexSetup.exe server-DEVELOPMENT -type f | LC_ALL=C sort |
     while read -r f; do echo "$f $(stat -c %s "$f") $(sha256sum <"$f" | cut -d' ' -f1)"; done)
} >"$work/published"
if diff "$work/recorded" "$work/published" >"$work/diff"; then
  ok "the release record: commit, tree, version, key, host, signer and $(($(wc -l <"$work/published") - 1)) published files"
else fail "the release record differs from what was published:"; cat "$work/diff"; fi

# Release B's server folder published through nginx under the updater's path, as recorded; then
# a copy with one file altered on the server.
web=$work/web/delmora/resource/cms/article/sub292628
mkdir -p "$web"
ln -s "$life/$B/server-DEVELOPMENT" "$web/sub305867"
if orv_serve "$work/web"; then
  refusal "live-check: release B's folder served as recorded" 0 "files as recorded at $orv_serve_url/" -- \
    "$tool" live-check "$orv_serve_url" --record "$life/$B/release.json"
  printf 'altered' >>"$work/served/server-DEVELOPMENT/Script/CoreConfig.lua"
  rm "$web/sub305867" && ln -s "$work/served/server-DEVELOPMENT" "$web/sub305867"
  refusal "live-check: an altered file on the server named" 1 "differs: Script/CoreConfig.lua (" -- \
    "$tool" live-check "$orv_serve_url" --record "$life/$B/release.json"
else fail "nginx did not start"; fi

echo "release tool: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
