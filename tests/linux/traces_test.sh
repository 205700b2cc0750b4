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

# A reader of the output that goes away mid-flash (a closed pipe) does not
# end the program: the flash goes on to its end.
nodes=""
new_case "trace-closed-pipe"
cp "$QRW_TEST_WORK/trace-new/PROGRAM.EXE" "$QRW_TEST_WORK/trace-new/scenario.txt" "$case_dir/"
add_node sg0 5
(cd "$case_dir" && QRW_VDRIVE_SCENARIO=scenario.txt QRW_VDRIVE_TRACE=trace.txt QRW_VDRIVE_SG_NODES="$nodes" \
  QRWFLASH_ROOT="$case_dir/root" ASAN_OPTIONS=verify_asan_link_order=0 LD_LIBRARY_PATH="$front_dir" LD_PRELOAD="$front_name" \
  "$QRWFLASH" flash PROGRAM.EXE --yes < /dev/null 2>&1 | head -c 1 > /dev/null; echo "${PIPESTATUS[0]}" > status)
expect_eq "closed pipe: exit status" 0 "$(cat "$case_dir/status")"
expect_eq "closed pipe: the whole flash reached the drive" "$(cat "$QRW_TEST_WORK/trace-new/reference.txt")" "$(cat "$case_dir/trace.txt")"
finish
