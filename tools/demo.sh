#!/usr/bin/env bash
# The main job: builds everything, signs a sample installation folder, then checks it and a
# tampered copy the way the core host does at start-up, printing each entry's status.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash tools/bootstrap.sh >/dev/null
bash tools/build.sh native win32 win64

demo=$root/build/demo
rm -rf "$demo"
inst=$demo/Orvalinex
mkdir -p "$inst/Script"
# The shipped 32-bit programs and libraries, as an installation holds them.
find build/win32 -path build/win32/tests -prune -o -type f \( -name '*.exe' -o -name '*.dll' \) -print |
  while read -r f; do cp "$f" "$inst/"; done
printf -- '-- sample configuration\ncaption_width = 900\ncaption_height = 27\n' > "$inst/Script/CoreConfig.lua"

echo "== signing $inst with keys/manifest-dev.key"
build/native/tools/manifest/manifest sign "$inst" --key keys/manifest-dev.key
tampered=$demo/Orvalinex-tampered
cp -r "$inst" "$tampered"
printf -- '-- altered\n' >> "$tampered/Script/CoreConfig.lua"
rm -f "$tampered/manifest.exe"

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
check() {
  echo "== check $1 (Windows build under Wine)"
  tools/wine-run.sh build/win64/tools/manifest/manifest.exe check "$(winepath -w "$1" 2>/dev/null)" | tr -d '\r' || true
}
check "$inst"
check "$tampered"
