#!/usr/bin/env bash
# Start-up benchmark of the core host: the test build (the shipped application and dialog code
# with the stand-in page) over the benchmark installation of 200 files and 256 MiB, from process
# start to the page's onload, under Wine. Each run is split at the moments the stand-in page
# records: the browser's creation (the integrity check and the rest of the start-up checks are
# done), the navigation (the Lua configuration has run) and onload (the page has loaded), where
# the page calls CoreQuit; then from CoreQuit to the process's end. Then the tray notifier: from
# the write of "QuitCmd" on its pipe to its end. A window manager runs on the display.
# Prints every run, then the best and the median of each share.
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. tools/bench-lib.sh
runs=${ORV_BENCH_RUNS:-7}
bench_builds native win64

. tools/wine-env.sh
work=$(mktemp -d /tmp/orv-startup.XXXXXX)
orv_on_exit rm -rf "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
inst="$work/inst"
bench_installation "$inst"
mkdir -p "$inst/Script"
cp "$win64/tests/core/OrvalinexCoreTestHost.exe" "$inst/OrvalinexCore.exe"
cp "$win64/engines/kavrel/Kavrel.dll" "$win64/engines/jornet/Jornet.dll" "$inst/"
# The notifier apart from the installation, so that the core host's runs do not start it.
tray="$work/tray"
mkdir -p "$tray"
cp "$win64/notifier/OrvalinexTray.exe" "$win64/tests/core_events/core_events_pipe_client.exe" "$tray/"
cat > "$inst/Script/CoreConfig.lua" <<'LUA'
Width = 800
Height = 600
caption_width = 800
caption_height = 30
EnterHtml = "page.htm"
LUA
# The page ends the program as soon as it has loaded.
cat > "$inst/page.htm" <<'HTML'
<html><head><script>
function onload() { var quit = window.external.CoreQuit; }
</script></head><body></body></html>
HTML
"$native/tools/manifest/manifest" sign "$inst" --key keys/manifest-dev.key >/dev/null
echo "installation: $(find "$inst" -type f | wc -l) files, $(du -sb "$inst" | cut -f1) bytes"

[ -n "${DISPLAY:-}" ] || orv_start_display
orv_on_exit orv_end_prefix "$WINEPREFIX"
# The prefix is made once the display exists (its desktop process needs one); it tells Wine not
# to wait for a window manager at each window's end, which would add about 2 s to every quit.
orv_make_prefix "$WINEPREFIX"
trace="$work/trace.txt"
export ORV_STARTUP_TRACE=$(winepath -w "$trace" 2>/dev/null)
cat $(find "$inst" -type f) > /dev/null  # warm the page cache

results=()
printf '%-5s %10s %12s %12s %10s %10s\n' run "total ms" "checks ms" "config ms" "page ms" "quit ms"
for r in $(seq 1 "$runs"); do
  rm -f "$trace"
  s=$(date +%s%N)
  (cd "$inst" && wine ./OrvalinexCore.exe -nokey >"$work/run.log" 2>&1) || true
  e=$(date +%s%N)
  total=$(( (e - s) / 1000000 ))
  # The trace's last line is written at onload, just before the page's CoreQuit.
  quit=$(( e / 1000000 - $(stat -c %.3Y "$trace" 2>/dev/null | tr -d .) ))
  [ -f "$trace" ] || : > "$trace"
  read -r browser navigate onload < <(tr -d '\r' < "$trace" |
    awk '{v[$1]=$2} END {printf "%.0f %.0f %.0f\n", v["browser"], v["navigate"], v["onload"]}')
  if [ -z "${onload:-}" ] || [ "$onload" = 0 ]; then
    echo "run $r: the page never loaded"; cat "$work/run.log"; ls "$inst"; exit 1
  fi
  checks=$browser config=$((navigate - browser)) page=$((onload - navigate))
  printf '%-5s %10s %12s %12s %10s %10s\n' "$r" "$total" "$checks" "$config" "$page" "$quit"
  results+=("$total $onload $checks $config $page $quit")
done

# The notifier: started, asked once with an unknown command (which only shows that its pipe
# serves), then sent "QuitCmd"; from that write to the process's end.
client() { ORV_PIPE_PREFIX=PopOrvalinex wine "$tray/core_events_pipe_client.exe" '\\.\pipe\PopOrvalinex' "$1" | tr -d '\r'; }
trayquits=()
for r in $(seq 1 "$runs"); do
  (cd "$tray" && exec wine ./OrvalinexTray.exe >/dev/null 2>&1) &
  notifier=$!
  client Ready >/dev/null
  written=$(client QuitCmd | awk '/^written/ {print $2}')
  wait "$notifier" || true
  trayquits+=("$(( $(date +%s%N) / 1000000 - written ))")
done
echo "notifier, QuitCmd to its end, ms:      ${trayquits[*]}"

stat() {  # stat COLUMN: best and median of one column of the results
  printf '%s\n' "${results[@]}" | awk -v c="$1" '{print $c}' | sort -n |
    awk '{a[NR]=$1} END {m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2; printf "best %6.0f  median %6.0f", a[1], m}'
}
echo
echo "whole process, shell to exit:          $(stat 1) ms"
echo "process creation to onload:            $(stat 2) ms"
echo "  integrity check and start-up checks: $(stat 3) ms"
echo "  Lua configuration and window:        $(stat 4) ms"
echo "  page (stand-in) until onload:        $(stat 5) ms"
echo "core host, CoreQuit to its end:        $(stat 6) ms"
printf '%s\n' "${trayquits[@]}" | sort -n | awk '{a[NR]=$1} END {m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2; printf "notifier, QuitCmd to its end:          best %6.0f  median %6.0f ms\n", a[1], m}'
echo "(taken on a shared $(nproc)-processor machine, windows unmanaged by a window manager; Wine's own process start is"
echo " part of the first share.)"
