#!/usr/bin/env bash
# The flash procedure's failure points on the SG_IO transport: each row a
# fault of the virtual drive, the command report and caption the terminal
# must show, exit status 1, and no final flash command sent after it.
source "$(dirname "$0")/lib.sh"

reference="$QRW_TEST_WORK/faults-reference"
rm -rf "$reference" && mkdir -p "$reference"
"$QRW_NT_REFERENCE" new "$reference" || fail "the reference flash did not work"

# name | scenario line | report line | caption line
rows=(
  "chunk refused|fail = write-chunk 3 status 02 sense 02 3A 00|Write Buffer> Status: 02, SenseCode: 02 3A 00|Write BIN to drive's DRAM... , Fail!"
  "chunk ioctl refused (EIO)|call-error = write-chunk 3 21|Write Buffer> Status: 00, SenseCode: 00 00 00 (system error 5)|Write BIN to drive's DRAM... , Fail!"
  "chunk host status DID_ERROR|sg-status = write-chunk 2 host 07 driver 00|Write Buffer> Status: 00, SenseCode: 00 00 00 (host status 07, driver status 00)|Write BIN to drive's DRAM... , Fail!"
  "device gone mid-download (ENOENT)|call-error = write-chunk 4 2|Write Buffer> Status: 00, SenseCode: 00 00 00 (system error 2)|Write BIN to drive's DRAM... , Fail!"
  "flash id refused|fail = flash-id 1 status 02 sense 05 20 00|Read Flash ID> Status: 02, SenseCode: 05 20 00|Write Flash profile to drive... "
  "profile write host status|sg-status = write-profile 1 host 07 driver 00|Write Flash Profile> Status: 00, SenseCode: 00 00 00 (host status 07, driver status 00)|Write Flash profile to drive... "
  "critical entry refused|fail = critical 1 status 02 sense 05 2C 00|Entry critical> Status: 02, SenseCode: 05 2C 00|Drive entry critical... , Fail! "
  "critical entry driver timeout|sg-status = critical 1 host 00 driver 06|Entry critical> Status: 00, SenseCode: 00 00 00 (host status 00, driver status 06)|Drive entry critical... , Fail! "
  "profile reads back different|profile-mismatch = yes|Profile mismatch!|Verify Flash profile from drive... , Valid Profile Fail!"
  "read-back ioctl refused|call-error = read-chunk 2 5|Read Buffer> Status: 00, SenseCode: 00 00 00 (system error 13)|Read back & verify DRAM from drive... , Read Fail!"
  "read-back driver timeout|sg-status = read-chunk 5 host 00 driver 06|Read Buffer> Status: 00, SenseCode: 00 00 00 (host status 00, driver status 06)|Read back & verify DRAM from drive... , Read Fail!"
  "read-back differs|corrupt = 0x8000|Verify fail!|Read back & verify DRAM from drive... Verify Fail!"
)

final_flash='^QRW 3B 05 01 00 00 C5 00 00 01 (80|A0) '
for row in "${rows[@]}"; do
  IFS='|' read -r name line report caption <<< "$row"
  nodes=""
  new_case "fault"
  printf '[drive QRW]\nletter = E\n%s\n' "$line" > "$case_dir/scenario.txt"
  add_node sg0 5
  run_qrwflash flash "$reference/PROGRAM.EXE" --yes
  expect_eq "$name: exit status" 1 "$status"
  expect_contains "$name: report" "$case_dir/out.txt" "$report"
  expect_contains "$name: caption" "$case_dir/out.txt" "$caption"
  expect_lacks "$name: not completed" "$case_dir/out.txt" "Flash Completed."
  if grep -qE "$final_flash" "$case_dir/trace.txt"; then fail "$name: final flash command sent"; else
    pass "$name: no final flash command"; fi
done

# The final flash command itself fails on the transport: "Flash Fail.", and
# the drive's answer never counts as success.
burn_rows=(
  "final flash ioctl refused|call-error = burn 1 5"
  "final flash host status|sg-status = burn 1 host 07 driver 00"
  "final flash check condition|fail = burn 1 status 02 sense 05 2C 80"
)
for row in "${burn_rows[@]}"; do
  IFS='|' read -r name line <<< "$row"
  nodes=""
  new_case "fault"
  printf '[drive QRW]\nletter = E\n%s\n' "$line" > "$case_dir/scenario.txt"
  add_node sg0 5
  run_qrwflash flash "$reference/PROGRAM.EXE" --yes
  expect_eq "$name: exit status" 1 "$status"
  expect_contains "$name: caption" "$case_dir/out.txt" "Flash Fail."
  expect_lacks "$name: not completed" "$case_dir/out.txt" "Flash Completed."
  expect_eq "$name: one final flash command" 1 "$(grep -cE "$final_flash" "$case_dir/trace.txt")"
done
finish
