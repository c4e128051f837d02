#!/usr/bin/env bash
# Authenticode signatures of the release's programs, libraries and installer (osslsigncode,
# SHA-256, the product's name and address in the signature): the one place that signs and
# verifies them. The signing material comes from the environment, so that the installer's build
# can sign the uninstaller it writes the same way:
#   ORV_SIGN_CERT + ORV_SIGN_KEY   PEM certificate (chain) and private key, or
#   ORV_SIGN_PKCS12                a PKCS#12 file whose password is in the environment variable
#                                  named by ORV_SIGN_PASS_ENV (never on a command line), or
#   ORV_SIGN_PKCS11_MODULE + ORV_SIGN_PKCS11_URI + ORV_SIGN_CERT
#                                  a key on a PKCS#11 token (its library and the key's pkcs11:
#                                  URI) with its PEM certificate (chain); the PIN, if any, in the
#                                  variable ORV_SIGN_PASS_ENV names. The token is reached through
#                                  OpenSSL's PKCS#11 engine (ORV_SIGN_PKCS11_ENGINE, default
#                                  pkcs11.so in OpenSSL's engines folder)
#   ORV_SIGN_CAFILE                the certificates a signature (and its time stamp) is
#                                  verified against
#   ORV_SIGN_REQUIRE_TIMESTAMP     1: a signature verifies only with a time stamp that verifies
#   ORV_SIGN_TIMESTAMP_URL         optional RFC 3161 time-stamping server
#   ORV_SIGN_TIME                  the signing time (Unix time), so that a signature is repeatable
# usage: authenticode.sh sign FILE [COPY]   signs FILE in place (and copies the signed file to
#                                           COPY: the installer's build hands out its uninstaller)
#        authenticode.sh verify FILE
#        authenticode.sh authorities FILE   is FILE a PEM list of CA certificates only? (exit 0;
#                                           else 1, the reason on standard output)
#        authenticode.sh issued CERT CHAIN  does the signing certificate CERT chain to
#                                           ORV_SIGN_CAFILE through the intermediates in CHAIN?
#                                           (exit 0; else 1, openssl's reason on standard output)
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() { echo "usage: $0 sign FILE [COPY] | verify FILE | authorities FILE | issued CERT CHAIN" >&2; exit 2; }
[ $# -eq 2 ] || { [ $# -eq 3 ] && [[ $1 == sign || $1 == issued ]]; } || usage
file=$2

# The certificates of a PEM file, one a line as its subject and whether it is a CA.
authorities() {
  local dir n=0 c
  [ -r "$1" ] || { echo "cannot be read"; return 1; }
  dir=$(mktemp -d /tmp/orv-authorities.XXXXXX)
  awk -v d="$dir" '/-----BEGIN CERTIFICATE-----/ { n++; f = sprintf("%s/%03d.pem", d, n) }
                   f { print > f } /-----END CERTIFICATE-----/ { close(f); f = "" }' "$1"
  for c in "$dir"/*.pem; do
    [ -e "$c" ] || break
    n=$((n + 1))
    if ! openssl x509 -in "$c" -noout 2>/dev/null; then
      echo "its certificate $n is not one"; rm -rf "$dir"; return 1
    fi
    if ! openssl x509 -in "$c" -noout -ext basicConstraints 2>/dev/null | grep -q 'CA:TRUE'; then
      echo "$(openssl x509 -in "$c" -noout -subject) is no certificate authority: the trust chain holds the root and intermediate CA certificates, not the signing certificate"
      rm -rf "$dir"; return 1
    fi
  done
  rm -rf "$dir"
  [ $n -gt 0 ] || { echo "holds no PEM certificate"; return 1; }
}

case $1 in
  sign)
    source "$root/tools/programs.sh"
    args=(sign -h sha256 -n "$(orv_product_text kProductName)" -i "$(orv_product_text kProductUrl)")
    [ -z "${ORV_SIGN_TIME:-}" ] || args+=(-time "$ORV_SIGN_TIME")
    [ -z "${ORV_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$ORV_SIGN_TIMESTAMP_URL")
    pass=""
    if [ -n "${ORV_SIGN_PKCS12:-}" ]; then
      args+=(-pkcs12 "$ORV_SIGN_PKCS12" -readpass -)
      pass=${!ORV_SIGN_PASS_ENV}
    elif [ -n "${ORV_SIGN_PKCS11_MODULE:-}" ]; then
      engine=${ORV_SIGN_PKCS11_ENGINE:-$(openssl version -e | sed 's/^ENGINESDIR: "\(.*\)"$/\1/')/pkcs11.so}
      [ -r "$engine" ] || { echo "authenticode: OpenSSL's PKCS#11 engine $engine is missing (Debian: libengine-pkcs11-openssl)" >&2; exit 1; }
      args+=(-pkcs11engine "$engine" -pkcs11module "$ORV_SIGN_PKCS11_MODULE" -certs "$ORV_SIGN_CERT"
             -key "$ORV_SIGN_PKCS11_URI")
      if [ -n "${ORV_SIGN_PASS_ENV:-}" ]; then args+=(-readpass -); pass=${!ORV_SIGN_PASS_ENV}; fi
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
    # osslsigncode accepts a signature whose time stamp does not verify (it then checks the
    # certificate at the present time), so a required time stamp is read from its report.
    report=$(osslsigncode verify -CAfile "$ORV_SIGN_CAFILE" -TSA-CAfile "$ORV_SIGN_CAFILE" -in "$file" 2>&1) || exit 1
    [ "${ORV_SIGN_REQUIRE_TIMESTAMP:-0}" != 1 ] || grep -q '^Timestamp Server Signature verification: ok' <<<"$report"
    ;;
  authorities) authorities "$file" ;;
  issued)
    [ $# -eq 3 ] || usage
    if ! answer=$(openssl verify -CAfile "$ORV_SIGN_CAFILE" -untrusted "$3" "$file" 2>&1); then
      grep -m1 '^error' <<<"$answer" || echo "$answer"
      exit 1
    fi
    ;;
  *) usage;;
esac
