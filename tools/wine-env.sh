# Shared by the scripts that run Windows programs under Wine; source it from the project root.
#   orv_wine_defaults            Wine's debug output off, no Mono or Gecko installer prompts
#   orv_windows_test_build       the build whose programs Wine runs here: win32 where Wine's
#                                32-bit half works, else win64 (no 32-bit half installed, or a
#                                machine that runs no 32-bit code);
#                                ask after the bootstrap, which installs that half where it can
#   orv_life_build DIR           the build folder whose life runs for DIR: DIR, or its win64
#                                sibling where DIR is win32 and Wine runs no 32-bit programs
#   orv_build_bits BUILD         what differs between the 32-bit and the 64-bit build (below)
#   orv_system_program NAME ARGS...
#                                a Windows system program (reg, cscript, regsvr32, cmd, ...) of
#                                the bitness orv_build_bits chose, by its full path
#   orv_on_exit COMMAND ARGS...  run when the script ends, however it ends (its end, a failure,
#                                an interrupt, a termination); the last one added runs first
#   orv_start_display            an Xvfb display of the caller's own; exports DISPLAY; ended
#                                when the script ends (orv_stop_display ends it sooner)
#   orv_new_display PIDFILE      an Xvfb display whose owner ends it through PIDFILE
#                                (orv_end_display PIDFILE); sets orv_display_number
#   orv_make_prefix DIR          a ready Wine prefix in DIR: a copy of $ORV_PREFIX_TEMPLATE when
#                                set (seconds), else a new one (wineboot, about 20 s)
#   orv_end_prefix DIR           ends every process of the prefix in DIR and its server

orv_wine_defaults() {
  export WINEDEBUG=${ORV_WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

# Everything a script does differently for the 32-bit and the 64-bit build, as data:
#   orv_build, orv_arch   the build and its installer's architecture
#   orv_pe                how `file` describes its programs (the start of its answer)
#   orv_loader            the Wine loader of its bitness (the 32-bit one needs wine32)
#   orv_system_folder     where a 64-bit prefix keeps the system programs of its bitness
#   orv_view              its registry view (reg's /reg:32 or /reg:64): a 32-bit control is
#                         registered in the 32-bit view, a 64-bit one in the 64-bit view
orv_build_bits() {
  case $1 in
    win32) orv_build=win32 orv_arch=x86 orv_pe='PE32 executable (GUI) Intel 80386'
           orv_loader=/usr/lib/wine/wine orv_system_folder=syswow64 orv_view=32 ;;
    win64) orv_build=win64 orv_arch=amd64 orv_pe='PE32+ executable (GUI) x86-64'
           orv_loader=/usr/lib/wine/wine64 orv_system_folder=system32 orv_view=64 ;;
    *) echo "unknown build $1 (win32 or win64)" >&2; return 2 ;;
  esac
}

orv_windows_test_build() {
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo win32
  else
    echo win64
  fi
}

orv_life_build() {
  if [ "$(basename "$1")" = win32 ] && [ "$(orv_windows_test_build)" = win64 ]; then
    echo "$(dirname "$1")/win64"
  else
    echo "$1"
  fi
}

# By its full path: a bare name would be the program of whichever loader `wine` is, which on a
# machine with wine32 is the 32-bit one even for a 64-bit control's registration.
orv_system_program() {
  local name=$1; shift
  "$orv_loader" "C:\\windows\\$orv_system_folder\\$name.exe" "$@"
}

orv_exit_commands=()
orv_on_exit() {
  local command
  printf -v command '%q ' "$@"
  if [ ${#orv_exit_commands[@]} -eq 0 ]; then
    trap orv_run_exit_commands EXIT
    # An interrupt or a termination becomes an exit, so that the commands run then too.
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
  fi
  orv_exit_commands=("$command" "${orv_exit_commands[@]}")
}
orv_run_exit_commands() {
  local command
  trap '' INT TERM HUP
  for command in "${orv_exit_commands[@]}"; do eval "$command" >/dev/null 2>&1 || true; done
  orv_exit_commands=()
}

# The displays this shell started, each by the file holding its pid.
orv_display_pidfiles=()
orv_start_display() {
  local pidfile
  pidfile=$(mktemp /tmp/orvalinex-xvfb.XXXXXX)
  [ ${#orv_display_pidfiles[@]} -gt 0 ] || orv_on_exit orv_stop_display
  orv_display_pidfiles+=("$pidfile")
  orv_new_display "$pidfile" || return 1
  export DISPLAY=:$orv_display_number
}

orv_stop_display() {
  local pidfile
  for pidfile in "${orv_display_pidfiles[@]}"; do orv_end_display "$pidfile"; done
  orv_display_pidfiles=()
}

# Starts an Xvfb on a free display in a session of its own, so that neither a Ctrl-C at the
# terminal nor the end of a test's process group takes it from under its owner's clean-up. The
# pid comes from the process that becomes Xvfb, whether or not setsid had to fork.
orv_new_display() {
  local pidfile=$1 numberfile
  numberfile=$(mktemp /tmp/orvalinex-display.XXXXXX)
  setsid sh -c 'echo $$ >"$1"; exec Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp' \
    sh "$pidfile" 3>"$numberfile" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 200); do [ -s "$numberfile" ] && break; sleep 0.05; done
  orv_display_number=$(cat "$numberfile")
  rm -f "$numberfile"
  if [ -z "$orv_display_number" ]; then
    orv_end_display "$pidfile"
    echo "Xvfb did not start" >&2
    return 1
  fi
}

orv_end_display() {
  if [ -s "$1" ]; then kill "$(cat "$1")" 2>/dev/null || true; fi
  rm -f "$1"
}

orv_end_prefix() {
  WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true
}

orv_make_prefix() {
  local dir=$1
  [ -d "$dir/drive_c" ] && return 0
  if [ -n "${ORV_PREFIX_TEMPLATE:-}" ] && [ -d "$ORV_PREFIX_TEMPLATE/drive_c" ]; then
    orv_copy_prefix "$ORV_PREFIX_TEMPLATE" "$dir"
  else
    mkdir -p "$dir"
    WINEPREFIX=$dir wine wineboot --init >/dev/null 2>&1 </dev/null
    # The display has no window manager, and a window that Wine lets one manage makes it wait
    # about 2 s at the window's end for a confirmation that no one sends. Unmanaged windows
    # end at once and behave as they always did here (Wine's own move loop and minimising).
    # (The prefix's own 64-bit reg, in a subshell that keeps the caller's bitness: both views
    # share the key.)
    (orv_build_bits win64 && WINEPREFIX=$dir orv_system_program reg add \
      'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null)
    WINEPREFIX=$dir wineserver -w
  fi
}

# The system folders (Wine's own libraries, 1 GiB for both bitnesses, never written by a test)
# are hard-linked; everything else, the registry included, is copied so that no prefix changes
# another. Where no hard link can be made (another file system), everything is copied.
orv_copy_prefix() {
  local template=$1 dir=$2
  rm -rf "$dir"
  if cp -a --link "$template" "$dir" 2>/dev/null; then
    find "$dir" -type f ! -path "$dir/drive_c/windows/system32/*" \
      ! -path "$dir/drive_c/windows/syswow64/*" -exec sh -c \
      'for f; do cp -p "$f" "$f.copy" && mv "$f.copy" "$f"; done' sh {} +
  else
    rm -rf "$dir"
    cp -a "$template" "$dir"
  fi
}
