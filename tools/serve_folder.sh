# Sourced by the release tool, the update client's tests and the benchmarks:
#   serve_folder DIR LOG   serves DIR over plain HTTP on 127.0.0.1 at a free port (Python's
#                          http.server, its output in LOG) and sets `port` and `served_pid`
#   end_served_folder      ends that server, once started; callers run it on their exit
# The port is known only once the server says it listens, so this waits for that line for as
# long as the server lives (a loaded machine can take seconds to start Python), and gives up
# only when the server has ended or has said nothing for two minutes.
served_pid=""
end_served_folder() {
  [ -n "$served_pid" ] || return 0
  kill "$served_pid" 2>/dev/null || true
  wait "$served_pid" 2>/dev/null || true
  served_pid=""
}
serve_folder() {
  local tries
  port=""
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$1" >"$2" 2>&1 &
  served_pid=$!
  for ((tries = 0; tries < 2400; tries++)); do
    port=$(sed -n 's/^Serving HTTP on 127.0.0.1 port \([0-9]*\).*/\1/p' "$2")
    [ -z "$port" ] || return 0
    kill -0 "$served_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the HTTP server for $1 did not start: $(tail -n 3 "$2")" >&2
  return 1
}
