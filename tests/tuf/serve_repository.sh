# Sourced by the update client's test and benchmark:
#   serve_repository WORK FOLDER
# writes a repository of FOLDER's files as targets into WORK/repo (tests/tuf/tuf_js.mjs), serves
# it on 127.0.0.1 at a free port and sets `murl` and `turl` (its metadata and targets addresses)
# and `repository_server` (the server's pid); end_repository_server ends the server, once it is
# started (the caller runs it on its exit, whether serving succeeded or not). serve_folder serves
# any folder the same way.
repository_server=""
end_repository_server() {
  [ -n "$repository_server" ] || return 0
  kill "$repository_server" 2>/dev/null || true
  wait "$repository_server" 2>/dev/null || true
  repository_server=""
}
# serve_folder DIR LOG: serves DIR on 127.0.0.1 at a free port, sets `port` and
# `repository_server`; the server's output goes to LOG.
serve_folder() {
  port=""
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$1" >"$2" 2>&1 &
  repository_server=$!
  for _ in $(seq 200); do
    port=$(sed -n 's/^Serving HTTP on 127.0.0.1 port \([0-9]*\).*/\1/p' "$2")
    [ -n "$port" ] || ! kill -0 "$repository_server" 2>/dev/null && break
    sleep 0.05
  done
  [ -n "$port" ] || { echo "the HTTP server did not start" >&2; cat "$2" >&2; return 1; }
}
serve_repository() {
  local here
  here=$(dirname "${BASH_SOURCE[0]}")
  node "$here/tuf_js.mjs" write "$1/repo" "$2"
  serve_folder "$1/repo" "$1/http.log" || return 1
  murl=http://127.0.0.1:$port/metadata/ turl=http://127.0.0.1:$port/targets/
}
