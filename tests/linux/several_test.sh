#!/usr/bin/env bash
# qrwflash flash --all and --device given several times: the drives flashed
# at the same time, one worker each. Every row checks the exit status, the
# summary table and every drive's trace, which must equal the trace of a
# flash of that drive alone (a drive interrupted before its critical entry:
# that trace up to the command in progress).
source "$(dirname "$0")/lib.sh"

flash_programs new "$QRW_TEST_WORK/program"
dev="/dev"

# several_case NAME DRIVE...: a case with one node a drive, sg0, sg1, ...;
# each DRIVE is its scenario lines, ';' between them. The drives are named
# D0, D1, ... in the trace.
several_case() {
  nodes=""
  new_case "$1"; shift
  : > "$case_dir/scenario.txt"
  drive_lines=("$@")
  local i=0
  for lines in "$@"; do
    { echo "[drive D$i]"; echo "letter = $(printf "\\x$(printf %x $((69 + i)))")"
      [ -z "$lines" ] || tr ';' '\n' <<< "$lines"; } >> "$case_dir/scenario.txt"
    add_node "sg$i" 5
    i=$((i + 1))
  done
}

# alone_trace LINES: the trace of a flash of one drive with these scenario
# lines, alone, with --yes (drive label D).
alone_trace() {
  local saved_case=$case_dir saved_nodes=$nodes
  nodes=""
  new_case "alone"
  { echo "[drive D]"; echo "letter = E"; [ -z "$1" ] || tr ';' '\n' <<< "$1"; } > "$case_dir/scenario.txt"
  add_node sg0 5
  run_qrwflash flash "$P" --yes
  cat "$case_dir/trace.txt"
  case_dir=$saved_case nodes=$saved_nodes
}

# drive_trace I: drive I's lines of the case's trace, labelled D.
drive_trace() { grep "^D$1 " "$case_dir/trace.txt" | sed "s/^D$1 /D /"; }

# expect_traces NAME [CUT...]: every drive's trace equals its flash alone; a
# drive listed in CUT only up to its command held at the drive.
expect_traces() {
  local name=$1 i; shift
  for i in "${!drive_lines[@]}"; do
    local alone; alone=$(alone_trace "${drive_lines[$i]}")
    if [[ " $* " == *" $i "* ]]; then alone=$(sed '/held-at-wait/q' <<< "$alone"); fi
    expect_eq "$name: drive $i's trace equals its flash alone" "$alone" "$(drive_trace "$i")"
  done
}

# The summary table: its head and the drives' rows after it.
table() { awk '/^Device  / { on = 1; print; next } on && /^\/dev\// { print; next } { on = 0 }' "$1"; }

good="Device    Identity            Before  After  Outcome  Reason"
row_ok() { printf '/dev/sg%s  QUARVEL QRW-20410C  1.00    1.10   flashed\n' "$1"; }

# -- four good drives ------------------------------------------------------
several_case four "" "" "" ""
bus_start
run_qrwflash flash "$P" --all --yes
expect_eq "four good: exit status" 0 "$status"
for _ in $(seq 1 50); do grep -qx closed "$bus_dir/logind.txt" && break; sleep 0.1; done
expect_eq "four good: one inhibitor lock for the whole run, taken before any WRITE BUFFER" \
"inhibit what=sleep:shutdown:idle:handle-power-key:handle-suspend-key:handle-hibernate-key:handle-lid-switch who=qrwflash why=Firmware update in progress mode=block
write-buffers-before=0
closed" "$(grep -v '^ready$' "$bus_dir/logind.txt")"
expect_eq "four good: the summary" "$good
$(row_ok 0)
$(row_ok 1)
$(row_ok 2)
$(row_ok 3)" "$(table "$case_dir/out.txt")"
expect_eq "four good: one warning, one confirmation" 2 "$(grep -c '^\[y/N\] y (--yes)$' "$case_dir/out.txt")"
expect_eq "four good: the drives listed with their change" \
"Drives to flash:
  0-0-0 /dev/sg0: QUARVEL QRW-20410C      1.00  -> 1.10
  0-0-0 /dev/sg1: QUARVEL QRW-20410C      1.00  -> 1.10
  0-0-0 /dev/sg2: QUARVEL QRW-20410C      1.00  -> 1.10
  0-0-0 /dev/sg3: QUARVEL QRW-20410C      1.00  -> 1.10
Update 4 drives to FW:1.10 ?" "$(sed -n '/^Drives to flash:/,/^Update /p' "$case_dir/out.txt")"
for i in 0 1 2 3; do
  expect_eq "four good: sg$i's steps as whole lines, in order" \
"/dev/sg$i: Write Flash profile to drive...
/dev/sg$i: Write BIN to drive's DRAM...
/dev/sg$i: Drive entry critical...
/dev/sg$i: Verify Flash profile from drive...
/dev/sg$i: Read back & verify DRAM from drive...
/dev/sg$i: Don't turn off the system, Flash is in progress...
/dev/sg$i: Flash Completed." "$(grep "^/dev/sg$i: " "$case_dir/out.txt")"
done
expect_traces "four good"

# -- one of four fails its read-back: no final flash command for it -------
several_case readback "" "corrupt = 0x8000" "" ""
run_qrwflash flash "$P" --all --yes
expect_eq "read-back: exit status" 1 "$status"
expect_eq "read-back: the summary" "Device    Identity            Before  After  Outcome  Reason
$(row_ok 0 | sed 's/ *$//')
/dev/sg1  QUARVEL QRW-20410C  1.00    ?      failed   Verify fail!; stopped at \"Read back & verify DRAM from drive... Verify Fail!\" after the critical entry: keep its power on and flash it again
$(row_ok 2)
$(row_ok 3)" "$(table "$case_dir/out.txt")"
expect_eq "read-back: the last line" \
  "qrwflash: 1 of 4 drives failed: the table above says where each stopped. Mend what it reports and flash those drives again (--device names each)" \
  "$(tail -n 1 "$case_dir/out.txt")"
expect_lacks "read-back: no final flash command to the failing drive" "$case_dir/trace.txt" "D1 3B 05 01 00 00 C5"
expect_traces "read-back"

# -- one holds its final flash command; the others complete meanwhile ------
several_case held "" "" "hold = burn 1 at-wait" ""
# sg2's final flash command stays with it until the release file appears.
release="$case_dir/release"
{ QRW_VDRIVE_RELEASE=$release run_qrwflash flash "$P" --all --yes; echo "$status" > "$case_dir/status.txt"; } &
runner=$!
trace_wait '^D2 3B 05 01 00 00 C5 00 00 01 80 '
for _ in $(seq 1 200); do [ "$(grep -c ': Flash Completed\.$' "$case_dir/out.txt")" -ge 3 ] && break; sleep 0.1; done
expect_eq "held: the other three completed while sg2's final command is with it" \
"/dev/sg0: Flash Completed.
/dev/sg1: Flash Completed.
/dev/sg3: Flash Completed." "$(grep ': Flash Completed\.$' "$case_dir/out.txt" | sort)"
: > "$release"
wait "$runner"
status=$(cat "$case_dir/status.txt")
expect_eq "held: exit status" 0 "$status"
expect_eq "held: the summary" "$good
$(row_ok 0)
$(row_ok 1)
$(row_ok 2)
$(row_ok 3)" "$(table "$case_dir/out.txt")"
expect_eq "held: sg2 completed last, once released" \
  "/dev/sg2: Flash Completed." "$(grep ': Flash Completed\.$' "$case_dir/out.txt" | tail -n 1)"
expect_traces "held"

# -- one already at the new revision: skipped, only its drive check --------
several_case current "" "" "" "revision = 1.10"
run_qrwflash flash "$P" --all --yes
expect_eq "current: exit status" 0 "$status"
expect_eq "current: the summary" "$good
$(row_ok 0)
$(row_ok 1)
$(row_ok 2)
/dev/sg3  QUARVEL QRW-20410C  1.10    1.10   skipped  already at the new revision" "$(table "$case_dir/out.txt")"
expect_eq "current: listed as skipped" \
"Skipped (not touched):
  0-0-0 /dev/sg3: QUARVEL QRW-20410C      1.10: already at the new revision" \
  "$(sed -n '/^Skipped/,/^Update /p' "$case_dir/out.txt" | sed '$d')"
expect_eq "current: sg3 got the drive check only" "D 12 00 00 00 80 00 " "$(drive_trace 3 | cut -d/ -f1)"
expect_traces "current"

# -- --device twice: those two drives, the third untouched -----------------
several_case named "nt-address = 1 0 0" "nt-address = 2 0 0" "nt-address = 3 0 0"
run_qrwflash flash "$P" --device "$case_dir/root/dev/sg0" --device "$case_dir/root/dev/sg2" --yes
expect_eq "--device twice: exit status" 0 "$status"
expect_eq "--device twice: the summary" "$good
$(row_ok 0)
$(row_ok 2)" "$(table "$case_dir/out.txt")"
expect_eq "--device twice: the drive not named heard nothing" "" "$(drive_trace 1)"
drive_lines=("${drive_lines[0]}" "${drive_lines[2]}")
sed -i 's/^D2 /D1 /' "$case_dir/trace.txt"
expect_traces "--device twice"

# -- Ctrl-C: two drives before their critical entry, two past it -----------
several_case interrupt "hold = write-chunk 3 at-wait" "hold = write-chunk 3 at-wait" \
  "hold = read-chunk 2 at-wait" "hold = read-chunk 2 at-wait"
# Each held command stays with its drive until the release file appears.
QRW_VDRIVE_RELEASE="$case_dir/release" tty_start flash "$P" --all --yes
for i in 0 1; do trace_wait "^D$i 3B 05 01 00 80 00 00 40 00 00 .*held-at-wait"; done
for i in 2 3; do trace_wait "^D$i 3C 01 01 00 40 00 00 40 00 00 .*held-at-wait"; done
tty_keys C-c
sleep 0.5
: > "$case_dir/release"
tty_end
expect_eq "Ctrl-C: exit status" 3 "$status"
expect_eq "Ctrl-C: the summary says which drive is which" "Device    Identity            Before  After  Outcome      Reason
/dev/sg0  QUARVEL QRW-20410C  1.00    1.00   interrupted  interrupted before the critical entry: nothing burnt
/dev/sg1  QUARVEL QRW-20410C  1.00    1.00   interrupted  interrupted before the critical entry: nothing burnt
/dev/sg2  QUARVEL QRW-20410C  1.00    1.10   flashed      interrupt held in the critical phase, not acted on
/dev/sg3  QUARVEL QRW-20410C  1.00    1.10   flashed      interrupt held in the critical phase, not acted on" \
  "$(table "$case_dir/screen.txt")"
expect_contains "Ctrl-C: the last line" "$case_dir/screen.txt" \
  "qrwflash: interrupted: the drives before their critical entry stopped with nothing burnt, those past it finished (the table above says which)"
expect_eq "Ctrl-C: the live lines, one a drive, left at each drive's last step" \
"/dev/sg0  [###.................]  3/20  Write BIN to drive's DRAM...
/dev/sg1  [###.................]  3/20  Write BIN to drive's DRAM...
/dev/sg2                                Flash Completed.
/dev/sg3                                Flash Completed." \
  "$(grep -E '^/dev/sg[0-3]  ' "$case_dir/screen.txt" | grep -v QUARVEL)"
expect_traces "Ctrl-C" 0 1

# -- what cannot be flashed as asked: one clear line each, no drive twice ---
# name | drives (scenario lines, '|' apart, ';' within) are given per row
# below; arguments with DEV for the case's /dev; status; the line.
bad_row() {
  local name=$1 expected=$2 line=$3; shift 3
  run_qrwflash flash "$P" "$@" --yes
  expect_eq "$name: exit status" "$expected" "$status"
  expect_eq "$name: the line" "${line//DEV/$case_dir/root/dev}" "$(tail -n 1 "$case_dir/out.txt")"
  expect_eq "$name: nothing sent" "" "$(cat "$case_dir/trace.txt")"
}
several_case same-node "nt-address = 1 0 0" "nt-address = 2 0 0"
bad_row "the same node twice" 2 "qrwflash: DEV/sg0 and DEV/sg0 name the same drive: name each drive once" \
  --device "$case_dir/root/dev/sg0" --device "$case_dir/root/dev/sg1" --device "$case_dir/root/dev/sg0"
ln -s sg1 "$case_dir/root/dev/cdrom"
bad_row "a node and a link to it" 2 "qrwflash: DEV/sg1 and DEV/cdrom name the same drive: name each drive once" \
  --device "$case_dir/root/dev/sg1" --device "$case_dir/root/dev/cdrom"
# The sg and sr nodes of one drive sit at one SCSI address.
several_case same-address "nt-address = 1 0 0" "nt-address = 1 0 0"
bad_row "two nodes of one SCSI device" 2 "qrwflash: DEV/sg0 and DEV/sg1 name the same drive: name each drive once" \
  --device "$case_dir/root/dev/sg0" --device "$case_dir/root/dev/sg1"
several_case all-and-device "" ""
bad_row "--all with --device" 2 "qrwflash: --all flashes every drive the program accepts: give --all or name the drives with --device, not both" \
  --all --device "$case_dir/root/dev/sg0"

# A drive that goes away after the confirmation: its flash cannot open it,
# the other one flashes.
several_case vanishing "" ""
tty_start flash "$P" --all
tty_wait "Do you wish to continue?" && tty_keys y Enter
tty_wait "Update 2 drives to FW:1.10 ?" && rm "$case_dir/root/dev/sg1" && tty_keys y Enter
tty_end
expect_eq "a drive that vanishes: exit status" 1 "$status"
expect_eq "a drive that vanishes: the summary" "$good
$(row_ok 0)
/dev/sg1  QUARVEL QRW-20410C  1.00    1.00   failed   Error opening: 2 (/dev/sg1: No such file or directory)" \
  "$(table "$case_dir/screen.txt")"
expect_eq "a drive that vanishes: it heard its drive check only" \
  "D 12 00 00 00 80 00 / in 128 B439187B -> 00 00 00 00" "$(drive_trace 1)"
drive_lines=("")
expect_traces "a drive that vanishes"

# A terminal narrower than a drive's line: said once, then whole lines.
several_case narrow "" ""
tty_width=40 tty_start flash "$P" --all --yes
tty_end
expect_eq "narrow terminal: exit status" 0 "$status"
expect_contains "narrow terminal: says so" "$case_dir/screen.txt" \
  "qrwflash: the terminal is 40 columns wide, too narrow for a drive's line (56): each drive's steps follow as whole lines"
expect_eq "narrow terminal: whole lines" 2 "$(grep -c ': Flash Completed\.$' "$case_dir/screen.txt")"

finish
