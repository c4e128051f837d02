#!/usr/bin/env bash
# The product's life under Wine, as customers get it: the x86 installer with the 32-bit programs.
# Publishes the development releases A (1.1.19.1223) and B (1.2.0.0), Authenticode-signed with a
# throw-away certificate, installs A silently into a fresh prefix and checks the settings, files,
# the installed folder's DACL read back, the programs-list entry ("_?="), shortcuts, token control
# and signatures; starts the core host (its integrity check passes, the page's round trip through
# Lua answers, the tray notifier runs); lets the core host's AutoUpdate start of the updater find
# B on a loopback nginx with the update server's configuration (tools/serve.sh): B's minor number
# is above the updater's, so the updater hands over to B's updater, which completes the update;
# refuses A's installer over B; alters an installed file (the check fails and hands the
# installation to the updater with -lostfile, which repairs it without a hand-over); alters B's
# installer on the server as a network attacker would (its trusted hash refuses it and runs
# nothing); lets B's timestamp expire (refused, nothing runs) until the daily refresh; runs an
# installer while a program holds an installed file open and one whose control cannot be
# registered (each fails, puts back what it replaced, keeps Version and names its code in its
# log) and B's again (an equal version repairs); refuses an installer while another holds the
# setup mutex; uninstalls while the programs run (the logs go too); refuses an installation on a
# network share. One line per step with its evidence; a step that needs what an earlier one could
# not give says so on its line at once.
# Under Wine the core host and the updater are their test builds (the stand-in page: Wine cannot
# render their real pages), installed under the shipped names; the core host's page and
# configuration are the ones of tests/installer/life_content, which record the round trip.
# Where Wine cannot run 32-bit programs (no wine32), the life runs the amd64 build of the same
# sources (build/win64, an amd64 installer) and says so. What differs between the two lives is
# the data of orv_build_bits (tools/wine-env.sh); the installation folder is the one the
# installed product's Path value names.
# usage: tools/life.sh [--no-build] [--build-dir DIR]
#   --no-build   use the programs already built
#   --build-dir  the build to use (build/win32 or build/win64; default: the build Wine runs
#                here, build/win32 where it runs 32-bit programs); no bootstrap then
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. tools/wine-env.sh
. tools/programs.sh
. tools/serve.sh
# The product's programs (programs.txt's .exe rows, in their order): what the life looks for
# among the running processes and ends.
mapfile -t product_programs < <(orv_executables)
product_pattern=$(printf '%s\n' "${product_programs[@]}" | sed 's/\./\\./g' | paste -sd'|')
build_opt="" bld="" bootstrap=1
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build_opt=--no-build bootstrap=0; shift;;
    --build-dir) bld=$(cd "$2" && pwd) bootstrap=0; shift 2;;
    *) sed -n '/^# usage:/,/^#  *here, /p' "${BASH_SOURCE[0]}" | sed 's/^# //' >&2; exit 2;;
  esac
done
A=1.1.19.1223 B=1.2.0.0
work=$root/build/life
rm -rf "$work"; mkdir -p "$work"
export WINEPREFIX=$work/prefix
orv_wine_defaults
failed=0
step() { printf '%-28s %s\n' "$1:" "$2"; }
bad() { step "$1" "FAILED: $2"; failed=1; }
die() { bad "$1" "$2"; echo "life: stopped"; exit 1; }
check() {  # check NAME EVIDENCE COMMAND...: one line, FAILED unless the command succeeds
  local name=$1 evidence=$2; shift 2
  if "$@"; then step "$name" "$evidence"; else bad "$name" "$evidence"; return 1; fi
}

# Steps that need what an earlier step gives (a release, the installation, a running core
# host, ...) run only when it gave it; otherwise their line says why at once, instead of
# waiting out their bounds for evidence that cannot come.
declare -A given=() missing=()
# life_step NAME NEEDS GIVES FUNCTION: the function prints the step's line (given the name)
# and succeeds when it gives GIVES ("-": nothing).
life_step() {
  local name=$1 needs=$2 gives=$3 fn=$4 need
  for need in $needs; do
    if [ -z "${given[$need]:-}" ]; then
      bad "$name" "not run: ${missing[$need]:-no step gave $need}"
      missing[$gives]=${missing[$need]:-no step gave $need}
      return
    fi
  done
  if "$fn" "$name"; then given[$gives]=1; else missing[$gives]="$name failed"; fi
}

# --- the build this life runs: chosen after the bootstrap, which installs Wine's 32-bit half
# where the machine runs 32-bit programs --------------------------------------------------------
if [ $bootstrap -eq 1 ]; then bash tools/bootstrap.sh >/dev/null || die "bootstrap" "tools/bootstrap.sh failed"; fi
bld=$(orv_life_build "${bld:-$root/build/$(orv_windows_test_build)}")
orv_build_bits "$(basename "$bld")" || die "build" "$bld is neither a win32 nor a win64 build"
[ "$(orv_windows_test_build)" = win32 ] ||
  step "32-bit Wine" "missing here (Wine runs no 32-bit programs): the life runs the amd64 build, $bld"
tool=$root/build/native/tools/manifest/manifest
wintool=$bld/tools/manifest/manifest.exe
probe=$bld/tests/installer/setup_probe.exe
content=$root/tests/installer/life_content

# --- what the life runs: the manifest tool (natively and as a program of the build) ----------
build_tools() {
  if [ -z "$build_opt" ]; then
    [ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
    [ -f "$bld/CMakeCache.txt" ] || cmake --preset "$orv_build" -B "$bld" >/dev/null
    if ! { cmake --build build/native --target manifest &&
           cmake --build "$bld" --target manifest file_holder setup_probe; } >"$work/build.log" 2>&1; then
      bad "$1" "the manifest tool or the file holder did not build: $(tail -n1 "$work/build.log"); log: $work/build.log"
      return 1
    fi
  fi
  check "$1" "the manifest tool, native and $orv_build" test -x "$tool" -a -f "$wintool"
}

# --- releases A and B: development releases for Wine, signed with a throw-away certificate ------
make_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.pem" -days 2 \
    -subj "/CN=Delmora life test code signing" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=digitalSignature" >"$work/openssl.log" 2>&1
  check "$1" "a throw-away code-signing certificate, $work/sign.pem" test -s "$work/sign.pem"
}
publish() {  # publish NAME VERSION: published into $work/VERSION
  local log=$work/release-$2.log
  if ! bash tools/release.sh "$2" --dev --wine --arch "$orv_arch" $build_opt --build-dir "$bld" \
         --content "$content" --out "$work/$2" --sign-cert "$work/sign.pem" \
         --sign-key "$work/sign.key" >"$log" 2>&1; then
    # Its own last word, not whatever the shell printed after it on its way out.
    bad "$1" "the release tool refused or failed: $( { grep '^release: ' "$log" || tail -n1 "$log"; } | tail -n1); log: $log"
    return 1
  fi
  step "$1" "$(grep -c '<File ' "$work/$2/server-DEVELOPMENT/Digest.xml") files on the server, $(tail -n1 "$log")"
}
publish_a() { publish "$1" $A; }
publish_b() { publish "$1" $B; }
development_release() {
  check "$1" "$(grep -m1 'DEVELOPMENT:' "$work/release-$B.log" | sed 's/^ *//'); server folder server-DEVELOPMENT" \
    test -d "$work/$B/server-DEVELOPMENT"
}
wine_mode() {
  check "$1" "OrvalinexCore.exe and OrvalinexUpdate.exe are the test builds with the stand-in page, the release tool says" \
    grep -q 'Wine mode: OrvalinexCore.exe and OrvalinexUpdate.exe are the test builds' "$work/release-$B.log"
}
stamped_versions() {
  local f versions
  versions=$(for f in "$work/$B/stage/"*.exe "$work/$B/stage/"*.dll; do version_of "$f"; done | sort -u | tr '\n' ' ')
  check "$1" "every program and library of B: ${versions% }" test "$versions" = "$B "
}
installer_type() {
  file -b "$work/$A/OrvalinexSetup.exe" >"$work/type"
  check "$1" "$(cut -d, -f1-2 "$work/type")" grep -q "^$orv_pe" "$work/type"
}
verified() { osslsigncode verify -CAfile "$work/sign.pem" -in "$1" >/dev/null 2>&1; }
authenticode() {
  local f unsigned
  unsigned=$(for f in "$work/$B/stage/"*.exe "$work/$B/stage/"*.dll "$work/$B/OrvalinexSetup.exe"; do
    verified "$f" || basename "$f"; done)
  check "$1" "osslsigncode verify: the 6 programs and libraries and the installer of B${unsigned:+; not verified: $unsigned}" \
    test -z "$unsigned"
}

# --- a fresh prefix and display, ended with the life --------------------------------------------
fresh_prefix() {
  orv_start_display || { bad "$1" "Xvfb did not start"; return 1; }
  orv_on_exit orv_end_prefix "$WINEPREFIX"  # (before the display ends)
  orv_make_prefix "$WINEPREFIX"
  temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp 2>/dev/null | grep -v /Public/ | head -n1)  # %TEMP%
  check "$1" "$WINEPREFIX on display $DISPLAY" test -d "$temp"
}

# Wine's output goes to files: a pipe would be held open by Wine's services.
w() { "$@" >"$work/out" 2>/dev/null </dev/null; }
key_path='HKLM\SOFTWARE\Halvenor\DovAZ\Orvalinex'
reg_value() {  # reg_value NAME [VIEW]: the data of the product key's value
  w orv_system_program reg query "$key_path" /v "$1" "/reg:${2:-32}" || return 0
  tr -d '\r' <"$work/out" | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# A file of /proc, NULs as new lines; nothing (and no complaint) once the process has ended.
proc_lines() { { tr '\0' '\n' <"/proc/$1/$2"; } 2>/dev/null; }
# Command lines of this prefix's processes whose program is one of the product's.
processes() {
  local pid line program first
  for pid in $(pgrep -f "$product_pattern"); do
    first=$(proc_lines "$pid" cmdline | head -n1)
    for program in "${product_programs[@]}" ""; do [[ -n $program && $first == *"$program" ]] && break; done
    [ -n "$program" ] || continue
    proc_lines "$pid" environ | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    line=$(proc_lines "$pid" cmdline | tr '\n' ' ' | sed 's/ *$//')
    [ -z "$line" ] || echo "$line"
  done
}
wait_for() {  # wait_for SECONDS COMMAND...: true once the command succeeds
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.2; done
}
running() { local list; list=$(processes); grep -q -- "$1" <<<"$list"; }
none_running() { [ -z "$(processes)" ]; }
end_programs() {  # ends the installation's programs with -t, as the notifier's menu does
  local p
  [ -n "$inst" ] || return 0
  for p in "${product_programs[@]}"; do
    (cd "$inst" && timeout 60 wine "$p" -t >/dev/null 2>&1 </dev/null)
  done
  wait_for 30 none_running || true
}
setup() { local rc=0; timeout 300 wine "$@" >/dev/null 2>&1 </dev/null || rc=$?; echo $rc; }
intact() { w wine "$wintool" check "$inst_win"; tr -d '\r' <"$work/out" >"$work/check"; grep -qx intact "$work/check"; }
check_result() { tail -n1 "$work/check" 2>/dev/null || echo "no check ran"; }
start_core() { (cd "$inst" && wine OrvalinexCore.exe -nokey >/dev/null 2>&1 </dev/null &); }
version_of() { "$tool" updater-facts "$1" 2>/dev/null | sed -n 's/^version //p'; }
# A log's lines joined by ";", or what stands for it when the program never wrote it.
lines_of() {
  if [ -f "$1" ]; then tr -d '\r' <"$1" | tr '\n' ';'; else echo "none (no $(basename "$1") written)"; fi
}
count_in() { local n; n=$(grep -c -- "$1" "$2" 2>/dev/null); echo "${n:-0}"; }
inst="" inst_win=""

# --- install A: the installation folder is the one its Path value names ----------------------
install_a() {
  local rc folder
  # The installation folder is there already, and everyone may write in it: the installer's
  # DACL must take that away (folder_dacl).
  folder=$(winepath -u "$(program_files)\\Orvalinex" 2>/dev/null)
  mkdir -p "$folder" && chmod 777 "$folder"
  w wine "$probe" sddl "$(program_files)\\Orvalinex"; sddl_before=$(tr -d '\r' <"$work/out")
  rc=$(setup "$work/$A/OrvalinexSetup.exe" /S)
  [ "$rc" -eq 0 ] || { bad "$1" "installer exit code $rc"; return 1; }
  inst_win=$(reg_value Path)
  [ -n "$inst_win" ] || { bad "$1" "exit code 0, but no Path value in $key_path"; return 1; }
  inst=$(winepath -u "$inst_win" 2>/dev/null); inst=${inst%/}
  check "$1" "OrvalinexSetup.exe /S ($orv_arch): exit code 0; Path=$inst_win" test -f "$inst/OrvalinexCore.exe"
}
# The folder a program of the installer's bitness is given for programs (%ProgramFiles%).
program_files() { w orv_system_program cmd /c echo %ProgramFiles%; tr -d '\r' <"$work/out"; }
settings() {
  local s expected
  s="Path=$(reg_value Path) Version=$(reg_value Version) AutoUpdate=$(reg_value AutoUpdate) LangID=$(reg_value LangID) RetryTimes=$(reg_value RetryTimes)"
  expected="Path=$(program_files)\\Orvalinex Version=$A AutoUpdate=0x1 LangID=0x804 RetryTimes=0x0 "
  check "$1" "$s; 64-bit view: $(reg_value Path 64)" test "$s $(reg_value Path 64)" = "$expected"
}
installed_files() {
  local different
  different=$(cd "$work/$A/stage" && find . -type f | sed 's|^\./||' | while read -r f; do cmp -s "$f" "$inst/$f" || echo "$f"; done)
  check "$1" "$(cd "$work/$A/stage" && find . -type f | wc -l) staged files installed byte for byte${different:+; differ: $different}" \
    test -z "$different"
}
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Delmora网银助手"
desktop_link="$WINEPREFIX/drive_c/users/Public/Desktop/Delmora网银助手.lnk"
shortcuts() {
  check "$1" "Start menu and desktop: Delmora网银助手.lnk" test -f "$menu/Delmora网银助手.lnk" -a -f "$desktop_link"
}
# The installed folder's descriptor as the installer set it, read back by handle. Wine keeps only
# what a Unix mode holds: the owner reads back as the user Wine runs as, the DACL as that user's
# and SYSTEM's full access and Everyone's (WD) rights from the "other" bits. So what can be seen
# is Everyone's write, which the folder had before the installer ran, taken away.
sddl_before=""
folder_dacl() {
  local sddl
  w wine "$probe" sddl "$inst_win"; sddl=$(tr -d '\r' <"$work/out")
  check "$1" "set $(orv_product_text kInstalledFolderSddl); before: ${sddl_before:-nothing}; read back: ${sddl:-nothing}" \
    test -n "$sddl" -a "$sddl" != "$sddl_before" -a -n "$(grep -F '(A;OICI;0x1200a9;;;WD)' <<<"$sddl")" -a -z "$(grep -F '(A;OICI;0x1200a9;;;WD)' <<<"$sddl_before")"
}
# The programs-list entry starts the uninstaller where it stands ("_?="), never from a copy.
uninstall_entry() {
  local entry
  w orv_system_program reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvalinex' /v UninstallString /reg:32
  entry=$(tr -d '\r' <"$work/out" | sed -n 's/^ *UninstallString *REG_SZ *//p')
  check "$1" "UninstallString=$entry" test "$entry" = "\"$inst_win\\uninstall.exe\" _?=$inst_win"
}
signed_uninstaller() {
  check "$1" "uninstall.exe written by the installer: osslsigncode verify ok" verified "$inst/uninstall.exe"
}
# The control is registered in its own bitness's view and created by a script host of that
# bitness, as a page in a browser of that bitness would.
clsid='{EF75B357-42E9-46BF-B124-DEE22748D503}'
token_control() {
  local registered created
  w orv_system_program reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve "/reg:$orv_view"
  registered=$(tr -d '\r' <"$work/out" | grep -oiF "$inst_win\\OstwinAutoCtrl.dll")
  printf 'var c = new ActiveXObject("OstwinAutoCtrl.OstwinCtrl");\nWScript.Echo("created " + typeof c);\n' >"$work/create.js"
  w orv_system_program cscript //nologo "$(winepath -w "$work/create.js" 2>/dev/null)"
  created=$(tr -d '\r' <"$work/out")
  check "$1" "registered at ${registered:-nothing} ($orv_view-bit view); a script client: ${created:-no answer}" \
    test -n "$registered" -a "$created" = "created object"
}
integrity_check() {
  if intact; then step "$1" "$(grep -c '^Unchanged' "$work/check") listed files Unchanged, intact"
  else bad "$1" "$(check_result)"; return 1; fi
}

# --- the core host's start: the integrity check passes, so the main window's set-up starts the
# notifier, and AutoUpdate 1 starts the updater without arguments (no server: it ends) ----------
core_start() {
  local updater
  start_core
  wait_for 60 running 'OrvalinexTray.exe' ||
    { bad "$1" "no notifier within 60 s: $(processes | tr '\n' ';')"; return 1; }
  wait_for 30 running 'OrvalinexUpdate.exe'
  updater=$(processes | grep 'OrvalinexUpdate.exe' | head -n1)
  step "$1" "integrity check passed: notifier started; updater started as \"${updater:-none seen}\" (AutoUpdate 1)"
}
page_round_trip() {
  if wait_for 30 grep -qx 'echo:life' "$inst/roundtrip.log"; then
    step "$1" "page -> Lua Echo -> CallJsFunc OnEcho -> Lua Record: \"$(head -n1 "$inst/roundtrip.log" | tr -d '\r')\""
  else bad "$1" "no answer recorded: $(lines_of "$inst/roundtrip.log")"; return 1; fi
}
tray_notifier() {
  check "$1" "running: $(processes | grep 'OrvalinexTray.exe' | head -n1)" running 'OrvalinexTray.exe'
}
programs_ended() {
  end_programs
  step "$1" "with -t: $(processes | wc -l) product processes left"
}

# --- B on a loopback nginx with the update server's configuration (tools/serve.sh). The
# updater's test build takes the server from ORV_TEST_UPDATE_BASE_URL, and its stand-in page
# answers the update question with yes -----------------------------------------------------------
web=$work/web/delmora/resource/cms/article/sub292628/sub305867
update_server() {
  mkdir -p "$(dirname "$web")"
  ln -s "$work/$B/server-DEVELOPMENT" "$web"
  orv_serve "$work/web" 2>"$work/serve.log" ||
    { bad "$1" "nginx did not start: $(lines_of "$work/serve.log")"; return 1; }
  export ORV_TEST_UPDATE_BASE_URL="$orv_serve_url/delmora/resource/cms/article/sub292628/sub305867/"
  # Wine has no shell window: the updater's test build starts the core host after an update as a
  # child of Wine's desktop process, which stands in for the user's shell.
  export ORV_TEST_SHELL_PROGRAM=explorer.exe
  # A refused attempt's question is answered with quit, so that it ends by itself.
  {
    printf '<html><head><script>\nvar answers = { ConfirmUpdate: ["true"], ConfirmCloseIe: ["true"], ConfirmRetry: ["quit"] };\n'
    cat tests/updater/updater_page.js
    printf '</script></head><body></body></html>\n'
  } >"$inst/updater_page.html"
  step "$1" "nginx at $ORV_TEST_UPDATE_BASE_URL serves B's server folder (tools/nginx/update-server.conf); the stand-in page answers yes"
}
seen=$work/updaters-seen
# While waiting, the updaters' command lines are noted: the hand-over shows as -newloader.
note_updaters() { processes | grep 'OrvalinexUpdate.exe' >>"$seen"; }
updated() { note_updaters; [ "$(reg_value Version)" = "$B" ] && grep -q "ConfirmUpdateComplete|$B" "$inst/page.log" 2>/dev/null; }
update_to_b() {
  : >"$seen"
  w orv_system_program reg add "$key_path" /v RetryTimes /t REG_DWORD /d 3 /f /reg:32
  start_core
  if ! wait_for 240 updated; then
    bad "$1" "Version=$(reg_value Version); page calls: $(lines_of "$inst/page.log"); updaters: $(sort -u "$seen" 2>/dev/null | tr '\n' ';')"
    return 1
  fi
  wait_for 30 running 'OrvalinexCore.exe'
  step "$1" "server $ORV_TEST_UPDATE_BASE_URL: $(count_in 'GET .*sub305867' "$orv_serve_log") fetches; ConfirmUpdate answered yes; installer ran; Version=$(reg_value Version); RetryTimes=$(reg_value RetryTimes); page: ConfirmUpdateComplete|$B"
}
# The updater works in a folder of its own below the installation and writes nothing to %TEMP%.
updater_in_temp() { find "$temp" \( -name 'Orvalinex*' -o -name '*.part' \) 2>/dev/null; }
no_work_left() { [ -z "$(updater_in_temp)" ] && [ -z "$(ls -A "$inst/UpdateWork" 2>/dev/null)" ]; }
work_left() { echo "the updater's files in %TEMP%: $(updater_in_temp | wc -l), work folders left: $(ls -A "$inst/UpdateWork" 2>/dev/null | wc -l)"; }
handover() {
  grep -q -- '-newloader' "$seen" || { bad "$1" "no updater with -newloader seen"; return 1; }
  check "$1" "server minor above A's updater $A: started \"$(grep -m1 -o 'OrvalinexUpdate.exe -newloader' "$seen")\", which completed; installed updater now $(version_of "$inst/OrvalinexUpdate.exe"), no .old left; $(work_left)" \
    test ! -e "$inst/OrvalinexUpdate.exe.old" -a "$(version_of "$inst/OrvalinexUpdate.exe")" = "$B" -a "$(reg_value RetryTimes)" = 0x0 -a -n "$(no_work_left && echo y)"
}
installation_after_b() {
  if cmp -s "$work/$B/stage/Digest.xml" "$inst/Digest.xml" && intact; then
    step "$1" "B's Digest.xml installed, intact; core host running again: $(running 'OrvalinexCore.exe' && echo yes || echo no)"
  else bad "$1" "$(check_result)"; return 1; fi
}

# --- A's installer over B: a newer installed version is left alone ------------------------------
older_refused() {
  local rc
  rc=$(setup "$work/$A/OrvalinexSetup.exe" /S)
  check "$1" "A's installer /S over B: exit code $rc, Version=$(reg_value Version)" \
    test "$rc" = 4 -a "$(reg_value Version)" = "$B"
}

# --- an altered installed file: the core host says the installation is incomplete and hands it to
# the updater with -lostfile, which fetches the installed version again and repairs it; at the
# same version the updater keeps itself (no hand-over) -------------------------------------------
box=""
find_box() { box=$(xdotool search --name 'Delmora网银助手' 2>/dev/null | head -n1); [ -n "$box" ]; }
altered_file() {
  : >"$seen"
  printf '<!-- altered -->\n' >>"$inst/index.htm"
  start_core
  wait_for 60 find_box || { bad "$1" "no message box within 60 s"; return 1; }
  running 'OrvalinexTray.exe' && { bad "$1" "the notifier started: the check passed"; return 1; }
  xdotool key --window "$box" Return 2>/dev/null
  wait_for 30 running 'OrvalinexUpdate.exe -lostfile' ||
    { bad "$1" "no updater with -lostfile: $(processes | tr '\n' ';')"; return 1; }
  step "$1" "integrity check failed: message box shown, updater started with -lostfile"
}
repaired() { note_updaters; [ "$(count_in "ConfirmUpdateComplete|$B" "$inst/page.log")" -ge 2 ]; }
repair() {
  wait_for 240 repaired || { bad "$1" "page calls: $(lines_of "$inst/page.log")"; return 1; }
  wait_for 30 running 'OrvalinexCore.exe'
  if intact && cmp -s "$work/$B/stage/index.htm" "$inst/index.htm"; then
    step "$1" "page: ConfirmUpdate|lostfile answered yes, ConfirmUpdateComplete|$B; installation intact; core host running again: $(running 'OrvalinexCore.exe' && echo yes || echo no)"
  else bad "$1" "$(check_result)"; return 1; fi
}
repair_without_handover() {
  check "$1" "updater $B at $B: no -newloader; $(work_left)" \
    test -z "$(grep -- '-newloader' "$seen")" -a -n "$(no_work_left && echo y)"
}

# --- a network attacker alters B's setup program on its way (at its old address and as its
# trusted target): the updater, asked to repair, fetches it, finds it differs from the length and
# hash its trusted metadata lists and runs nothing. RetryTimes 7 would be put back to 0 by any
# installer run ------------------------------------------------------------------------------------
no_updater() { ! running 'OrvalinexUpdate.exe'; }
run_repair() {  # the updater asked to repair, after the one before it has ended (a second one gives way)
  wait_for 60 no_updater || true
  : >"$inst/page.log"
  (cd "$inst" && wine OrvalinexUpdate.exe -lostfile >/dev/null 2>&1 </dev/null &)
}
refused() { grep -q 'ConfirmRetry|trustHash' "$inst/page.log" 2>/dev/null; }
tampered_download() {
  local retry f
  cp -rL "$work/$B/server-DEVELOPMENT" "$work/tampered"
  for f in "$work/tampered/setup/OrvalinexSetup.exe" "$work/tampered"/tuf/targets/setup/*.OrvalinexSetup.exe; do
    printf 'MZ altered by the network' >"$f"
  done
  rm "$web"; ln -s "$work/tampered" "$web"
  w orv_system_program reg add "$key_path" /v RetryTimes /t REG_DWORD /d 7 /f /reg:32
  run_repair
  wait_for 240 refused || { bad "$1" "page calls: $(lines_of "$inst/page.log")"; return 1; }
  retry=$(reg_value RetryTimes)
  if [ "$retry" = 0x7 ] && intact && ! grep -q 'ConfirmUpdateComplete' "$inst/page.log"; then
    step "$1" "page: ConfirmRetry|trustHash; the setup program never ran (RetryTimes still 7); installation intact"
  else bad "$1" "RetryTimes=$retry; $(check_result); page: $(lines_of "$inst/page.log")"; return 1; fi
}

# --- B's repository misses its daily refresh: its timestamp, signed again with an expiry an hour
# past, is refused by the updater (a freeze), which runs nothing; once the daily refresh runs
# (the runbook's command) the same repair completes. On a copy of the development repository -----
tuf_repo=$root/build/native/tools/tuf_repo/tuf_repo
tuf_keys=(--snapshot-key keys/tuf-dev/snapshot.key --timestamp-key keys/tuf-dev/timestamp.key)
serve_repository_copy() {  # serve_repository_copy: $work/frozen/repo, served in B's server folder
  rm -rf "$work/frozen/server/tuf" && "$tuf_repo" serve-copy "$work/frozen/repo" "$work/frozen/server/tuf" >/dev/null
}
trust_expired() { grep -q 'ConfirmRetry|trustExpired' "$inst/page.log" 2>/dev/null; }
repaired_once() { grep -q "ConfirmUpdateComplete|$B" "$inst/page.log" 2>/dev/null; }
expired_timestamp() {
  local retry
  mkdir -p "$work/frozen" && cp -rL "$work/$B/server-DEVELOPMENT" "$work/frozen/server" &&
    cp -a build/tuf-dev-repo "$work/frozen/repo" &&
    "$tuf_repo" refresh "$work/frozen/repo" "${tuf_keys[@]}" --expires timestamp=-1h >"$work/frozen/refresh.log" &&
    serve_repository_copy || { bad "$1" "the expired timestamp was not made: $(lines_of "$work/frozen/refresh.log")"; return 1; }
  rm "$web"; ln -s "$work/frozen/server" "$web"
  w orv_system_program reg add "$key_path" /v RetryTimes /t REG_DWORD /d 7 /f /reg:32
  run_repair
  wait_for 240 trust_expired || { bad "$1" "page calls: $(lines_of "$inst/page.log")"; return 1; }
  retry=$(reg_value RetryTimes)
  [ "$retry" = 0x7 ] || { bad "$1" "expired, yet something ran: RetryTimes=$retry"; return 1; }
  "$tuf_repo" refresh "$work/frozen/repo" "${tuf_keys[@]}" >"$work/frozen/refresh.log" && serve_repository_copy ||
    { bad "$1" "the daily refresh failed: $(lines_of "$work/frozen/refresh.log")"; return 1; }
  run_repair
  wait_for 240 repaired_once || { bad "$1" "after the refresh, page calls: $(lines_of "$inst/page.log")"; return 1; }
  wait_for 30 running 'OrvalinexCore.exe'
  check "$1" "page: ConfirmRetry|trustExpired, nothing ran (RetryTimes 7); after tuf_repo refresh ($(grep -o 'timestamp version [0-9]*' "$work/frozen/refresh.log")): ConfirmUpdateComplete|$B, RetryTimes=$(reg_value RetryTimes)" \
    test "$(reg_value RetryTimes)" = 0x0
}

# --- an installer that fails does no damage: a file held open by a running program stops it
# (exit code 2, nothing registered after it), a control that cannot be registered fails it (3);
# each time it puts back the files it replaced and the old control's registration, and B runs on
# under its Version. B's own installer at the installed version repairs ---------------------------
windows_path() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
after_failure() {  # what a failed installer left: B's files, intact, and B's control registered
  intact && cmp -s "$work/$B/stage/OstwinAutoCtrl.dll" "$inst/OstwinAutoCtrl.dll" ||
    { echo "damaged: $(tail -n1 "$work/check")"; return; }
  w orv_system_program cscript //nologo "$(windows_path "$work/create.js")"
  echo "files put back, intact; a script client: $(tr -d '\r' <"$work/out")"
}
undamaged="files put back, intact; a script client: created object"
# The installer's first log line with CODE (time, version and attempt left out), or nothing.
setup_log() {
  grep -a -m1 " $1 " "$inst/Logs/OrvalinexSetup.log" 2>/dev/null | cut -d' ' -f4- | tr -d '\r'
}
broken_installer() {  # 1.2.0.1 with a control that cannot be registered
  [ -f "$work/broken-setup.exe" ] && return 0
  cp -r "$work/$B/stage" "$work/broken"
  printf 'not a library' >"$work/broken/OstwinAutoCtrl.dll"
  bash installer/build-installer.sh "$work/broken" 1.2.0.1 "$orv_arch" "$work/broken-setup.exe" >/dev/null
}
file_held_open() {
  local rc left holder
  broken_installer || { bad "$1" "the broken installer did not build"; return 1; }
  timeout 360 wine "$bld/tests/installer/file_holder.exe" "$(windows_path "$inst/index.htm")" \
    "$(windows_path "$work/held")" "$(windows_path "$work/let-go")" >/dev/null 2>&1 </dev/null &
  holder=$!
  if ! wait_for 60 test -e "$work/held"; then
    : >"$work/let-go"; bad "$1" "no program held index.htm within 60 s"; return 1
  fi
  rc=$(setup "$work/broken-setup.exe" /S)
  : >"$work/let-go"; wait $holder
  left=$(after_failure)
  check "$1" "1.2.0.1's installer while a program holds index.htm: exit code $rc, Version=$(reg_value Version); $left; its log: $(setup_log I-2)" \
    test "$rc" = 2 -a "$(reg_value Version)" = "$B" -a "$left" = "$undamaged" -a -n "$(setup_log I-2)"
}
failed_registration() {
  local rc left
  broken_installer || { bad "$1" "the broken installer did not build"; return 1; }
  rc=$(setup "$work/broken-setup.exe" /S)
  left=$(after_failure)
  check "$1" "1.2.0.1's installer with a broken control: exit code $rc, Version=$(reg_value Version); $left (B's control registered again); its log: $(setup_log I-3)" \
    test "$rc" = 3 -a "$(reg_value Version)" = "$B" -a "$left" = "$undamaged" -a -n "$(setup_log I-3)"
}
equal_version_repairs() {
  local rc
  rc=$(setup "$work/$B/OrvalinexSetup.exe" /S)
  check "$1" "B's installer /S over B: exit code $rc; $(intact && echo intact || check_result)" \
    test "$rc" = 0 -a "$(check_result)" = intact
}

# --- one installer at a time: while another holds the setup mutex, an installer ends at once ------
second_installer() {
  local rc holder log_before
  log_before=$(wc -l <"$inst/Logs/OrvalinexSetup.log" 2>/dev/null)
  timeout 360 wine "$probe" mutex 'Global\OrvalinexSetup' "$(windows_path "$work/mutex-held")" \
    "$(windows_path "$work/mutex-let-go")" >/dev/null 2>&1 </dev/null &
  holder=$!
  if ! wait_for 60 test -e "$work/mutex-held"; then
    : >"$work/mutex-let-go"; bad "$1" "no program held the setup mutex within 60 s"; return 1
  fi
  rc=$(setup "$work/$B/OrvalinexSetup.exe" /S)
  : >"$work/mutex-let-go"; wait $holder
  check "$1" "B's installer /S while another holds Global\\OrvalinexSetup: exit code $rc, Version=$(reg_value Version), its log $( [ "$(wc -l <"$inst/Logs/OrvalinexSetup.log" 2>/dev/null)" = "$log_before" ] && echo untouched || echo written)" \
    test "$rc" = 6 -a "$(reg_value Version)" = "$B" -a "$(wc -l <"$inst/Logs/OrvalinexSetup.log" 2>/dev/null)" = "$log_before"
}

# --- uninstall while the programs run: the uninstaller ends them with -t and removes everything;
# it runs where it stands ("_?=", as its programs-list entry and shortcut start it) and is waited
# for; its own file and the folder go at the next start of Windows ------------------------------
uninstall_programs() {
  local before
  start_core
  wait_for 60 running 'OrvalinexTray.exe'
  before=$(processes | wc -l)
  printf 'retired' >"$inst/OrvalinexUpdate.exe.old"
  # Its quiet command line as the programs list starts it (Wine would quote "_?=" as an argument).
  timeout 300 wine "$probe" entry QuietUninstallString >/dev/null 2>&1 </dev/null
  wait_for 30 none_running
  check "$1" "$before product processes running before, $(processes | wc -l) after" none_running
}
uninstall_files() {
  local left
  left=$( (cd "$inst" 2>/dev/null && find . -type f | sed 's|^\./||') | grep -vxE 'navigate\.log|roundtrip\.log|page\.log|updater_page\.html|uninstall\.exe' | tr '\n' ' ')
  # The uninstaller's own file, still running, is left for the next start of Windows.
  w orv_system_program reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations
  [ ! -e "$inst/uninstall.exe" ] || grep -qi 'uninstall\.exe' <(tr -d '\r' <"$work/out") || left+="uninstall.exe (not marked for removal) "
  # The user's own programs' logs, in the local application data of the user who uninstalled.
  left+=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/Orvalinex 2>/dev/null | grep -v /Public/ | tr '\n' ' ')
  check "$1" "every installed file, OrvalinexUpdate.exe.old and the logs gone, uninstall.exe $( [ -e "$inst/uninstall.exe" ] && echo 'marked for removal at the next start' || echo gone)${left:+; left: $left} (what the test builds wrote stays)" test -z "$left"
}
uninstall_registry() {
  local settings_rc control_rc entry_rc
  w orv_system_program reg query 'HKLM\SOFTWARE\Halvenor' /reg:32; settings_rc=$?
  w orv_system_program reg query "HKCR\\CLSID\\$clsid" "/reg:$orv_view"; control_rc=$?
  w orv_system_program reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvalinex' /reg:32; entry_rc=$?
  check "$1" "settings key and its empty parents, the control's class and the programs-list entry gone" \
    test $settings_rc -ne 0 -a $control_rc -ne 0 -a $entry_rc -ne 0
}
# --- a folder the installer cannot secure is refused before anything is written -----------------
# Wine reaches \\SERVER\SHARE through the prefix's dosdevices/unc/SERVER/SHARE: a share whose
# root exists, as the installer requires of a folder it is given.
network_share_refused() {
  local rc share=$work/share
  mkdir -p "$share" "$WINEPREFIX/dosdevices/unc/127.0.0.1" && ln -sfn "$share" "$WINEPREFIX/dosdevices/unc/127.0.0.1/share"
  rc=$(setup "$work/$A/OrvalinexSetup.exe" /S '/D=\\127.0.0.1\share\Orvalinex')
  check "$1" "A's installer /S /D=\\\\127.0.0.1\\share\\Orvalinex: exit code $rc; on the share: $(ls -A "$share" | wc -l) files; Path=$(reg_value Path); nothing installed in the default folder either" \
    test "$rc" = 5 -a -z "$(ls -A "$share")" -a -z "$(reg_value Path)" -a ! -e "$inst/OrvalinexCore.exe"
}
uninstall_shortcuts() {
  check "$1" "Start menu folder and desktop shortcut gone" test ! -e "$desktop_link" -a ! -e "$menu"
}

# --- the life, step by step ------------------------------------------------------------------
#         step                         needs                  gives         function
life_step "build"                      ""                     tools         build_tools
life_step "signing certificate"        ""                     certificate   make_certificate
life_step "publish A"                  "tools certificate"    A             publish_a
life_step "publish B"                  "tools certificate"    B             publish_b
life_step "development release"        "B"                    -             development_release
life_step "Wine mode"                  "B"                    -             wine_mode
life_step "stamped versions"           "B"                    -             stamped_versions
life_step "$orv_arch installer"        "A"                    -             installer_type
life_step "Authenticode"               "B"                    -             authenticode
life_step "fresh prefix"               ""                     prefix        fresh_prefix
life_step "install A"                  "A prefix"             installation  install_a
life_step "settings (32-bit view)"     "installation"         -             settings
life_step "installed files"            "installation"         -             installed_files
life_step "shortcuts"                  "installation"         -             shortcuts
life_step "installed folder DACL"      "installation"         -             folder_dacl
life_step "programs-list entry"        "installation"         -             uninstall_entry
life_step "signed uninstaller"         "installation"         -             signed_uninstaller
life_step "token control"              "installation"         -             token_control
life_step "integrity check"            "installation"         -             integrity_check
life_step "core host start"            "installation"         core          core_start
life_step "page round trip"            "core"                 -             page_round_trip
life_step "tray notifier"              "core"                 -             tray_notifier
life_step "programs ended"             "installation"         -             programs_ended
life_step "update server"              "installation B"       server        update_server
life_step "update to B"                "server"               updated       update_to_b
life_step "hand-over to B's updater"   "updated"              -             handover
life_step "installation after B"       "updated"              -             installation_after_b
end_programs
life_step "older installer refused"    "updated"              -             older_refused
life_step "altered file"               "server"               lostfile      altered_file
life_step "repair"                     "lostfile updated"     repaired      repair
life_step "repair without hand-over"   "repaired"             -             repair_without_handover
end_programs
life_step "tampered download"          "server"               -             tampered_download
life_step "expired timestamp"          "server"               -             expired_timestamp
end_programs
unset ORV_TEST_UPDATE_BASE_URL ORV_TEST_SHELL_PROGRAM
life_step "file held open"             "updated"              -             file_held_open
life_step "failed registration"        "updated"              -             failed_registration
life_step "equal version repairs"      "updated"              -             equal_version_repairs
life_step "second installer refused"   "updated"              -             second_installer
life_step "uninstall: programs"        "installation"         -             uninstall_programs
life_step "uninstall: files"           "installation"         -             uninstall_files
life_step "uninstall: registry"        "installation"         -             uninstall_registry
life_step "uninstall: shortcuts"       "installation"         -             uninstall_shortcuts
life_step "network share refused"      "A prefix"             -             network_share_refused

[ $failed -eq 0 ] && echo "life: every step succeeded" || { echo "life: a step failed"; exit 1; }
