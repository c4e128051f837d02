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

# Runs the tool; under Wine folder arguments are given as Windows paths.
run() {
  local args=() a
  for a in "$@"; do
    if [ "$mode" = wine ] && [ -e "$a" ]; then args+=("$(winepath -w "$a" 2>/dev/null)"); else args+=("$a"); fi
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

expect "no arguments" 2
expect "unknown command" 2 frob "$inst"
expect "sign without key" 2 sign "$inst"
expect "unknown option" 2 check "$inst" --frob

echo "manifest tool ($mode): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
