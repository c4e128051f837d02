# Installs Debian packages so that a registry mirror caught mid-sync does not stop the run: apt's
# own retries on, the update and each install tried again after a pause, and the run going on with
# the lists it has when an index still fails. Sourced by tools/bootstrap.sh; tests/tools runs it
# against a stand-in apt.
#
#   orv_apt_install REQUIRED... [-- OPTIONAL...]
#       installs what is missing of both lists (orv_apt_packages below joins REQUIRED). A required package that cannot be had ends the
#       run (exit 1) naming it and apt's answer: at once when the lists do not know it, after the
#       tries when its download fails. Optional packages are installed together, after the
#       required ones; when they cannot be, orv_apt_missing lists them and orv_apt_answer holds
#       apt's answer, for the caller's one line. Returns 0 when everything required is installed.
#
# Settings: ORV_APT_TRIES (3), ORV_APT_PAUSE (seconds before the second try, doubled each time:
# 10), ORV_APT_LOG (the caller's log function: bootstrap's `log`), ORV_APT_UPDATE=1 (update the
# lists even when nothing is missing: the caller added a source).

# Required packages of the tools beyond the caller's list, installed with it: nginx (the update
# server of the life and the tests, tools/serve.sh), SoftHSM and OpenSSL's PKCS#11 engine
# (signing on a token, tools/authenticode.sh, and its test).
orv_apt_packages=(nginx softhsm2 libengine-pkcs11-openssl)

orv_apt_tries=${ORV_APT_TRIES:-3}
orv_apt_pause=${ORV_APT_PAUSE:-10}
orv_apt_missing=()
orv_apt_options=(-q -o Acquire::Retries=3 -o DPkg::Lock::Timeout=600)

orv_apt_log() { "${ORV_APT_LOG:-echo}" "$@"; }
orv_apt_sudo() { if [ "$(id -u)" -ne 0 ]; then echo sudo; fi; }

# orv_apt_not_installed PACKAGE...: prints those not installed.
orv_apt_not_installed() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# apt's first error line of a log, for the one line that says why.
orv_apt_reason() { grep -m1 '^E: ' "$1" | cut -c4- | cut -c1-200; }

# orv_apt_try LOG COMMAND...: the command up to orv_apt_tries times, pausing in between; its last
# output in LOG. A package the lists do not know, or whose dependencies they cannot meet, is final
# at once: a pause brings neither; only a failed fetch is tried again.
orv_apt_try() {
  local log=$1; shift
  local try=1 pause=$orv_apt_pause
  while :; do
    if "$@" >"$log" 2>&1; then return 0; fi
    if grep -qE 'Unable to locate package|has no installation candidate|generated breaks|Unmet dependencies' "$log"; then return 1; fi
    [ "$try" -lt "$orv_apt_tries" ] || return 1
    orv_apt_log "apt failed ($(orv_apt_reason "$log")); trying again in ${pause}s"
    sleep "$pause"
    try=$((try + 1)) pause=$((pause * 2))
  done
}

orv_apt_update() {
  local log; log=$(mktemp /tmp/orvalinex-apt.XXXXXX.log)
  if ! orv_apt_try "$log" $(orv_apt_sudo) apt-get "${orv_apt_options[@]}" update; then
    orv_apt_log "some package lists could not be updated ($(orv_apt_reason "$log")); going on with the lists apt has"
  fi
  rm -f "$log"
}

# orv_apt_get PACKAGE...: true when apt installed them all; apt's answer in orv_apt_answer.
orv_apt_get() {
  local log; log=$(mktemp /tmp/orvalinex-apt.XXXXXX.log)
  local status=0
  orv_apt_try "$log" env DEBIAN_FRONTEND=noninteractive $(orv_apt_sudo) apt-get \
    "${orv_apt_options[@]}" install -y --no-install-recommends "$@" || status=1
  orv_apt_answer=$(orv_apt_reason "$log")
  [ -n "$orv_apt_answer" ] || orv_apt_answer=$(tail -n 1 "$log")
  rm -f "$log"
  return $status
}

orv_apt_install() {
  local required=() optional=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do required+=("$1"); shift; done
  required+=("${orv_apt_packages[@]}")
  [ $# -eq 0 ] || { shift; optional=("$@"); }
  local need want
  mapfile -t need < <(orv_apt_not_installed "${required[@]}")
  mapfile -t want < <(orv_apt_not_installed "${optional[@]}")
  orv_apt_missing=()
  [ "${#need[@]}" -gt 0 ] || [ "${#want[@]}" -gt 0 ] || [ "${ORV_APT_UPDATE:-0}" -eq 1 ] || return 0

  # A machine that has every required package tries the optional ones once, without pauses: a
  # mirror that is still mid-sync costs each later run seconds, and one that has caught up gives
  # them.
  [ "${#need[@]}" -gt 0 ] || orv_apt_tries=1
  orv_apt_log "installing: ${need[*]:-} ${want[*]:-}"
  orv_apt_update
  if [ "${#need[@]}" -gt 0 ] && ! orv_apt_get "${need[@]}"; then
    local p gone=()
    for p in "${need[@]}"; do
      apt-cache policy "$p" 2>/dev/null | grep -q 'Candidate: [^(]' || gone+=("$p")
    done
    orv_apt_log "cannot install the required package(s) ${gone[*]:-${need[*]}}: $orv_apt_answer"
    return 1
  fi
  if [ "${#want[@]}" -gt 0 ] && ! orv_apt_get "${want[@]}"; then
    orv_apt_missing=("${want[@]}")
  fi
  return 0
}
