#!/usr/bin/env bash
# The scripts end what they start and start Windows system programs by full path:
#  - a script that starts a display through tools/wine-env.sh (as the life, the test runner and
#    the benchmarks do) leaves no Xvfb behind, whichever way it ends, one table row each;
#  - no script under tools/ or tests/ starts a Windows system program by its bare name, which
#    would be the program of whichever bitness the `wine` loader has;
#  - every runnable script answers --help;
#  - the bootstrap's package step (tools/apt-packages.sh) goes on past a mirror caught mid-sync
#    and an optional package it cannot have, and ends at once on a required one, one row each.
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

# Every runnable script answers --help with its header and exit code 0, doing nothing else.
for script in $(cd "$src" && grep -l '^#!' tools/*.sh installer/*.sh); do
  out=$(cd "$work" && timeout 20 bash "$src/$script" --help 2>&1) &&
    [ -n "$out" ] && ok "--help: $script" || fail "--help: $script: $out"
done

# The bootstrap's package step against a stand-in apt that answers as each row says: the update
# ("ok", or "sync": a mirror caught mid-sync), then each package ("ok"; "fetch": its download
# fails; "flaky": fails once, then installs; "gone": unknown to the lists; "breaks": its
# dependencies cannot be met). Required packages first, optional ones after "--". Expected: the
# exit code, the packages installed afterwards, how often apt-get install ran, and a line of the
# output.
fake=$work/fake-apt
mkdir -p "$fake"
cat >"$fake/apt-get" <<'FAKE'
#!/usr/bin/env bash
state=$FAKE_APT_STATE
while [ $# -gt 0 ] && [ "$1" != update ] && [ "$1" != install ]; do shift; done
if [ "$1" = update ]; then
  [ "$FAKE_APT_UPDATE" = ok ] && exit 0
  echo "E: Failed to fetch http://mirror/dists/x/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
  exit 100
fi
shift; echo x >>"$state/installs"
pkgs=(); for a in "$@"; do case $a in -*) ;; *) pkgs+=("$a") ;; esac; done
for p in "${pkgs[@]}"; do
  case $(grep -m1 "^$p=" <<<"$FAKE_APT_ANSWERS" | cut -d= -f2) in
    gone) echo "E: Unable to locate package $p"; exit 100 ;;
    breaks) echo "E: Error, pkgProblemResolver::Resolve generated breaks"; exit 100 ;;
    fetch) echo "E: Failed to fetch http://mirror/$p.deb  Hash Sum mismatch"; exit 100 ;;
    flaky) [ -e "$state/$p.tried" ] || { touch "$state/$p.tried"; echo "E: Failed to fetch $p.deb"; exit 100; } ;;
  esac
done
for p in "${pkgs[@]}"; do touch "$state/$p.installed"; done
FAKE
cat >"$fake/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
[ -e "$FAKE_APT_STATE/${*: -1}.installed" ] && printf 'install ok installed'
FAKE
cat >"$fake/apt-cache" <<'FAKE'
#!/usr/bin/env bash
case $(grep -m1 "^${*: -1}=" <<<"$FAKE_APT_ANSWERS" | cut -d= -f2) in
  gone) echo "  Candidate: (none)" ;; *) echo "  Candidate: 1.0" ;; esac
FAKE
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$fake/sudo"
chmod +x "$fake"/*
while IFS='|' read -r name update answers lists want_exit want_installed want_installs want_line; do
  state=$work/apt-$name; mkdir -p "$state"
  read -r -a words <<<"$lists"
  for w in "${words[@]}"; do case $w in *+) touch "$state/${w%+}.installed" ;; esac; done
  out=$(PATH=$fake:$PATH FAKE_APT_STATE=$state FAKE_APT_UPDATE=$update \
        FAKE_APT_ANSWERS=$(tr ' ' '\n' <<<"$answers") ORV_APT_PAUSE=0 \
        bash -c '. "$1/tools/apt-packages.sh"; orv_apt_packages=(); shift; orv_apt_install "$@"; s=$?
                 echo "missing: ${orv_apt_missing[*]}"; exit $s' _ "$src" "${words[@]%+}" 2>&1)
  got_exit=$?
  got_installed=$(cd "$state" && ls -- *.installed 2>/dev/null | sed 's/\.installed$//' | sort | xargs)
  got_installs=$(cat "$state/installs" 2>/dev/null | wc -l)
  if [ "$got_exit" = "$want_exit" ] && [ "$got_installed" = "$want_installed" ] &&
     [ "$got_installs" = "$want_installs" ] && grep -qF -- "$want_line" <<<"$out"; then
    ok "packages, $name"
  else
    fail "packages, $name: exit $got_exit, installed '$got_installed', $got_installs installs:"; echo "$out"
  fi
done <<'TABLE'
mirror-mid-sync|sync|a=ok b=ok w=ok|a b -- w|0|a b w|2|going on with the lists apt has
optional-half-breaks|sync|a=ok w=breaks|a -- w|0|a|2|missing: w
optional-retried-later|ok|w=ok|a+ -- w|0|a w|1|missing:
required-gone|ok|a=ok g=gone w=ok|a g -- w|1||1|required package(s) g: Unable to locate package g
required-download-flaky|ok|a=flaky|a|0|a|2|trying again
required-download-fails|ok|a=fetch|a -- w|1||3|cannot install the required package(s) a: Failed to fetch
nothing-missing|sync|a=ok|a+ -- w+|0|a w|0|missing:
TABLE

echo "scripts: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
