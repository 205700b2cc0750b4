#!/usr/bin/env bash
# qrwflash flash --dry-run: it sends the drive nothing but the drive check's
# INQUIRY, and the commands it prints are, line for line, those the same
# flash then sends: the flash's trace after its INQUIRY, each line without
# the drive's answer, equals the printed lines without their time limit.
source "$(dirname "$0")/lib.sh"

inquiry='^[A-Z0-9]+ 12 00 00 00 80 00 / in 128 [0-9A-F]{8} -> 00 00 00 00$'

# printed_commands DEVICE LABEL: the dry run's command lines of DEVICE as
# trace lines of LABEL, without their time limits.
printed_commands() {
  grep "^$1 " "$case_dir/out.txt" | sed -E "s| limit [0-9]+ s$||; s|^$1 |$2 |"
}
# flash_commands LABEL: LABEL's lines of the trace without its first (the
# drive check's INQUIRY) and without the drive's answers.
flash_commands() { grep "^$1 " "$case_dir/trace.txt" | tail -n +2 | sed 's/ -> .*//'; }

# kind | the program's kind for the NT reference
for kind in new old flash-all; do
  one_drive "dry-$kind" "flash-chip = DA C8"
  mkdir -p "$case_dir/program" && "$QRW_NT_REFERENCE" "$kind" "$case_dir/program" > /dev/null || fail "$kind: no program made"
  run_qrwflash flash "$case_dir/program/PROGRAM.EXE" --dry-run
  expect_eq "$kind: exit status" 0 "$status"
  expect_eq "$kind: the last line says what was sent" \
    "Dry run: nothing was sent to any drive but the identification (INQUIRY) that qrwflash drives sends; no drive was flashed." \
    "$(tail -n 1 "$case_dir/out.txt")"
  expect_eq "$kind: the dry run's trace is the identification alone" \
    "$(grep -E "$inquiry" "$case_dir/trace.txt")" "$(cat "$case_dir/trace.txt")"
  printed=$(printed_commands /dev/sg0 QRW)
  : > "$case_dir/trace.txt"
  run_qrwflash flash "$case_dir/program/PROGRAM.EXE" --yes
  expect_eq "$kind: the flash after it: exit status" 0 "$status"
  expect_eq "$kind: the printed commands are those the flash sent" "$(flash_commands QRW)" "$printed"
done

# --all: every drive's commands; a drive at the new revision is named, not shown.
nodes=""
new_case dry-all
printf '[drive D0]\nletter = E\nflash-chip = DA C8\n[drive D1]\nletter = F\nrevision = 1.10\n[drive D2]\nletter = G\nflash-chip = DA C8\n' > "$case_dir/scenario.txt"
add_node sg0 5
add_node sg1 5
add_node sg2 5
flash_programs new "$case_dir/program"
run_qrwflash flash "$P" --all --dry-run
expect_eq "--all: exit status" 0 "$status"
expect_contains "--all: the drive at the new revision named" "$case_dir/out.txt" \
  "Not flashed: 0-0-0 /dev/sg1: QUARVEL QRW-20410C      1.10: already at the new revision"
expect_eq "--all: one INQUIRY a drive and nothing else" 3 "$(grep -cE "$inquiry" "$case_dir/trace.txt")"
expect_eq "--all: the trace is the identification alone" 3 "$(wc -l < "$case_dir/trace.txt")"
printed0=$(printed_commands /dev/sg0 D0)
printed2=$(printed_commands /dev/sg2 D2)
expect_eq "--all: nothing printed for the skipped drive" "" "$(printed_commands /dev/sg1 D1)"
: > "$case_dir/trace.txt"
run_qrwflash flash "$P" --all --yes
expect_eq "--all: the flash after it: exit status" 0 "$status"
expect_eq "--all: sg0's printed commands are those its flash sent" "$(flash_commands D0)" "$printed0"
expect_eq "--all: sg2's printed commands are those its flash sent" "$(flash_commands D2)" "$printed2"

# Several matching drives without --device: as a flash with --yes, wrong usage.
run_qrwflash flash "$P" --dry-run
expect_eq "several without --device: exit status" 2 "$status"
expect_eq "several without --device: the line" \
  "qrwflash: several drives match; name the one to flash with --device" "$(tail -n 1 "$case_dir/out.txt")"
finish
