#!/usr/bin/env bash
# The update client against a repository that an independent implementation wrote
# (@tufjs/models: ed25519 keys, consistent snapshots, a root rotation), served on 127.0.0.1:
# tuf-js, the independent client, takes it as written; tuf_client then trusts the rotated root
# and stores both targets byte for byte.
# usage: tuf_js_repository_test.sh TUF_CLIENT SOURCE_DIR
set -euo pipefail
client=$1 src=$2
work=$(mktemp -d /tmp/orv-tuf-js.XXXXXX)
. "$src/tests/tuf/serve_repository.sh"
trap 'end_served_folder; rm -rf "$work"' EXIT
failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failed=$((failed + 1)); fi
}

mkdir -p "$work/in/docs"
printf 'the first target\n' >"$work/in/readme.txt"
head -c 300000 /dev/urandom >"$work/in/docs/payload.bin"
serve_repository "$work" "$work/in"
root1=$work/repo/metadata/1.root.json

node "$src/tests/tuf/tuf_js.mjs" fetch "$murl" "$turl" "$root1" "$work/tuf-js" \
  readme.txt docs/payload.bin
check "tuf-js reads the repository" cmp -s "$work/tuf-js/targets/docs/payload.bin" "$work/in/docs/payload.bin"

md=$work/md td=$work/td
mkdir -p "$md" "$td"
check "init" "$client" --metadata-dir "$md" init "$root1"
check "refresh" "$client" --metadata-url "$murl" --metadata-dir "$md" refresh
check "the rotated root is trusted" cmp -s "$md/root.json" "$work/repo/metadata/2.root.json"
check "download" "$client" --metadata-url "$murl" --metadata-dir "$md" --target-name readme.txt \
  --target-name docs/payload.bin --target-dir "$td" --target-base-url "$turl" download
check "first target's bytes" cmp -s "$td/readme.txt" "$work/in/readme.txt"
check "second target's bytes" cmp -s "$td/docs%2Fpayload.bin" "$work/in/docs/payload.bin"
check "only the two targets" test "$(ls "$td" | wc -l)" -eq 2
echo "$failed failed"
[ "$failed" -eq 0 ]
