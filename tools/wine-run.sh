#!/usr/bin/env bash
# Runs one Windows program under Wine, with Wine's own debug output off.
# Under tools/test.sh (ORV_PREFIX_ROOT set) every test has a Wine prefix and an X display of its
# own, the prefix copied from the run's prepared one, so that tests running side by side share no
# pipe, mutex, window message, registry key, temp folder, process, pointer or focus: both are
# named after ORV_TEST_NAME, or else after the program. Run alone, the prefix is $WINEPREFIX or
# one under build/, on the caller's display.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
orv_wine_defaults
if [ -n "${ORV_PREFIX_ROOT:-}" ]; then
  name=${ORV_TEST_NAME:-$(basename "$1" .exe)}
  export WINEPREFIX=$ORV_PREFIX_ROOT/$name
  # Several runs of one test's programs may start at once: one makes the prefix.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  # (What these start never inherits the lock's descriptor, which would hold the lock for good.)
  orv_make_prefix "$WINEPREFIX" 9>&-
  # And a display: the pointer, the keyboard focus and the active window are the X server's,
  # so tests that click, type or activate would take them from each other on a shared one.
  # (Its pid file is tools/test.sh's, which ends it with the run.)
  if [ ! -s "$WINEPREFIX.display" ]; then
    orv_new_display "$WINEPREFIX.xvfb-pid" 9>&-
    echo "$orv_display_number" >"$WINEPREFIX.display"
  fi
  export DISPLAY=:$(cat "$WINEPREFIX.display")
  exec 9>&-
else
  export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
  orv_make_prefix "$WINEPREFIX"
fi
exec wine "$@"
