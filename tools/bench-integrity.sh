#!/usr/bin/env bash
# Benchmark: the installed-file check over about 200 files and 256 MiB, run as the Windows
# program under Wine (all processors), against sha1sum over the same files and against one
# core's SHA-1 speed as `openssl speed` measures it. Prints the times and their ratios.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
native=${ORV_NATIVE_BUILD:-build/native} win64=${ORV_WIN64_BUILD:-build/win64}
if [ -z "${ORV_NATIVE_BUILD:-}${ORV_WIN64_BUILD:-}" ]; then
  bash tools/bootstrap.sh >/dev/null
  bash tools/build.sh native win64 >/dev/null
fi

work=$(mktemp -d /tmp/orv-bench.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
inst=$work/inst
mkdir -p "$inst/big" "$inst/small"
# 8 files of 24 MiB and 192 of about 341 KiB: 256 MiB in 200 files.
for i in $(seq 1 8); do head -c $((24 << 20)) /dev/urandom > "$inst/big/part$i.bin"; done
for i in $(seq 1 192); do head -c 349525 /dev/urandom > "$inst/small/file$i.dat"; done
"$native/tools/manifest/manifest" sign "$inst" --key keys/manifest-dev.key >/dev/null
files=$(find "$inst" -type f ! -name 'Digest*.xml' | sort)
echo "files: $(wc -l <<<"$files"), bytes: $(cat $files | wc -c)"

mkdir -p "$WINEPREFIX"; wineserver -p 300; wine wineboot --init >/dev/null 2>&1
tool=$win64/tools/manifest/manifest.exe
winpath=$(winepath -w "$inst" 2>/dev/null)
now() { date +%s.%N; }
best() {  # best of five runs of "$@", in seconds
  local b="" s e t
  for _ in 1 2 3 4 5; do
    s=$(now); "$@" >/dev/null 2>&1 || true; e=$(now)
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
  done
  printf '%.3f' "$b"
}
cat $files > /dev/null  # warm the page cache for both
startup=$(best wine "$tool" --version)
check=$(best wine "$tool" check "$winpath")
inner=$(wine "$tool" check "$winpath" --time 2>&1 >/dev/null | tr -d '\r' | awk '/check time/ {print $3}')
sha=$(best sha1sum $files)
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
