#!/usr/bin/env bash
# Benchmark: DownloadOneFile under Wine against curl, both fetching a 256 MiB file from the
# loopback server over HTTP and over HTTPS, in one run; then the peak working set of the
# downloading program for a 512 MiB file over HTTPS; then how long each misbehaving answer of the
# server takes to end, within short bounds. Prints the figures; asserts nothing.
# Goals: HTTP within 1.2 times curl; HTTPS peak working set under 64 MiB whatever the size; every
# misbehaving answer ends with a failure within its bound.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. tools/bench-lib.sh
. tools/wine-env.sh
bench_builds win64
bench=$win64/tests/updater_download/download_bench.exe
[ -f "$bench" ] || { echo "missing $bench (build the win64 tests)" >&2; exit 1; }

work=$(mktemp -d /tmp/orv-bench-download.XXXXXX)
export WINEPREFIX=${ORV_BENCH_PREFIX:-$work/prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
orv_on_exit rm -rf "$work"
[ -n "${ORV_BENCH_PREFIX:-}" ] || orv_on_exit orv_end_prefix "$WINEPREFIX"

srv=tests/updater_download
bash "$srv/make_server_certs.sh" "$work/certs"
mkdir -p "$work/files" "$work/out"
head -c $((256 << 20)) /dev/urandom > "$work/files/big256.bin"
head -c $((512 << 20)) /dev/urandom > "$work/files/big512.bin"
python3 "$srv/loopback_server.py" --files "$work/files" --certs "$work/certs" \
  --port-file "$work/ports" --lifetime 1200 &
orv_on_exit kill $!
for _ in $(seq 200); do [ -s "$work/ports" ] && break; sleep 0.05; done
http=$(awk -F= '$1=="http"{print $2}' "$work/ports")
https=$(awk -F= '$1=="selfsigned"{print $2}' "$work/ports")

if [ ! -d "$WINEPREFIX/drive_c" ]; then
  mkdir -p "$WINEPREFIX"; wineserver -p 300; wine wineboot --init >/dev/null 2>&1
fi
out=$(winepath -w "$work/out" 2>/dev/null)
cat "$work/files/big256.bin" > /dev/null
url_http="http://127.0.0.1:$http/files/big256.bin"
url_https="https://127.0.0.1:$https/files/big256.bin"
# Every run writes a file of its own (downloads create their target new) and its bytes are
# checked; a step that fails says which and ends the benchmark.
step() { echo "bench-download: $*" >&2; }
same() {  # same SOURCE FILE...: every file holds the source's bytes
  local f
  for f in "${@:2}"; do cmp -s "$1" "$f" || { step "$f differs from $1"; return 1; }; done
}
runs() { local i; for i in 1 2 3; do echo "$work/out/$1$i.bin"; done; }
big=$work/files/big256.bin
start=$(best --any-exit 3 wine "$bench")  # its usage line: the program's start alone
d_http=$(best 3 wine "$bench" "$url_http" "$out\\http{run}.bin")
d_https=$(best 3 wine "$bench" "$url_https" "$out\\https{run}.bin")
w_http=$(best 3 wine "$bench" --wininet "$url_http" "$out\\wininet{run}.bin")
c_http=$(best 3 curl -sf -o "$work/out/curl-http{run}.bin" "$url_http")
c_https=$(best 3 curl -sfk -o "$work/out/curl-https{run}.bin" "$url_https")
same "$big" $(runs http) $(runs https) $(runs wininet) $(runs curl-http) $(runs curl-https)
rm -f "$work"/out/*.bin
inner() {  # inner URL NAME: the program's own line for one more download, checked
  local line
  line=$(wine "$bench" "$1" "$out\\$2.bin" | tr -d '\r') || { step "download of $1 failed: $line"; return 1; }
  echo "$line"
}
inner_http=$(inner "$url_http" inner-http)
inner_https=$(inner "$url_https" inner-https)
same "$big" "$work/out/inner-http.bin" "$work/out/inner-https.bin"
rm -f "$work"/out/*.bin
peak=$(inner "https://127.0.0.1:$https/files/big512.bin" big512)
same "$work/files/big512.bin" "$work/out/big512.bin"
rm -f "$work"/out/*.bin

echo "256 MiB over loopback, best of three (seconds):"
echo "  wine start of the program alone:        $start"
echo "  DownloadOneFile HTTP  (Wine):           $d_http   [inside: $inner_http]"
echo "  WinINet client alone over HTTP (Wine):  $w_http"
echo "  curl HTTP:                              $c_http"
echo "  ratio HTTP  DownloadOneFile / curl:     $(echo "scale=2; $d_http / $c_http" | bc -l)"
echo "  DownloadOneFile HTTPS (Wine):           $d_https   [inside: $inner_https]"
echo "  curl HTTPS:                             $c_https"
echo "  ratio HTTPS DownloadOneFile / curl:     $(echo "scale=2; $d_https / $c_https" | bc -l)"
echo "512 MiB over HTTPS: $peak"

# The misbehaving answers, within bounds short enough to wait for (the program's own are an hour
# per file and a minute without progress): deadline, time without progress, size cap.
bounds=(10000 3000 $((64 << 20)))
echo "misbehaving server, bounds ${bounds[0]} ms per file, ${bounds[1]} ms without progress, ${bounds[2]} bytes:"
for case in drip hang endless redirect/0 reset badchunk headers; do
  for scheme in http https; do
    port=$http; [ $scheme = https ] && port=$https
    line=$(timeout 300 wine "$bench" --bounds "${bounds[@]}" "$scheme://127.0.0.1:$port/$case/bench-$scheme" \
      "$out\\hostile-${case//\//-}-$scheme.bin" | tr -d '\r') || true
    printf '  %-12s %-6s %s\n' "$case" "$scheme" "${line:-did not end within 300 s}"
  done
done
