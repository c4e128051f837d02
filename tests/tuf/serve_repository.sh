# Sourced by the update client's test and benchmark:
#   serve_repository WORK FOLDER
# writes a repository of FOLDER's files as targets into WORK/repo (tests/tuf/tuf_js.mjs), serves
# it on 127.0.0.1 at a free port (tools/serve_folder.sh) and sets `murl` and `turl` (its metadata
# and targets addresses); end_served_folder ends the server, once it is started (the caller runs
# it on its exit, whether serving succeeded or not).
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/serve_folder.sh"
serve_repository() {
  local here
  here=$(dirname "${BASH_SOURCE[0]}")
  node "$here/tuf_js.mjs" write "$1/repo" "$2"
  serve_folder "$1/repo" "$1/http.log" || return 1
  murl=http://127.0.0.1:$port/metadata/ turl=http://127.0.0.1:$port/targets/
}
