# Shared by the scripts that run Windows programs under Wine; source it from the project root.
#   orv_wine_defaults            Wine's debug output off, no Mono or Gecko installer prompts
#   orv_windows_test_build       the build whose programs Wine runs here: win32 where Wine's
#                                32-bit half works, else win64 (the machine runs no 32-bit code)
#   orv_start_display            an Xvfb display of this run's own with a window manager on it;
#                                exports DISPLAY; orv_stop_display ends both
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
  local n display=""
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=:$n; break; }
  done
  [ -n "$display" ] || { echo "no free X display" >&2; return 1; }
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  orv_display_pids+=($!)
  for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
  export DISPLAY=$display
  # Without a window manager, Wine's X11 driver waits about 2 s for each closing window to be
  # confirmed as withdrawn, which no one confirms; openbox does, and places windows by itself.
  openbox --sm-disable >/dev/null 2>&1 &
  orv_display_pids+=($!)
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
    WINEPREFIX=$dir wineserver -w
  fi
}
