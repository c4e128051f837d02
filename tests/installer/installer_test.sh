#!/usr/bin/env bash
# The release tool and the installer under Wine: publishes release A for Wine, builds the x86
# installer over the same folder, refuses a release whose programs do not carry the signing key and
# one whose server folder would make the updater run another file than the installer,
# installs A silently into a fresh prefix, checks the settings, the files, the token control's
# registration (through a script client) and the installed folder's integrity, runs release B's
# installer the way the updater does (no arguments, nobody to answer), and uninstalls.
# usage: installer_test.sh SOURCE_DIR WIN64_BUILD_DIR
set -uo pipefail
src=$1 bld=$2
work=$(mktemp -d /tmp/orv-installer-test.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { wineserver -k >/dev/null 2>&1; rm -rf "$work"; }
trap cleanup EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
check() {  # check NAME COMMAND...: the command must succeed
  local name=$1; shift
  if "$@"; then ok "$name"; else fail "$name"; fi
}
finish() { echo "installer: $passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit $?; }

key_path='HKLM\SOFTWARE\Halvenor\DovAZ\Orvalinex'
clsid='{EF75B357-42E9-46BF-B124-DEE22748D503}'
A=1.1.19.1223 B=1.1.19.1224

# Wine's output goes to a file: a pipe would be inherited and held open by Wine's services.
w() { wine "$@" >"$work/out" 2>/dev/null </dev/null; }
wq() { wine "$@" >/dev/null 2>&1 </dev/null; }
# An installer that asked anything would wait here until the bound ends it.
setup() { timeout 120 wine "$@" >/dev/null 2>&1 </dev/null; }
reg_value() {  # reg_value VIEW NAME: "TYPE DATA" of the product key's value, or nothing
  w reg query "$key_path" /v "$2" "/reg:$1" || return 0
  tr -d '\r' <"$work/out" | awk -v n="$2" '$1 == n { $1 = ""; sub(/^ /, ""); print }'
}

# --- release A for Wine, the x86 installer, and a refused release -------------------------------
release() { bash "$src/tools/release.sh" "$@" --no-build >"$work/release.log" 2>&1; }
if release $A --wine --out "$work/A"; then ok "release A published"; else
  fail "release A published"; cat "$work/release.log"; finish; fi
check "Wine mode said so" grep -q 'Wine mode: OrvalinexCore.exe and OrvalinexUpdate.exe are the test builds' "$work/release.log"
check "A's server folder holds the installer last" test -f "$work/A/server/setup/OrvalinexSetup.exe"
check "A's server folder holds the updater at the base" test -f "$work/A/server/OrvalinexUpdate.exe"
check "the staged core host is the test build" cmp -s "$work/A/stage/OrvalinexCore.exe" "$bld/tests/core/OrvalinexCoreTestHost.exe"
file -b "$work/A/OrvalinexSetup.exe" >"$work/type64"
check "the amd64 installer is a PE32+ program" grep -q '^PE32+ executable (GUI) x86-64' "$work/type64"
bash "$src/installer/build-installer.sh" "$work/A/stage" $A x86 "$work/setup-x86.exe" >/dev/null
file -b "$work/setup-x86.exe" >"$work/type32"
check "the x86 installer is a PE32 program" grep -q '^PE32 executable (GUI) Intel 80386' "$work/type32"

# Refusals: programs that carry another key than the signing key; content that would make the
# updater run another file than the installer.
openssl genrsa -traditional -out "$work/other.key" 1024 2>/dev/null
if release $A --wine --build-dir "$bld" --key "$work/other.key" --out "$work/refused"; then
  fail "a release signed with a key the programs do not carry is refused"
else
  check "a release signed with a key the programs do not carry is refused" grep -q '^release: refused: the installation folder does not verify' "$work/release.log"
fi
check "a refused release publishes no server folder" test ! -e "$work/refused/server"
mkdir -p "$work/content/web"
cp -r "$src/installer/content/." "$work/content/"
printf 'logo' >"$work/content/web/logo.txt"
if release $A --wine --content "$work/content" --out "$work/refused2"; then
  fail "a server folder whose last entry is not the installer is refused"
else
  check "a server folder whose last entry is not the installer is refused" grep -qF 'refused: the last entry in key order is web\logo.txt, not the installer OrvalinexSetup.exe' "$work/release.log"
fi
check "the refused folder is set aside, not published" test -d "$work/refused2/server.refused" -a ! -e "$work/refused2/server"

if release $B --wine --out "$work/B"; then ok "release B published"; else
  fail "release B published"; cat "$work/release.log"; fi

# --- install A silently into a fresh prefix -----------------------------------------------------
mkdir -p "$WINEPREFIX"
wineserver -p 900 >/dev/null 2>&1 </dev/null
wine wineboot --init >/dev/null 2>&1 </dev/null
wine wineboot >/dev/null 2>&1 </dev/null
inst=$WINEPREFIX/drive_c/Program\ Files/Orvalinex
check "A's installer with /S ends with 0" setup "$work/A/OrvalinexSetup.exe" /S

check "Path" test "$(reg_value 32 Path)" = 'REG_SZ C:\Program Files\Orvalinex'
check "Version" test "$(reg_value 32 Version)" = "REG_SZ $A"
check "AutoUpdate" test "$(reg_value 32 AutoUpdate)" = 'REG_DWORD 0x1'
check "LangID" test "$(reg_value 32 LangID)" = 'REG_DWORD 0x804'
check "RetryTimes" test "$(reg_value 32 RetryTimes)" = 'REG_DWORD 0x0'
check "no settings in the 64-bit view" test -z "$(reg_value 64 Path)"
missing=0
while read -r f; do
  cmp -s "$work/A/stage/$f" "$inst/$f" || { missing=1; echo "not installed as staged: $f"; }
done < <(cd "$work/A/stage" && find . -type f | sed 's|^\./||')
check "every staged file installed as staged" test $missing -eq 0
check "the uninstaller" test -f "$inst/uninstall.exe"
check "start menu shortcut" test -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Delmora网银助手/Delmora网银助手.lnk"
check "desktop shortcut" test -f "$WINEPREFIX/drive_c/users/Public/Desktop/Delmora网银助手.lnk"

w reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve
check "the control registered at its installed path" grep -qF 'C:\Program Files\Orvalinex\OstwinAutoCtrl.dll' "$work/out"
printf 'var c = new ActiveXObject("OstwinAutoCtrl.OstwinCtrl");\nWScript.Echo("created " + typeof c);\n' >"$work/create.js"
w cscript //nologo "$(winepath -w "$work/create.js" 2>/dev/null)"
check "a script client creates the control" grep -q '^created object' <(tr -d '\r' <"$work/out")

w "$bld/tools/manifest/manifest.exe" check 'C:\Program Files\Orvalinex'
tr -d '\r' <"$work/out" >"$work/check"
check "the installed folder is intact (the core host's check)" grep -qx 'intact' "$work/check"

# --- release B's installer as the updater runs it: no arguments, nobody answers, and the updater
# itself (with the notifier) still running from the installed folder. B's programs differ from
# A's: its updater and notifier are padded copies, signed into B's manifests again.
printf 'release B' >>"$work/B/stage/OrvalinexUpdate.exe"
printf 'release B' >>"$work/B/stage/OrvalinexTray.exe"
"$src/build/native/tools/manifest/manifest" sign "$work/B/stage" --key "$src/keys/manifest-dev.key" --version $B >/dev/null
"$src/build/native/tools/manifest/manifest" sign "$work/B/stage" --extra --version $B >/dev/null
bash "$src/installer/build-installer.sh" "$work/B/stage" $B amd64 "$work/B/OrvalinexSetup.exe" >/dev/null
# Command lines of this prefix's processes of the product's programs.
processes() {
  local pid program
  for pid in $(pgrep -f 'Orvalinex(Update|Tray)\.exe'); do
    program=$(tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n1)
    case $program in *OrvalinexUpdate.exe | *OrvalinexTray.exe) ;; *) continue ;; esac
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    echo "$program"
  done
}
(cd "$inst" && wine OrvalinexTray.exe >/dev/null 2>&1 </dev/null &)
(cd "$inst" && wine OrvalinexUpdate.exe >/dev/null 2>&1 </dev/null &)
for _ in $(seq 60); do [ "$(processes | wc -l)" -ge 2 ] && break; sleep 0.5; done
check "A's updater and notifier run" test "$(processes | wc -l)" -ge 2
wq reg add "$key_path" /v RetryTimes /t REG_DWORD /d 3 /f /reg:32
check "B's installer over A ends by itself with 0" setup "$work/B/OrvalinexSetup.exe"
check "Version after B" test "$(reg_value 32 Version)" = "REG_SZ $B"
check "RetryTimes reset by B" test "$(reg_value 32 RetryTimes)" = 'REG_DWORD 0x0'
check "B's updater replaced the running one" cmp -s "$work/B/stage/OrvalinexUpdate.exe" "$inst/OrvalinexUpdate.exe"
check "B's notifier replaced the running one" cmp -s "$work/B/stage/OrvalinexTray.exe" "$inst/OrvalinexTray.exe"
check "B's Digest.xml installed" cmp -s "$work/B/stage/Digest.xml" "$inst/Digest.xml"
w "$bld/tools/manifest/manifest.exe" check 'C:\Program Files\Orvalinex'
check "the folder is intact after B" grep -qx 'intact' <(tr -d '\r' <"$work/out")
(cd "$inst" && wq OrvalinexUpdate.exe -t; wq OrvalinexTray.exe -t)
for _ in $(seq 60); do [ -z "$(processes)" ] && break; sleep 0.5; done

# --- uninstall ----------------------------------------------------------------------------------
# The uninstaller runs from a copy in the temp folder and returns at once: wait for its work.
check "the uninstaller starts" wq 'C:\Program Files\Orvalinex\uninstall.exe' /S
for _ in $(seq 120); do [ -e "$inst/uninstall.exe" ] || break; sleep 0.5; done
sleep 1
left=0
while read -r f; do
  [ ! -e "$inst/$f" ] || { left=1; echo "left behind: $f"; }
done < <(cd "$work/B/stage" && find . -type f | sed 's|^\./||'; echo uninstall.exe)
check "every installed file is gone" test $left -eq 0
# What stays: files the test builds wrote themselves (their stand-in page's navigation log) and
# the programs moved aside while they ran, which Windows removes at its next start.
others=$( (cd "$inst" 2>/dev/null && find . -type f | sed 's|^\./||') | grep -vxE 'navigate\.log|ns[^/]*\.tmp' || true)
check "nothing else left in the product folder${others:+: $others}" test -z "$others"
w reg query 'HKLM\SOFTWARE\Halvenor' /reg:32
check "the settings key and its empty parents are gone" test $? -ne 0
w reg query "HKCR\\CLSID\\$clsid"
check "the control is unregistered" test $? -ne 0
w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvalinex' /reg:32
check "the uninstall entry is gone" test $? -ne 0
check "the shortcuts are gone" test ! -e "$WINEPREFIX/drive_c/users/Public/Desktop/Delmora网银助手.lnk" -a \
  ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Delmora网银助手"
finish
