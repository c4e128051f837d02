#!/usr/bin/env bash
# The runbook (docs/release.md) run as written, in its order: every command of its repository
# steps (keys, init, the daily refresh, the rotation, the leaked and the lost key), with its
# folders moved below a temporary one; each release's repository part as `tuf_repo publish` of
# a small server folder (the releases themselves are the release tool test's). After each step
# that changes what would be uploaded, tuf-js (from root version 1) and tuf_client (from what it
# trusted before) read it, served on 127.0.0.1 by nginx with the update server's configuration
# (tools/serve.sh), and every target's bytes are as published.
# usage: runbook_test.sh TUF_REPO TUF_CLIENT SOURCE_DIR
set -uo pipefail
tool=$1 client=$2 src=$3
. "$src/tools/wine-env.sh"
. "$src/tools/serve.sh"
work=$(mktemp -d /tmp/orv-runbook.XXXXXX)
orv_on_exit rm -rf "$work"
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}" >"$work/out" 2>&1; then passed=$((passed + 1)); echo "ok: $1"
  else failed=$((failed + 1)); echo "FAIL: $1"; cat "$work/out"; fi
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

mkdir -p "$work/srv" "$work/release/Script" "$work/md" "$work/td"
orv_serve "$work/srv" || exit 1

repo=$work/secure/repo upload=$work/secure/upload
names=(Digest.xml Script/CoreConfig.lua)
stage=0
clients_read() {  # what the upload folder holds, read by both clients
  local base n args=()
  stage=$((stage + 1)); base=$orv_serve_url/$stage/tuf
  cp -r "$upload" "$work/srv/$stage" || return 1
  for n in "${names[@]}"; do args+=(--target-name "$n"); done
  rm -rf "$work/td" && mkdir -p "$work/td" &&
    node "$src/tests/tuf/tuf_js.mjs" fetch "$base/metadata/" "$base/targets/" "$repo/metadata/1.root.json" \
      "$work/js-$stage" "${names[@]}" &&
    "$client" --metadata-url "$base/metadata/" --metadata-dir "$work/md" "${args[@]}" \
      --target-dir "$work/td" --target-base-url "$base/targets/" download || return 1
  for n in "${names[@]}"; do cmp "$work/js-$stage/targets/$n" "$work/release/$n" || return 1; done
}
# A release's repository part: the server folder's files as targets, then what is uploaded.
released=0
release() {
  released=$((released + 1))
  printf '<Digest release="%s"/>\n' $released >"$work/release/Digest.xml"
  printf 'return {release = %s}\n' $released >"$work/release/Script/CoreConfig.lua"
  "$tool" publish "$repo" "$work/release" --targets-key "$work/offline/keys/targets.key" \
    --snapshot-key "$work/secure/keys/snapshot.key" --timestamp-key "$work/secure/keys/timestamp.key" &&
    rm -rf "$upload" && "$tool" serve-copy "$repo" "$upload/tuf" &&
    if [ $released -eq 1 ]; then "$client" --metadata-dir "$work/md" init "$repo/metadata/1.root.json"; fi
}

for c in "${commands[@]}"; do
  case $c in
    "bash tools/release.sh"*)
      check "release $((released + 1)): its files published" release
      check "release $released read by tuf-js and tuf_client" clients_read
      continue;;
    *"tuf_repo "*|"bash tools/keys.sh "*|"(umask 077"*) ;;
    *) continue;;
  esac
  line=${c//\/offline\//$work/offline/}
  line=${line//\/secure\//$work/secure/}
  line=${line//build\/native\/tools\/tuf_repo\/tuf_repo/tuf_repo}
  line=${line//tuf_repo /$tool }
  line=${line//bash tools\/keys.sh/bash $src/tools/keys.sh}
  check "${c:0:90}" bash -c "$line"
  case $c in
    *"tuf_repo serve-copy"*) check "  what it uploads read by tuf-js and tuf_client" clients_read;;
  esac
done
[ $released -ge 2 ] || { failed=$((failed + 1)); echo "FAIL: the runbook's releases were not found"; }
echo "runbook: $passed passed, $failed failed"
[ $failed -eq 0 ]
