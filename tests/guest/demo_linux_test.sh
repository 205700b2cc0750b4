#!/usr/bin/env bash
# scripts/demo.sh as a person runs it on a machine that cannot run 32-bit
# programs (QRW_GUEST=force takes that path here): the one line of reason,
# then qrwflash flashing the virtual drive, word for word, and the screen
# kept as text and picture. Needs QRW_SOURCE_DIR, QRW_CROSS_BUILD (a cross
# build with the programs) and QRW_LINUX_BUILD (a native build).
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
cross=$QRW_CROSS_BUILD
out=$(QRW_GUEST=force CI=true "$QRW_SOURCE_DIR/scripts/demo.sh" 2>&1 </dev/null)
expect_eq "exit status" 0 "$?"

# What it says, without the builds' progress lines.
said=$(sed -n '/^demo: /,$p' <<<"$out" | grep -vE '^\[[0-9]+/[0-9]+\] |^ninja: ')
expect_eq "what the demo says" "demo: this machine is taken as one that cannot run 32-bit programs (QRW_GUEST=force).
demo: the same flash from Linux instead: qrwflash and the virtual drive, without Wine.

\$ qrwflash drives 1.10.EXE
This flash program is not signed.
0-0-0 /dev/sg1: QUARVEL QRW-20410C      1.00  (accepted by this flash program)
\$ sudo qrwflash flash 1.10.EXE
This flash program is not signed.

WARNING:

This flash utility only supports QRW-20410C firmware:1.00-1.09. We recommend you close all applications in order to run this update!Don't turn off the system while the flash is in progress!

Do you wish to continue?
[y/N] y
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
terminal.txt" "$said"

# The screen kept is the one shown, from the warning to the power-cycle note.
expect_eq "the screen kept as text" "$(sed -n '/^WARNING:$/,/^The drive takes/p' <<<"$said")" \
  "$(sed -n '/^WARNING:$/,$p' "$cross/demo/screenshots/terminal.txt")"
if [ "$(identify -format '%m' "$cross/demo/screenshots/terminal.png" 2>/dev/null)" = PNG ]; then
  pass "the screen kept as a picture"
else
  fail "the screen kept as a picture: no PNG"
fi
finish
