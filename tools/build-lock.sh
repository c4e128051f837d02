# Sourced by the release tools: runs build commands under the shared build lock, unless a
# process this one descends from already holds it (a test run started under the lock builds what
# its releases need without waiting for itself).
# usage: with_build_lock COMMAND...
build_lock=/tmp/orv-build.lock

build_lock_held_above() {
  local inode holders pid
  [ -e "$build_lock" ] || return 1
  inode=$(stat -c %i "$build_lock")
  # /proc/locks: "1: FLOCK ADVISORY WRITE PID MAJ:MIN:INODE START END"
  holders=$(awk -v i=":$inode" '$2 == "FLOCK" && substr($6, length($6) - length(i) + 1) == i { print $5 }' /proc/locks)
  [ -n "$holders" ] || return 1
  pid=$$
  while [ "$pid" -gt 1 ]; do
    grep -qx "$pid" <<<"$holders" && return 0
    pid=$(awk '{ print $4 }' "/proc/$pid/stat" 2>/dev/null) || return 1
  done
  return 1
}

with_build_lock() {
  if build_lock_held_above; then "$@"; else flock -o "$build_lock" "$@"; fi
}
