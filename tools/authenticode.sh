#!/usr/bin/env bash
# Authenticode signatures of the release's programs, libraries and installer (osslsigncode,
# SHA-256, the product's name and address in the signature). The signing material comes from the
# environment, so that the installer's build can sign the uninstaller it writes the same way:
#   ORV_SIGN_CERT + ORV_SIGN_KEY   PEM certificate (chain) and private key, or
#   ORV_SIGN_PKCS12                a PKCS#12 file whose password is in the environment variable
#                                  named by ORV_SIGN_PASS_ENV (never on a command line)
#   ORV_SIGN_CAFILE                the certificates a signature is verified against
#   ORV_SIGN_TIMESTAMP_URL         optional RFC 3161 time-stamping server
#   ORV_SIGN_TIME                  the signing time (Unix time), so that a signature is repeatable
# usage: authenticode.sh sign FILE [COPY]   signs FILE in place (and copies the signed file to
#                                           COPY: the installer's build hands out its uninstaller)
#        authenticode.sh verify FILE
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() { echo "usage: $0 sign FILE [COPY] | verify FILE" >&2; exit 2; }
[ $# -eq 2 ] || { [ $# -eq 3 ] && [ "$1" = sign ]; } || usage
file=$2
source "$root/tools/programs.sh"
name=$(orv_product_text kProductName)
url=$(orv_product_text kProductUrl)

case $1 in
  sign)
    args=(sign -h sha256 -n "$name" -i "$url")
    [ -z "${ORV_SIGN_TIME:-}" ] || args+=(-time "$ORV_SIGN_TIME")
    [ -z "${ORV_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$ORV_SIGN_TIMESTAMP_URL")
    pass=""
    if [ -n "${ORV_SIGN_PKCS12:-}" ]; then
      args+=(-pkcs12 "$ORV_SIGN_PKCS12" -readpass -)
      pass=${!ORV_SIGN_PASS_ENV}
    else
      args+=(-certs "$ORV_SIGN_CERT" -key "$ORV_SIGN_KEY")
    fi
    rm -f "$file.signed"
    if ! printf '%s' "$pass" | osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >"$file.sign.log" 2>&1; then
      cat "$file.sign.log" >&2; rm -f "$file.signed" "$file.sign.log"; exit 1
    fi
    rm -f "$file.sign.log"
    mv "$file.signed" "$file"
    [ $# -lt 3 ] || cp "$file" "$3"
    ;;
  verify)
    osslsigncode verify -CAfile "$ORV_SIGN_CAFILE" -in "$file" >/dev/null 2>&1
    ;;
  *) usage;;
esac
