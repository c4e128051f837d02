#!/usr/bin/env bash
# Benchmark: the installed-file check over about 200 files and 256 MiB, run as the Windows
# program under Wine (all processors), against sha1sum over the same files and against one
# core's SHA-1 speed as `openssl speed` measures it. Prints the times and their ratios.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. tools/bench-lib.sh
. tools/wine-env.sh
bench_builds native win64

work=$(mktemp -d /tmp/orv-bench.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
orv_on_exit rm -rf "$work"
orv_on_exit orv_end_prefix "$WINEPREFIX"
inst=$work/inst
bench_installation "$inst"
"$native/tools/manifest/manifest" sign "$inst" --key keys/manifest-dev.key >/dev/null
files=$(find "$inst" -type f ! -name 'Digest*.xml' | sort)
echo "files: $(wc -l <<<"$files"), bytes: $(cat $files | wc -c)"

mkdir -p "$WINEPREFIX"; wineserver -p 300; wine wineboot --init >/dev/null 2>&1
tool=$win64/tools/manifest/manifest.exe
winpath=$(winepath -w "$inst" 2>/dev/null)
cat $files > /dev/null  # warm the page cache for both
startup=$(best 5 wine "$tool" --version)
check=$(best 5 wine "$tool" check "$winpath")
inner=$(wine "$tool" check "$winpath" --time 2>&1 >/dev/null | tr -d '\r' | awk '/check time/ {print $3}')
sha=$(best 5 sha1sum $files)
bytes=$(cat $files | wc -c)
# One core's SHA-1 rate on 16 KiB blocks (the last column of openssl speed, in kB/s of 1000 bytes).
rate=$(openssl speed -evp sha1 -seconds 2 2>/dev/null | awk '/^sha1/ {v=$NF} END {sub(/k$/, "", v); print v}')
onecore=$(echo "scale=3; $bytes / ($rate * 1000)" | bc -l)
echo "wine start of the tool alone:     ${startup} s"
echo "integrity check under Wine:       ${check} s (measured inside the program: ${inner} s)"
echo "sha1sum over the same files:      ${sha} s"
echo "one core's SHA-1 (openssl speed): $(printf '%.3f' "$onecore") s for the same bytes ($(nproc) processors here)"
echo "ratio check / sha1sum:            $(echo "scale=3; $check / $sha" | bc -l)   (goal: at most 0.5)"
echo "ratio inside the program / sha1sum: $(echo "scale=3; $inner / $sha" | bc -l)"
echo "ratio check / one core's SHA-1:   $(echo "scale=3; $check / $onecore" | bc -l)"
