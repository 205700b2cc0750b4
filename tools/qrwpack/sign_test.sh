#!/usr/bin/env bash
# qrwpack's signatures: keygen's two files, build --sign, sign (a template
# refused, a secret key others may read refused, a failed write leaving the
# program as it was), inspect and verify on signed, unsigned and broken
# programs, with their exit statuses and exact lines.
#   sign_test.sh QRWPACK FIRMWARE_DIR MODELS WORK
set -uo pipefail
qrwpack=$1 firmware=$2 models=$3 work=$4
rm -rf "$work"
mkdir -p "$work/keys" "$work/signed"
failures=0

source "$(dirname "$0")/cli_lib.sh"
check() { "${@:2}" || { echo "$1"; failures=$((failures + 1)); }; }

# -- keygen ------------------------------------------------------------------
keys=$work/keys
expect keygen 0 "*" "" -- "$qrwpack" keygen --out "$keys/maker" --comment "Quarvel-IT release"
id=$(cut -d' ' -f2 "$keys/maker.pub")
check "keygen: what it says" [ "$(cat "$work/out")" = "Wrote $keys/maker.key (secret, keep it to yourself) and $keys/maker.pub (key $id)" ]
check "keygen: secret key mode 0600" [ "$(stat -c %a "$keys/maker.key")" = 600 ]
check "keygen: public key mode 0644" [ "$(stat -c %a "$keys/maker.pub")" = 644 ]
# The key id is the first 8 bytes of BLAKE2b-256 of the public key: Python's
# hashlib computes it on its own.
check "keygen: the key id is BLAKE2b-256's first 8 bytes" [ "$(python3 -c "
import base64, hashlib, sys
kind, keyid, key, comment = open(sys.argv[1]).read().rstrip('\n').split(' ', 3)
print(hashlib.blake2b(base64.b64decode(key), digest_size=32).hexdigest()[:16].upper())" "$keys/maker.pub")" = "$id" ]
check "keygen: the public key's line" grep -qxE "qrwflash-ed25519 $id [A-Za-z0-9+/]{43}= Quarvel-IT release" "$keys/maker.pub"
check "keygen: the secret key's line" grep -qxE "qrwflash-ed25519-secret $id [A-Za-z0-9+/]{43}=" "$keys/maker.key"
expect keygen-exists 1 "" "qrwpack: $keys/maker.key exists already; not overwriting it" -- \
  "$qrwpack" keygen --out "$keys/maker"
expect keygen-default-comment 0 "*" "" -- "$qrwpack" keygen --out "$keys/other"
other_id=$(cut -d' ' -f2 "$keys/other.pub")
check "keygen: the comment defaults to the name" grep -qE " other$" "$keys/other.pub"
expect keygen-control-comment 1 "" "qrwpack: a comment holds printable ASCII characters only" -- \
  "$qrwpack" keygen --out "$keys/bad" --comment $'tab\there'
check "keygen: nothing left after a refusal" [ ! -e "$keys/bad.key" ] && [ ! -e "$keys/bad.pub" ]
expect keygen-no-out 2 "" "*" -- "$qrwpack" keygen --comment x
check "keygen-no-out: message" [ "$(head -n1 "$work/err")" = "qrwpack: --out is missing" ]
expect keygen-no-folder 1 "" "qrwpack: cannot create $work/none/key.key: No such file or directory" -- \
  "$qrwpack" keygen --out "$work/none/key"

# -- build --sign, sign ------------------------------------------------------
build=(build --template "$firmware/QRWFLASH.sealed" --models "$models" --model 0 --image "$firmware/1.10.BIN")
expect build-sign 0 $'Building 1.10.BIN  Please wait... \nBuild 1.10.EXE ok!' "" -- \
  "$qrwpack" "${build[@]}" --out-dir "$work/signed" --sign "$keys/maker.key"
signed=$work/signed/1.10.EXE
mkdir -p "$work/plain"
"$qrwpack" "${build[@]}" --out-dir "$work/plain" > /dev/null
unsigned=$work/plain/1.10.EXE
# Signing changes the signature record's 104 bytes after its marker and
# nothing else.
check "build --sign: the signed output differs from the unsigned one" bash -c '! cmp -s "$0" "$1"' "$unsigned" "$signed"
first=$(cmp -l "$unsigned" "$signed" | awk 'NR == 1 {print $1 - 1}')
last=$(cmp -l "$unsigned" "$signed" | awk 'END {print $1 - 1}')
record=$(grep -obUaP 'QRWSIGN1' "$unsigned" | cut -d: -f1)
check "build --sign: the changed bytes lie inside the signature record ($first..$last, record at $record)" \
  [ "$first" -ge $((record + 8)) ] && [ "$last" -le $((record + 111)) ]
check "build --sign: the same size" [ "$(stat -c %s "$signed")" = "$(stat -c %s "$unsigned")" ]

cp "$unsigned" "$work/later.EXE"
expect sign 0 "$work/later.EXE: signed by key $id" "" -- "$qrwpack" sign --key "$keys/maker.key" "$work/later.EXE"
check "sign: the same bytes as build --sign" cmp -s "$work/later.EXE" "$signed"
cp "$unsigned" "$work/resign.EXE"
"$qrwpack" sign --key "$keys/other.key" "$work/resign.EXE" > /dev/null
expect sign-again 0 "$work/resign.EXE: signed by key $id" "" -- "$qrwpack" sign --key "$keys/maker.key" "$work/resign.EXE"
check "sign: a signature replaces another" cmp -s "$work/resign.EXE" "$signed"

expect sign-template 1 "" "qrwpack: $firmware/QRWFLASH.sealed is a template: sign the flash programs built from it" -- \
  "$qrwpack" sign --key "$keys/maker.key" "$firmware/QRWFLASH.sealed"
cp "$keys/maker.key" "$keys/open.key" && chmod 644 "$keys/open.key"
cp "$unsigned" "$work/open.EXE"
expect sign-key-readable 1 "" "qrwpack: $keys/open.key: other users may read this secret key (mode 0644); make it its owner's alone (chmod 600)" -- \
  "$qrwpack" sign --key "$keys/open.key" "$work/open.EXE"
check "sign-key-readable: the program unchanged" cmp -s "$work/open.EXE" "$unsigned"
expect build-sign-key-readable 1 "" "qrwpack: $keys/open.key: other users may read this secret key (mode 0644); make it its owner's alone (chmod 600)" -- \
  "$qrwpack" "${build[@]}" --out-dir "$work/open" --sign "$keys/open.key"
check "build-sign-key-readable: nothing built" [ ! -e "$work/open/1.10.EXE" ]
cp "$keys/maker.pub" "$keys/public.key" && chmod 600 "$keys/public.key"
expect sign-public-key 1 "" "qrwpack: $keys/public.key is a public key, not a secret key" -- \
  "$qrwpack" sign --key "$keys/public.key" "$work/open.EXE"
expect sign-no-record 1 "" "qrwpack: $firmware/1.10.region: the seal record is missing; a program holds it exactly once" -- \
  "$qrwpack" sign --key "$keys/maker.key" "$firmware/1.10.region"
head -c -112 "$unsigned" > "$work/old.EXE"
expect sign-before-signatures 1 "" "qrwpack: $work/old.EXE has no signature record: build it again with this qrwpack" -- \
  "$qrwpack" sign --key "$keys/maker.key" "$work/old.EXE"

# A write that fails (the file size limit below the program's size): the
# program stays as it was and no temporary file is left beside it.
mkdir -p "$work/full" && cp "$unsigned" "$work/full/1.10.EXE"
expect sign-write-fails 1 "" "qrwpack: cannot write $work/full/1.10.EXE; it is left as it was" -- \
  bash -c "trap '' XFSZ; ulimit -f 100; exec \"\$0\" sign --key \"\$1\" \"\$2\"" "$qrwpack" "$keys/maker.key" "$work/full/1.10.EXE"
check "sign-write-fails: the program unchanged" cmp -s "$work/full/1.10.EXE" "$unsigned"
check "sign-write-fails: nothing left beside it" [ "$(ls "$work/full")" = "1.10.EXE" ]
expect sign-usage 2 "" "*" -- "$qrwpack" sign --key "$keys/maker.key"
check "sign-usage: message" [ "$(head -n1 "$work/err")" = "qrwpack: sign takes one or more programs" ]

# -- inspect and verify --------------------------------------------------------
cp "$signed" "$work/changed.EXE"
flip "$work/changed.EXE" $((record + 60))
expect inspect-signed 0 "*" "" -- "$qrwpack" inspect "$signed"
check "inspect-signed: signature line" [ "$(tail -n1 "$work/out")" = "Signature:    signed by key $id (good)" ]
expect inspect-unsigned 0 "*" "" -- "$qrwpack" inspect "$unsigned"
check "inspect-unsigned: signature line" [ "$(tail -n1 "$work/out")" = "Signature:    none" ]
expect inspect-no-record 0 "*" "" -- "$qrwpack" inspect "$work/old.EXE"
check "inspect-no-record: signature line" [ "$(tail -n1 "$work/out")" = "Signature:    none (no signature record)" ]
expect inspect-changed 1 "*" "qrwpack: $work/changed.EXE: the signature does not match; this program was changed after it was signed" -- \
  "$qrwpack" inspect "$work/changed.EXE"
check "inspect-changed: signature line" [ "$(tail -n1 "$work/out")" = "Signature:    does not match (key $id)" ]
{ cat "$signed"; tail -c 112 "$signed"; } > "$work/doubled.EXE"
expect inspect-doubled 1 "" "qrwpack: $work/doubled.EXE: the signature record occurs 2 times; a program holds it exactly once" -- \
  "$qrwpack" inspect "$work/doubled.EXE"
head -c -5 "$signed" > "$work/cut.EXE"
expect inspect-cut 1 "" "qrwpack: $work/cut.EXE: the signature record is cut short" -- \
  "$qrwpack" inspect "$work/cut.EXE"

expect verify 1 "$signed: seal intact, CRC-32 47E05847; signature: signed by key $id (good)
$unsigned: seal intact, CRC-32 47E05847; signature: none
$work/old.EXE: seal intact, CRC-32 47E05847; signature: none (no signature record)
$work/changed.EXE: seal intact, CRC-32 47E05847; signature: does not match (key $id)
$work/cut.EXE: the signature record is cut short" "" -- \
  "$qrwpack" verify "$signed" "$unsigned" "$work/old.EXE" "$work/changed.EXE" "$work/cut.EXE"
expect verify-good 0 "$signed: seal intact, CRC-32 47E05847; signature: signed by key $id (good)
$work/resign.EXE: seal intact, CRC-32 47E05847; signature: signed by key $id (good)" "" -- \
  "$qrwpack" verify "$signed" "$work/resign.EXE"

[ $failures -eq 0 ] && echo "qrwpack signatures: all cases passed"
exit $((failures > 0))
