#!/usr/bin/env bash
# scripts/demo.sh as a person runs it on a machine that cannot run 32-bit
# programs: the one line of reason, then qrwflash flashing the virtual drive,
# word for word, and the screen kept as text and picture; then the program's
# window, the driven Wine demo in the QEMU guest, its screenshots beside the
# terminal's, or, with QRW_GUEST=off, a line saying it was left out. Needs
# QRW_SOURCE_DIR, QRW_CROSS_BUILD (a cross build with the programs and the
# demo driver) and QRW_LINUX_BUILD (a native build).
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
cross=$QRW_CROSS_BUILD
shots=$cross/demo/screenshots

# The Linux flash, word for word, after the line of reason.
linux_part() {
  echo "demo: $1.
demo: the same flash from Linux first: qrwflash and the virtual drive, without Wine.

\$ qrwflash drives 1.10.EXE
This flash program is not signed.
0-0-0 /dev/sg1: QUARVEL QRW-20410C      1.00  (accepted by this flash program)
\$ sudo qrwflash flash 1.10.EXE
This flash program is not signed.

WARNING:

This flash utility only supports QRW-20410C firmware:1.00-1.09. We recommend you close all applications in order to run this update!Don't turn off the system while the flash is in progress!

Do you wish to continue?
[y/N] y
qrwflash: sleep and shutdown are not held off: the system bus cannot be reached: No such file or directory
Drive: 0-0-0 /dev/sg1: QUARVEL QRW-20410C      1.00

Update FW:1.00 to FW:1.10 ?
[y/N] y
Write Flash profile to drive... 
Write BIN to drive's DRAM... 
[########################################]  20/20 chunks
Drive entry critical... 
Verify Flash profile from drive... 
Read back & verify DRAM from drive... 
[########################################]  20/20 chunks
Don't turn off the system, Flash is in progress...
Flash Completed.
The drive takes the new firmware after its power is cycled: switch the drive (or the computer it is in) off and on again. The computer is not restarted.
\$ qrwflash drives 1.10.EXE
This flash program is not signed.
0-0-0 /dev/sg1: QUARVEL QRW-20410C      1.10  (not for this flash program)
qrwflash: no drive is accepted by this flash program

The virtual drive received 52 commands: 20 chunk writes, 20 chunk reads.
Final flash command: QRW-20410C 3B 05 01 00 00 C5 00 00 01 80 / none 0 - -> 00 00 00 00
Trace: $cross/demo/linux/trace.txt
Screenshots: $cross/demo/screenshots/
terminal.png
terminal.txt"
}

# The driven Wine demo, as the guest prints it (the status captions it
# happens to catch between two looks depend on the guest's speed and are
# left out: "Flash Completed." is in the picture taken at the restart
# question), then where its screenshots are and how long the guest took.
window_part() {
  local shot=FlashDemo.Windows9xFlashOfTheVirtualDrive
  cat <<WINDOW
demo: then the program's window: the same flash under Wine in a QEMU guest (minutes: it emulates every instruction).
guest: booted in N s
Running main() from /usr/src/googletest/googletest/src/gtest_main.cc
Starting Z:${cross//\//\\}\\demo\\folder\\1.10.EXE (Windows 9x mode, virtual drive by ASPI)
  dialog [Warning]: "|WARNING:||This flash utility only supports QRW-20410C firmware:1.00-1.09. We recommend you close all applications in order to run this update!Don't turn off the system while the flash is in progress!||Do you wish to continue?|"
  -> Yes
Window: "Quarvel-IT Flash V1.039 QRW-20410C"
Drive: "HA#0 - ID#0 :  QUARVEL QRW-20410C      1.00"
Drive revision before: 1.00
Pressing FLASH
  dialog [Confirm]: "|Update FW:1.00 to FW:1.10 ?|"
  -> Yes
  dialog [Confirm]: "The system needs to be restarted for the changes to take effect(inquiry stream) ?"
  -> No
Drive list after: "HA#0 - ID#0 :  QUARVEL QRW-20410C      1.10"
Pressing FLASH again
  dialog [Warning]: "|WARNING:||Your drive FW:1.10 is aready the most updated ?"
Drive revision after: 1.10
  -> OK
The program ended.
[==========] 1 test from 1 test suite ran. (N ms total)
[  PASSED  ] 1 test.
The virtual drive received 50 commands: 20 chunk writes, 20 chunk reads.
Final flash command: QRW-20410C 3B 05 01 00 00 C6 00 00 01 80 00 00 / out 1 - -> 00 00 00 00
Trace: $cross/demo/trace.txt
Screenshots: $shots/
$shot-01-dialog.png
$shot-02-window.png
$shot-03-dialog.png
$shot-04-dialog.png
$shot-05-flashed.png
$shot-06-dialog.png
terminal.png
terminal.txt
demo: the guest took N s; the window's screenshots are in $shots/, beside terminal.png.
WINDOW
}

# The demo's output with the build's progress, the times and the captions
# the driver caught along the way taken out, and without the carriage
# returns the Windows driver ends its lines with.
what_it_said() {
  sed -n '/^demo: /,$p' "$1" | tr -d '\r' | grep -vE '^\[[0-9]+/[0-9]+\] |^ninja: ' |
    sed -E -e 's/^guest: booted in [0-9]+ s$/guest: booted in N s/' \
           -e 's/^(\[=+\] 1 test from 1 test suite ran\. \()[0-9]+( ms total\))$/\1N\2/' \
           -e 's/^(demo: the guest took )[0-9]+ s;/\1N s;/' \
           -e '/^  caption: /d'
}

# name | QRW_GUEST | the probe's runner | the part after the Linux flash
rows=(
  "guest left out|off|qemu-i386|off"
  "the window in the guest|force||window"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name guest runner after <<<"$row"
  rm -rf "$shots"
  out=$cross/demo-test-$after.out
  # No system bus, whatever the machine has: the line that says so is part
  # of the expected output.
  DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/qrw-no-system-bus \
    QRW_GUEST=$guest QRW_PROBE32_RUNNER=$runner CI=true "$QRW_SOURCE_DIR/scripts/demo.sh" >"$out" 2>&1 </dev/null
  expect_eq "$name: exit status" 0 "$?"
  if [ "$guest" = force ]; then
    reason="this machine is taken as one that cannot run 32-bit programs (QRW_GUEST=force)"
  else
    reason="this machine cannot run 32-bit programs natively (a user-mode emulator answers for them as \"i686\" on this $(uname -m) kernel, and Wine does not run under it)"
  fi
  if [ "$after" = off ]; then
    expected="$(linux_part "$reason")

demo: QRW_GUEST=off leaves out the program's window (the same flash under Wine in a QEMU guest)."
  else
    expected="$(linux_part "$reason")

$(window_part)"
  fi
  expect_eq "$name: what the demo says" "$expected" "$(what_it_said "$out")"

  # The screen kept is the one shown, from the warning to the power-cycle note.
  expect_eq "$name: the screen kept as text" \
    "$(sed -n '/^WARNING:$/,/^The drive takes/p' "$out")" \
    "$(sed -n '/^WARNING:$/,$p' "$shots/terminal.txt")"
  expect_eq "$name: every screenshot is a picture" "" \
    "$(for f in "$shots"/*.png; do [ "$(identify -format '%m' "$f" 2>/dev/null)" = PNG ] || echo "$f"; done)"
done
finish
