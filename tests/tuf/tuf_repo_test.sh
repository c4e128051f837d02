#!/usr/bin/env bash
# tuf_repo's repository, with an ECDSA P-256 targets key, read by two clients after publish:
# tuf-js (independent) and tuf_client, served on 127.0.0.1 (the runbook test reads it after each
# refresh and rotation); refresh, rotate, chain and status; then its refusals, one table row
# each, and that a refused command writes nothing.
# usage: tuf_repo_test.sh TUF_REPO TUF_CLIENT SOURCE_DIR
set -uo pipefail
repo_tool=$1 client=$2 src=$3
work=$(mktemp -d /tmp/orv-tuf-repo.XXXXXX)
trap 'end_served_folder; rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}" >"$work/out" 2>&1; then passed=$((passed + 1)); echo "ok: $1"
  else failed=$((failed + 1)); echo "FAIL: $1"; cat "$work/out"; fi
}
k=$work/keys
mkdir -p "$k" "$work/srv" "$work/in/Script" "$work/in/setup" "$work/md" "$work/td"
for n in root-1 root-2 root-3 root-4 snapshot timestamp targets-2; do
  openssl genpkey -algorithm ed25519 -out "$k/$n.key" 2>/dev/null
done
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$k/targets.key" 2>/dev/null
openssl genrsa -out "$k/rsa.key" 2048 2>/dev/null
printf '<Digest/>\n' >"$work/in/Digest.xml"
printf 'return {}\n' >"$work/in/Script/CoreConfig.lua"
head -c 200000 /dev/urandom >"$work/in/setup/OrvalinexSetup.exe"
names=(Digest.xml Script/CoreConfig.lua setup/OrvalinexSetup.exe)
r=$work/repo
t() { "$repo_tool" "$@"; }
online=(--snapshot-key "$k/snapshot.key" --timestamp-key "$k/timestamp.key")

. "$src/tests/tuf/serve_repository.sh"
serve_folder "$work/srv" "$work/http.log" || exit 1

# Both clients read what serve-copy laid out for STAGE: tuf-js from root version 1 each time,
# tuf_client from what it trusted before; each target's bytes as published.
clients_read() {  # clients_read STAGE
  local base=http://127.0.0.1:$port/$1/tuf n args=()
  for n in "${names[@]}"; do args+=(--target-name "$n"); done
  rm -rf "$work/td" && mkdir -p "$work/td" &&
    t serve-copy "$r" "$work/srv/$1/tuf" &&
    node "$src/tests/tuf/tuf_js.mjs" fetch "$base/metadata/" "$base/targets/" "$r/metadata/1.root.json" \
      "$work/js-$1" "${names[@]}" &&
    "$client" --metadata-url "$base/metadata/" --metadata-dir "$work/md" "${args[@]}" \
      --target-dir "$work/td" --target-base-url "$base/targets/" download || return 1
  for n in "${names[@]}"; do cmp "$work/js-$1/targets/$n" "$work/in/$n" || return 1; done
  cmp "$work/td/%53cript%2F%43ore%43onfig.lua" "$work/in/Script/CoreConfig.lua" &&
    cmp "$work/td/setup%2F%4Frvalinex%53etup.exe" "$work/in/setup/OrvalinexSetup.exe"
}

check "init: 2 of 3 root keys, an ECDSA P-256 targets key" t init "$r" --root-key "$k/root-1.key" \
  --root-key "$k/root-2.key" --root-key "$k/root-3.key" --targets-key "$k/targets.key" "${online[@]}"
"$client" --metadata-dir "$work/md" init "$r/metadata/1.root.json"
check "publish with the online keys" t publish "$r" "$work/in" --targets-key "$k/targets.key" "${online[@]}"
check "both clients read the published targets" clients_read publish
printf 'return {1}\n' >"$work/in/Script/CoreConfig.lua"
check "publish with the offline key alone" t publish "$r" "$work/in" --targets-key "$k/targets.key"
check "refresh: a new snapshot for the new targets" grep -q "targets version 2 is new" <(t refresh "$r" "${online[@]}")
check "refresh again keeps the snapshot" grep -q "snapshot version 2 (kept" <(t refresh "$r" "${online[@]}")
check "rotate root-3 for root-4 and the targets key, signing again" t rotate "$r" \
  --old-root-key "$k/root-1.key" --old-root-key "$k/root-2.key" --new-root-key "$k/root-1.key" \
  --new-root-key "$k/root-2.key" --new-root-key "$k/root-4.key" --targets-key "$k/targets-2.key" "${online[@]}"
check "the new root chains from version 1" t chain "$r" "$r/metadata/1.root.json"
check "status: nothing expires within a day" t status "$r"
t refresh "$r" "${online[@]}" --expires timestamp=-1d >/dev/null
check "status: an expired timestamp, exit code 1" bash -c '! "$0" status "$1"' "$repo_tool" "$r"
t serve-copy "$r" "$work/srv/expired/tuf" >/dev/null
check "tuf_client refuses the expired timestamp" bash -c '"$0" --metadata-url "$1" --metadata-dir "$2" refresh 2>&1 | grep -q expired' \
  "$client" "http://127.0.0.1:$port/expired/tuf/metadata/" "$work/md"

# Refusals: name | exit code | text | command (after "--"). None may change the repository.
mkdir -p "$work/linked" "$work/empty"
printf 'x' >"$work/linked/a.txt" && ln -s a.txt "$work/linked/b.txt"
printf 'x' >"$work/empty/a.txt" && : >"$work/empty/b.txt"
before=$(cd "$r" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)
refusal() {
  local name=$1 code=$2 text=$3 rc=0; shift 4
  "$@" >"$work/out" 2>&1 || rc=$?
  if [ "$rc" -eq "$code" ] && grep -qF -- "$text" "$work/out"; then passed=$((passed + 1)); echo "ok: $name"
  else failed=$((failed + 1)); echo "FAIL: $name (exit code $rc)"; cat "$work/out"; fi
}
refusal "another role's key" 1 "is not a targets key of root version 2" -- \
  t publish "$r" "$work/in" --targets-key "$k/snapshot.key"
refusal "the rotated-out targets key" 1 "is not a targets key" -- t publish "$r" "$work/in" --targets-key "$k/targets.key"
refusal "an RSA key" 1 "2048-bit RSA key, not an ed25519 or ECDSA P-256 key" -- \
  t refresh "$r" --snapshot-key "$k/rsa.key" --timestamp-key "$k/timestamp.key"
refusal "a public key where a private one signs" 1 "no PEM private key" -- \
  t refresh "$r" --snapshot-key <(openssl pkey -in "$k/snapshot.key" -pubout) --timestamp-key "$k/timestamp.key"
refusal "a link in the folder" 1 "b.txt in $work/linked is a link" -- t publish "$r" "$work/linked" --targets-key "$k/targets-2.key"
refusal "an empty file in the folder" 1 "b.txt in $work/empty is empty" -- t publish "$r" "$work/empty" --targets-key "$k/targets-2.key"
refusal "rotate below the old root's threshold" 1 "needs 2 of its root keys" -- \
  t rotate "$r" --old-root-key "$k/root-1.key"
refusal "rotate below the new root's threshold" 1 "of its own root keys' signatures; 1 private keys" -- \
  t rotate "$r" --old-root-key "$k/root-1.key" --old-root-key "$k/root-2.key" \
  --new-root-key "$k/root-1.key" --new-root-key <(openssl pkey -in "$k/root-3.key" -pubout) \
  --new-root-key <(openssl pkey -in "$k/root-4.key" -pubout)
refusal "rotate a key without what signs again" 1 "give the private keys --snapshot-key, --timestamp-key" -- \
  t rotate "$r" --old-root-key "$k/root-1.key" --old-root-key "$k/root-2.key" --targets-key "$k/targets.key"
refusal "a root another repository's" 1 "is not this repository's root version 1" -- \
  t chain "$r" "$src/keys/tuf-dev/root.json"
refusal "an expiry of neither form" 2 "neither a duration" -- t refresh "$r" "${online[@]}" --expires timestamp=soon
[ "$before" = "$(cd "$r" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)" ] &&
  { passed=$((passed + 1)); echo "ok: the refused commands wrote nothing"; } ||
  { failed=$((failed + 1)); echo "FAIL: a refused command changed the repository"; }
echo "tuf_repo: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
