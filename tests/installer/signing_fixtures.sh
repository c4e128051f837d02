# Throw-away signing material for the tests that sign as a bank signs, sourced after
# tools/wine-env.sh (for orv_on_exit):
#   orv_make_authorities DIR   a root and an intermediate that issue the code-signing certificate,
#                              a time-stamping authority under a root of its own, and another root
#                              with a signer of its own. Writes DIR/NAME.pem and NAME.key for root,
#                              inter, signer, tsaroot, tsa, other and stranger, and
#                              signer-chain.pem (signer + intermediate), trust.pem (the CAs a
#                              release trusts: root, intermediate, time-stamping root),
#                              tsa-chain.pem and with-leaf.pem (root + signer: no CA list)
#   orv_start_tsa DIR          the loopback RFC 3161 server over DIR/tsa.*, ended with the
#                              calling script; sets orv_tsa_url
#   orv_make_token DIR LABEL OBJECT KEY.pem PIN
#                              a SoftHSM token LABEL (its files in DIR/tokens, SOFTHSM2_CONF
#                              exported) holding KEY as the private key OBJECT; sets
#                              orv_pkcs11_module (the token's PKCS#11 library)
#   orv_signed_by_fixtures DIR FILE
#                              osslsigncode's own verdict on FILE: signed by DIR's signer under
#                              its root, with a verified time stamp of DIR's authority (the
#                              report in DIR/verify)
orv_signing_fixtures_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

orv_make_authorities() {
  local d=$1 ca leaf
  _orv_cert() {  # _orv_cert NAME SUBJECT ISSUER|self EXTENSIONS
    printf '%b' "$4" >"$d/$1.ext"
    openssl req -new -newkey rsa:2048 -nodes -keyout "$d/$1.key" -out "$d/$1.csr" -subj "/CN=$2" 2>/dev/null
    if [ "$3" = self ]; then
      openssl x509 -req -in "$d/$1.csr" -signkey "$d/$1.key" -out "$d/$1.pem" -days 2 -extfile "$d/$1.ext"
    else
      openssl x509 -req -in "$d/$1.csr" -CA "$d/$3.pem" -CAkey "$d/$3.key" -CAcreateserial \
        -out "$d/$1.pem" -days 2 -extfile "$d/$1.ext"
    fi 2>/dev/null
  }
  ca='basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\nsubjectKeyIdentifier=hash\n'
  leaf='basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n'
  _orv_cert root "signing test root" self "$ca" &&
    _orv_cert inter "signing test intermediate" root "$ca" &&
    _orv_cert signer "signing test signer" inter "${leaf}extendedKeyUsage=codeSigning\n" &&
    _orv_cert tsaroot "signing test time-stamping root" self "$ca" &&
    _orv_cert tsa "signing test time-stamping authority" tsaroot "${leaf}extendedKeyUsage=critical,timeStamping\n" &&
    _orv_cert other "another root" self "$ca" &&
    _orv_cert stranger "another signer" other "${leaf}extendedKeyUsage=codeSigning\n" || return 1
  cat "$d/signer.pem" "$d/inter.pem" >"$d/signer-chain.pem"
  cat "$d/root.pem" "$d/inter.pem" "$d/tsaroot.pem" >"$d/trust.pem"
  cat "$d/tsa.pem" "$d/tsaroot.pem" >"$d/tsa-chain.pem"
  cat "$d/root.pem" "$d/signer.pem" >"$d/with-leaf.pem"
}

orv_start_tsa() {  # the server's standard input is ours, so it ends with this script too
  local d=$1 port
  # (The shell's warning that another coprocess, nginx's say, is running goes to /dev/null;
  # the server's own complaints to the caller's standard error.)
  { coproc ORV_TSA { exec python3 "$orv_signing_fixtures_dir/tsa_server.py" "$d/tsa.pem" "$d/tsa.key" \
                          "$d/tsa-chain.pem" "$d" 2>&4; }; } 4>&2 2>/dev/null
  orv_on_exit kill "$ORV_TSA_PID"
  read -r port <&"${ORV_TSA[0]}" || { echo "the time-stamping server did not start" >&2; return 1; }
  orv_tsa_url=http://127.0.0.1:$port/
}

orv_make_token() {
  local d=$1 label=$2 object=$3 key=$4 pin=$5
  orv_pkcs11_module=$(ls /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so 2>/dev/null | head -n1)
  [ -n "$orv_pkcs11_module" ] || { echo "SoftHSM (softhsm2) is not installed" >&2; return 1; }
  mkdir -p "$d/tokens"
  printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$d/tokens" >"$d/softhsm2.conf"
  export SOFTHSM2_CONF=$d/softhsm2.conf
  softhsm2-util --init-token --free --label "$label" --so-pin 9999 --pin "$pin" >/dev/null &&
    openssl pkcs8 -topk8 -nocrypt -in "$key" -out "$d/token-import.p8" &&
    softhsm2-util --import "$d/token-import.p8" --token "$label" --label "$object" --id 01 \
      --pin "$pin" >/dev/null || return 1
  rm "$d/token-import.p8"
}

orv_signed_by_fixtures() {
  local d=$1
  osslsigncode verify -CAfile "$d/root.pem" -TSA-CAfile "$d/tsaroot.pem" -in "$2" >"$d/verify" 2>&1 &&
    grep -q 'Subject: /CN=signing test signer' "$d/verify" &&
    grep -q '^Timestamp Server Signature verification: ok' "$d/verify" &&
    grep -q 'Issuer: /CN=signing test time-stamping root' "$d/verify"
}
