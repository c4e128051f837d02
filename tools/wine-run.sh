#!/usr/bin/env bash
# Runs one Windows program under wine64 in the test run's prefix, with Wine's own debug output off.
# tools/test.sh creates the prefix and the display; run alone, a prefix under build/ is used.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${ORV_WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# (The registry files appear on disk only when the server writes them, so look for drive_c.)
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1
  wineserver -w
fi
exec wine "$@"
