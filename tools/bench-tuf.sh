#!/usr/bin/env bash
# Benchmark: the update client (tuf_client, native build) against a repository of the benchmark
# installation's files (200 files, 256 MiB; tools/bench-lib.sh) as targets, written by
# @tufjs/models and served on 127.0.0.1: a refresh from the trusted root (root rotation,
# timestamp, snapshot, 200 targets' metadata), the download and verification of every target,
# and a second download whose targets are all held already (their check alone: a refresh and
# the SHA-256 of 256 MiB), against sha256sum over the same files; then the same under Wine
# through the updater's own client (trust_bench: its WinINet fetcher, its administrators-only
# store, the targets fetched into files and read back for their check) and its SHA-256 of the
# same files. Prints the times (the Wine figures include the start of a Wine process, shown on
# its own line).
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. tools/bench-lib.sh
. tools/wine-env.sh
bench_builds native win64
client=$native/tools/tuf/tuf_client
trust_bench=$win64/tests/updater_download/trust_bench.exe
[ -f "$trust_bench" ] || { echo "missing $trust_bench (build the win64 tests)" >&2; exit 1; }

work=$(mktemp -d /tmp/orv-bench-tuf.XXXXXX)
orv_on_exit rm -rf "$work"
bench_installation "$work/inst"
. tests/tuf/serve_repository.sh
orv_on_exit end_served_folder
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

# --- under Wine, through the updater's own client ------------------------------------------------
export WINEPREFIX=${ORV_BENCH_PREFIX:-$work/prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -n "${ORV_BENCH_PREFIX:-}" ] || orv_on_exit orv_end_prefix "$WINEPREFIX"
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  mkdir -p "$WINEPREFIX"; wineserver -p 300; wine wineboot --init >/dev/null 2>&1
fi
# The updater asks for <base>/tuf/metadata/ and <base>/tuf/targets/: the same repository there.
base=${murl%metadata/}
mkdir -p "$work/site" && ln -s "$work/repo" "$work/site/tuf"
end_served_folder  # the repository's own server served the native half
serve_folder "$work/site" "$work/site.log"
base=http://127.0.0.1:$port/
(cd "$work/inst" && find . -type f | sed 's|^\./||' | sort) >"$work/targets.txt"
find "$work/inst" -type f | sort | while read -r f; do winepath -w "$f"; done >"$work/files.txt" 2>/dev/null
inst_win=$(winepath -w "$work/wine-inst" 2>/dev/null) out_win=$(winepath -w "$work/wine-out" 2>/dev/null)
list_win=$(winepath -w "$work/targets.txt" 2>/dev/null) files_win=$(winepath -w "$work/files.txt" 2>/dev/null)
# The store starts from the repository's first root, as an installation starts from its own.
wine_refresh() {
  rm -rf "$work/wine-inst" && mkdir -p "$work/wine-inst/UpdateTrust"
  cp "$work/repo/metadata/1.root.json" "$work/wine-inst/UpdateTrust/root.json"
  wine "$trust_bench" refresh "$inst_win" "$base"
}
wine_fetch() {
  wine_refresh >/dev/null && rm -rf "$work/wine-out" && mkdir -p "$work/wine-out"
  wine "$trust_bench" fetch "$inst_win" "$base" "$out_win" "$list_win"
}
wine_start=$(best 3 wine "$trust_bench" hash "$(winepath -w /dev/null 2>/dev/null)")
wine_refresh >/dev/null
w_refresh=$(best 3 wine_refresh)
w_fetch=$(best 2 wine_fetch)
w_hash=$(best 3 wine "$trust_bench" hash "$files_win")
echo "under Wine (trust_bench, the updater's client):"
echo "  start of a Wine process doing nothing:                         ${wine_start} s"
echo "  refresh (root rotation, timestamp, snapshot, targets):         ${w_refresh} s"
echo "  refresh, then every target fetched into a file and checked:    ${w_fetch} s"
echo "  SHA-256 of every file, read as a fetched target is read back:  ${w_hash} s"
echo "  ratio SHA-256 under Wine / sha256sum:                          $(echo "scale=3; $w_hash / $sha" | bc -l)"
