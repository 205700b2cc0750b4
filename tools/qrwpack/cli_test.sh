#!/usr/bin/env bash
# qrwpack on the command line: exit codes, messages and the inspect report.
#   cli_test.sh QRWPACK FIRMWARE_DIR MODELS WORK
set -uo pipefail
qrwpack=$1 firmware=$2 models=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
failures=0

# expect NAME STATUS STDOUT STDERR -- COMMAND...: the exit status and both
# outputs exactly ("*" takes any output).
expect() {
  local name=$1 status=$2 out=$3 err=$4
  shift 5
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  local ok=1
  [ "$got" -eq "$status" ] || { echo "$name: exit status $got, expected $status"; ok=0; }
  if [ "$out" != "*" ] && [ "$(cat "$work/out")" != "$out" ]; then
    echo "$name: stdout differs:"; diff <(echo "$out") "$work/out"; ok=0
  fi
  if [ "$err" != "*" ] && [ "$(cat "$work/err")" != "$err" ]; then
    echo "$name: stderr differs:"; diff <(echo "$err") "$work/err"; ok=0
  fi
  [ $ok -eq 1 ] || failures=$((failures + 1))
}

expect help 0 "*" "" -- "$qrwpack" --help
grep -q '^usage: qrwpack build --template' "$work/out" || { echo "help: no usage"; failures=$((failures + 1)); }
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
[ "$(ls "$work/out-dir")" = "1.10.EXE" ] || { echo "out-dir holds: $(ls "$work/out-dir")"; failures=$((failures + 1)); }

expect inspect 0 "File:         $work/out-dir/1.10.EXE
Key-word at:  0x00000306
Seal at:      0x0005039A
Seal:         empty
Model:        QRW-20410C
Inquiry:      \"QUARVEL QRW-20410C      \"
FWRange:      1.00-1.09
Vendor:       Quarvel-IT
Note:         None
NewRevision:  1.10.
Template:     no
Image:        new format (05 80 at 0x1100), 327680 bytes, flash profile needed
Profile 0:    maker DA, device C8, 314 bytes at block offset 0
Profile 1:    maker BF, device B4, 452 bytes at block offset 314" "" -- "$qrwpack" inspect "$work/out-dir/1.10.EXE"
expect inspect-template 0 "*" "" -- "$qrwpack" inspect "$firmware/QRWFLASH.sealed"
grep -qx 'Template:     yes (starts as builder)' "$work/out" || { echo "inspect-template: not a template"; failures=$((failures + 1)); }
head -c 100000 "$firmware/QRWFLASH.sealed" >"$work/cut.EXE"
expect inspect-truncated 1 "" "qrwpack: $work/cut.EXE: the package is truncated" -- "$qrwpack" inspect "$work/cut.EXE"
cat "$firmware/QRWFLASH.sealed" "$firmware/QRWFLASH.sealed" >"$work/twice.EXE"
expect inspect-twice 1 "" "qrwpack: $work/twice.EXE: the key-word occurs 2 times; a program holds it exactly once" -- \
  "$qrwpack" inspect "$work/twice.EXE"
expect inspect-none 1 "" "qrwpack: $work/odd.BIN: the key-word occurs 0 times; a program holds it exactly once" -- \
  "$qrwpack" inspect "$work/odd.BIN"
expect inspect-usage 2 "" "*" -- "$qrwpack" inspect

[ $failures -eq 0 ] && echo "qrwpack command line: all cases passed"
exit $((failures > 0))
