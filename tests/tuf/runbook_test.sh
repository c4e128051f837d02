#!/usr/bin/env bash
# The runbook (docs/release.md) run as written, in its order, with throw-away keys and its folders
# moved below a temporary one: the keys, the repository, two production releases (not --dev) from
# a clean checkout of the tree as it stands, signed on a PKCS#11 token (SoftHSM) under a
# throw-away certificate authority and time-stamped by a loopback RFC 3161 server, each checked
# on the host with live-check; then the daily refresh, the rotation, the leaked and the lost key.
# After each step that changes what would be uploaded, tuf-js (from root version 1) and
# tuf_client (from what it trusted before) read it, served on 127.0.0.1 by nginx with the update
# server's configuration (tools/serve.sh), and every target's bytes are the last release's.
# usage: runbook_test.sh TUF_REPO TUF_CLIENT SOURCE_DIR NATIVE_BUILD_DIR
set -uo pipefail
tool=$1 client=$2 src=$3 native=$4
. "$src/tools/wine-env.sh"
. "$src/tools/serve.sh"
. "$src/tests/installer/signing_fixtures.sh"
work=$(mktemp -d /tmp/orv-runbook.XXXXXX)
orv_on_exit rm -rf "$work"
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}" >"$work/out" 2>&1; then passed=$((passed + 1)); echo "ok: $1"
  else failed=$((failed + 1)); echo "FAIL: $1"; tail -n 40 "$work/out"; fi
}

# The runbook's commands: indented lines of its code blocks, continuations joined.
mapfile -t commands < <(python3 - "$src/docs/release.md" <<'PY'
import re, sys
cmd = ""
for line in open(sys.argv[1], encoding="utf-8"):
    if not re.match(r"^ {4,}\S", line):
        continue
    text = line.strip()
    more = text.endswith("\\")
    cmd = (cmd + " " if cmd else "") + (text[:-1].strip() if more else text)
    if not more:
        print(re.sub(r"\s+#.*$", "", cmd).strip())
        cmd = ""
PY
)
[ ${#commands[@]} -gt 8 ] || { echo "FAIL: the runbook's commands were not found"; exit 1; }

# The release engineer's clean checkout: the tree as it stands, committed; the native tools of
# this build (ignored by git, as a checkout's build folder is) and jQuery, which the bootstrap
# installs.
checkout=$work/checkout
mkdir -p "$checkout/build" "$checkout/node_modules"
(cd "$src" && git ls-files -z --cached --others --exclude-standard | tar -c --null -T -) |
  tar -x -C "$checkout" || { echo "FAIL: the tree could not be copied"; exit 1; }
git -C "$checkout" init -q && git -C "$checkout" add -A &&
  git -C "$checkout" -c user.name=runbook -c user.email=runbook@invalid commit -qm "the release's commit" ||
  { echo "FAIL: the checkout could not be committed"; exit 1; }
ln -s "$native" "$checkout/build/native"
cp -r "$src/node_modules/jquery" "$checkout/node_modules/"

# The bank's signing: its CA's certificates (bank-ca.pem: the trust chain; codesign-chain.pem:
# the signer's) and the code-signing key on a token named as in the runbook (the time-stamping
# server starts with the web server below).
mkdir -p "$work/ca"
orv_make_authorities "$work/ca" || { echo "FAIL: the throw-away authorities could not be made"; exit 1; }
export TOKEN_PIN=4711
orv_make_token "$work/ca" bank codesign "$work/ca/signer.key" "$TOKEN_PIN" || exit 1

mkdir -p "$work/srv" "$work/md" "$work/td"
orv_serve "$work/srv" || exit 1
orv_start_tsa "$work/ca" || exit 1

repo=$work/secure/repo upload=$work/secure/upload
released="" release_count=0 stage=0 first_options=""
names=()
# What UPLOAD (a folder holding tuf/) serves, read by both clients: every file of the last
# release's server folder as a target, byte for byte.
clients_read() {
  local from=$1 base n args=()
  stage=$((stage + 1)); base=$orv_serve_url/$stage/tuf
  cp -r "$from" "$work/srv/$stage" || return 1
  for n in "${names[@]}"; do args+=(--target-name "$n"); done
  rm -rf "$work/td" && mkdir -p "$work/td" &&
    node "$src/tests/tuf/tuf_js.mjs" fetch "$base/metadata/" "$base/targets/" "$repo/metadata/1.root.json" \
      "$work/js-$stage" "${names[@]}" &&
    "$client" --metadata-url "$base/metadata/" --metadata-dir "$work/md" "${args[@]}" \
      --target-dir "$work/td" --target-base-url "$base/targets/" download || return 1
  for n in "${names[@]}"; do cmp "$work/js-$stage/targets/$n" "$released/$n" || return 1; done
}
# A release as the runbook gives it, in the checkout; a later one takes the first one's options.
release() {
  local line=$1 out
  line=${line//\/usr\/lib\/softhsm\/libsofthsm2.so/$orv_pkcs11_module}
  line=${line//http:\/\/timestamp.bank.example/$orv_tsa_url}
  line=${line//codesign-chain.pem/$work/ca/signer-chain.pem}
  line=${line//bank-ca.pem/$work/ca/trust.pem}
  if [ -z "$first_options" ]; then
    first_options=$(sed -E 's/^bash tools\/release.sh [0-9.]+ //; s/ --first-release//; s/ --out [^ ]+//' <<<"$line")
  fi
  line=${line//...the same options.../$first_options}
  out=$(sed -nE 's/.* --out ([^ ]+).*/\1/p' <<<"$line")
  (cd "$checkout" && bash -c "$line") || return 1
  release_count=$((release_count + 1)) released=$out/server names=()
  mapfile -t names < <(cd "$released" && find . -path ./tuf -prune -o -type f -printf '%P\n' | LC_ALL=C sort)
  [ $release_count -gt 1 ] || "$client" --metadata-dir "$work/md" init "$repo/metadata/1.root.json"
}
for c in "${commands[@]}"; do
  line=${c//\/offline\//$work/offline/}
  line=${line//\/secure\//$work/secure/}
  case $c in
    "bash tools/release.sh"*)
      check "release $((release_count + 1)), production, from the clean checkout" release "$line"
      check "  osslsigncode: its installer signed on the token under the bank's root, time-stamped" \
        orv_signed_by_fixtures "$work/ca" "$(dirname "$released")/OrvalinexSetup.exe"
      check "  its server folder read by tuf-js and tuf_client" clients_read "$released"
      continue;;
    *"manifest live-check"*)
      # The host: what the last check served, the release's whole server folder.
      line=$(sed -E "s#https://updates.bank.example/[^ ]*#$orv_serve_url/$stage/#" <<<"$line")
      line=${line//build\/native\/tools\/manifest\/manifest/$native/tools/manifest/manifest}
      check "  live-check: what the host serves is the record's" bash -c "$line"
      continue;;
    *"tuf_repo "*|"bash tools/keys.sh "*|"(umask 077"*) ;;
    *) continue;;
  esac
  line=${line//build\/native\/tools\/tuf_repo\/tuf_repo/tuf_repo}
  line=${line//tuf_repo /$tool }
  line=${line//bash tools\/keys.sh/bash $src/tools/keys.sh}
  check "${c:0:90}" bash -c "$line"
  case $c in
    *"tuf_repo serve-copy"*) check "  what it uploads read by tuf-js and tuf_client" clients_read "$upload";;
  esac
done
[ $release_count -ge 2 ] || { failed=$((failed + 1)); echo "FAIL: the runbook's two releases were not made"; }
echo "runbook: $passed passed, $failed failed"
[ $failed -eq 0 ]
