#!/usr/bin/env bash
# Builds the installer over a staged installation folder.
# usage: build-installer.sh STAGE VERSION x86|amd64 OUTFILE
# ORV_INSTALLER_DEVELOPMENT=1 titles a development release's installer so. With signing material
# in the environment (tools/authenticode.sh) the uninstaller it writes is signed as it is built.
# Every name derived from the product identifier comes from common/product.h; the staged files
# are listed once, for installing and for the uninstaller.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
[ $# -eq 4 ] || { echo "usage: $0 STAGE VERSION x86|amd64 OUTFILE" >&2; exit 2; }
stage=$(cd "$1" && pwd) version=$2 arch=$3 out=$4
case $arch in x86|amd64) ;; *) echo "build-installer: unknown architecture $arch" >&2; exit 2;; esac
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  { echo "build-installer: version $version is not four numbers joined by dots" >&2; exit 2; }
command -v makensis >/dev/null || { echo "build-installer: makensis is missing (tools/bootstrap.sh installs nsis)" >&2; exit 2; }

gen=$(mktemp -d /tmp/orv-installer.XXXXXX)
trap 'rm -rf "$gen"' EXIT

# Names from the product's one header.
header=$root/common/product.h
id=$(sed -n 's/^#define ORV_PRODUCT_ID "\(.*\)"$/\1/p' "$header")
name=$(sed -n 's/^inline constexpr wchar_t kProductName\[\] = L"\(.*\)";$/\1/p' "$header")
prefix=$(sed -n 's/^inline constexpr wchar_t kSettingsKeyPrefix\[\] = L"\(.*\)";$/\1/p' "$header" | sed 's/\\\\/\\/g')
[ -n "$id" ] && [ -n "$name" ] && [ -n "$prefix" ] ||
  { echo "build-installer: cannot read the product's names from $header" >&2; exit 1; }
key=${prefix}${id}
parent=${key%\\*}
{
  printf '\xef\xbb\xbf'  # UTF-8 with its mark: the product name is not ASCII
  echo "!define PRODUCT_ID \"$id\""
  echo "!define PRODUCT_NAME \"$name\""
  echo "!define SETTINGS_KEY \"$key\""
  echo "!define SETTINGS_PARENT \"$parent\""
  echo "!define SETTINGS_GRANDPARENT \"${parent%\\*}\""
  echo "!define CORE_FILE \"${id}Core.exe\""
  echo "!define UPDATER_FILE \"${id}Update.exe\""
  echo "!define NOTIFIER_FILE \"${id}Tray.exe\""
  echo "!define CONTROL_FILE \"OstwinAutoCtrl.dll\""
  # The updater's page language: Chinese (PRC).
  echo "!define LANG_ID 2052"
} > "$gen/product.nsh"

# The staged files: installed folder by folder, removed file by file, folders deepest first.
{
  echo '!macro InstallStagedFiles'
  (cd "$stage" && find . -type d | sort) | while read -r d; do
    rel=${d#.}; rel=${rel#/}; win=${rel//\//\\}
    echo "  SetOutPath \"\$INSTDIR${win:+\\$win}\""
    (cd "$stage/$rel" && find . -maxdepth 1 -type f | sort) | while read -r f; do
      f=${f#./}
      echo "  !insertmacro InstallFile \"$stage/${rel:+$rel/}$f\" \"$f\""
    done
  done
  echo '  SetOutPath "$INSTDIR"'
  echo '!macroend'
  echo '!macro RemoveStagedFiles'
  (cd "$stage" && find . -type f | sort) | while read -r f; do
    f=${f#./}; echo "  !insertmacro RemoveWhenFree \"\$INSTDIR\\${f//\//\\}\""
  done
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r d; do
    d=${d#./}; echo "  RMDir \"\$INSTDIR\\${d//\//\\}\""
  done
  echo '!macroend'
} > "$gen/files.nsh"

mkdir -p "$(dirname "$out")"
options=()
[ "${ORV_INSTALLER_DEVELOPMENT:-0}" != 1 ] || options+=(-DDEVELOPMENT)
[ -z "${ORV_SIGN_CERT:-}${ORV_SIGN_PKCS12:-}" ] ||
  options+=("-DSIGN_UNINSTALLER=bash \"$root/tools/authenticode.sh\" sign")
# The files' times are stored in the installer: the commit's time keeps it repeatable.
[ -z "${SOURCE_DATE_EPOCH:-}" ] || find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
log=$gen/makensis.log
if ! makensis -V2 -INPUTCHARSET UTF8 "${options[@]}" -DSTAGE="$stage" -DVERSION="$version" -DARCH="$arch" \
    -DOUTFILE="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")" -DGENERATED="$gen" \
    "$here/orvalinex.nsi" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
echo "installer ($arch, $version): $out"
