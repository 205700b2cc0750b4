#!/usr/bin/env bash
# qrwflash as a person meets it in a terminal (tmux): the prompts, the bar
# over the chunks, --yes, a choice among several drives, no matching drive,
# Ctrl-C before and during the critical phase, a device without permission.
source "$(dirname "$0")/lib.sh"

flash_programs new "$QRW_TEST_WORK/terminal-program"
burn='^[A-Z]+ 3B 05 01 00 00 C5 00 00 01 80 '
critical='^[A-Z]+ 3B 05 01 00 00 00 00 00 00 7F '

# -- the prompts answered by hand, the bar drawn over the 20 chunks --------
one_drive tty-prompts
tty_start flash "$P"
tty_wait "Do you wish to continue?" && tty_wait "[y/N]" && pass "warning asks" || fail "warning asks"
tty_keys y Enter
tty_wait "Update FW:1.00 to FW:1.10 ?" && pass "confirmation asks" || fail "confirmation asks"
tty_keys y Enter
tty_end
expect_eq "prompts: exit status" 0 "$status"
expect_contains "prompts: the drive" "$case_dir/screen.txt" "Drive: 0-0-0 /dev/sg0: QUARVEL QRW-20410C      1.00"
expect_contains "prompts: the bar" "$case_dir/screen.txt" "[########################################]  20/20 chunks"
expect_contains "prompts: completed" "$case_dir/screen.txt" "Flash Completed."
expect_contains "prompts: power cycle" "$case_dir/screen.txt" "The drive takes the new firmware after its power is cycled"
# Every caption of the NT variant, in order, each on its own line.
expect_eq "prompts: captions in order" \
"Write Flash profile to drive...
Write BIN to drive's DRAM...
Drive entry critical...
Verify Flash profile from drive...
Read back & verify DRAM from drive...
Don't turn off the system, Flash is in progress...
Flash Completed." \
"$(sed 's/^\[[#.]*\]  [0-9]*\/20 chunks//' "$case_dir/screen.txt" | grep -E "\.\.\. ?$|^Flash Completed\.$|in progress\.\.\.$" | sed 's/ *$//')"

# -- declined at the confirmation: nothing but the drive check is sent -----
one_drive tty-declined
tty_start flash "$P"
tty_wait "Do you wish to continue?" && tty_keys y Enter
tty_wait "Update FW:1.00 to FW:1.10 ?" && tty_keys n Enter
tty_end
expect_eq "declined: exit status" 3 "$status"
expect_eq "declined: only the drive check reached the drive" \
  "QRW 12 00 00 00 80 00 / in 128 B439187B -> 00 00 00 00" "$(cat "$case_dir/trace.txt")"

# -- --yes: no question waits --------------------------------------------
one_drive tty-yes
tty_start flash "$P" --yes
tty_end
expect_eq "--yes: exit status" 0 "$status"
expect_eq "--yes: both questions answered" 2 "$(grep -c '^\[y/N\] y (--yes)$' "$case_dir/screen.txt")"

# -- already at the new revision ------------------------------------------
one_drive tty-current "revision = 1.10"
tty_start flash "$P" --yes
tty_end
expect_eq "already current: exit status" 3 "$status"
expect_contains "already current: no matching drive listed" "$case_dir/screen.txt" "Detected drives:"

# -- several matching drives: the user picks the second --------------------
nodes=""
new_case tty-several
printf '[drive FIRST]\nletter = E\n[drive SECOND]\nletter = F\n' > "$case_dir/scenario.txt"
add_node sg0 5
add_node sg1 5
tty_start flash "$P"
tty_wait "Do you wish to continue?" && tty_keys y Enter
tty_wait "Which one shall be flashed? [1-2]" && pass "several: asks which" || fail "several: asks which"
expect_eq "several: the choices" \
"  1) 0-0-0 /dev/sg0: QUARVEL QRW-20410C      1.00
  2) 0-0-0 /dev/sg1: QUARVEL QRW-20410C      1.00" "$(tty_screen | grep -E '^  [12]\) ')"
tty_keys 2 Enter
tty_wait "Update FW:1.00 to FW:1.10 ?" && tty_keys y Enter
tty_end
expect_eq "several: exit status" 0 "$status"
expect_eq "several: the first drive got only the drive check" 1 "$(grep -c '^FIRST ' "$case_dir/trace.txt")"
expect_eq "several: the second drive was flashed" 1 "$(grep -cE '^SECOND 3B 05 01 00 00 C5 00 00 01 80 ' "$case_dir/trace.txt")"

# -- several and --yes without --device: wrong usage, nothing sent beyond
# the drive checks
tty_start flash "$P" --yes
: > "$case_dir/trace.txt"
tty_end
expect_eq "several with --yes: exit status" 2 "$status"
expect_contains "several with --yes: says so" "$case_dir/screen.txt" "several drives match; name the one to flash with --device"
expect_lacks "several with --yes: no download" "$case_dir/trace.txt" " 3B "

# -- no matching drive: the detected drives are listed ---------------------
nodes=""
new_case tty-none
printf '[drive OTHER]\nletter = E\nvendor = ACME\nproduct = CDRW-9000\nrevision = 2.01\n' > "$case_dir/scenario.txt"
add_node sg0 5
add_node sg1 0
tty_start flash "$P" --yes
tty_end
expect_eq "no match: exit status" 3 "$status"
expect_eq "no match: the error text with the detected drives" \
"ERROR:

Can't found QRW-20410C firmware: 1.00-1.09 drive !

This flash utility only supports QRW-20410C firmware: 1.00-1.09

Detected drives:
-----------------------------------------------------------
0-0-0 /dev/sg0: ACME    CDRW-9000       2.01" \
"$(sed -n '/^ERROR:/,/^0-0-0/p' "$case_dir/screen.txt")"

# -- Ctrl-C while a chunk is with the drive: stops after it, nothing burnt --
one_drive tty-interrupt-before "hold = write-chunk 3 at-wait"
tty_start flash "$P" --yes
trace_wait '^QRW 3B 05 01 00 80 00 00 40 00 00 ' && sleep 0.3
tty_keys C-c
tty_end
expect_eq "Ctrl-C before the critical entry: exit status" 3 "$status"
expect_contains "Ctrl-C before: says so" "$case_dir/screen.txt" "Interrupted: stopped after the current command, before the critical entry. Nothing was burnt"
expect_eq "Ctrl-C before: the chunk in progress was the last command" \
  "QRW 3B 05 01 00 80 00 00 40 00 00 / out 16384 6B5841BD -> 00 00 00 00 held-at-wait" \
  "$(tail -n 1 "$case_dir/trace.txt")"
expect_lacks "Ctrl-C before: no critical entry" "$case_dir/trace.txt" "3B 05 01 00 00 00 00 00 00 7F"

# -- Ctrl-C while the drive enters its critical phase: held, flash goes on --
one_drive tty-interrupt-critical "hold = critical 1 at-wait"
tty_start flash "$P" --yes
trace_wait "$critical" && sleep 0.3
tty_keys C-c
tty_end
expect_eq "Ctrl-C in the critical phase: exit status" 0 "$status"
expect_contains "Ctrl-C critical: held" "$case_dir/screen.txt" "Interrupt held: the drive is in its critical phase"
expect_contains "Ctrl-C critical: completed" "$case_dir/screen.txt" "Flash Completed."
expect_contains "Ctrl-C critical: not acted on" "$case_dir/screen.txt" "The interrupt came during the critical phase and was not acted on."
grep -qE "$burn" "$case_dir/trace.txt" && pass "Ctrl-C critical: the final flash command was sent" || fail "Ctrl-C critical: no final flash"

# -- a device the user may not use: named, with what it needs; nothing sent -
if command -v setpriv > /dev/null && [ "$(id -u)" -eq 0 ]; then
  tty_prefix=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  one_drive tty-denied
  chmod 600 "$case_dir/root/dev/sg0"
  chmod 777 "$case_dir" && chmod 666 "$case_dir/trace.txt"
  tty_start flash "$P" --yes
  tty_end
  expect_eq "no permission: exit status" 1 "$status"
  expect_contains "no permission: names the node and what it needs" "$case_dir/screen.txt" \
    "qrwflash: $case_dir/root/dev/sg0: permission denied. Flashing sends WRITE BUFFER and vendor commands, which need the device node opened for reading and writing: run qrwflash as root (or with CAP_SYS_RAWIO), or use the drive's /dev/sg* node with write access for your user."
  expect_eq "no permission: nothing sent" "" "$(cat "$case_dir/trace.txt")"

  # The cdrom group's /dev/sr*: opened, but WRITE BUFFER needs CAP_SYS_RAWIO.
  one_drive tty-rawio
  chmod 666 "$case_dir/root/dev/sg0"
  chmod 777 "$case_dir" && chmod 666 "$case_dir/trace.txt"
  tty_start flash "$P" --yes
  tty_end
  expect_eq "block device without CAP_SYS_RAWIO: exit status" 1 "$status"
  expect_contains "block device without CAP_SYS_RAWIO: says so" "$case_dir/screen.txt" \
    "only for root or a process with CAP_SYS_RAWIO; the cdrom group is not enough"
  expect_eq "block device without CAP_SYS_RAWIO: nothing sent" "" "$(cat "$case_dir/trace.txt")"
  tty_prefix=()
else
  fail "permission cases need root and setpriv"
fi
finish
