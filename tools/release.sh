#!/usr/bin/env bash
# Publishes a release: builds the deliverables with the release's version, update host and
# manifest key, lays the whole release out (programs, content, the installer's input), checks it,
# then signs it (Authenticode, the manifests), builds the installer, lays out the update server's
# folder, verifies every signature it publishes, publishes the folder's files as targets of the
# repository of The Update Framework (SERVER/tuf, verified with the update client), writes the
# release record and checks the folder against what the updater relies on; it publishes only
# what passed every check.
#
# usage: tools/release.sh VERSION (--key KEY --update-host HOST[:PORT] SIGNING TUF CHAIN
#                                  | --dev [SIGNING] [TUF] [CHAIN])
#                          [--wine] [--content DIR] [--out DIR] [--build-dir DIR] [--no-build]
#                          [--programs DIR] [--arch x86|amd64]
#   SIGNING: (--sign-cert CERT.pem --sign-key KEY.pem | --sign-pkcs12 FILE --sign-pass-env VAR
#             | --sign-pkcs11-module LIB --sign-pkcs11-uri URI --sign-cert CERT.pem
#               [--sign-pass-env VAR]) [--timestamp-url URL] [--trust-chain FILE.pem]
#   TUF:     --tuf-repo REPO --tuf-targets-key K --tuf-snapshot-key K --tuf-timestamp-key K
#   CHAIN:   (--previous OLD/release.json [--rotate manifest-key] [--new-host HOST] | --first-release)
#   VERSION        four numbers joined by dots: every program's and library's version, the
#                  installer's, the installation's Version value and every manifest entry's
#   --key          the manifest signing key of a production release (not the development key): a
#                  1024-bit RSA private key (PEM); the programs carry its public half
#   --update-host  the update server the programs are built for
#   --dev          a development release: the development key and the placeholder host are
#                  allowed (and the defaults), signing is optional, the tree may hold uncommitted
#                  changes, and every output says so
#   --sign-cert, --sign-key    Authenticode certificate (chain) and key, PEM
#   --sign-pkcs12  Authenticode PKCS#12 file; its password is in the environment variable VAR
#   --sign-pkcs11-module, --sign-pkcs11-uri  the signing key on a PKCS#11 token (a hardware
#                  security module): the token's PKCS#11 library and the key's pkcs11: URI; the
#                  certificate (chain) is --sign-cert's, the PIN in the environment variable
#                  --sign-pass-env names (never in the URI)
#   --timestamp-url  RFC 3161 time-stamping server for the signatures; required in a production
#                  release, whose signatures must outlive the signing certificate
#   --tuf-repo     the repository of The Update Framework (made with tuf_repo init; not one whose
#                  root names a development key): the programs carry its newest root, and the
#                  release publishes the server folder's files as its targets. A failed release
#                  leaves it as it was. --dev: default build/tuf-dev-repo, made from keys/tuf-dev
#   --tuf-targets-key, --tuf-snapshot-key, --tuf-timestamp-key
#                  the repository's role keys (ed25519 or ECDSA P-256 PEM), checked against its
#                  root before anything is built (--dev: default keys/tuf-dev)
#   --previous     the record of the release this one follows: refused when the manifest key or
#                  the update host differ from it, the version is not above it, or the
#                  repository's root does not chain from the root it recorded
#   --rotate manifest-key   (with --previous) the manifest key changes on purpose
#   --new-host HOST         (with --previous) the update host changes on purpose, to HOST
#   --first-release  the product's first release: nothing to follow. A production release needs
#                  --previous or --first-release; both overrides are written into the record
#   --trust-chain  the certificate authorities every signature is verified against: the root and
#                  intermediate CA certificates (PEM) of the signing certificate and of the
#                  time-stamping server, CA certificates only; required in a production release.
#                  Without it (--dev only) signatures are verified against the system's
#                  authorities and the signing certificate itself, and the tool says so
#   --wine         (--dev only) the release for Wine: the core host and the updater are their
#                  test builds (the stand-in page; Wine cannot render their real pages) under the
#                  shipped names
#   --content      the core host's scripts and entry page (default: installer/content); it may not
#                  carry a file of the release's own names, anything but regular files, or an
#                  empty file, and a Windows program in it must carry a valid Authenticode signature
#   --out          where to write (default: build/release/VERSION, -DEVELOPMENT and -wine added);
#                  a folder that holds a release already is refused, never replaced
#   --build-dir    the 32-bit build (default build/win32); the release's programs are built in
#                  DIR/release/<key>-<host>, with the release's version, host and key
#   --no-build     (--dev only) use the programs already built there
#   --programs     (--dev only) use the programs already built in DIR as they are
#   --arch         x86 (default: the shipped 32-bit build, build/win32) or amd64 (build/win64)
# Writes OUT/stage (the installation folder), OUT/<id>Setup.exe (the installer), OUT/server (the
# update server's folder, SERVER/tuf its repository of The Update Framework; OUT/server-DEVELOPMENT
# for --dev) and OUT/release.json (the release record), and the checks' reports OUT/*-check.txt. A refused or failed run leaves only reports.
# Exit code 0 published, 1 refused (the release breaks a rule), 2 usage, 3 failed (a step could
# not be done: the build, a tool). --help shows this text.
set -Eeuo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

help_text() { sed -n '/^# usage:/,/^set -Eeuo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; }
usage() { help_text >&2; exit 2; }
bad_usage() { echo "release: $*" >&2; exit 2; }
refuse() { echo "release: refused: $*" >&2; exit 1; }
failed() { echo "release: failed: $*" >&2; exit 3; }
# Anything else that fails is a failure too (a subshell leaves the saying to its parent).
trap '[ $BASHPID != $$ ] || echo "release: failed: $BASH_COMMAND (line $LINENO)" >&2; exit 3' ERR
abspath() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
[ $# -ge 1 ] || usage
case $1 in -h|--help) help_text; exit 0;; esac
version=$1; shift
key="" host="" dev=0 wine=0 out="" build=1 content=$root/installer/content built="" base="" arch=x86
sign_cert="" sign_key="" sign_p12="" sign_pass_env="" timestamp=""
tuf_repo_dir="" tuf_targets_key="" tuf_snapshot_key="" tuf_timestamp_key=""
previous="" first_release=0 rotate="" new_host=""
sign_cert="" sign_key="" sign_p12="" sign_pass_env="" timestamp="" trust_chain=""
sign_module="" sign_uri=""
while [ $# -gt 0 ]; do
  case $1 in
    --dev) dev=1; shift; continue;;
    --first-release) first_release=1; shift; continue;;
    --wine) wine=1; shift; continue;;
    --no-build) build=0; shift; continue;;
  esac
  [ $# -ge 2 ] || usage
  case $1 in
    --key) key=$(abspath "$2");;
    --update-host) host=$2;;
    --out) out=$2;;
    --build-dir) base=$(cd "$2" && pwd);;
    --programs) built=$(cd "$2" && pwd) build=0;;
    --arch) arch=$2;;
    --content) content=$(cd "$2" && pwd);;
    --sign-cert) sign_cert=$(abspath "$2");;
    --sign-key) sign_key=$(abspath "$2");;
    --sign-pkcs12) sign_p12=$(abspath "$2");;
    --sign-pass-env) sign_pass_env=$2;;
    --timestamp-url) timestamp=$2;;
    --tuf-repo) tuf_repo_dir=$(abspath "$2");;
    --tuf-targets-key) tuf_targets_key=$(abspath "$2");;
    --tuf-snapshot-key) tuf_snapshot_key=$(abspath "$2");;
    --tuf-timestamp-key) tuf_timestamp_key=$(abspath "$2");;
    --previous) previous=$(abspath "$2");;
    --rotate) rotate=$2;;
    --new-host) new_host=$2;;
    --trust-chain) trust_chain=$(abspath "$2");;
    --sign-pkcs11-module) sign_module=$(abspath "$2");;
    --sign-pkcs11-uri) sign_uri=$2;;
    *) usage;;
  esac
  shift 2
done
case $arch in x86) preset=win32;; amd64) preset=win64;; *) bad_usage "unknown architecture $arch";; esac
base=${base:-$root/build/$preset}
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || bad_usage "$version is not four numbers joined by dots"
# The development key (keys/manifest-dev.pub) by its fingerprint, written here rather than read
# from the checkout, so that it is known whatever files the tree holds.
dev_fp=1762ddb3b0b6c3890fd9497027b5080c79cdfe4ba9dbb87d8ca88e1fd80ec53f
placeholder=update.example.invalid
fingerprint() {  # the SHA-256 of the DER of a private key's public half
  openssl rsa -in "$1" -RSAPublicKey_out -outform DER 2>/dev/null | sha256sum | cut -d' ' -f1
}

# --- what kind of release: key, host, signing material and tree --------------------------------
if [ $dev -eq 1 ]; then
  key=${key:-$root/keys/manifest-dev.key} host=${host:-$placeholder}
else
  [ -n "$key" ] || bad_usage "a production release needs --key (or --dev for a development release)"
  [ -n "$host" ] || bad_usage "a production release needs --update-host (or --dev for a development release)"
fi
[ -r "$key" ] || bad_usage "cannot read the signing key $key"
[[ $host =~ ^[A-Za-z0-9.-]+(:[0-9]+)?$ ]] || bad_usage "$host is not host[:port]"
key_fp=$(fingerprint "$key") || bad_usage "$key is not an RSA private key"
# The programs verify the manifest with a 1024-bit key (the signature block has room for no
# other), so any other size is refused here, before anything is built or signed.
key_bits=$(openssl rsa -in "$key" -noout -text 2>/dev/null | sed -n '1s/.*(\([0-9]*\) bit.*/\1/p')
[ "$key_bits" = 1024 ] ||
  refuse "$key is a ${key_bits:-?}-bit RSA key; the manifest key is a 1024-bit RSA key"
if [ $dev -eq 0 ]; then
  # What a production release publishes is built here, from its commit, for customers.
  [ $wine -eq 0 ] || refuse "--wine makes a release for Wine's tests (the stand-in page, a test server); it is for --dev only"
  [ $build -eq 1 ] || refuse "a production release builds its programs from its commit; --no-build and --programs are for --dev only"
  [ "$key_fp" != "$dev_fp" ] ||
    refuse "$key is the development key (its fingerprint $key_fp); use the bank's key, or --dev"
  [ "$host" != $placeholder ] || refuse "$host is the placeholder host; name the bank's, or --dev"
fi
signing=0
if [ -n "$sign_cert$sign_key$sign_p12$sign_module$sign_uri" ]; then
  if [ -n "$sign_p12" ]; then
    [ -z "$sign_cert$sign_key$sign_module$sign_uri" ] || bad_usage "--sign-pkcs12 goes alone, without --sign-cert, --sign-key and a PKCS#11 token"
    [ -n "$sign_pass_env" ] && [ -n "${!sign_pass_env+x}" ] ||
      bad_usage "--sign-pkcs12 needs --sign-pass-env naming a set environment variable"
  elif [ -n "$sign_module$sign_uri" ]; then
    [ -n "$sign_module" ] && [ -n "$sign_uri" ] && [ -n "$sign_cert" ] && [ -z "$sign_key" ] ||
      bad_usage "a PKCS#11 token needs --sign-pkcs11-module, --sign-pkcs11-uri and --sign-cert (its key stays on the token: no --sign-key)"
    [[ $sign_uri == pkcs11:* ]] || bad_usage "--sign-pkcs11-uri $sign_uri is not a pkcs11: URI"
    [[ ${sign_uri,,} != *pin-value=* && ${sign_uri,,} != *pin-source=* ]] ||
      bad_usage "the token's PIN goes only through the environment (--sign-pass-env), never in the URI"
    [ -r "$sign_module" ] || bad_usage "cannot read the PKCS#11 library $sign_module"
    [ -z "$sign_pass_env" ] || [ -n "${!sign_pass_env+x}" ] ||
      bad_usage "--sign-pass-env names $sign_pass_env, which is not set"
  else
    [ -n "$sign_cert" ] && [ -n "$sign_key" ] || bad_usage "--sign-cert and --sign-key go together"
  fi
  signing=1
elif [ $dev -eq 0 ]; then
  bad_usage "a production release is Authenticode-signed: give --sign-cert and --sign-key, or --sign-pkcs12"
fi
[ $dev -eq 1 ] || [ -n "$timestamp" ] ||
  bad_usage "a production release's signatures carry a time stamp, so that they outlive the certificate: give --timestamp-url"
[ $dev -eq 1 ] || [ -n "$trust_chain" ] ||
  bad_usage "a production release verifies its signatures against the bank's certificate authorities: give --trust-chain (the root and intermediate CA certificates, PEM)"
if [ -n "$trust_chain" ]; then
  trust_problem=$(bash tools/authenticode.sh authorities "$trust_chain") ||
    bad_usage "--trust-chain $trust_chain: $trust_problem"
fi
command -v osslsigncode >/dev/null || [ $signing -eq 0 ] || failed "osslsigncode is missing"
# The commit the release is built from; a production release is built from a commit alone.
commit=$(git rev-parse HEAD 2>/dev/null) || commit=""
tree=dirty
if [ -n "$commit" ] && [ -z "$(git status --porcelain 2>/dev/null)" ]; then tree=clean; fi
[ $dev -eq 1 ] || [ $tree = clean ] ||
  refuse "the tree holds uncommitted changes or is no git checkout (git status): a production release is built from a commit"

# --- the repository of The Update Framework, its keys and the chain of releases -----------------
# The development repository's key ids (keys/tuf-dev), written here like the manifest key's.
dev_tuf_ids=(0cc9dcae3f372a9b65c271fa7fb29768f65baf4683acb2f76bdf3b7c3ace30fd
             b6a573b91b39ec3b5e8b1acab68b14268b32439a77ef4771b9671e5bf94dab27
             02972d6ef91cb39e61b19612e511793fb73b4aaf636e5ac5fd234192d7e655df
             777380b20faf2866f054bb8a30b63f6e233b7d8492cdd30c51f2a8c8faa2f818
             89d5acb76f7e1eb75d1c794edaa2a775be91262a0be12979145117a87e5570b0
             523db0095f3440e77047f44f0222b06484d9b9071784e00bcc5d61dd244d8d3a)
if [ $dev -eq 1 ]; then
  tuf_repo_dir=${tuf_repo_dir:-$root/build/tuf-dev-repo}
  tuf_targets_key=${tuf_targets_key:-$root/keys/tuf-dev/targets.key}
  tuf_snapshot_key=${tuf_snapshot_key:-$root/keys/tuf-dev/snapshot.key}
  tuf_timestamp_key=${tuf_timestamp_key:-$root/keys/tuf-dev/timestamp.key}
else
  [ -n "$tuf_repo_dir" ] ||
    bad_usage "a production release needs --tuf-repo (the bank's repository of The Update Framework, made with tuf_repo init)"
  [ -n "$tuf_targets_key" ] && [ -n "$tuf_snapshot_key" ] && [ -n "$tuf_timestamp_key" ] ||
    bad_usage "a production release needs --tuf-targets-key, --tuf-snapshot-key and --tuf-timestamp-key"
  [ -n "$previous" ] || [ $first_release -eq 1 ] ||
    bad_usage "a production release needs --previous OLD/release.json (the record of the release it follows) or --first-release"
fi
[ -z "$previous" ] || [ $first_release -eq 0 ] || bad_usage "--previous and --first-release exclude each other"
case $rotate in ""|manifest-key) ;; *) bad_usage "--rotate takes manifest-key";; esac
[ -n "$previous" ] || [ -z "$rotate$new_host" ] ||
  bad_usage "--rotate and --new-host override the check against --previous; give --previous"
[ -z "$previous" ] || [ -r "$previous" ] || bad_usage "cannot read the previous release's record $previous"
tuf_key_kind() {  # ed25519, p256 or what else the PEM file holds
  local text
  text=$(openssl pkey -in "$1" -noout -text 2>/dev/null) || { echo "no private key"; return 0; }
  case $text in
    "ED25519 Private-Key:"*) echo ed25519;;
    *"ASN1 OID: prime256v1"*) echo p256;;
    *) echo "${text%%$'\n'*}";;
  esac
}
for role in targets snapshot timestamp; do
  tuf_key=tuf_${role}_key
  [ -r "${!tuf_key}" ] || bad_usage "cannot read the TUF $role key ${!tuf_key}"
  kind_of_key=$(tuf_key_kind "${!tuf_key}")
  [ "$kind_of_key" = ed25519 ] || [ "$kind_of_key" = p256 ] ||
    refuse "${!tuf_key} holds $kind_of_key; the TUF $role key is an ed25519 or ECDSA P-256 private key"
done

source "$root/tools/programs.sh"
id=$(orv_product_id)
kind=$([ $dev -eq 1 ] && echo DEVELOPMENT || echo production)
out=${out:-build/release/$version$([ $dev -eq 1 ] && echo -DEVELOPMENT || true)$([ $wine -eq 1 ] && echo -wine || true)}
# A published release is never replaced: only the reports of a refused or failed run may be.
if [ -d "$out" ] && [ -n "$(cd "$out" && find . -mindepth 1 -maxdepth 1 ! -name '*-check.txt' -print -quit)" ]; then
  refuse "$out holds a release or other files already; name a new --out"
fi
mkdir -p "$out"; out=$(cd "$out" && pwd)
server_name=server$([ $dev -eq 1 ] && echo -DEVELOPMENT || true)
setup_name=${id}Setup.exe
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
# Everything this run makes goes to OUT/.release.new and into place only when it is published;
# a refused or failed run leaves nothing signed.
work=$out/.release.new tuf_work=""
. "$root/tools/serve_folder.sh"
trap 'end_served_folder; rm -rf "$work" ${tuf_work:+"$tuf_work"}' EXIT
rm -rf "$work" "$out"/*-check.txt
mkdir -p "$work"
# The repository is worked on in a copy beside it, which replaces it once the release is
# published. Releases from one repository take their turns (the lock file beside it), so that
# each starts from the one before it.
[ -d "$(dirname "$tuf_repo_dir")" ] || [ $dev -eq 0 ] || mkdir -p "$(dirname "$tuf_repo_dir")"
[ -d "$(dirname "$tuf_repo_dir")" ] || refuse "$tuf_repo_dir's folder does not exist"
exec {tuf_lock}>"$tuf_repo_dir.lock"
flock "$tuf_lock"
[ $dev -eq 0 ] || [ -e "$tuf_repo_dir" ] || {
  mkdir -p "$tuf_repo_dir/metadata" "$tuf_repo_dir/targets"
  cp "$root/keys/tuf-dev/root.json" "$tuf_repo_dir/metadata/1.root.json"
  cp "$root/keys/tuf-dev/root.json" "$tuf_repo_dir/metadata/root.json"
}
[ -f "$tuf_repo_dir/metadata/root.json" ] ||
  refuse "$tuf_repo_dir is no repository of The Update Framework (no metadata/root.json; make it with tuf_repo init)"
if [ $dev -eq 0 ]; then
  for id in "${dev_tuf_ids[@]}"; do
    ! grep -q "$id" "$tuf_repo_dir/metadata/root.json" ||
      refuse "the root of $tuf_repo_dir names the development key $id (keys/tuf-dev); use the bank's repository, or --dev"
  done
fi
tuf_work=$(dirname "$tuf_repo_dir")/.$(basename "$tuf_repo_dir").release-new
release_public=$work/manifest-key.pub  # the release's key, which every program must carry
openssl rsa -in "$key" -RSAPublicKey_out -out "$release_public" 2>/dev/null

# The native tools: the manifest tool, the repository's keeper and the update client.
if [ $build -eq 1 ]; then
  [ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
  cmake --build build/native --target manifest tuf_repo tuf_client >/dev/null ||
    failed "the native tools (manifest, tuf_repo, tuf_client) did not build"
fi
tool=$root/build/native/tools/manifest/manifest
tuf_repo=$root/build/native/tools/tuf_repo/tuf_repo
tuf_client=$root/build/native/tools/tuf/tuf_client
for t in "$tool" "$tuf_repo" "$tuf_client"; do [ -x "$t" ] || failed "$t is not built"; done
tuf_refused() {  # tuf_refused FILE: a tuf_repo refusal in FILE as the release's
  local why
  why=$(sed -n 's/^tuf_repo [a-z-]*: refused: //p' "$1" | head -n1)
  refuse "${why:-$(cat "$1")}"
}
"$tuf_repo" check "$tuf_repo_dir" --targets-key "$tuf_targets_key" --snapshot-key "$tuf_snapshot_key" \
  --timestamp-key "$tuf_timestamp_key" >"$work/tuf-keys.txt" 2>&1 || tuf_refused "$work/tuf-keys.txt"
"$tuf_repo" status "$tuf_repo_dir" >"$work/tuf-status.txt" 2>&1 || true  # an old timestamp is renewed below
tuf_root_version=$(awk '$1 == "root" { print $3 }' "$work/tuf-status.txt")
[ -n "$tuf_root_version" ] || { cat "$work/tuf-status.txt" >&2; refuse "$tuf_repo_dir does not read as a repository"; }
tuf_root_expires=$(awk '$1 == "root" { print $5 }' "$work/tuf-status.txt")
[ "$(date -u -d "$tuf_root_expires" +%s)" -gt $(($(date +%s) + 30 * 86400)) ] ||
  refuse "the root of $tuf_repo_dir expires $tuf_root_expires, within 30 days: renew it with tuf_repo rotate first"
tuf_root_sha256=$(sha256sum <"$tuf_repo_dir/metadata/root.json" | cut -d' ' -f1)
overrides=()
[ -z "$rotate" ] || overrides+=(--rotate-manifest-key)
[ -z "$new_host" ] || overrides+=(--new-host "$new_host")
if [ -n "$previous" ]; then
  if ! "$tool" continuity "$previous" --version "$version" --key "$release_public" --update-host "$host" \
       "${overrides[@]}" >"$out/continuity-check.txt"; then
    grep '^refused: ' "$out/continuity-check.txt" >&2
    refuse "the release does not follow the previous one ($previous)"
  fi
  read -r prev_root_version prev_root_sha256 < <(sed -n 's/^previous TUF root: version \([0-9]*\) sha256 \([0-9a-f]*\)$/\1 \2/p' "$out/continuity-check.txt") || true
  if [ -n "${prev_root_version:-}" ]; then
    prev_root=$tuf_repo_dir/metadata/$prev_root_version.root.json
    [ -f "$prev_root" ] && [ "$(sha256sum <"$prev_root" | cut -d' ' -f1)" = "$prev_root_sha256" ] ||
      refuse "$tuf_repo_dir holds no root version $prev_root_version as the previous release recorded it (sha256 $prev_root_sha256): another repository"
    "$tuf_repo" chain "$tuf_repo_dir" "$prev_root" >>"$out/continuity-check.txt" 2>&1 ||
      refuse "the root of $tuf_repo_dir does not chain from the previous release's root version $prev_root_version: $(sed -n 's/^tuf_repo chain: refused: //p' "$out/continuity-check.txt")"
  fi
fi
rm -rf "$tuf_work"
cp -a "$tuf_repo_dir" "$tuf_work"

echo "== $kind release $version ($arch$([ $wine -eq 1 ] && echo ', Wine mode' || true)) into $out"
if [ $dev -eq 1 ]; then
  echo "   DEVELOPMENT: manifest key $(basename "$key") ($key_fp$([ "$key_fp" = "$dev_fp" ] && echo ', the development key' || true)), update host $host: not for customers"
  echo "   tree: ${commit:-no git checkout}$([ $tree = clean ] && echo ', clean' || echo ', with uncommitted changes (allowed for DEVELOPMENT)')"
else
  echo "   production: manifest key $key_fp, update host $host, commit $commit"
fi

# --- the programs, built with the release's version, host and key -----------------------------
bld=${built:-$base/release/$(echo "$key_fp" | cut -c1-12)-${host//:/_}}
targets=(orv_programs)
[ $wine -eq 0 ] || targets+=(${id}CoreTestHost ${id}UpdateTestHost)
if [ $wine -eq 1 ]; then
  echo "   Wine mode: ${id}Core.exe and ${id}Update.exe are the test builds ${id}CoreTestHost and"
  echo "   ${id}UpdateTestHost (the stand-in page: Wine cannot render the real pages) under the shipped names"
fi
echo "   programs from $bld"
if [ $build -eq 1 ]; then
  public=$bld/manifest-key.pub
  mkdir -p "$bld"
  cmp -s "$release_public" "$public" || cp "$release_public" "$public"
  cmake --preset "$preset" -B "$bld" -DORV_MANIFEST_PUBLIC_KEY="$public" \
    -DORV_UPDATE_HOST="$host" -DORV_RELEASE_VERSION="$version" \
    -DORV_TUF_ROOT="$tuf_repo_dir/metadata/root.json" >"$bld.configure.log" ||
    { cat "$bld.configure.log"; failed "the build could not be configured"; }
  cmake --build "$bld" --target "${targets[@]}" >"$bld.build.log" ||
    { tail -n 30 "$bld.build.log"; failed "the programs did not build"; }
fi

# --- the release laid out, unsigned: the programs, the content, the installer's input -----------
stage=$work/stage
mkdir -p "$stage"
pick() {  # pick BUILT_FILE INSTALLED_NAME
  [ -f "$1" ] || failed "$1 is not built (run without --no-build)"
  cp "$1" "$stage/$2"
}
# Every program of the list, from where the build says it lies (programs-built.txt).
mapfile -t programs < <(orv_programs file)
for p in "${programs[@]}"; do
  built_path=$(awk -v f="$p" '$1 == f { sub(/^[^ ]+ /, ""); print }' "$bld/programs-built.txt" 2>/dev/null) || true
  [ -n "$built_path" ] || failed "$bld/programs-built.txt names no built $p (run without --no-build)"
  pick "$built_path" "$p"
done
if [ $wine -eq 1 ]; then
  pick "$bld/tests/core/${id}CoreTestHost.exe" "$(orv_program core file)"
  pick "$bld/tests/updater/${id}UpdateTestHost.exe" "$(orv_program updater file)"
fi

# Signatures are verified against the trust chain the engineer names; a development release
# without one, against the system's certificate authorities and the signing certificates
# themselves. A release with a time stamp needs each signature's time stamp to verify too.
export ORV_SIGN_CAFILE=$work/trusted-certificates.pem
export ORV_SIGN_REQUIRE_TIMESTAMP=$([ -n "$timestamp" ] && echo 1 || echo 0)
if [ -n "$trust_chain" ]; then
  cp "$trust_chain" "$ORV_SIGN_CAFILE"
  echo "   signatures verified against the trust chain $trust_chain ($(grep -c 'BEGIN CERTIFICATE' "$trust_chain") CA certificates)$([ -n "$timestamp" ] && echo ', their time stamps too' || true)"
else
  cat /etc/ssl/certs/ca-certificates.crt >"$ORV_SIGN_CAFILE" 2>/dev/null || : >"$ORV_SIGN_CAFILE"
  echo "   DEVELOPMENT: NO TRUST CHAIN (--trust-chain): signatures are verified against the system's authorities and the signing certificate itself, not as a customer's Windows verifies them"
fi
signer=""
if [ $signing -eq 1 ]; then
  if [ -n "$sign_p12" ]; then
    printf '%s' "${!sign_pass_env}" | openssl pkcs12 -in "$sign_p12" -nokeys -passin stdin \
      -out "$work/signing-certificates.pem" 2>/dev/null || failed "cannot read the certificates of $sign_p12"
    printf '%s' "${!sign_pass_env}" | openssl pkcs12 -in "$sign_p12" -nokeys -clcerts -passin stdin \
      -out "$work/signer.pem" 2>/dev/null
  else
    cp "$sign_cert" "$work/signing-certificates.pem"
    openssl x509 -in "$sign_cert" -out "$work/signer.pem" 2>/dev/null || bad_usage "$sign_cert holds no certificate"
  fi
  if [ -n "$trust_chain" ]; then
    # Before anything is signed: a signing certificate the trust chain does not issue would
    # sign every file only to be refused at the end.
    chain_problem=$(bash tools/authenticode.sh issued "$work/signer.pem" "$work/signing-certificates.pem") ||
      refuse "the signing certificate ($(openssl x509 -in "$work/signer.pem" -noout -subject 2>/dev/null)) does not chain to the trust chain $trust_chain: $chain_problem"
  else
    cat "$work/signing-certificates.pem" >>"$ORV_SIGN_CAFILE"
  fi
  signer=$(openssl x509 -in "$work/signer.pem" -outform DER | sha256sum | cut -d' ' -f1)
fi
is_program() { cmp -s -n 2 "$1" <(printf MZ); }
verified() { bash tools/authenticode.sh verify "$1"; }

# The content: regular files only (a link or a device would be copied as what it points at, or
# not at all, and not as what was checked), none empty (the updater refuses an empty download),
# never one of the release's own files, and a Windows program in it only signed.
odd=$(cd "$content" && find . -mindepth 1 ! -type f ! -type d -print -quit)
[ -z "$odd" ] || refuse "the content's ${odd#./} is not a regular file"
empty=$(cd "$content" && find . -type f -empty -print -quit)
[ -z "$empty" ] || refuse "the content's ${empty#./} is empty; the updater refuses an empty file"
reserved=("${programs[@]}" Digest.xml Digest_n.xml uninstall.exe "setup/$setup_name")
content_files=0 content_programs=0
while IFS= read -r -d '' rel; do
  rel=${rel#./} content_files=$((content_files + 1))
  for r in "${reserved[@]}"; do
    [ "${rel,,}" != "${r,,}" ] || refuse "the content's $rel would replace the release's own $r"
  done
  if is_program "$content/$rel"; then
    content_programs=$((content_programs + 1))
    verified "$content/$rel" ||
      refuse "the content's $rel is a Windows program without a valid Authenticode signature"
  fi
done < <(cd "$content" && find . -type f -print0 | LC_ALL=C sort -z)
cp -r "$content/." "$stage/"
bash installer/build-installer.sh --check "$stage" ||
  refuse "the installer cannot carry a staged name (above)"
echo "   content: $content_files files from $content, $content_programs of them Windows programs with verified signatures; every name fits the installer"

# --- the facts before the signatures: what the programs were built with -----------------------
facts_args=(--version "$version" --update-host "$host" --key "$release_public")
[ $dev -eq 0 ] || facts_args+=(--dev)
: >"$out/program-check.txt"
wrong=0
for p in "${programs[@]}"; do
  "$tool" program-check "$stage/$p" "${facts_args[@]}" >>"$out/program-check.txt" || wrong=1
done
if [ $wrong -eq 1 ]; then
  grep '^refused: ' "$out/program-check.txt" >&2
  refuse "the programs in $bld were not built with the release's version $version, update host $host and manifest key"
fi
echo "   programs: ${#programs[@]} files carry version $version; the updater and the core host carry the manifest key $key_fp, the updater the update host $host"

# --- signed: the programs, the manifests, the installer and its uninstaller --------------------
if [ $signing -eq 1 ]; then
  export ORV_SIGN_CERT=$sign_cert ORV_SIGN_KEY=$sign_key ORV_SIGN_PKCS12=$sign_p12
  export ORV_SIGN_PKCS11_MODULE=$sign_module ORV_SIGN_PKCS11_URI=$sign_uri
  export ORV_SIGN_PASS_ENV=$sign_pass_env ORV_SIGN_TIMESTAMP_URL=$timestamp ORV_SIGN_TIME=$SOURCE_DATE_EPOCH
  for p in "${programs[@]}"; do bash tools/authenticode.sh sign "$stage/$p" || failed "cannot sign $p"; done
fi
sign() {  # sign DIR: the signed main manifest and the unsigned extra one
  "$tool" sign "$1" --key "$key" --version "$version" >/dev/null
  "$tool" sign "$1" --extra --version "$version" >/dev/null
}
sign "$stage"
if ! "$tool" check "$stage" --key "$release_public" >"$out/stage-check.txt"; then
  cat "$out/stage-check.txt" >&2
  refuse "the installation folder does not verify with the release's key"
fi
echo "   stage: $(grep -c '^Unchanged ' "$out/stage-check.txt") files, Digest.xml signed with $(basename "$key"), intact"
installer=$work/$setup_name
ORV_INSTALLER_DEVELOPMENT=$dev ORV_UNINSTALLER_COPY=$work/uninstall.exe \
  bash installer/build-installer.sh "$stage" "$version" "$arch" "$installer" >/dev/null ||
  failed "the installer did not build"
[ $signing -eq 0 ] || bash tools/authenticode.sh sign "$installer" || failed "cannot sign the installer"
echo "   installer: $setup_name ($(file -b "$installer" | cut -d, -f1))$([ $dev -eq 1 ] && echo ', titled DEVELOPMENT' || true)"

# --- the update server's folder: every file under its manifest path, the updater at the base,
# and the installer in the folder "setup": a lower-case first letter sorts after every key of a
# file at the base (which starts with a backslash) and every upper-case folder, so the updater,
# which runs the last entry in key order, runs the installer.
server=$work/$server_name
cp -r "$stage" "$server"
rm -f "$server/Digest.xml" "$server/Digest_n.xml"
mkdir -p "$server/setup"
cp "$installer" "$server/setup/$setup_name"
sign "$server"

# --- every signature it publishes, verified on the final bytes ----------------------------------
if [ $signing -eq 1 ]; then
  published_programs=("$installer" "$work/uninstall.exe")
  while IFS= read -r -d '' f; do
    if is_program "$f"; then published_programs+=("$f"); fi
  done < <(find "$server" -type f -print0 | LC_ALL=C sort -z)
  for f in "${published_programs[@]}"; do
    verified "$f" || refuse "the Authenticode signature of ${f#$work/} does not verify"
  done
  echo "   Authenticode: every Windows program published verified on its final bytes (${#published_programs[@]}: the ${#programs[@]} programs and libraries, the installer and its copy in setup, its uninstaller, $content_programs from the content), signed SHA-256$([ -n "$sign_module" ] && echo ' on the PKCS#11 token' || true), against $([ -n "$trust_chain" ] && echo 'the trust chain' || echo "the system's authorities and the signing certificate (DEVELOPMENT)")$([ -n "$timestamp" ] && echo ', each with a verified time stamp' || true)"
else
  echo "   Authenticode: not signed ($kind release without signing material)"
fi

# --- the server folder's files as targets of the repository, and the update client's view of it ---
: >"$out/tuf-check.txt"
tuf_step() {  # tuf_step COMMAND...: a tuf_repo step on the copy; its refusal is the release's
  local rc=0
  "$tuf_repo" "$@" >>"$out/tuf-check.txt" 2>&1 || rc=$?
  [ $rc -eq 0 ] || { [ $rc -eq 1 ] && tuf_refused "$out/tuf-check.txt"; failed "tuf_repo $1 (see $out/tuf-check.txt)"; }
}
tuf_step publish "$tuf_work" "$server" --targets-key "$tuf_targets_key"
tuf_step refresh "$tuf_work" --snapshot-key "$tuf_snapshot_key" --timestamp-key "$tuf_timestamp_key"
tuf_targets_version=$(sed -n 's/^targets version \([0-9]*\) .*/\1/p' "$out/tuf-check.txt")
mapfile -d '' -t served_files < <(cd "$server" && find . -type f -printf '%P\0' | LC_ALL=C sort -z)
tuf_step serve-copy "$tuf_work" "$server/tuf"
# The update client, from the root the programs carry, refreshes from the folder served on the
# loopback address and downloads every target; each must be the server folder's file.
verify=$work/tuf-verify
mkdir -p "$verify/metadata" "$verify/targets"
serve_folder "$server" "$verify/http.log" ||
  failed "the loopback HTTP server for the update client's check did not start (above)"
client_args=(--metadata-url "http://127.0.0.1:$port/tuf/metadata/" --metadata-dir "$verify/metadata")
names=()
for f in "${served_files[@]}"; do names+=(--target-name "$f"); done
"$tuf_client" --metadata-dir "$verify/metadata" init "$tuf_repo_dir/metadata/root.json" >>"$out/tuf-check.txt" 2>&1
"$tuf_client" "${client_args[@]}" "${names[@]}" --target-dir "$verify/targets" \
  --target-base-url "http://127.0.0.1:$port/tuf/targets/" download >>"$out/tuf-check.txt" 2>&1 ||
  { tail -n 3 "$out/tuf-check.txt" >&2; refuse "the update client does not accept $server_name/tuf (above)"; }
end_served_folder
# The client stores each target under its own safe name: the downloads, as a set of sizes and
# digests, are exactly the server folder's files.
digests() { (cd "$1" && find . -path ./tuf -prune -o -type f -exec sha256sum {} + | cut -d' ' -f1 | LC_ALL=C sort); }
[ "$(digests "$verify/targets")" = "$(digests "$server")" ] &&
  [ "$(find "$verify/targets" -type f | wc -l)" -eq ${#served_files[@]} ] ||
  refuse "what the update client downloaded from $server_name/tuf is not the server folder's files"
echo "   TUF: root version $tuf_root_version, targets version $tuf_targets_version: ${#served_files[@]} files of $server_name as targets in $server_name/tuf, each downloaded and verified by the update client"

# --- the release record, and the server folder checked with it --------------------------------
record_args=(--server "$server" --installer "$installer" --version "$version" --key "$release_public"
             --update-host "$host" --commit "$commit" --tree $tree
             --tuf-root-version "$tuf_root_version" --tuf-root-sha256 "$tuf_root_sha256"
             --tuf-targets-version "$tuf_targets_version" "${overrides[@]}")
[ -z "$signer" ] || record_args+=(--signer "$signer")
[ $dev -eq 0 ] || record_args+=(--dev)
"$tool" record "$work/release.json" "${record_args[@]}" >/dev/null
check_args=(--version "$version" --setup "$setup_name" --key "$release_public" --update-host "$host"
            --record "$work/release.json")
[ $dev -eq 0 ] || check_args+=(--dev)
if ! "$tool" server-check "$server" "${check_args[@]}" >"$out/server-check.txt"; then
  cat "$out/server-check.txt" >&2
  refuse "the update server's folder breaks the rules above; nothing is published"
fi

# --- published ----------------------------------------------------------------------------------
mv "$stage" "$out/stage"
mv "$installer" "$out/$setup_name"
mv "$server" "$out/$server_name"
mv "$work/release.json" "$out/release.json"
# The repository as published replaces the one the release started from.
mv "$tuf_repo_dir" "$tuf_work.old"
mv "$tuf_work" "$tuf_repo_dir"
rm -rf "$tuf_work.old"
first=$(grep -o '<File FileName="[^"]*" Path="[^"]*"' "$out/$server_name/Digest.xml" | grep -v "\"${id}Update.exe\"" | head -n1)
echo "   server: $out/$server_name: $(grep -c '<File ' "$out/$server_name/Digest.xml") files; ${first#<File } carries $version; setup/$setup_name sorts last"
echo "   $(grep '^served updater' "$out/server-check.txt")"
echo "   record: $out/release.json: commit ${commit:-none} ($tree), $(grep -c '"sha256"' "$out/release.json") files with size and SHA-256"
echo "published $version$([ $dev -eq 1 ] && echo ' (DEVELOPMENT)' || true)"
