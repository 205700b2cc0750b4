#!/usr/bin/env bash
# The template signed with Authenticode (sign_programs.sh) builds the very
# flash program the unsigned template builds, with no certificate table;
# the program signed after the build keeps its seal, and inspect tells each
# file's table.
#   signed_template_check.sh QRWPACK PROGRAM_DIR SHIPPED_DIR SIGNED_DIR MODELS IMAGE WORK
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/checks.sh"
qrwpack=$1 programs=$2 shipped=$3 signed=$4 models=$5 image=$6 work=$7
rm -rf "$work" && mkdir -p "$work"

"$qrwpack" build --template "$signed/QRWFLASH.EXE" --models "$models" --model QRW-20410C \
  --image "$image" --out-dir "$work" > "$work/build.txt" 2>&1
expect_eq "the signed template builds" "0 Building 1.10.BIN  Please wait... 
Build 1.10.EXE ok!" "$? $(cat "$work/build.txt")"
cmp -s "$work/1.10.EXE" "$shipped/1.10.EXE" && pass "its program is the shipped one, byte for byte" ||
  fail "its program differs from $shipped/1.10.EXE: $(cmp "$work/1.10.EXE" "$shipped/1.10.EXE" 2>&1)"

# inspect's table line: none, or SIZE bytes at the unsigned file's end.
table_line() {
  "$qrwpack" inspect "$1" 2>&1 | grep '^Certificate:'
}
at=$(stat -c %s "$programs/QRWFLASH.EXE")
expect_eq "inspect: the signed template's table" \
  "Certificate:  table of $(( $(stat -c %s "$signed/QRWFLASH.EXE") - at )) bytes at 0x$(printf '%08X' "$at")" \
  "$(table_line "$signed/QRWFLASH.EXE")"
expect_eq "inspect: the built program carries none" "Certificate:  none" "$(table_line "$work/1.10.EXE")"
at=$(stat -c %s "$shipped/1.10.EXE")
expect_eq "inspect: the signed program's table" \
  "Certificate:  table of $(( $(stat -c %s "$signed/1.10.EXE") - at )) bytes at 0x$(printf '%08X' "$at")" \
  "$(table_line "$signed/1.10.EXE")"
expect_eq "verify: the signed program's seal is the shipped one's" \
  "$("$qrwpack" verify "$shipped/1.10.EXE" | sed 's/^[^:]*: //')" \
  "$("$qrwpack" verify "$signed/1.10.EXE" | sed 's/^[^:]*: //')"
finish
