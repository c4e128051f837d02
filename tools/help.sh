# Sourced first by every runnable script: "-h" or "--help" as its first argument prints the
# script's header comment (what it does, its usage) and ends it with exit code 0.
#   orv_help_if_asked SCRIPT "$@"
orv_help_if_asked() {
  local script=$1
  case ${2:-} in
    -h|--help)
      sed -n '2,/^[^#]/p' "$script" | sed '/^[^#]/d; s/^# \{0,1\}//'
      exit 0 ;;
  esac
}
