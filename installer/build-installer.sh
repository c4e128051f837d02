#!/usr/bin/env bash
# Builds the installer over a staged installation folder.
# usage: build-installer.sh STAGE VERSION x86|amd64 OUTFILE
#        build-installer.sh --check STAGE    only whether the installer can carry every staged name
# ORV_INSTALLER_DEVELOPMENT=1 titles a development release's installer so. With signing material
# in the environment (tools/authenticode.sh) the uninstaller it writes is signed as it is built,
# and a copy of the signed uninstaller goes to ORV_UNINSTALLER_COPY when that names a file.
# Every name derived from the product identifier comes from common/rules/product.h, every
# program's file, how it is stopped and how it is installed from programs.txt; the staged files
# are listed once, in byte order whatever the locale, for installing, for putting back what a
# failed installation replaced, and for the uninstaller. Exit code 0 built (or every name can be
# carried), 1 a staged name the installer cannot carry or makensis failed, 2 usage.
. "$(dirname "${BASH_SOURCE[0]}")/../tools/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
usage() {
  echo "usage: $0 STAGE VERSION x86|amd64 OUTFILE | --check STAGE" >&2
  exit 2
}
check_only=0
if [ "${1:-}" = --check ]; then
  [ $# -eq 2 ] || usage
  check_only=1 stage=$(cd "$2" && pwd)
else
  [ $# -eq 4 ] || usage
  stage=$(cd "$1" && pwd) version=$2 arch=$3 out=$4
  case $arch in x86|amd64) ;; *) echo "build-installer: unknown architecture $arch" >&2; exit 2;; esac
  [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
    { echo "build-installer: version $version is not four numbers joined by dots" >&2; exit 2; }
  command -v makensis >/dev/null || { echo "build-installer: makensis is missing (tools/bootstrap.sh installs nsis)" >&2; exit 2; }
fi

gen=$(mktemp -d /tmp/orv-installer.XXXXXX)
trap 'rm -rf "$gen"' EXIT

# Names from the product's one header, the programs from their one list.
source "$root/tools/programs.sh"
header=$orv_product_header
id=$(orv_product_id)
name=$(orv_product_text kProductName)
prefix=$(orv_product_text kSettingsKeyPrefix)
log_folder=$(orv_product_text kLogFolderName)
log_sddl=$(orv_product_text kLogFolderSddl)
installed_sddl=$(orv_product_text kInstalledFolderSddl)
work_parent=$(orv_product_text kWorkParentName)
trust_folder=$(orv_product_text kTrustFolderName)
[ -n "$id" ] && [ -n "$name" ] && [ -n "$prefix" ] && [ -n "$log_folder" ] && [ -n "$log_sddl" ] &&
  [ -n "$installed_sddl" ] && [ -n "$work_parent" ] && [ -n "$trust_folder" ] ||
  { echo "build-installer: cannot read the product's names from $header" >&2; exit 1; }
key=${prefix}${id}
parent=${key%\\*}
registered=$(orv_programs file install | awk '$2 == "register" { print $1 }')
[ "$(printf '%s\n' "$registered" | grep -c .)" -eq 1 ] ||
  { echo "build-installer: programs.txt must name one program to register, not \"$registered\"" >&2; exit 1; }
{
  printf '\xef\xbb\xbf'  # UTF-8 with its mark: the product name is not ASCII
  echo "!define PRODUCT_ID \"$id\""
  echo "!define PRODUCT_NAME \"$name\""
  echo "!define SETTINGS_KEY \"$key\""
  echo "!define SETTINGS_PARENT \"$parent\""
  echo "!define SETTINGS_GRANDPARENT \"${parent%\\*}\""
  # The logs' folder below the installation (and below the user's local application data), its
  # descriptor, and the updater's work folders' parent.
  echo "!define LOG_FOLDER \"$log_folder\""
  echo "!define LOG_FOLDER_SDDL \"$log_sddl\""
  echo "!define WORK_PARENT \"$work_parent\""
  echo "!define TRUST_FOLDER \"$trust_folder\""
  # The installed folder's own descriptor.
  echo "!define INSTALLED_FOLDER_SDDL \"$installed_sddl\""
  # <ROLE>_FILE for every program, and the one registered as a COM server.
  while read -r role file; do echo "!define ${role^^}_FILE \"$file\""; done < <(orv_programs role file)
  echo "!define REGISTERED_FILE \"$registered\""
  # The programs the uninstaller stops, in the list's order.
  echo "!macro StopPrograms"
  while read -r file stop; do
    [ "$stop" = - ] || echo "  !insertmacro StopProgram \"$file\""
  done < <(orv_programs file stop)
  echo "!macroend"
  # Every program's log in the local application data of the user who uninstalls (the user's own
  # programs write there; a name that is not there is passed over).
  echo "!macro RemoveUserLogs"
  while read -r file; do echo "  !insertmacro RemoveUserLog \"$file\""; done < <(orv_programs file)
  echo "!macroend"
  # The updater's page language: Chinese (PRC).
  echo "!define LANG_ID 2052"
} > "$gen/product.nsh"

# A staged name as NSIS text inside double quotes: "$" is written "$$" and "{" as the code point
# ${U+7B}, so that the compiler reads neither a variable, an escape nor a define into it. A name
# with a character Windows does not allow in names is refused.
nsis_text() {
  local name=$1 forbidden='[[:cntrl:]\:*?"<>|]'
  if [[ $name =~ $forbidden ]]; then
    echo "build-installer: refused: the staged name \"$name\" holds a character Windows does not allow in names" >&2
    return 1
  fi
  name=${name//\$/\$\$}
  printf '%s' "${name//\{/\$\{U+7B\}}"
}
# The installed folder of a staged folder ("." for the installation folder) as NSIS text.
folder_text() {
  local text='$INSTDIR' rest=$1 part
  while [ "$rest" != . ] && [ -n "$rest" ]; do
    part=${rest%%/*}
    text+="\\$(nsis_text "$part")" || return 1
    [[ $rest == */* ]] && rest=${rest#*/} || rest=""
  done
  printf '%s' "$text"
}

# The staged files, each a copy under its number (so that no name reaches the compiler as a
# path) with its installed folder ($R8) and name ($R9) as run-time texts: a step macro gets the
# copy and the number. The folders below the installation folder come deepest first.
mkdir "$gen/files"
{
  echo '!macro StagedFiles STEP'
  index=0 registered_index=""
  while IFS= read -r -d '' rel; do
    rel=${rel#./} index=$((index + 1)) dir=.
    [[ $rel != */* ]] || dir=${rel%/*}
    folder=$(folder_text "$dir")
    name=$(nsis_text "${rel##*/}")
    cp -p "$stage/$rel" "$gen/files/$index"
    echo "  StrCpy \$R8 \"$folder\""
    echo "  StrCpy \$R9 \"$name\""
    echo "  !insertmacro \${STEP} \"$gen/files/$index\" $index"
    [ "$rel" != "$registered" ] || registered_index=$index
  done < <(cd "$stage" && find . -type f -print0 | LC_ALL=C sort -z)
  echo '!macroend'
  echo '!macro StagedFolders STEP'
  while IFS= read -r -d '' rel; do
    folder=$(folder_text "${rel#./}")
    echo "  StrCpy \$R8 \"$folder\""
    echo "  !insertmacro \${STEP}"
  done < <(cd "$stage" && find . -mindepth 1 -type d -print0 | LC_ALL=C sort -rz)
  echo '!macroend'
  [ -n "$registered_index" ] || { echo "build-installer: the stage holds no $registered" >&2; exit 1; }
  echo "!define REGISTERED_INDEX $registered_index"
} > "$gen/files.nsh"
[ $check_only -eq 0 ] || exit 0
# The files' times are stored in the installer: the commit's time keeps it repeatable.
[ -z "${SOURCE_DATE_EPOCH:-}" ] || find "$gen/files" -type f -exec touch -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$(dirname "$out")"
options=()
[ "${ORV_INSTALLER_DEVELOPMENT:-0}" != 1 ] || options+=(-DDEVELOPMENT)
if [ -n "${ORV_SIGN_CERT:-}${ORV_SIGN_PKCS12:-}" ]; then
  sign_command="bash \"$root/tools/authenticode.sh\" sign \"%1\""
  [ -z "${ORV_UNINSTALLER_COPY:-}" ] || sign_command+=" \"$ORV_UNINSTALLER_COPY\""
  options+=("-DSIGN_UNINSTALLER=$sign_command")
fi
log=$gen/makensis.log
if ! makensis -V2 -INPUTCHARSET UTF8 "${options[@]}" -DSTAGE="$stage" -DVERSION="$version" -DARCH="$arch" \
    -DOUTFILE="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")" -DGENERATED="$gen" \
    "$here/orvalinex.nsi" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
echo "installer ($arch, $version): $out"
