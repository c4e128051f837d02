#!/usr/bin/env bash
# Runs one Windows program under Wine, with Wine's own debug output off.
# Under tools/test.sh (ORV_PREFIX_ROOT set) every test has a Wine prefix of its own, copied from
# the run's prepared prefix, so that tests running side by side share no pipe, mutex, window
# message, registry key, temp folder or process: the prefix is named after ORV_TEST_NAME, or
# else after the program. Run alone, the prefix is $WINEPREFIX or one under build/.
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
  orv_make_prefix "$WINEPREFIX"
  exec 9>&-
else
  export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
  orv_make_prefix "$WINEPREFIX"
fi
exec wine "$@"
