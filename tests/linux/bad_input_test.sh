#!/usr/bin/env bash
# What is no flash program, no usable CD-ROM or no sane drive answer: each a
# clear message, a non-zero status, and never a WRITE BUFFER.
source "$(dirname "$0")/lib.sh"

files="$QRW_TEST_WORK/bad-files"
rm -rf "$files" && mkdir -p "$files"
"$QRW_NT_REFERENCE" bad "$files" || fail "the bad files were not made"

# name | file | message | status
file_rows=(
  "template|TEMPLATE.EXE|qrwflash: $files/TEMPLATE.EXE is the template (QRWFLASH.EXE, the builder): it carries no firmware image. Give a flash program made from it.|1"
  "truncated|TRUNCATED.EXE|qrwflash: not a flash program: $files/TRUNCATED.EXE: the package is truncated|1"
  "key-word doubled|DOUBLED.EXE|qrwflash: not a flash program: $files/DOUBLED.EXE: the key-word occurs 2 times; a program holds it exactly once|1"
  "damaged seal|DAMAGED.EXE|qrwflash: $files/DAMAGED.EXE: This flash program is damaged: its firmware package does not match its seal|1"
  "no seal record|UNSEALED.EXE|qrwflash: not a flash program: $files/UNSEALED.EXE: the seal record is missing|1"
  "foreign file|FOREIGN.EXE|qrwflash: not a flash program: $files/FOREIGN.EXE: the key-word occurs 0 times; a program holds it exactly once|1"
  "no such file|MISSING.EXE|qrwflash: cannot read $files/MISSING.EXE|1"
)
for row in "${file_rows[@]}"; do
  IFS='|' read -r name file message expected <<< "$row"
  for command in flash drives; do
    one_drive bad-file
    run_qrwflash "$command" "$files/$file" --yes
    [ "$command" == drives ] && run_qrwflash drives "$files/$file"
    expect_eq "$name ($command): exit status" "$expected" "$status"
    expect_contains "$name ($command): message" "$case_dir/out.txt" "$message"
    expect_eq "$name ($command): nothing sent" "" "$(cat "$case_dir/trace.txt")"
  done
done

# The program that these files spoil flashes.
one_drive good-file
run_qrwflash flash "$files/PROGRAM.EXE" --yes
expect_eq "the unspoilt program: exit status" 0 "$status"

# Nodes that are no CD-ROM.
one_drive not-cdrom
printf '[drive DISK]\nletter = F\n' >> "$case_dir/scenario.txt"
add_node sg1 0
run_qrwflash flash "$files/PROGRAM.EXE" --yes --device "$case_dir/root/dev/sg1"
expect_eq "a disk's node: exit status" 1 "$status"
expect_contains "a disk's node: message" "$case_dir/out.txt" "qrwflash: $case_dir/root/dev/sg1: not a CD-ROM device (SCSI device type 0)"
expect_eq "a disk's node: nothing sent" "" "$(cat "$case_dir/trace.txt")"

one_drive plain-file
echo data > "$case_dir/plain"
run_qrwflash flash "$files/PROGRAM.EXE" --yes --device "$case_dir/plain"
expect_eq "a plain file: exit status" 1 "$status"
expect_contains "a plain file: message" "$case_dir/out.txt" "qrwflash: $case_dir/plain: not a SCSI device (it does not take SG_IO)"

one_drive no-node
run_qrwflash flash "$files/PROGRAM.EXE" --yes --device "$case_dir/root/dev/sg9"
expect_eq "a missing node: exit status" 1 "$status"
expect_contains "a missing node: message" "$case_dir/out.txt" "qrwflash: $case_dir/root/dev/sg9: cannot open: No such file or directory"

# Two CD-ROMs, one of them not to be opened: the other is used, and the
# one that cannot be is named all the same.
nodes=""
new_case two-one-denied
printf '[drive QRW]\nletter = E\n[drive OTHER]\nletter = F\nproduct = CDRW-9000\n' > "$case_dir/scenario.txt"
add_node sg0 5
ln -s "$case_dir/root/dev/none" "$case_dir/root/dev/sg1"
mkdir -p "$case_dir/root/sys/class/scsi_generic/sg1/device" && echo 5 > "$case_dir/root/sys/class/scsi_generic/sg1/device/type"
run_qrwflash flash "$files/PROGRAM.EXE" --yes
expect_eq "one of two nodes cannot be opened: exit status" 0 "$status"
expect_contains "one of two nodes cannot be opened: named" "$case_dir/out.txt" "qrwflash: $case_dir/root/dev/sg1: cannot open: No such file or directory"

# INQUIRY answers with any bytes: control bytes never reach the terminal,
# and no such drive is flashed.
esc=$'\x1b'
one_drive inquiry-escape "vendor = ${esc}[2J${esc}]0;" "product = QRW-20410C"$'\x01\x7f'
run_qrwflash drives "$files/PROGRAM.EXE"
expect_eq "INQUIRY with control bytes (drives): exit status" 3 "$status"
expect_contains "INQUIRY with control bytes: shown as ?" "$case_dir/out.txt" "0-0-0 /dev/sg0: ?[2J?]0;QRW-20410C??    1.00  (not for this flash program)"
if grep -q "$esc" "$case_dir/out.txt"; then fail "INQUIRY with control bytes: an escape reached the terminal"; else
  pass "INQUIRY with control bytes: no escape reached the terminal"; fi
run_qrwflash flash "$files/PROGRAM.EXE" --yes
expect_eq "INQUIRY with control bytes (flash): exit status" 3 "$status"
expect_lacks "INQUIRY with control bytes: no download" "$case_dir/trace.txt" " 3B "

rows=(
  "revision of blanks|revision =     "
  "revision cut short|revision = 1."
  "revision above the range|revision = 1.1A"
  "INQUIRY refused|fail = inquiry 1 status 02 sense 05 24 00"
  "INQUIRY ioctl refused|call-error = inquiry 1 5"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name line <<< "$row"
  one_drive inquiry "$line"
  run_qrwflash flash "$files/PROGRAM.EXE" --yes
  expect_eq "$name: exit status" 3 "$status"
  expect_contains "$name: no matching drive" "$case_dir/out.txt" "Can't found QRW-20410C firmware: 1.00-1.09 drive !"
  expect_lacks "$name: no download" "$case_dir/trace.txt" " 3B "
done

# Wrong usage.
one_drive usage
for args in "" "flash" "burn x.EXE" "flash $files/PROGRAM.EXE --no-such-option" "drives $files/PROGRAM.EXE --yes"; do
  # shellcheck disable=SC2086
  run_qrwflash $args
  expect_eq "usage \"$args\": exit status" 2 "$status"
done
run_qrwflash --help
expect_eq "--help: exit status" 0 "$status"
expect_contains "--help: the commands" "$case_dir/out.txt" "drives"
expect_contains "--help: the exit status" "$case_dir/out.txt" "Exit status: 0 flashed"
expect_contains "--help: the version" "$case_dir/out.txt" "qrwflash $QRW_VERSION: flash the firmware"
run_qrwflash --version
expect_eq "--version: exit status" 0 "$status"
expect_eq "--version: the project's version" "qrwflash $QRW_VERSION" "$(cat "$case_dir/out.txt")"
expect_eq "usage: nothing sent" "" "$(cat "$case_dir/trace.txt")"
finish
