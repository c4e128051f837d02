#!/usr/bin/env bash
# Benchmark: the update client (tuf_client, native build) against a repository of the benchmark
# installation's files (200 files, 256 MiB; tools/bench-lib.sh) as targets, written by
# @tufjs/models and served on 127.0.0.1: a refresh from the trusted root (root rotation,
# timestamp, snapshot, 200 targets' metadata), the download and verification of every target,
# and a second download whose targets are all held already (their check alone: a refresh and
# the SHA-256 of 256 MiB), against sha256sum over the same files. Prints the times.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. tools/bench-lib.sh
. tools/wine-env.sh
bench_builds native
client=$native/tools/tuf/tuf_client

work=$(mktemp -d /tmp/orv-bench-tuf.XXXXXX)
orv_on_exit rm -rf "$work"
bench_installation "$work/inst"
. tests/tuf/serve_repository.sh
orv_on_exit end_repository_server
serve_repository "$work" "$work/inst"
md=$work/md td=$work/td
targets=()
while read -r name; do targets+=(--target-name "$name"); done < <(cd "$work/inst" && find . -type f | sed 's|^\./||' | sort)
files=$(find "$work/inst" -type f | sort)

fresh_refresh() {
  rm -rf "$md" && mkdir -p "$md"
  "$client" --metadata-dir "$md" init "$work/repo/metadata/1.root.json"
  "$client" --metadata-url "$murl" --metadata-dir "$md" refresh
}
download() {
  "$client" --metadata-url "$murl" --metadata-dir "$md" "${targets[@]}" --target-dir "$td" \
    --target-base-url "$turl" download
}
cold_download() { rm -rf "$td" && mkdir -p "$td" && download; }

cat $files >/dev/null  # warm the page cache
refresh=$(best 5 fresh_refresh)
fresh_refresh >/dev/null
cold=$(best 3 cold_download)
# Untimed runs first: a failure ends the benchmark here rather than passing for a fast run.
cold_download
download
held=$(best 5 download)
sha=$(best 5 sha256sum $files)
echo "targets: $(( ${#targets[@]} / 2 )), bytes: $(cat $files | wc -c); build: $native$(
  grep -q '^ORV_SANITIZE:[A-Z]*=ON' "$native/CMakeCache.txt" 2>/dev/null && echo ' (ASan/UBSan)')"
echo "init and refresh (root rotation, timestamp, snapshot, targets): ${refresh} s"
echo "refresh and download of every target, checked:                 ${cold} s"
echo "refresh and check of every target already held (SHA-256):      ${held} s"
echo "sha256sum over the same files:                                   ${sha} s"
echo "ratio held check / sha256sum:                                    $(echo "scale=3; $held / $sha" | bc -l)"
