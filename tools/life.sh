#!/usr/bin/env bash
# The product's life under Wine, as customers get it: the x86 installer with the 32-bit programs.
# Publishes the development releases A (1.1.19.1223) and B (1.2.0.0), Authenticode-signed with a
# throw-away certificate, installs A silently into a fresh prefix and checks the settings, files,
# shortcuts, token control and signatures; starts the core host (its integrity check passes, the
# page's round trip through Lua answers, the tray notifier runs); lets the core host's AutoUpdate
# start of the updater find B on a loopback HTTP server: B's minor number is above the updater's,
# so the updater hands over to B's updater, which completes the update; refuses A's installer
# over B; alters an installed file (the check fails and hands the installation to the updater
# with -lostfile, which repairs it without a hand-over); alters B's installer on the server as a
# network attacker would (the updater refuses it and runs nothing); runs an installer while a
# program holds an installed file open and one whose control cannot be registered (each fails,
# puts back what it replaced and keeps Version) and B's again (an equal version repairs); and
# uninstalls while the programs run. One line per step with its evidence.
# Under Wine the core host and the updater are their test builds (the stand-in page: Wine cannot
# render their real pages), installed under the shipped names; the core host's page and
# configuration are the ones of tests/installer/life_content, which record the round trip.
# Where Wine cannot run 32-bit programs (no wine32), the life runs the amd64 build of the same
# sources (build/win64, an amd64 installer) and says so.
# usage: tools/life.sh [--no-build] [--build-dir DIR]
#   --no-build   use the programs already built
#   --build-dir  the 32-bit build to use (default build/win32); no bootstrap then
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. tools/wine-env.sh
build_opt="" bld=$root/build/win32 bootstrap=1
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build_opt=--no-build bootstrap=0; shift;;
    --build-dir) bld=$(cd "$2" && pwd) bootstrap=0; shift 2;;
    *) sed -n '19,21p' "${BASH_SOURCE[0]}" | sed 's/^# //' >&2; exit 2;;
  esac
done
A=1.1.19.1223 B=1.2.0.0
arch=x86 pe='^PE32 executable (GUI) Intel 80386'
if [ "$(basename "$bld")" = win64 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  arch=amd64 pe='^PE32+ executable (GUI) x86-64' bld=$(dirname "$bld")/win64
fi
work=$root/build/life
rm -rf "$work"; mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  orv_stop_display
}
trap cleanup EXIT
failed=0
step() { printf '%-28s %s\n' "$1:" "$2"; }
bad() { step "$1" "FAILED: $2"; failed=1; }
die() { bad "$1" "$2"; echo "life: stopped"; exit 1; }
check() {  # check NAME EVIDENCE COMMAND...: one line, FAILED unless the command succeeds
  local name=$1 evidence=$2; shift 2
  if "$@"; then step "$name" "$evidence"; else bad "$name" "$evidence"; fi
}

# --- what the life runs: the manifest tool (natively and as the 32-bit program) ------------------
if [ $bootstrap -eq 1 ]; then bash tools/bootstrap.sh >/dev/null || die "bootstrap" "tools/bootstrap.sh failed"; fi
[ $arch = x86 ] || step "32-bit Wine" "missing here (/usr/lib/wine/wine does not run): the life runs the amd64 build, $bld"
tool=$root/build/native/tools/manifest/manifest
wintool=$bld/tools/manifest/manifest.exe
if [ -z "$build_opt" ]; then
  [ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
  [ -f "$bld/CMakeCache.txt" ] || cmake --preset "$(basename "$bld")" -B "$bld" >/dev/null
  cmake --build build/native --target manifest >"$work/build.log" 2>&1 &&
    cmake --build "$bld" --target manifest file_holder >>"$work/build.log" 2>&1 ||
    { tail -n 30 "$work/build.log"; die "build" "the manifest tool or the file holder did not build"; }
fi
[ -x "$tool" ] && [ -f "$wintool" ] || die "build" "no manifest tool in build/native and $bld"

# --- releases A and B: development releases for Wine, signed with a throw-away certificate ------
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.pem" -days 2 \
  -subj "/CN=Delmora life test code signing" -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=digitalSignature" >/dev/null 2>&1 || die "signing certificate" "openssl req failed"
content=$root/tests/installer/life_content
release() {  # release VERSION: published into $work/VERSION
  bash tools/release.sh "$1" --dev --wine --arch $arch $build_opt --build-dir "$bld" \
    --content "$content" --out "$work/$1" --sign-cert "$work/sign.pem" --sign-key "$work/sign.key" \
    >"$work/release-$1.log" 2>&1 || { cat "$work/release-$1.log"; die "publish $1" "the release tool refused or failed"; }
}
release $A
step "publish A" "$(grep -c '<File ' "$work/$A/server-DEVELOPMENT/Digest.xml") files on the server, $(tail -n1 "$work/release-$A.log")"
release $B
step "publish B" "$(tail -n1 "$work/release-$B.log")"
check "development release" "$(grep -m1 'DEVELOPMENT:' "$work/release-$B.log" | sed 's/^ *//'); server folder server-DEVELOPMENT" \
  test -d "$work/$B/server-DEVELOPMENT"
check "Wine mode" "OrvalinexCore.exe and OrvalinexUpdate.exe are the test builds with the stand-in page, the release tool says" \
  grep -q 'Wine mode: OrvalinexCore.exe and OrvalinexUpdate.exe are the test builds' "$work/release-$B.log"
versions=$(for f in "$work/$B/stage/"*.exe "$work/$B/stage/"*.dll; do "$tool" updater-facts "$f" | sed -n 's/^version //p'; done | sort -u | tr '\n' ' ')
check "stamped versions" "every program and library of B: ${versions% }" test "$versions" = "$B "
file -b "$work/$A/OrvalinexSetup.exe" >"$work/type"
check "$arch installer" "$(cut -d, -f1-2 "$work/type")" grep -q "$pe" "$work/type"
verified() { osslsigncode verify -CAfile "$work/sign.pem" -in "$1" >/dev/null 2>&1; }
unsigned=$(for f in "$work/$B/stage/"*.exe "$work/$B/stage/"*.dll "$work/$B/OrvalinexSetup.exe"; do
  verified "$f" || basename "$f"; done)
check "Authenticode" "osslsigncode verify: the 6 programs and libraries and the installer of B${unsigned:+; not verified: $unsigned}" test -z "$unsigned"

# --- a fresh prefix and display -----------------------------------------------------------------
orv_start_display
orv_make_prefix "$WINEPREFIX"
step "fresh prefix" "$WINEPREFIX on display $DISPLAY"

# Wine's output goes to files: a pipe would be held open by Wine's services.
w() { wine "$@" >"$work/out" 2>/dev/null </dev/null; }
key_path='HKLM\SOFTWARE\Halvenor\DovAZ\Orvalinex'
reg_value() {  # reg_value NAME [VIEW]: the data of the product key's value
  w reg query "$key_path" /v "$1" "/reg:${2:-32}" || return 0
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
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.2; done
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
setup() { local rc=0; timeout 300 wine "$@" >/dev/null 2>&1 </dev/null || rc=$?; echo $rc; }
intact() { w "$wintool" check 'C:\Program Files\Orvalinex'; tr -d '\r' <"$work/out" >"$work/check"; grep -qx intact "$work/check"; }
start_core() { (cd "$inst" && wine OrvalinexCore.exe -nokey >/dev/null 2>&1 </dev/null &); }
inst=$WINEPREFIX/drive_c/Program\ Files/Orvalinex
version_of() { "$tool" updater-facts "$1" 2>/dev/null | sed -n 's/^version //p'; }

# --- install A ----------------------------------------------------------------------------------
rc=$(setup "$work/$A/OrvalinexSetup.exe" /S)
[ "$rc" -eq 0 ] || die "install A" "installer exit code $rc"
step "install A" "OrvalinexSetup.exe /S ($arch): exit code 0"
settings="Path=$(reg_value Path) Version=$(reg_value Version) AutoUpdate=$(reg_value AutoUpdate) LangID=$(reg_value LangID) RetryTimes=$(reg_value RetryTimes)"
check "settings (32-bit view)" "$settings; 64-bit view: $(reg_value Path 64)" \
  test "$settings $(reg_value Path 64)" = "Path=C:\\Program Files\\Orvalinex Version=$A AutoUpdate=0x1 LangID=0x804 RetryTimes=0x0 "
different=$(cd "$work/$A/stage" && find . -type f | sed 's|^\./||' | while read -r f; do cmp -s "$f" "$inst/$f" || echo "$f"; done)
check "installed files" "$(cd "$work/$A/stage" && find . -type f | wc -l) staged files installed byte for byte${different:+; differ: $different}" test -z "$different"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Delmora网银助手"
check "shortcuts" "Start menu and desktop: Delmora网银助手.lnk" \
  test -f "$menu/Delmora网银助手.lnk" -a -f "$WINEPREFIX/drive_c/users/Public/Desktop/Delmora网银助手.lnk"
check "signed uninstaller" "uninstall.exe written by the installer: osslsigncode verify ok" \
  verified "$inst/uninstall.exe"
clsid='{EF75B357-42E9-46BF-B124-DEE22748D503}'
w reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve
registered=$(tr -d '\r' <"$work/out" | grep -o 'C:\\Program Files\\Orvalinex\\OstwinAutoCtrl.dll')
printf 'var c = new ActiveXObject("OstwinAutoCtrl.OstwinCtrl");\nWScript.Echo("created " + typeof c);\n' >"$work/create.js"
w cscript //nologo "$(winepath -w "$work/create.js" 2>/dev/null)"
created=$(tr -d '\r' <"$work/out")
check "token control" "registered at ${registered:-nothing}; a script client: $created" \
  test -n "$registered" -a "$created" = "created object"
if intact; then step "integrity check" "$(grep -c '^Unchanged' "$work/check") listed files Unchanged, intact"
else bad "integrity check" "$(tail -n1 "$work/check")"; fi

# --- the core host's start: the integrity check passes, so the main window's set-up starts the
# notifier, and AutoUpdate 1 starts the updater without arguments (no server: it ends) ----------
start_core
if wait_for 60 running 'OrvalinexTray.exe'; then
  wait_for 30 running 'OrvalinexUpdate.exe'
  updater=$(processes | grep 'OrvalinexUpdate.exe' | head -n1)
  step "core host start" "integrity check passed: notifier started; updater started as \"${updater% }\" (AutoUpdate 1)"
  if wait_for 30 grep -qx 'echo:life' "$inst/roundtrip.log"; then
    step "page round trip" "page -> Lua Echo -> CallJsFunc OnEcho -> Lua Record: \"$(head -n1 "$inst/roundtrip.log" | tr -d '\r')\""
  else bad "page round trip" "no answer recorded in roundtrip.log"; fi
  check "tray notifier" "running: $(processes | grep 'OrvalinexTray.exe' | head -n1)" running 'OrvalinexTray.exe'
else bad "core host start" "no notifier within 60 s: $(processes | tr '\n' ';')"; fi
end_programs
step "programs ended" "with -t: $(processes | wc -l) product processes left"

# --- B on a loopback HTTP server. The updater's test build takes the server from
# ORV_TEST_UPDATE_BASE_URL, and its stand-in page answers the update question with yes ----------
web=$work/web/delmora/resource/cms/article/sub292628/sub305867
mkdir -p "$(dirname "$web")"
ln -s "$work/$B/server-DEVELOPMENT" "$web"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/web" "$port" >"$work/http.log" 2>&1 &
server_pid=$!
export ORV_TEST_UPDATE_BASE_URL="http://127.0.0.1:$port/delmora/resource/cms/article/sub292628/sub305867/"
{
  printf '<html><head><script>\nvar answers = { ConfirmUpdate: ["true"], ConfirmCloseIe: ["true"] };\n'
  cat tests/updater/updater_page.js
  printf '</script></head><body></body></html>\n'
} >"$inst/updater_page.html"
temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp 2>/dev/null | grep -v /Public/ | head -n1)  # %TEMP%
seen=$work/updaters-seen
# While waiting, the updaters' command lines are noted: the hand-over shows as -newloader.
note_updaters() { processes | grep 'OrvalinexUpdate.exe' >>"$seen"; }
updated() { note_updaters; [ "$(reg_value Version)" = "$B" ] && grep -q "ConfirmUpdateComplete|$B" "$inst/page.log" 2>/dev/null; }
w reg add "$key_path" /v RetryTimes /t REG_DWORD /d 3 /f /reg:32
start_core
if wait_for 240 updated; then
  wait_for 30 running 'OrvalinexCore.exe'
  fetched=$(grep -c 'GET .*sub305867' "$work/http.log")
  step "update to B" "server $ORV_TEST_UPDATE_BASE_URL: $fetched fetches; ConfirmUpdate answered yes; installer ran; Version=$(reg_value Version); RetryTimes=$(reg_value RetryTimes); page: ConfirmUpdateComplete|$B"
  check "hand-over to B's updater" "server minor above A's updater $A: fetched $(ls "$temp" | grep -x OrvalinexUpdate.exe), started \"$(grep -m1 -o 'OrvalinexUpdate.exe -newloader' "$seen")\", which completed; installed updater now $(version_of "$inst/OrvalinexUpdate.exe"), no .old left" \
    test -f "$temp/OrvalinexUpdate.exe" -a ! -e "$inst/OrvalinexUpdate.exe.old" -a "$(version_of "$inst/OrvalinexUpdate.exe")" = "$B" -a "$(reg_value RetryTimes)" = 0x0
  grep -q -- '-newloader' "$seen" || bad "hand-over to B's updater" "no updater with -newloader seen"
  if cmp -s "$work/$B/stage/Digest.xml" "$inst/Digest.xml" && intact; then
    step "installation after B" "B's Digest.xml installed, intact; core host running again: $(running 'OrvalinexCore.exe' && echo yes || echo no)"
  else bad "installation after B" "$(tail -n1 "$work/check")"; fi
else
  bad "update to B" "Version=$(reg_value Version); page calls: $(tr '\n' ';' <"$inst/page.log" 2>/dev/null); updaters: $(sort -u "$seen" | tr '\n' ';')"
fi
end_programs

# --- A's installer over B: a newer installed version is left alone ------------------------------
rc=$(setup "$work/$A/OrvalinexSetup.exe" /S)
check "older installer refused" "A's installer /S over B: exit code $rc, Version=$(reg_value Version)" \
  test "$rc" = 4 -a "$(reg_value Version)" = "$B"

# --- an altered installed file: the core host says the installation is incomplete and hands it to
# the updater with -lostfile, which fetches the installed version again and repairs it; at the
# same version the updater keeps itself (no hand-over moves the fetched loader aside) ------------
rm -f "$temp/Temp_OrvalinexUpdate.exe"; : >"$seen"
printf '<!-- altered -->\n' >>"$inst/index.htm"
start_core
box=""
find_box() { box=$(xdotool search --name 'Delmora网银助手' 2>/dev/null | head -n1); [ -n "$box" ]; }
if wait_for 60 find_box; then
  running 'OrvalinexTray.exe' && bad "altered file" "the notifier started: the check passed"
  xdotool key --window "$box" Return 2>/dev/null
  if wait_for 30 running 'OrvalinexUpdate.exe -lostfile'; then
    step "altered file" "integrity check failed: message box shown, updater started with -lostfile"
  else bad "altered file" "no updater with -lostfile: $(processes | tr '\n' ';')"; fi
else bad "altered file" "no message box within 60 s"; fi
repaired() { note_updaters; [ "$(grep -c "ConfirmUpdateComplete|$B" "$inst/page.log" 2>/dev/null)" -ge 2 ]; }
if wait_for 240 repaired; then
  wait_for 30 running 'OrvalinexCore.exe'
  if intact && cmp -s "$work/$B/stage/index.htm" "$inst/index.htm"; then
    step "repair" "page: ConfirmUpdate|lostfile answered yes, ConfirmUpdateComplete|$B; installation intact; core host running again: $(running 'OrvalinexCore.exe' && echo yes || echo no)"
  else bad "repair" "$(tail -n1 "$work/check")"; fi
  check "repair without hand-over" "updater $B at $B: no -newloader, no fetched loader moved aside" \
    test -f "$temp/OrvalinexUpdate.exe" -a ! -e "$temp/Temp_OrvalinexUpdate.exe" -a -z "$(grep -- '-newloader' "$seen")"
else bad "repair" "page calls: $(tr '\n' ';' <"$inst/page.log" 2>/dev/null)"; fi
end_programs

# --- a network attacker alters B's setup program on its way: the updater, asked to repair,
# fetches it, finds it differs from the signed digest and runs nothing. RetryTimes 7 would be put
# back to 0 by any installer run -------------------------------------------------------------
cp -r "$work/$B/server-DEVELOPMENT" "$work/tampered"
printf 'MZ altered by the network' >"$work/tampered/setup/OrvalinexSetup.exe"
rm "$web"; ln -s "$work/tampered" "$web"
w reg add "$key_path" /v RetryTimes /t REG_DWORD /d 7 /f /reg:32
: >"$inst/page.log"
(cd "$inst" && wine OrvalinexUpdate.exe -lostfile >/dev/null 2>&1 </dev/null &)
refused() { grep -q 'ConfirmRetry|downloadNewFiles' "$inst/page.log" 2>/dev/null; }
if wait_for 240 refused; then
  retry=$(reg_value RetryTimes)
  if [ "$retry" = 0x7 ] && intact && ! grep -q 'ConfirmUpdateComplete' "$inst/page.log"; then
    step "tampered download" "page: ConfirmRetry|downloadNewFiles; the setup program never ran (RetryTimes still 7); installation intact"
  else bad "tampered download" "RetryTimes=$retry; $(tail -n1 "$work/check"); page: $(tr '\n' ';' <"$inst/page.log")"; fi
else bad "tampered download" "page calls: $(tr '\n' ';' <"$inst/page.log" 2>/dev/null)"; fi
end_programs
unset ORV_TEST_UPDATE_BASE_URL

# --- an installer that fails does no damage: a file held open by a running program stops it
# (exit code 2, nothing registered after it), a control that cannot be registered fails it (3);
# each time it puts back the files it replaced and the old control's registration, and B runs on
# under its Version. B's own installer at the installed version repairs ---------------------------
cp -r "$work/$B/stage" "$work/broken"
printf 'not a library' >"$work/broken/OstwinAutoCtrl.dll"
bash installer/build-installer.sh "$work/broken" 1.2.0.1 $arch "$work/broken-setup.exe" >/dev/null
windows_path() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
after_failure() {  # what a failed installer left: B's files, intact, and B's control registered
  intact && cmp -s "$work/$B/stage/OstwinAutoCtrl.dll" "$inst/OstwinAutoCtrl.dll" ||
    { echo "damaged: $(tail -n1 "$work/check")"; return; }
  w cscript //nologo "$(windows_path "$work/create.js")"
  echo "files put back, intact; a script client: $(tr -d '\r' <"$work/out")"
}
undamaged="files put back, intact; a script client: created object"
timeout 360 wine "$bld/tests/installer/file_holder.exe" "$(windows_path "$inst/index.htm")" \
  "$(windows_path "$work/held")" "$(windows_path "$work/let-go")" >/dev/null 2>&1 </dev/null &
holder=$!
if wait_for 60 test -e "$work/held"; then
  rc=$(setup "$work/broken-setup.exe" /S)
  : >"$work/let-go"; wait $holder
  left=$(after_failure)
  check "file held open" "1.2.0.1's installer while a program holds index.htm: exit code $rc, Version=$(reg_value Version); $left" \
    test "$rc" = 2 -a "$(reg_value Version)" = "$B" -a "$left" = "$undamaged"
else bad "file held open" "no program held index.htm within 60 s"; : >"$work/let-go"; fi
rc=$(setup "$work/broken-setup.exe" /S)
left=$(after_failure)
check "failed registration" "1.2.0.1's installer with a broken control: exit code $rc, Version=$(reg_value Version); $left (B's control registered again)" \
  test "$rc" = 3 -a "$(reg_value Version)" = "$B" -a "$left" = "$undamaged"
rc=$(setup "$work/$B/OrvalinexSetup.exe" /S)
check "equal version repairs" "B's installer /S over B: exit code $rc; $(intact && echo intact || tail -n1 "$work/check")" \
  test "$rc" = 0 -a "$(tail -n1 "$work/check")" = intact

# --- uninstall while the programs run: the uninstaller ends them with -t and removes everything;
# it runs from a copy in the temp folder and returns at once: wait for its work -----------------
start_core
wait_for 60 running 'OrvalinexTray.exe'
before=$(processes | wc -l)
printf 'retired' >"$inst/OrvalinexUpdate.exe.old"
wine 'C:\Program Files\Orvalinex\uninstall.exe' /S >/dev/null 2>&1 </dev/null
wait_for 60 test ! -e "$inst/uninstall.exe"
wait_for 30 none_running
left=$( (cd "$inst" 2>/dev/null && find . -type f | sed 's|^\./||') | grep -vxE 'navigate\.log|roundtrip\.log|page\.log|updater_page\.html' | tr '\n' ' ')
check "uninstall: programs" "$before product processes running before, $(processes | wc -l) after" none_running
check "uninstall: files" "every installed file and OrvalinexUpdate.exe.old gone${left:+; left: $left} (what the test builds wrote stays)" test -z "$left"
w reg query 'HKLM\SOFTWARE\Halvenor' /reg:32; settings_rc=$?
w reg query "HKCR\\CLSID\\$clsid"; control_rc=$?
w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvalinex' /reg:32; entry_rc=$?
check "uninstall: registry" "settings key and its empty parents, the control's class and the programs-list entry gone" \
  test $settings_rc -ne 0 -a $control_rc -ne 0 -a $entry_rc -ne 0
check "uninstall: shortcuts" "Start menu folder and desktop shortcut gone" \
  test ! -e "$WINEPREFIX/drive_c/users/Public/Desktop/Delmora网银助手.lnk" -a ! -e "$menu"

[ $failed -eq 0 ] && echo "life: every step succeeded" || { echo "life: a step failed"; exit 1; }
