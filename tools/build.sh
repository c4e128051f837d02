#!/usr/bin/env bash
# Configures and builds the named configurations (native, win32, win64); all three by default.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# Paths inside the tree count as relative for the compiler cache, so other checkouts share it.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(native win32 win64)
for c in "${configs[@]}"; do
  echo "== build $c"
  [ -f "build/$c/CMakeCache.txt" ] || cmake --preset "$c" >/dev/null
  cmake --build --preset "$c"
done
