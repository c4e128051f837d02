#!/usr/bin/env bash
# The product's life under Wine: publishes releases A and B, installs A silently into a fresh
# prefix, checks the settings and files, starts the core host (its integrity check passes, the
# page's round trip through Lua answers, the tray notifier runs), lets the core host's AutoUpdate
# start of the updater find B on a loopback HTTP server (the page's question answered yes) and
# install it, alters an installed file (the check fails and hands the installation to the
# updater with -lostfile, which repairs it), alters a file on the server as a network attacker
# would (the updater refuses it and runs nothing), and uninstalls. One line per step with its
# evidence. Under Wine the core host and the updater are their test builds (the stand-in page:
# Wine cannot render their real pages), installed under the shipped names; the core host's page
# and configuration are the ones of tests/installer/life_content, which record the round trip.
# usage: tools/life.sh [--no-build]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build_opt=""
[ "${1:-}" = --no-build ] && build_opt=--no-build
[ -n "$build_opt" ] || bash tools/bootstrap.sh >/dev/null
A=1.1.19.1223 B=1.1.19.1224
work=$root/build/life
rm -rf "$work"; mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
server_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
failed=0
step() { printf '%-28s %s\n' "$1:" "$2"; }
bad() { step "$1" "FAILED: $2"; failed=1; }
die() { bad "$1" "$2"; echo "life: stopped"; exit 1; }

# Wine's output goes to files: a pipe would be held open by Wine's services.
w() { wine "$@" >"$work/out" 2>/dev/null </dev/null; }
reg_value() {
  w reg query 'HKLM\SOFTWARE\Halvenor\DovAZ\Orvalinex' /v "$1" /reg:32 || return 0
  tr -d '\r' <"$work/out" | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# Command lines of this prefix's processes whose program is one of the product's.
processes() {
  local pid program
  for pid in $(pgrep -f 'Orvalinex(Core|Update|Tray)\.exe'); do
    program=$(tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n1)
    case $program in *OrvalinexCore.exe | *OrvalinexUpdate.exe | *OrvalinexTray.exe) ;; *) continue ;; esac
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    tr '\0' ' ' <"/proc/$pid/cmdline" | sed 's/ *$//'; echo
  done
}
wait_for() {  # wait_for SECONDS COMMAND...: true once the command succeeds
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.5; done
}
running() { local list; list=$(processes); grep -q -- "$1" <<<"$list"; }
none_running() { [ -z "$(processes)" ]; }
end_programs() {
  local p
  for p in OrvalinexUpdate OrvalinexTray OrvalinexCore; do
    (cd "$inst" && timeout 60 wine "$p.exe" -t >/dev/null 2>&1 </dev/null)
  done
  wait_for 30 none_running || true
}

# Release A for Wine.
content=$root/tests/installer/life_content
bash tools/release.sh $A --wine $build_opt --content "$content" --out "$work/A" >"$work/release.log" 2>&1 ||
  { cat "$work/release.log"; die "publish A" "the release tool refused or failed"; }
step "publish A" "$(grep -c '<File ' "$work/A/server/Digest.xml") files on the server, $(tail -n1 "$work/release.log")"
bash tools/release.sh $B --wine --no-build --content "$content" --out "$work/B" >"$work/release.log" 2>&1 ||
  { cat "$work/release.log"; die "publish B" "the release tool refused or failed"; }
step "publish B" "$(tail -n1 "$work/release.log")"
step "Wine mode" "OrvalinexCore.exe and OrvalinexUpdate.exe are the test builds with the stand-in page"

# A fresh prefix and display.
for n in $(seq 90 140); do
  [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
mkdir -p "$WINEPREFIX"
wineserver -p 900 >/dev/null 2>&1 </dev/null
wine wineboot --init >/dev/null 2>&1 </dev/null
wine wineboot >/dev/null 2>&1 </dev/null
step "fresh prefix" "$WINEPREFIX on display $display"

inst=$WINEPREFIX/drive_c/Program\ Files/Orvalinex
rc=0; timeout 300 wine "$work/A/OrvalinexSetup.exe" /S >/dev/null 2>&1 </dev/null || rc=$?
[ $rc -eq 0 ] || die "install A" "installer exit code $rc"
step "install A" "OrvalinexSetup.exe /S: exit code 0"
settings="Path=$(reg_value Path) Version=$(reg_value Version) AutoUpdate=$(reg_value AutoUpdate) LangID=$(reg_value LangID) RetryTimes=$(reg_value RetryTimes)"
if [ "$settings" = "Path=C:\\Program Files\\Orvalinex Version=$A AutoUpdate=0x1 LangID=0x804 RetryTimes=0x0" ]; then
  step "settings (32-bit view)" "$settings"
else bad "settings (32-bit view)" "$settings"; fi
w "$root/build/win64/tools/manifest/manifest.exe" check 'C:\Program Files\Orvalinex'
tr -d '\r' <"$work/out" >"$work/check"
if grep -qx intact "$work/check"; then
  step "installed files" "$(grep -c '^Unchanged' "$work/check") listed files Unchanged, intact"
else bad "installed files" "$(tail -n1 "$work/check")"; fi

# The core host's start: the integrity check passes, so the main window's set-up starts the
# notifier, and AutoUpdate 1 starts the updater without arguments.
(cd "$inst" && wine OrvalinexCore.exe -nokey >/dev/null 2>&1 </dev/null &)
if wait_for 60 running 'OrvalinexTray.exe'; then
  wait_for 30 running 'OrvalinexUpdate.exe'
  updater=$(processes | grep 'OrvalinexUpdate.exe' | head -n1)
  step "core host start" "integrity check passed: notifier started; updater started as \"${updater% }\" (AutoUpdate 1)"
  if wait_for 30 grep -qx 'echo:life' "$inst/roundtrip.log"; then
    step "page round trip" "page -> Lua Echo -> CallJsFunc OnEcho -> Lua Record: \"$(head -n1 "$inst/roundtrip.log" | tr -d '\r')\""
  else bad "page round trip" "no answer recorded in roundtrip.log"; fi
  if running 'OrvalinexTray.exe'; then
    step "tray notifier" "running: $(processes | grep 'OrvalinexTray.exe' | head -n1 | sed 's/ *$//')"
  else bad "tray notifier" "not running"; fi
else bad "core host start" "no notifier within 60 s: $(processes | tr '\n' ';')"; fi
end_programs
step "programs ended" "with -t: $(processes | wc -l) product processes left"

# Release B on a loopback HTTP server. The updater's test build takes the server from
# ORV_TEST_UPDATE_BASE_URL, and its stand-in page answers the update question with yes.
web=$work/web/delmora/resource/cms/article/sub292628/sub305867
mkdir -p "$(dirname "$web")"
ln -s "$work/B/server" "$web"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/web" "$port" >"$work/http.log" 2>&1 &
server_pid=$!
export ORV_TEST_UPDATE_BASE_URL="http://127.0.0.1:$port/delmora/resource/cms/article/sub292628/sub305867/"
{
  printf '<html><head><script>\nvar answers = { ConfirmUpdate: ["true"], ConfirmCloseIe: ["true"] };\n'
  cat tests/updater/updater_page.js
  printf '</script></head><body></body></html>\n'
} >"$inst/updater_page.html"
(cd "$inst" && wine OrvalinexCore.exe -nokey >/dev/null 2>&1 </dev/null &)
updated() { [ "$(reg_value Version)" = "$B" ] && grep -q "ConfirmUpdateComplete|$B" "$inst/page.log" 2>/dev/null; }
if wait_for 240 updated; then
  wait_for 30 running 'OrvalinexCore.exe'
  fetched=$(grep -c 'GET .*sub305867' "$work/http.log")
  step "update to B" "server $ORV_TEST_UPDATE_BASE_URL: $fetched fetches; ConfirmUpdate answered yes; installer ran; Version=$(reg_value Version); page: ConfirmUpdateComplete|$B"
  w "$root/build/win64/tools/manifest/manifest.exe" check 'C:\Program Files\Orvalinex'
  if cmp -s "$work/B/stage/Digest.xml" "$inst/Digest.xml" && grep -qx intact <(tr -d '\r' <"$work/out"); then
    step "installation after B" "B's Digest.xml installed, intact; core host running again: $(running 'OrvalinexCore.exe' && echo yes || echo no)"
  else bad "installation after B" "$(tr -d '\r' <"$work/out" | tail -n1)"; fi
else
  bad "update to B" "Version=$(reg_value Version); page calls: $(tr '\n' ';' <"$inst/page.log" 2>/dev/null)"
fi
end_programs

# An altered installed file: the core host says the installation is incomplete and hands it to
# the updater with -lostfile, which fetches the installed version again and repairs it.
cp "$inst/index.htm" "$work/index.htm"
printf '<!-- altered -->\n' >>"$inst/index.htm"
(cd "$inst" && wine OrvalinexCore.exe -nokey >/dev/null 2>&1 </dev/null &)
box=""
find_box() { box=$(xdotool search --name 'Delmora网银助手' 2>/dev/null | head -n1); [ -n "$box" ]; }
if wait_for 60 find_box; then
  running 'OrvalinexTray.exe' && bad "altered file" "the notifier started: the check passed"
  xdotool key --window "$box" Return 2>/dev/null
  if wait_for 30 running 'OrvalinexUpdate.exe -lostfile'; then
    step "altered file" "integrity check failed: message box shown, updater started with -lostfile"
  else bad "altered file" "no updater with -lostfile: $(processes | tr '\n' ';')"; fi
else bad "altered file" "no message box within 60 s"; fi
repaired() { [ "$(grep -c "ConfirmUpdateComplete|$B" "$inst/page.log" 2>/dev/null)" -ge 2 ]; }
if wait_for 240 repaired; then
  wait_for 30 running 'OrvalinexCore.exe'
  w "$root/build/win64/tools/manifest/manifest.exe" check 'C:\Program Files\Orvalinex'
  if grep -qx intact <(tr -d '\r' <"$work/out") && cmp -s "$work/B/stage/index.htm" "$inst/index.htm"; then
    step "repair" "page: ConfirmUpdate|lostfile answered yes, ConfirmUpdateComplete|$B; installation intact; core host running again: $(running 'OrvalinexCore.exe' && echo yes || echo no)"
  else bad "repair" "$(tr -d '\r' <"$work/out" | tail -n1)"; fi
else bad "repair" "page calls: $(tr '\n' ';' <"$inst/page.log" 2>/dev/null)"; fi
end_programs

# A network attacker alters B's setup program on its way: the updater, asked to repair, fetches
# it, finds it differs from the signed digest and runs nothing. RetryTimes 7 would be put back to
# 0 by any installer run.
cp -r "$work/B/server" "$work/tampered"
setup=$(find "$work/tampered" -name OrvalinexSetup.exe | head -n1)
printf 'MZ altered by the network' >"$setup"
rm "$web"; ln -s "$work/tampered" "$web"
w reg add 'HKLM\SOFTWARE\Halvenor\DovAZ\Orvalinex' /v RetryTimes /t REG_DWORD /d 7 /f /reg:32
: >"$inst/page.log"
(cd "$inst" && wine OrvalinexUpdate.exe -lostfile >/dev/null 2>&1 </dev/null &)
refused() { grep -q 'ConfirmRetry|downloadNewFiles' "$inst/page.log" 2>/dev/null; }
if wait_for 240 refused; then
  w "$root/build/win64/tools/manifest/manifest.exe" check 'C:\Program Files\Orvalinex'
  tr -d '\r' <"$work/out" >"$work/check"
  retry=$(reg_value RetryTimes)
  if [ "$retry" = 0x7 ] && grep -qx intact "$work/check" &&
     ! grep -q 'ConfirmUpdateComplete' "$inst/page.log"; then
    step "tampered download" "page: ConfirmRetry|downloadNewFiles; the setup program never ran (RetryTimes still 7); installation intact"
  else bad "tampered download" "RetryTimes=$retry; $(tail -n1 "$work/check"); page: $(tr '\n' ';' <"$inst/page.log")"; fi
else bad "tampered download" "page calls: $(tr '\n' ';' <"$inst/page.log" 2>/dev/null)"; fi
end_programs
unset ORV_TEST_UPDATE_BASE_URL

# Uninstall: the uninstaller runs from a copy in the temp folder; wait for its work.
wine 'C:\Program Files\Orvalinex\uninstall.exe' /S >/dev/null 2>&1 </dev/null
wait_for 60 test ! -e "$inst/OrvalinexCore.exe"
left=$(find "$inst" -type f 2>/dev/null | wc -l)
w reg query 'HKLM\SOFTWARE\Halvenor\DovAZ\Orvalinex' /reg:32; key=$?
w reg query 'HKCR\CLSID\{EF75B357-42E9-46BF-B124-DEE22748D503}'; ctl=$?
if [ "$key" -ne 0 ] && [ "$ctl" -ne 0 ]; then
  step "uninstall" "settings key removed, control unregistered, $left files left (what the test builds wrote)"
else bad "uninstall" "settings key $([ $key -eq 0 ] && echo present), control $([ $ctl -eq 0 ] && echo registered)"; fi

[ $failed -eq 0 ] && echo "life: every step succeeded" || { echo "life: a step failed"; exit 1; }
