#!/usr/bin/env bash
# qrwpack on the command line: exit codes, messages, the inspect report and
# the seal checks of inspect and verify.
#   cli_test.sh QRWPACK FIRMWARE_DIR MODELS WORK VERSION
set -uo pipefail
qrwpack=$1 firmware=$2 models=$3 work=$4 version=$5
rm -rf "$work"
mkdir -p "$work"
failures=0

source "$(dirname "$0")/cli_lib.sh"

expect help 0 "*" "" -- "$qrwpack" --help
grep -q '^usage: qrwpack build --template' "$work/out" || { echo "help: no usage"; failures=$((failures + 1)); }
[ "$(head -n1 "$work/out")" = "qrwpack $version" ] || { echo "help: no version line"; failures=$((failures + 1)); }
expect version 0 "qrwpack $version" "" -- "$qrwpack" --version
expect no-command 2 "" "*" -- "$qrwpack"
expect unknown-command 2 "" "*" -- "$qrwpack" pack
head -n1 "$work/err" | grep -qx 'qrwpack: unknown command pack' || { echo "unknown-command: message"; failures=$((failures + 1)); }
expect missing-option 2 "" "*" -- "$qrwpack" build --template "$firmware/QRWFLASH.region"
head -n1 "$work/err" | grep -qx 'qrwpack: --models is missing' || { echo "missing-option: message"; failures=$((failures + 1)); }

mkdir -p "$work/out-dir"
expect build 0 $'Building 1.10.BIN  Please wait... \nBuild 1.10.EXE ok!' "" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$models" --model 0 \
  --image "$firmware/1.10.BIN" --out-dir "$work/out-dir"
expect build-by-name 0 "*" "" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$models" --model QRW-20410C \
  --image "$firmware/1.10.BIN" --out-dir "$work/out-dir"
# The other spellings: values after '=', an option given twice keeps its
# last value; an empty value after '=' is a missing one.
expect build-with-equals 0 $'Building 1.10.BIN  Please wait... \nBuild 1.10.EXE ok!' "" -- \
  "$qrwpack" build --template="$firmware/QRWFLASH.sealed" --models="$models" --model=9 \
  --model=QRW-20410C --image="$firmware/1.10.BIN" --out-dir="$work/out-dir"
expect empty-value 2 "" "*" -- "$qrwpack" build --template= --models "$models" --model 0 \
  --image "$firmware/1.10.BIN"
head -n1 "$work/err" | grep -qx 'qrwpack: --template= needs a value' || { echo "empty-value: message"; failures=$((failures + 1)); }
expect help-on-a-command 0 "*" "" -- "$qrwpack" help build
grep -q '^usage: qrwpack build --template' "$work/out" || { echo "help-on-a-command: no usage"; failures=$((failures + 1)); }
expect option-after-a-file 2 "" "*" -- "$qrwpack" inspect "$firmware/QRWFLASH.sealed" --help
head -n1 "$work/err" | grep -qx 'qrwpack: unknown option --help' || { echo "option-after-a-file: message"; failures=$((failures + 1)); }
expect no-such-model 1 "" $'qrwpack: no model 7 in '"$models"$'; it holds:\n  0: QRW-20410C\n  1: QRW-20412C' -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$models" --model 7 \
  --image "$firmware/1.10.BIN" --out-dir "$work/out-dir"
expect no-models 1 "" "qrwpack: Can't load $work/none.INI" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$work/none.INI" --model 0 \
  --image "$firmware/1.10.BIN" --out-dir "$work/out-dir"
printf '[MODEL00]\r\nModel=X\r\n' >"$work/bad.INI"
expect bad-models 1 "" "qrwpack: $work/bad.INI > Session MODEL00 error!" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$work/bad.INI" --model 0 \
  --image "$firmware/1.10.BIN" --out-dir "$work/out-dir"
head -c 1001 "$firmware/1.10.BIN" >"$work/odd.BIN"
expect odd-image 1 "Building odd.BIN  Please wait... " \
  "qrwpack: Building fail: odd.BIN holds 1001 bytes; a firmware image holds 262144 or 327680 bytes" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$models" --model 0 \
  --image "$work/odd.BIN" --out-dir "$work/out-dir"
# The output folder is made when missing, parents and all, as the README's
# own command line expects in a fresh folder; a failure to make it or to
# create the program names the path and the system's reason.
expect build-new-folders 0 $'Building 1.10.BIN  Please wait... \nBuild 1.10.EXE ok!' "" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$models" --model 0 \
  --image "$firmware/1.10.BIN" --out-dir "$work/fresh/a/b"
cmp -s "$work/fresh/a/b/1.10.EXE" "$work/out-dir/1.10.EXE" ||
  { echo "build-new-folders: not the program the other builds wrote"; failures=$((failures + 1)); }
: >"$work/plain-file"
expect build-folder-under-a-file 1 "" "qrwpack: cannot make the folder $work/plain-file/out: Not a directory" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$models" --model 0 \
  --image "$firmware/1.10.BIN" --out-dir "$work/plain-file/out"
mkdir -p "$work/blocked/1.10.EXE"
expect build-output-is-a-folder 1 "Building 1.10.BIN  Please wait... " \
  "qrwpack: Create 1.10.EXE Fail: $work/blocked/1.10.EXE: a folder of that name is in the way" -- \
  "$qrwpack" build --template "$firmware/QRWFLASH.sealed" --models "$models" --model 0 \
  --image "$firmware/1.10.BIN" --out-dir "$work/blocked"
[ "$(ls -A "$work/blocked/1.10.EXE")" = "" ] || { echo "build-output-is-a-folder: the folder was touched"; failures=$((failures + 1)); }

# The README's qrwpack lines, as written, in a fresh folder holding the
# three files they name.
mkdir -p "$work/readme"
cp "$firmware/QRWFLASH.sealed" "$work/readme/QRWFLASH.EXE"
cp "$models" "$work/readme/QRWFLASH.INI"
cp "$firmware/1.10.BIN" "$work/readme/1.10.BIN"
readme_lines=$(awk '/^    qrwpack build /{b=1} b && /^    qrwpack verify /{print; exit} b{print}' "$(dirname "$0")/../../README.md")
[ "$(wc -l <<<"$readme_lines")" -eq 4 ] || { echo "readme: the qrwpack lines were not found"; failures=$((failures + 1)); }
expect readme-commands 0 "*" "" -- bash -c 'cd "$1" && PATH="$(dirname "$2"):$PATH" && eval "$3"' _ \
  "$work/readme" "$qrwpack" "$readme_lines"
[ "$(tail -n1 "$work/out")" = "out/1.10.EXE: seal intact, CRC-32 47E05847; signature: none" ] ||
  { echo "readme-commands: the README's build did not verify"; failures=$((failures + 1)); }

[ "$(ls "$work/out-dir")" = "1.10.EXE" ] || { echo "out-dir holds: $(ls "$work/out-dir")"; failures=$((failures + 1)); }

expect inspect 0 "File:         $work/out-dir/1.10.EXE
Key-word at:  0x00000306
Seal at:      0x0005039A
Seal:         intact, CRC-32 47E05847
Model:        QRW-20410C
Inquiry:      \"QUARVEL QRW-20410C      \"
FWRange:      1.00-1.09
Vendor:       Quarvel-IT
Note:         None
NewRevision:  1.10.
Template:     no
Image:        new format (05 80 at 0x1100), 327680 bytes, flash profile needed
Profile 0:    maker DA, device C8, 314 bytes at block offset 0
Profile 1:    maker BF, device B4, 452 bytes at block offset 314
Certificate:  none
Signature:    none" "" -- "$qrwpack" inspect "$work/out-dir/1.10.EXE"
expect inspect-template 0 "*" "" -- "$qrwpack" inspect "$firmware/QRWFLASH.sealed"
grep -qx 'Template:     yes (starts as builder)' "$work/out" || { echo "inspect-template: not a template"; failures=$((failures + 1)); }
# A program from anywhere may carry terminal commands in its texts: inspect
# shows each control byte and each byte above 0x7E as '?', as qrwflash does.
mkdir -p "$work/escapes"
printf '[MODEL00]\r\nModel=QRW\033[2J\r\nInquiry=QUARVEL QRW-20410C\r\nFW-Range=1.00-1.09\r\nBINMask=1.*.BIN\r\nVendor=\033]0;owned\007\351\r\nNote=None\r\n' \
  >"$work/escapes/models.INI"
expect build-escapes 0 "*" "" -- "$qrwpack" build --template "$firmware/QRWFLASH.sealed" \
  --models "$work/escapes/models.INI" --model 0 --image "$firmware/1.10.BIN" --out-dir "$work/escapes"
expect inspect-escapes 0 "*" "" -- "$qrwpack" inspect "$work/escapes/1.10.EXE"
[ "$(sed -n '5p;8p' "$work/out")" = $'Model:        QRW?[2J\nVendor:       ?]0;owned??' ] ||
  { echo "inspect-escapes: texts not filtered:"; sed -n '5p;8p' "$work/out" | od -c | head; failures=$((failures + 1)); }
! LC_ALL=C grep -q $'[\001-\011\013-\037\177-\377]' "$work/out" ||
  { echo "inspect-escapes: a control byte reached the terminal"; failures=$((failures + 1)); }

head -c 100000 "$firmware/QRWFLASH.sealed" >"$work/cut.EXE"
expect inspect-truncated 1 "" "qrwpack: $work/cut.EXE: the package is truncated" -- "$qrwpack" inspect "$work/cut.EXE"
cat "$firmware/QRWFLASH.sealed" "$firmware/QRWFLASH.sealed" >"$work/twice.EXE"
expect inspect-twice 1 "" "qrwpack: $work/twice.EXE: the key-word occurs 2 times; a program holds it exactly once" -- \
  "$qrwpack" inspect "$work/twice.EXE"
expect inspect-none 1 "" "qrwpack: $work/odd.BIN: the key-word occurs 0 times; a program holds it exactly once" -- \
  "$qrwpack" inspect "$work/odd.BIN"
expect inspect-usage 2 "" "*" -- "$qrwpack" inspect


# Seals: the built program (intact), the template (empty), one byte of the
# image start flipped, one byte of the seal's CRC flipped, a file from before
# the seal, a doubled and a cut-short seal record.
built="$work/out-dir/1.10.EXE"
cp "$built" "$work/image-flipped.EXE"
flip "$work/image-flipped.EXE" 922
cp "$built" "$work/seal-flipped.EXE"
flip "$work/seal-flipped.EXE" $((0x5039A + 9))
# The seal record is followed by the 112-byte signature record.
size=$(stat -c %s "$built")
{ cat "$built"; tail -c $((16 + 112)) "$built" | head -c 16; } >"$work/seal-twice.EXE"
head -c $((size - 112 - 3)) "$built" >"$work/seal-cut.EXE"

expect inspect-empty-seal 0 "*" "" -- "$qrwpack" inspect "$firmware/QRWFLASH.sealed"
grep -qx 'Seal:         empty' "$work/out" || { echo "inspect-empty-seal: seal line"; failures=$((failures + 1)); }
expect inspect-broken-image 1 "*" "qrwpack: $work/image-flipped.EXE: the seal is broken; this program is damaged" -- \
  "$qrwpack" inspect "$work/image-flipped.EXE"
grep -qx 'Seal:         broken: sealed 47E05847, found 9C0DFCB0' "$work/out" || { echo "inspect-broken-image: seal line"; failures=$((failures + 1)); }
expect inspect-broken-seal 1 "*" "qrwpack: $work/seal-flipped.EXE: the seal is broken; this program is damaged" -- \
  "$qrwpack" inspect "$work/seal-flipped.EXE"
grep -qx 'Seal:         broken: sealed 47E05947, found 47E05847' "$work/out" || { echo "inspect-broken-seal: seal line"; failures=$((failures + 1)); }
expect inspect-no-seal 1 "" "qrwpack: $firmware/1.10.region: the seal record is missing; a program holds it exactly once" -- \
  "$qrwpack" inspect "$firmware/1.10.region"
expect inspect-seal-twice 1 "" "qrwpack: $work/seal-twice.EXE: the seal record occurs 2 times; a program holds it exactly once" -- \
  "$qrwpack" inspect "$work/seal-twice.EXE"
expect inspect-seal-cut 1 "" "qrwpack: $work/seal-cut.EXE: the seal record is cut short" -- \
  "$qrwpack" inspect "$work/seal-cut.EXE"

expect verify-good 0 "$built: seal intact, CRC-32 47E05847; signature: none
$firmware/QRWFLASH.sealed: seal empty; signature: none" "" -- "$qrwpack" verify "$built" "$firmware/QRWFLASH.sealed"
expect verify-mixed 1 "$built: seal intact, CRC-32 47E05847; signature: none
$work/image-flipped.EXE: seal broken: sealed 47E05847, found 9C0DFCB0; signature: none
$firmware/1.10.region: the seal record is missing; a program holds it exactly once
cannot read $work/none.EXE
$work/seal-flipped.EXE: seal broken: sealed 47E05947, found 47E05847; signature: none
$firmware/QRWFLASH.sealed: seal empty; signature: none" "" -- \
  "$qrwpack" verify "$built" "$work/image-flipped.EXE" "$firmware/1.10.region" "$work/none.EXE" \
  "$work/seal-flipped.EXE" "$firmware/QRWFLASH.sealed"
expect verify-usage 2 "" "*" -- "$qrwpack" verify
head -n1 "$work/err" | grep -qx 'qrwpack: verify takes one or more files' || { echo "verify-usage: message"; failures=$((failures + 1)); }

[ $failures -eq 0 ] && echo "qrwpack command line: all cases passed"
exit $((failures > 0))
