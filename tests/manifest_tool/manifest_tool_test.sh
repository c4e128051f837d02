#!/usr/bin/env bash
# The manifest tool end to end: sign a folder, check it and a tampered copy, and check a
# Digest.xml signed independently with the openssl command line.
# usage: manifest_tool_test.sh native|wine MANIFEST_PROGRAM SOURCE_DIR [PE_FILE VERSION]
set -euo pipefail
mode=$1 tool=$2 src=$3 pe=${4:-} pe_version=${5:-}
key=$src/keys/manifest-dev.key
work=$(mktemp -d /tmp/orv-manifest-tool.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

# Runs the tool; under Wine folder arguments are given as Windows paths (Wine's Z: drive is the
# root, so the path is spelled out here rather than asked of a Wine process each time).
run() {
  local args=() a
  for a in "$@"; do
    if [ "$mode" = wine ] && [ -e "$a" ]; then
      a=$(realpath "$a"); args+=("Z:${a//\//\\}")
    else args+=("$a"); fi
  done
  if [ "$mode" = wine ]; then "$src/tools/wine-run.sh" "$tool" "${args[@]}"; else "$tool" "${args[@]}"; fi
}
expect() {  # expect NAME WANTED_EXIT CMD...: runs CMD, compares the exit code, keeps stdout in $out
  local name=$1 want=$2; shift 2
  local rc=0
  out=$(run "$@" 2>"$work/stderr" | tr -d '\r') || rc=$?
  if [ "$rc" -eq "$want" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL: $name: exit $rc, wanted $want"; echo "$out"; cat "$work/stderr"; fi
}
# only_updater_refused NAME: the last output refuses nothing but the served updater's facts (the
# placeholder updaters here carry no host, key or version of a build; the release tool's test
# checks those facts with real programs).
only_updater_refused() {
  if grep -q '^refused: the served updater' <<<"$out" &&
     ! grep '^refused:' <<<"$out" | grep -qv '^refused: the served updater'; then
    passed=$((passed + 1))
  else failed=$((failed + 1)); echo "FAIL: $1: refusals other than the served updater's in:"; echo "$out"; fi
}
contains() {  # contains NAME TEXT: the last output holds the line TEXT
  if grep -qxF -- "$2" <<<"$out"; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL: $1: no line '$2' in:"; echo "$out"; fi
}

inst=$work/inst
mkdir -p "$inst/Script" "$inst/res/img"
printf 'abc' > "$inst/a.txt"
printf 'caption_width = 900\n' > "$inst/Script/CoreConfig.lua"
head -c 10000 /dev/urandom > "$inst/res/img/logo.bin"
printf 'R&D <x>' > "$inst/res/R&D.txt"
[ -z "$pe" ] || cp "$pe" "$inst/program.exe"

expect "sign" 0 sign "$inst" --key "$key"
expect "check intact" 0 check "$inst"
contains "root file" 'Unchanged \a.txt'
contains "nested file" 'Unchanged res\img\logo.bin'
contains "escaped name" 'Unchanged res\R&D.txt'
contains "verdict" 'intact'
grep -q 'Digest="qZk+NkcGgWq6PiVxeFDCbJzQ2J0="' "$inst/Digest.xml" && passed=$((passed + 1)) ||
  { failed=$((failed + 1)); echo "FAIL: digest of a.txt not listed"; }

if [ -n "$pe" ]; then
  grep -q "FileName=\"program.exe\" Path=\"\" Digest=\"[^\"]*\" Version=\"$pe_version\"" "$inst/Digest.xml" &&
    passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL: version resource not listed"; }
fi
grep -q 'FileName="a.txt" Path="" Digest="[^"]*" Version="0.0.0.0"' "$inst/Digest.xml" &&
  passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL: a file without version resource"; }

tampered=$work/tampered
cp -r "$inst" "$tampered"
printf 'abd' > "$tampered/a.txt"
rm "$tampered/Script/CoreConfig.lua"
expect "check tampered" 1 check "$tampered"
contains "changed file" 'Changed \a.txt'
contains "deleted file" 'Changed Script\CoreConfig.lua'
contains "untouched file" 'Unchanged res\img\logo.bin'
contains "verdict" 'not intact'

# The manifest itself altered by one byte outside the signature block.
forged=$work/forged
cp -r "$inst" "$forged"
sed -i 's/Version="0.0.0.0"/Version="0.0.0.1"/' "$forged/Digest.xml"
expect "forged manifest" 1 check "$forged"
contains "verdict" 'not verified'

# An unsigned manifest (--extra writes one) does not pass as Digest.xml.
unsigned=$work/unsigned
cp -r "$inst" "$unsigned"
rm "$unsigned/Digest.xml"
expect "write extra" 0 sign "$unsigned" --extra
cp "$unsigned/Digest_n.xml" "$unsigned/Digest.xml"
expect "unsigned manifest" 1 check "$unsigned"
contains "verdict" 'not verified'

# Signed independently: SHA-1 of the message, PKCS#1 v1.5 type 1 without DigestInfo, written in
# lower-case hex in front of the last tag.
indep=$unsigned
openssl dgst -sha1 -binary "$indep/Digest_n.xml" > "$work/digest.bin"
openssl pkeyutl -sign -inkey "$key" -pkeyopt rsa_padding_mode:pkcs1 -in "$work/digest.bin" \
  -out "$work/sig.bin"
hex=$(od -An -v -tx1 "$work/sig.bin" | tr -d ' \n')
perl -e '
  local $/; open(my $f, "<:raw", $ARGV[0]) or die; my $m = <$f>;
  my $at = rindex($m, "<");
  print substr($m, 0, $at), "\r\n<Sign>", $ARGV[1], "</Sign>\r\n", substr($m, $at);
' "$indep/Digest_n.xml" "$hex" > "$indep/Digest.xml"
rm "$indep/Digest_n.xml"
expect "openssl-signed manifest" 0 check "$indep"
contains "verdict" 'intact'

# An update server folder: the updater at the base, the installer last in key order.
server=$work/server
mkdir -p "$server/Script" "$server/setup"
printf 'caption_width = 900\n' > "$server/Script/CoreConfig.lua"
printf 'core' > "$server/OrvalinexCore.exe"
printf 'updater' > "$server/OrvalinexUpdate.exe"
printf 'MZ installer' > "$server/setup/OrvalinexSetup.exe"
expect "sign bad version" 2 sign "$server" --key "$key" --version 1.2.3
expect "sign server" 0 sign "$server" --key "$key" --version 2.0.0.7
[ "$(grep -c 'Version="2.0.0.7"' "$server/Digest.xml")" -eq 4 ] && passed=$((passed + 1)) ||
  { failed=$((failed + 1)); echo "FAIL: not every entry carries the stamped version"; }
expect "server publishable" 1 server-check "$server" --version 2.0.0.7 --setup OrvalinexSetup.exe
only_updater_refused "server publishable but for its updater"
expect "server other version" 1 server-check "$server" --version 2.0.0.8 --setup OrvalinexSetup.exe
contains "first listed version" 'refused: the first listed file that is not the updater carries version "2.0.0.7" instead of the release'"'"'s 2.0.0.8'
contains "server verdict" 'not publishable'
expect "server other setup" 1 server-check "$server" --version 2.0.0.7 --setup Other.exe
contains "setup name" 'refused: the last entry in key order is setup\OrvalinexSetup.exe, not the installer Other.exe'

# A server file changed after signing.
changed=$work/server-changed
cp -r "$server" "$changed"
printf 'core!' > "$changed/OrvalinexCore.exe"
expect "server changed file" 1 server-check "$changed" --version 2.0.0.7 --setup OrvalinexSetup.exe
contains "changed file" 'refused: not in place with its listed digest: \OrvalinexCore.exe'

# The installer in a folder that sorts before the base's files: the updater would run another.
upper=$work/server-upper
cp -r "$server" "$upper"
mv "$upper/setup" "$upper/Setup"
expect "sign upper" 0 sign "$upper" --key "$key" --version 2.0.0.7
expect "server setup not last" 1 server-check "$upper" --version 2.0.0.7 --setup OrvalinexSetup.exe
contains "setup not last" 'refused: the last entry in key order is \OrvalinexUpdate.exe, not the installer OrvalinexSetup.exe'

# The last entry is not a program; the updater missing from the base.
broken=$work/server-broken
cp -r "$server" "$broken"
printf 'text' > "$broken/setup/OrvalinexSetup.exe"
rm "$broken/OrvalinexUpdate.exe"
expect "sign broken" 0 sign "$broken" --key "$key" --version 2.0.0.7
expect "server broken" 1 server-check "$broken" --version 2.0.0.7 --setup OrvalinexSetup.exe
contains "setup not a program" 'refused: the installer setup\OrvalinexSetup.exe is not a Windows program'
contains "no updater" 'refused: the updater OrvalinexUpdate.exe is not listed at the base'

# Signed with a key the programs do not carry.
other=$work/server-other
cp -r "$server" "$other"
openssl genrsa -traditional -out "$work/other.key" 1024 2>/dev/null
expect "sign other key" 0 sign "$other" --key "$work/other.key" --version 2.0.0.7
expect "server other key" 1 server-check "$other" --version 2.0.0.7 --setup OrvalinexSetup.exe
contains "other key" 'refused: Digest.xml is missing, lists no file or is not signed with the key the programs carry'

# Signed by hand (as above) from DIR/Digest_n.xml with File elements FILES added: DIR/Digest.xml.
sign_with() {
  local dir=$1 files=$2
  perl -0pi -e 's{(\r\n</FileInfo>)}{'"$files"'$1}' "$dir/Digest_n.xml"
  openssl dgst -sha1 -binary "$dir/Digest_n.xml" |
    openssl pkeyutl -sign -inkey "$key" -pkeyopt rsa_padding_mode:pkcs1 -out "$work/sig.bin"
  perl -e 'local $/; open(my $f, "<:raw", $ARGV[0]) or die; my $m = <$f>; my $at = rindex($m, "<");
    print substr($m, 0, $at), "\r\n<Sign>", $ARGV[1], "</Sign>\r\n", substr($m, $at);' \
    "$dir/Digest_n.xml" "$(od -An -v -tx1 "$work/sig.bin" | tr -d ' \n')" > "$dir/Digest.xml"
  rm "$dir/Digest_n.xml"
}
# A signed manifest that keeps no file: refused with its reason, never a crash.
dotdot=$work/server-dotdot
mkdir -p "$dotdot"
printf '<FileInfo>\r\n</FileInfo>\r\n' > "$dotdot/Digest_n.xml"
sign_with "$dotdot" '<File FileName="OrvalinexSetup.exe" Path=".." Digest="x" Version="2.0.0.7"/>'
expect "server keeps no file" 1 server-check "$dotdot" --version 2.0.0.7 --setup OrvalinexSetup.exe
contains "keeps no file" 'refused: Digest.xml is missing, lists no file or is not signed with the key the programs carry'
expect "check keeps no file" 1 check "$dotdot"
# A listed name the updater refuses (a device name), signed beside the server's files.
device=$work/server-device
cp -r "$server" "$device"
expect "extra device" 0 sign "$device" --extra --version 2.0.0.7
sign_with "$device" '\r\n<File FileName="CON.txt" Path="" Digest="x" Version="2.0.0.7"/>'
expect "server device name" 1 server-check "$device" --version 2.0.0.7 --setup OrvalinexSetup.exe
contains "device name" 'refused: the updater refuses the listed file "\CON.txt"'
# The unsigned manifest takes no part: its entry sorting after the installer changes nothing.
unsigned_last=$work/server-unsigned-last
cp -r "$server" "$unsigned_last"
printf '<FileInfo>\r\n<File FileName="x.exe" Path="zz" Digest="x" Version="9.9.9.9"/>\r\n</FileInfo>\r\n' \
  > "$unsigned_last/Digest_n.xml"
expect "server unsigned last" 1 server-check "$unsigned_last" --version 2.0.0.7 --setup OrvalinexSetup.exe
only_updater_refused "unsigned last entry ignored"

if [ -n "$pe" ]; then
  # The updater's own entry (with its version resource) comes first and is skipped: the version
  # is read from the next entry.
  own=$work/server-own
  mkdir -p "$own/setup"
  cp "$pe" "$own/OrvalinexUpdate.exe"
  printf 'x' > "$own/b.txt"
  printf 'MZ' > "$own/setup/OrvalinexSetup.exe"
  expect "sign own" 0 sign "$own" --key "$key"
  expect "server skips the updater" 1 server-check "$own" --version 0.0.0.0 --setup OrvalinexSetup.exe
  only_updater_refused "the updater's entry skipped"
  expect "server not the updater's" 1 server-check "$own" --version "$pe_version" --setup OrvalinexSetup.exe
fi

expect "no arguments" 2
expect "unknown command" 2 frob "$inst"
expect "sign without key" 2 sign "$inst"
expect "unknown option" 2 check "$inst" --frob
expect "server-check without version" 2 server-check "$inst" --setup a.exe

echo "manifest tool ($mode): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
