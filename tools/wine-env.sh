# Shared by the scripts that run Windows programs under Wine; source it from the project root.
#   orv_wine_defaults            Wine's debug output off, no Mono or Gecko installer prompts
#   orv_windows_test_build       the build whose programs Wine runs here: win32 where Wine's
#                                32-bit half works, else win64 (the machine runs no 32-bit code)
#   orv_start_display            an Xvfb display of the caller's own; exports DISPLAY;
#                                orv_stop_display ends it
#   orv_make_prefix DIR          a ready Wine prefix in DIR: a copy of $ORV_PREFIX_TEMPLATE when
#                                set (seconds), else a new one (wineboot, about 20 s)

orv_wine_defaults() {
  export WINEDEBUG=${ORV_WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

orv_windows_test_build() {
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo win32
  else
    echo win64
  fi
}

orv_display_pids=()
orv_start_display() {
  local number
  number=$(orv_new_display "$(mktemp /tmp/orvalinex-xvfb.XXXXXX)") || return 1
  export DISPLAY=:$number
}

# Starts an Xvfb on a free display apart from the caller's output and session, writes its pid
# to PIDFILE, remembers it for orv_stop_display and prints its number.
orv_new_display() {
  local pidfile=$1 numberfile
  numberfile=$(mktemp /tmp/orvalinex-display.XXXXXX)
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$numberfile" </dev/null >/dev/null 2>&1 &
  echo $! >"$pidfile"
  orv_display_pids+=($!)
  for _ in $(seq 1 200); do [ -s "$numberfile" ] && break; sleep 0.05; done
  local number; number=$(cat "$numberfile"); rm -f "$numberfile"
  [ -n "$number" ] || { echo "Xvfb did not start" >&2; return 1; }
  echo "$number"
}

orv_stop_display() {
  local p
  for p in "${orv_display_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  orv_display_pids=()
}

orv_make_prefix() {
  local dir=$1
  [ -d "$dir/drive_c" ] && return 0
  if [ -n "${ORV_PREFIX_TEMPLATE:-}" ] && [ -d "$ORV_PREFIX_TEMPLATE/drive_c" ]; then
    # The system folder (600 MiB of Wine's own libraries, never written by a test) is linked;
    # everything else, the registry included, is copied so that no prefix changes another.
    rm -rf "$dir"
    cp -a --link "$ORV_PREFIX_TEMPLATE" "$dir"
    find "$dir" -type f ! -path "$dir/drive_c/windows/system32/*" -exec sh -c \
      'for f; do cp -p "$f" "$f.copy" && mv "$f.copy" "$f"; done' sh {} +
  else
    mkdir -p "$dir"
    WINEPREFIX=$dir wine wineboot --init >/dev/null 2>&1 </dev/null
    # The display has no window manager, and a window that Wine lets one manage makes it wait
    # about 2 s at the window's end for a confirmation that no one sends. Unmanaged windows
    # end at once and behave as they always did here (Wine's own move loop and minimising).
    WINEPREFIX=$dir wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1 </dev/null
    WINEPREFIX=$dir wineserver -w
  fi
}
