#!/usr/bin/env bash
# The logind inhibitor lock of qrwflash flash, on a real dbus-daemon of the
# test's own with a stand-in for logind (logind_standin.cpp): its four
# arguments, taken before the first WRITE BUFFER, still held while the drive
# works on the final flash command, let go however the flash ends; no bus or
# a logind that refuses: one line, and the flash goes on.
source "$(dirname "$0")/lib.sh"

flash_programs new "$QRW_TEST_WORK/files"
burn='^[A-Z]+ 3B 05 01 00 00 C5 00 00 01 80 '
lock_args="inhibit what=sleep:shutdown:idle:handle-power-key:handle-suspend-key:handle-hibernate-key:handle-lid-switch who=qrwflash why=Firmware update in progress mode=block"

# -- the lock over a whole flash, held while the final command is with the drive
bus_start
one_drive held "hold = burn 1 at-wait"
# The final flash command stays with the drive until the release file
# appears, however slow the machine.
release="$case_dir/release"
{ QRW_VDRIVE_RELEASE=$release run_qrwflash flash "$P" --yes; echo "$status" > "$case_dir/status.txt"; } &
runner=$!
trace_wait "$burn"
expect_eq "while the final flash command is held: the lock, taken before any WRITE BUFFER, still open" \
  "$lock_args
write-buffers-before=0" "$(grep -v '^ready$' "$bus_dir/logind.txt")"
: > "$release"
wait "$runner"
expect_eq "held: exit status" 0 "$(cat "$case_dir/status.txt")"
expect_contains "held: flashed" "$case_dir/out.txt" "Flash Completed."
expect_lacks "held: no word of a lock not taken" "$case_dir/out.txt" "not held off"
expect_eq "after the flash: the lock was let go" "$lock_args
write-buffers-before=0
closed" "$(grep -v '^ready$' "$bus_dir/logind.txt")"

# -- a flash that fails lets the lock go too; a declined warning never takes it
rows=(
  "failed|fail = write-chunk 3 status 02 sense 02 3A 00||1|$lock_args;write-buffers-before=0;closed"
  "declined at the warning||n|3|"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name line input expected record <<< "$row"
  one_drive "$name" ${line:+"$line"}
  : > "$bus_dir/logind.txt"
  stdin=""
  args=(flash "$P" --yes)
  if [ -n "$input" ]; then stdin="$case_dir/input.txt"; echo "$input" > "$stdin"; args=(flash "$P"); fi
  run_qrwflash "${args[@]}"
  stdin=""
  expect_eq "$name: exit status" "$expected" "$status"
  for _ in $(seq 1 50); do [ -z "$record" ] || grep -qx closed "$bus_dir/logind.txt" && break; sleep 0.1; done
  expect_eq "$name: what logind was asked" "$(tr ';' '\n' <<< "$record")" "$(cat "$bus_dir/logind.txt")"
done

# -- no bus, and a logind that refuses: one line, then the flash as ever ----
one_drive no-bus
QRW_BUS_ADDRESS="unix:path=$case_dir/no-bus" run_qrwflash flash "$P" --yes
expect_eq "no bus: exit status" 0 "$status"
expect_eq "no bus: the one line" \
  "qrwflash: sleep and shutdown are not held off: the system bus cannot be reached: No such file or directory" \
  "$(grep 'not held off' "$case_dir/out.txt")"
expect_contains "no bus: flashed" "$case_dir/out.txt" "Flash Completed."

bus_start --refuse
one_drive refused
run_qrwflash flash "$P" --yes
expect_eq "logind refuses: exit status" 0 "$status"
expect_eq "logind refuses: the one line" \
  "qrwflash: sleep and shutdown are not held off: logind refused the inhibitor lock: Permission denied to block shutdown" \
  "$(grep 'not held off' "$case_dir/out.txt")"
expect_contains "logind refuses: flashed" "$case_dir/out.txt" "Flash Completed."

finish
