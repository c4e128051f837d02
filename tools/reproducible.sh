#!/usr/bin/env bash
# Shows that a release's programs, libraries and installer are reproducible: builds the committed
# sources twice, in two folders of different names and without the compiler cache, with the
# release's version stamped, and compares the programs of programs.txt and the x86 installer
# over each byte for byte. Prints one line per file; exit code 0 when all are identical.
# usage: tools/reproducible.sh [VERSION]
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
version=${1:-1.2.0.0}
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) CCACHE_DISABLE=1
work=$(mktemp -d /tmp/orv-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT
source "$root/tools/programs.sh"
mapfile -t files < <(orv_programs file)
setup=$(orv_product_id)Setup.exe
echo "== $(git rev-parse --short HEAD), version $version, SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH"
for side in a second-checkout; do
  mkdir -p "$work/$side"
  git archive HEAD | tar -x -C "$work/$side"
  cp -r node_modules "$work/$side/"   # the page's pinned jQuery (npm ci)
  (cd "$work/$side" &&
   cmake --preset win32 -DORV_RELEASE_VERSION="$version" -DORV_BUILD_TESTS=OFF >/dev/null &&
   start=$SECONDS &&
   cmake --build build/win32 --target orv_programs >"$work/$side.log" 2>&1 &&
   echo "   built in $work/$side in $((SECONDS - start)) s") || { tail -n 20 "$work/$side.log"; exit 1; }
  mkdir -p "$work/$side/stage"
  while read -r f built; do cp "$built" "$work/$side/stage/$f"; done <"$work/$side/build/win32/programs-built.txt"
  cp -r installer/content/. "$work/$side/stage/"
  bash installer/build-installer.sh "$work/$side/stage" "$version" x86 "$work/$side/$setup" >/dev/null
done
status=0
for f in "${files[@]/#/stage/}" "$setup"; do
  if cmp -s "$work/a/$f" "$work/second-checkout/$f"; then
    echo "identical  $(sha256sum "$work/a/$f" | cut -c1-16)  $(basename "$f")"
  else
    echo "DIFFERENT  $(basename "$f"): $(cmp "$work/a/$f" "$work/second-checkout/$f" | head -n1)"; status=1
  fi
done
build_paths=$(grep -c -a -F "$work" "$work/a/stage/$(orv_program updater file)" || true)
echo "build-folder strings in the updater: $build_paths"
[ "$build_paths" -eq 0 ] || status=1
exit $status
