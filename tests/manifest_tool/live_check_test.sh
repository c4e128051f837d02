#!/usr/bin/env bash
# manifest live-check against nginx with the update server's configuration (tools/serve.sh)
# serving a server folder laid out as a release lays it out (files at the base, in a folder, in
# nested folders, the setup program, the tuf/ layout) under the updater's fixed path: every file
# as recorded, then one altered, one missing and the server gone, one table row each.
# usage: live_check_test.sh MANIFEST_TOOL SOURCE_DIR
set -uo pipefail
tool=$1 src=$2
. "$src/tools/wine-env.sh"
. "$src/tools/serve.sh"
work=$(mktemp -d /tmp/orv-live-check.XXXXXX)
orv_on_exit rm -rf "$work"
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }

# The release: its server folder under the updater's path, the installer beside it, the record.
rel=$work/release server=$work/release/server
web=$work/web/delmora/resource/cms/article/sub292628/sub305867
mkdir -p "$server/Script" "$server/web/img/small" "$server/setup" "$server/tuf/metadata" \
  "$server/tuf/targets/web" "$(dirname "$web")"
for f in OrvalinexUpdate.exe Digest.xml Script/CoreConfig.lua "web/img/small/a b.png" \
         tuf/metadata/1.root.json tuf/metadata/timestamp.json "tuf/targets/web/0a1b.index.htm"; do
  head -c $((RANDOM + 1)) /dev/urandom >"$server/$f"
done
head -c 300000 /dev/urandom >"$server/setup/OrvalinexSetup.exe"
cp "$server/setup/OrvalinexSetup.exe" "$rel/OrvalinexSetup.exe"
openssl rsa -in "$src/keys/manifest-dev.key" -RSAPublicKey_out -out "$work/key.pub" 2>/dev/null
"$tool" record "$rel/release.json" --server "$server" --installer "$rel/OrvalinexSetup.exe" \
  --version 1.2.0.0 --key "$work/key.pub" --update-host update.example.invalid --commit c \
  --tree clean --dev >/dev/null
ln -s "$server" "$web"
orv_serve "$work/web" || { echo "nginx did not start"; exit 1; }

# name | expected exit code | expected lines (each must be in the output, "|" between them)
# | command (after "--")
row() {
  local name=$1 code=$2 texts=$3 rc=0 text missing=""; shift 4
  "$@" >"$work/out" 2>&1 || rc=$?
  IFS='|' read -r -a lines <<<"$texts"
  for text in "${lines[@]}"; do grep -qF -- "$text" "$work/out" || missing+=" [$text]"; done
  if [ "$rc" -eq "$code" ] && [ -z "$missing" ]; then ok "$name"
  else fail "$name (exit code $rc, missing:$missing)"; cat "$work/out"; fi
}
check() { "$tool" live-check "$1" --record "$rel/release.json"; }
row "every file as recorded, the updater's path added to a bare host" 0 "8 files as recorded at $orv_serve_url/delmora/resource/cms/article/sub292628/sub305867/" -- \
  check "$orv_serve_url"
# The URLs as the updater forms them reached the server (nginx's access log, which writes a
# backslash as \x5C), and were served.
row "the updater's URLs: '///' at the base, backslashes between folders" 0 \
  'GET /delmora/resource/cms/article/sub292628/sub305867///Digest.xml HTTP/1.1" 200 |GET /delmora/resource/cms/article/sub292628/sub305867//web\x5Cimg\x5Csmall/a%20b.png HTTP/1.1" 200 |GET /delmora/resource/cms/article/sub292628/sub305867/tuf/metadata/timestamp.json ' -- \
  cat "$orv_serve_log"
printf 'x' >>"$server/Script/CoreConfig.lua"
rm "$server/tuf/metadata/timestamp.json"
row "an altered file and a missing one named" 1 "differs: Script/CoreConfig.lua (|differs: tuf/metadata/timestamp.json (|: HTTP status 404|2 differences in 8 files" -- \
  check "$orv_serve_url/delmora/resource/cms/article/sub292628/sub305867/"
kill "$ORV_NGINX_PID" && wait "$ORV_NGINX_PID" 2>/dev/null
row "the server unreachable" 3 "unreachable: $orv_serve_url/" -- check "$orv_serve_url"
row "no record" 2 "usage:" -- "$tool" live-check "$orv_serve_url"

echo "live-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
