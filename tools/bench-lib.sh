# Shared by the benchmark scripts, which source it from the project root.
#   bench_builds NEEDS...      the builds to use: ORV_NATIVE_BUILD / ORV_WIN64_BUILD when given
#                              (nothing is built then), else bootstraps and builds NEEDS
#   bench_installation DIR     the benchmark installation's files below DIR: 8 files of 24 MiB
#                              in big/ and 192 of about 341 KiB in small/, 256 MiB in 200 files
#   best [--any-exit] RUNS COMMAND...
#                              the best wall-clock time of RUNS runs of COMMAND, in seconds;
#                              "{run}" in an argument becomes the run's number (a file of its
#                              own per run). A run that fails ends it with a line that says
#                              which (--any-exit: any exit code counts as a run)
bench_builds() {
  native=${ORV_NATIVE_BUILD:-build/native} win64=${ORV_WIN64_BUILD:-build/win64}
  if [ -z "${ORV_NATIVE_BUILD:-}${ORV_WIN64_BUILD:-}" ]; then
    bash tools/bootstrap.sh >/dev/null
    bash tools/build.sh "$@" >/dev/null
  fi
}

bench_installation() {
  mkdir -p "$1/big" "$1/small"
  local i
  for i in $(seq 1 8); do head -c $((24 << 20)) /dev/urandom > "$1/big/part$i.bin"; done
  for i in $(seq 1 192); do head -c 349525 /dev/urandom > "$1/small/file$i.dat"; done
}

best() {
  local any_exit=0
  if [ "$1" = --any-exit ]; then any_exit=1; shift; fi
  local runs=$1 b="" s e t run status
  shift
  for run in $(seq 1 "$runs"); do
    local command=("${@//\{run\}/$run}")
    s=$(date +%s.%N); status=0; "${command[@]}" >/dev/null 2>&1 || status=$?; e=$(date +%s.%N)
    if [ "$status" -ne 0 ] && [ "$any_exit" -eq 0 ]; then
      echo "bench: run $run of ${command[*]} failed with exit code $status" >&2
      return 1
    fi
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
  done
  printf '%.3f' "$b"
}
