#!/usr/bin/env bash
# The scripts end what they start and start Windows system programs by full path:
#  - a script that starts a display through tools/wine-env.sh (as the life, the test runner and
#    the benchmarks do) leaves no Xvfb behind, whichever way it ends, one table row each;
#  - no script under tools/ or tests/ starts a Windows system program by its bare name, which
#    would be the program of whichever bitness the `wine` loader has.
# usage: scripts_test.sh SOURCE_DIR
set -uo pipefail
src=$1
work=$(mktemp -d /tmp/orv-scripts-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
wait_for() {  # wait_for SECONDS COMMAND...: true once the command succeeds
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}

# The script: starts a display, writes its number, and once told to go on (a file), ends as its
# third argument says.
cat >"$work/starts-display.sh" <<'SCRIPT'
set -euo pipefail
cd "$1"
. tools/wine-env.sh
orv_start_display
echo "${DISPLAY#:}" >"$2.new" && mv "$2.new" "$2"
for _ in $(seq 600); do [ -e "$2.go" ] && break; sleep 0.1; done
case $3 in
  end) exit 0 ;;
  failure) false ;;
  *) sleep 120 ;;  # until a signal ends it
esac
SCRIPT

# Its Xvfb processes, found by a mark in their environment (every process the script starts
# inherits it), whatever the script recorded or forgot.
xvfbs_of() {
  local pid
  for pid in $(pgrep -x Xvfb); do
    { tr '\0' '\n' <"/proc/$pid/environ" | grep -qxF "ORV_SCRIPTS_TEST_MARK=$1" && echo "$pid"; } 2>/dev/null
  done
}
none_of() { [ -z "$(xvfbs_of "$1")" ]; }

# Each way to end: its name, and the signal its process group gets (as from a terminal's
# Ctrl-C, a time-out or a closed terminal), or "-" when it ends by itself.
set -m  # each script in a process group of its own, which receives signals as a terminal's would
while read -r how signal; do
  mark=$work/$how
  rm -f "$work/display" "$work/display.go"
  ORV_SCRIPTS_TEST_MARK=$mark bash "$work/starts-display.sh" "$src" "$work/display" "$how" \
    >"$work/out" 2>&1 &
  script=$!
  if ! wait_for 30 test -s "$work/display"; then
    fail "display, $how: the script started none: $(cat "$work/out")"
  else
    started=$(xvfbs_of "$mark")
    touch "$work/display.go"
    [ "$signal" = - ] || kill -"$signal" -- -"$script"
    wait "$script" 2>/dev/null
    if [ -n "$started" ] && wait_for 10 none_of "$mark"; then
      ok "display, $how: Xvfb :$(cat "$work/display") (pid $started) ended with the script"
    else
      fail "display, $how: Xvfb :$(cat "$work/display") (pid ${started:-not found}) after the script: $(xvfbs_of "$mark")"
    fi
  fi
  kill -- -"$script" 2>/dev/null
  for pid in $(xvfbs_of "$mark"); do kill "$pid"; done
done <<'TABLE'
end          -
failure      -
interrupt    INT
termination  TERM
hang-up      HUP
TABLE
set +m

programs='reg|regedit|regsvr32|cscript|wscript|cmd|rundll32|msiexec|taskkill|tasklist|start|net|sc|schtasks|icacls|xcopy|attrib|certutil'
loader="(wine|wine64|wine-stable|orv_loader\}?\"?|WINELOADER\}?\"?)"
bare=$(cd "$src" && grep -rnEI --include='*.sh' --include='*.py' --include='*.cmake' \
         --include=CMakeLists.txt "$loader[[:space:]]+[\"']?($programs)(\.exe)?[\"']?([[:space:]]|$)" \
         tools tests | grep -vE '^[^:]+:[0-9]+:[[:space:]]*(#|echo |printf )')
if [ -z "$bare" ]; then ok "no Windows system program started by its bare name"
else fail "Windows system programs started by their bare names:"; echo "$bare"; fi

echo "scripts: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
