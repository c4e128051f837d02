#!/usr/bin/env bash
# Runs one Windows test program under Wine with the loopback server beside it:
#   run_with_server.sh PROGRAM [ARGS...]
# Makes the certificates, starts the server (which ends by itself after a bounded time), passes
# its ports and served folder in ORV_TEST_<NAME>_PORT and ORV_TEST_SERVED_FILES, and always stops
# it when the program ends.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/orv-loopback.XXXXXX)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

bash "$here/make_server_certs.sh" "$work/certs"
mkdir -p "$work/files"
python3 "$here/loopback_server.py" --files "$work/files" --certs "$work/certs" \
  --port-file "$work/ports" --lifetime "${ORV_SERVER_LIFETIME:-900}" &
server_pid=$!
for _ in $(seq 200); do [ -s "$work/ports" ] && break; sleep 0.05; done
[ -s "$work/ports" ] || { echo "the loopback server did not start" >&2; exit 1; }
while IFS='=' read -r name port; do
  export "ORV_TEST_${name^^}_PORT=$port"
done < "$work/ports"
export ORV_TEST_SERVED_FILES="$work/files"
status=0
bash "$root/tools/wine-run.sh" "$@" || status=$?
exit $status
