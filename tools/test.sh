#!/usr/bin/env bash
# Builds and runs every test: the native build's tests (ASan/UBSan), the Windows tests under Wine
# and the updater's page in headless Chromium, side by side. Every Windows test program runs in
# a Wine prefix and an X display of its own, the prefix copied from one prepared for the run.
#
# usage: tools/test.sh                  everything; the Windows tests from the build that Wine
#                                       runs here (win32, the shipped programs, where Wine's
#                                       32-bit half works; else win64)
#        tools/test.sh --windows BUILD [CTEST ARGS...]
#                                       only the Windows tests, from BUILD (win32 or win64);
#                                       ctest's arguments choose among them (-R core_page_test)
#
# Ends with the run's wall and CPU time, its five slowest test programs and the most disk it took.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
cd "$root"
. tools/wine-env.sh

only_windows=0
windows_build=""
ctest_args=()
case "${1:-}" in
  --windows)
    only_windows=1
    windows_build=${2:?usage: tools/test.sh [--windows win32|win64 [CTEST ARGS...]]}
    ctest_args=("${@:3}") ;;
  "") ;;
  *) echo "usage: tools/test.sh [--windows win32|win64 [CTEST ARGS...]]" >&2; exit 2 ;;
esac
windows_jobs=${ORV_WINDOWS_TEST_JOBS:-4}

bash tools/bootstrap.sh >/dev/null
# Asked after the bootstrap, which installs Wine's 32-bit half where the machine runs 32-bit code.
[ -n "$windows_build" ] || windows_build=$(orv_windows_test_build)
run=$(mktemp -d /tmp/orvalinex-test.XXXXXX)
orv_on_exit rm -rf "$run"

# The disk the run takes: every few seconds the size of the run's own folder (its prefixes and
# the tests' temporary files), and the space used on the file systems of that folder and of the
# build above the start (other writers on them count there too, so on a shared machine that one
# is an upper bound); the highest of each is kept.
mkdir -p "$root/build"
# (Once per file system: one df call reads each path's separately, and the two may differ.)
disk_used() {
  df --output=target,used "$run" "$root/build" | tail -n +2 | sort -u -k1,1 | awk '{ s += $2 } END { print s }'
}
disk_start=$(disk_used)
( peak=0 own=0
  while :; do
    now=$(( $(disk_used) - disk_start )); [ "$now" -le "$peak" ] || peak=$now
    size=$(du -sxk "$run" 2>/dev/null | cut -f1); [ "${size:-0}" -le "$own" ] || own=$size
    echo "$own $peak" >"$run/disk-peak.new" && mv "$run/disk-peak.new" "$run/disk-peak"
    sleep 5
  done ) 2>/dev/null &
disk_watch=$!
stop_disk_watch() { kill "$disk_watch" 2>/dev/null || true; }
orv_on_exit stop_disk_watch
if [ "$only_windows" -eq 1 ]; then bash tools/build.sh "$windows_build"
else bash tools/build.sh native "$windows_build"; fi
started=$SECONDS

orv_wine_defaults
orv_start_display
# What the run started ends with it, however it ends: the tests (where the run is cut short),
# every prefix's programs and server, and the tests' own displays (their pids in their files).
windows_pid=""
end_windows_tests() {
  local p
  [ -z "$windows_pid" ] || kill "$windows_pid" 2>/dev/null
  for p in "$run"/prefixes/*/ "$run/template/"; do [ ! -d "$p" ] || orv_end_prefix "${p%/}"; done
  for p in "$run"/prefixes/*.xvfb-pid; do [ ! -f "$p" ] || orv_end_display "$p"; done
}
orv_on_exit end_windows_tests
echo "== Windows tests from build/$windows_build, each on a display of its own"
if [ "$windows_build" = win64 ] && [ "$(orv_windows_test_build)" = win64 ]; then
  echo "   (Wine runs no 32-bit programs here, so it runs the 64-bit build of the same sources)"
fi
# One prepared prefix; each test copies it (tools/wine-run.sh). Programs run outside a test
# (winepath, for instance) use a prefix of their own.
orv_make_prefix "$run/template"
mkdir -p "$run/prefixes"
export ORV_PREFIX_TEMPLATE=$run/template ORV_PREFIX_ROOT=$run/prefixes
export WINEPREFIX=$run/prefixes/shell
orv_make_prefix "$WINEPREFIX"

# The suites run at once; each writes its own log, shown in turn when it ends.
ctest --test-dir "build/$windows_build" -j"$windows_jobs" --output-on-failure "${ctest_args[@]}" \
  >"$run/windows.log" 2>&1 &
windows_pid=$!
status=0
if [ "$only_windows" -eq 0 ]; then
  echo "== native tests"
  ctest --test-dir build/native --output-on-failure -j2 || status=1
  echo "== updater page in headless Chromium"
  node --test --test-concurrency=1 tests/page/ || status=1
fi
wait "$windows_pid" || status=1
windows_pid=""
echo "== Windows tests under Wine (build/$windows_build)"
cat "$run/windows.log"

# Tests that could not run here say why; list them so that a skip is never mistaken for a pass.
logs=("build/$windows_build/Testing/Temporary/LastTest.log")
[ "$only_windows" -eq 1 ] || logs+=(build/native/Testing/Temporary/LastTest.log)
skips=$(grep -h -A1 -E '^\[  SKIPPED \] [A-Za-z]' "${logs[@]}" 2>/dev/null |
          grep -vE '^(--|\[  SKIPPED \] [0-9])' || true)
if [ -n "$skips" ]; then
  echo "== skipped tests"
  echo "$skips"
fi

echo "== where the time went"
echo "five slowest Windows test programs:"
sed -nE 's/.*Test +#[0-9]+: ([^ ]+) [ .*]+[A-Za-z* ]+ +([0-9.]+) sec$/\2 \1/p' "$run/windows.log" |
  sort -rn | head -n 5 | awk '{ printf "  %7.1f s  %s\n", $1, $2 }'
# CPU time of everything this run started and waited for (user + sys of the children).
times >"$run/times"  # (in this shell: a pipe would run it in a child without children)
cpu=$(tail -n 1 "$run/times" | awk '{ n = 0; for (i = 1; i <= 2; i++) { split($i, t, /[ms]/);
                                   n += t[1] * 60 + t[2] } printf "%.0f", n }')
echo "wall time: ${SECONDS} s (tests: $((SECONDS - started)) s); CPU time: ${cpu} s (user + sys)"
stop_disk_watch
awk '{ printf "disk: the run'"'"'s folder at most %.1f GB; its file systems at most %.1f GB above the start (with the build output)\n", $1 / 1048576, $2 / 1048576 }' \
  "$run/disk-peak" 2>/dev/null || echo "disk: not measured"
exit $status
