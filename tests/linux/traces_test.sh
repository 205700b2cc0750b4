#!/usr/bin/env bash
# qrwflash sends the drive exactly what the Windows program sends through the
# NT pass-through for the same package and drive: the whole trace of a flash
# (the drive check's INQUIRY, then every command), entry by entry.
source "$(dirname "$0")/lib.sh"

for kind in new old flash-all; do
  nodes=""
  new_case "trace-$kind"
  "$QRW_NT_REFERENCE" "$kind" "$case_dir" || fail "$kind: the reference flash did not work"
  add_node sg0 5
  run_qrwflash flash "$case_dir/PROGRAM.EXE" --yes
  expect_eq "$kind: exit status" 0 "$status"
  expect_contains "$kind: completed" "$case_dir/out.txt" "Flash Completed."
  expect_eq "$kind: trace equals the NT trace" "$(cat "$case_dir/reference.txt")" "$(cat "$case_dir/trace.txt")"
done

# What tells the three apart: the final flash command's control byte and
# the profile.
grep -q '^QRW 3B 05 01 00 00 C5 00 00 01 A0 ' "$QRW_TEST_WORK/trace-flash-all/trace.txt" &&
  pass "FLASH-ALL: final flash command with control A0" || fail "FLASH-ALL: no A0 final flash"
grep -q '^QRW 3B 05 01 00 00 C5 00 00 01 80 ' "$QRW_TEST_WORK/trace-new/trace.txt" &&
  pass "new format: final flash command with control 80" || fail "new format: no 80 final flash"
grep -q '^QRW 3B 05 01 08 00 00 ' "$QRW_TEST_WORK/trace-old/trace.txt" &&
  fail "old format: a profile was written" || pass "old format: no profile"
grep -q '^QRW 3B 05 01 08 00 00 ' "$QRW_TEST_WORK/trace-new/trace.txt" &&
  pass "new format: the profile was written" || fail "new format: no profile"
finish
