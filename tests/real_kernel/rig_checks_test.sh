#!/usr/bin/env bash
# The rig's checks (rig_checks.sh) on what a good run leaves and on faults
# planted into it, without a guest: a check that passes a planted fault
# cannot fail.
# - The Windows program's commands under Wine against the shim's trace: the
#   fixture is the NT trace of the native flash rig (the shim's trace equals
#   it), with the kernel's and Wine's commands woven in as a real run has
#   them and the profile's CDB cut as the target cuts it. A command more
#   after the program's last, before its first or between must fail the
#   check.
# - No QEMU left behind: a process carrying a row's run folder, as the
#   QEMU of every row does (the row without the disc drive has no disc
#   image on its command line), must fail the check.
# Needs QRW_SOURCE_DIR, QRW_NT_REFERENCE, QRW_TEST_WORK.
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
source "$QRW_SOURCE_DIR/tests/real_kernel/rig_checks.sh"
work=$QRW_TEST_WORK
rm -rf "$work"
mkdir -p "$work/new"

# verdict CHECK ARGS...: "passes" or "fails", the check run with counts of
# its own; what it printed in $work/verdict.txt.
verdict() {
  if (failures=0 passes=0; "$@" && [ "$failures" -eq 0 ]) >"$work/verdict.txt" 2>&1; then
    echo passes; else echo fails; fi
}

# ---- the Windows program's commands ----
timeout -k 5 120 "$QRW_NT_REFERENCE" new "$work/new" >/dev/null || fail "the reference flash did not work"
shim=$work/new/reference.txt
media_check='QRW 4A 01 00 00 10 00 00 00 08 00 / in 8 - -> 02 05 20 00
QRW 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00'
read_for_data='QRW 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00
QRW 43 00 00 00 00 00 00 00 0C 00 / in 12 - -> 02 05 20 00
QRW 28 00 00 00 00 00 00 00 08 00 / in 16384 - -> 02 05 20 00
QRW 1E 00 00 00 00 00 / none 0 - -> 02 05 20 00'
wine_inquiry='QRW 12 00 00 00 24 00 / in 36 55B390AB -> 00 00 00 00'
# wine_trace [SED-SCRIPT]: the Wine run's trace of the program, with a fault
# planted by the sed script. Wine sets drive E up (opens for reading, each
# with its medium check), opens the block node for the program and for the
# flash (a medium check each), and asks for the drive's INQUIRY data after
# the program's first INQUIRY.
wine_trace() {
  {
    echo "$media_check"
    echo "$read_for_data"
    echo "$media_check"
    echo "$read_for_data"
    echo "$media_check"
    standard_cdbs "$shim" | sed -n '1p'
    echo "$wine_inquiry"
    echo "$media_check"
    standard_cdbs "$shim" | sed -n '2,$p'
  } | sed "${1:-}" >"$work/wine.txt"
  echo "$work/wine.txt"
}
final_flash='QRW 3B 05 01 00 00 C5 00 00 01 80 / none 0 - -> 00 00 00 00'
read_chunk='QRW 3C 01 01 00 00 00 00 40 00 00 / in 16384 B8CE9968 -> 00 00 00 00'
# name | sed script that plants it ("" for none) | verdict
rows=(
  "the run as it is||passes"
  "a command after the program's last|\$a $final_flash|fails"
  "a command before the program's first|1i $read_chunk|fails"
  "the profile written before the program's first|1i QRW 3B 05 01 08 00 00 00 01 C8 00 / out 456 F4F72D17 -> 00 00 00 00|fails"
  "a command between the program's|20a $read_chunk|fails"
  "a medium check's TEST UNIT READY on its own|20a QRW 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00|fails"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name plant expected <<<"$row"
  expect_eq "Wine commands, $name: the check $expected" "$expected" \
    "$(verdict expect_program_commands "$name" "$shim" "$(wine_trace "$plant")")"
done
expect_eq "Wine commands: the fixture holds the whole NT trace" "$(wc -l <"$shim")" \
  "$(program_commands "$(wine_trace)" | wc -l)"

# ---- no QEMU left behind ----
row=$work/device-that-does-not-appear
mkdir -p "$row"
expect_eq "no process of the run: the check passes" passes "$(verdict expect_nothing_left "$row" "$row")"
# A process with a QEMU's command line as guest.sh gives it, its run folder
# shared: a bash waiting on a FIFO no one writes, alone until it is ended.
mkfifo "$work/never"
trap 'kill "$planted" 2>/dev/null' EXIT
bash -c 'read -r _ <>"$0"' "$work/never" qemu-system-x86_64 -m 1024 \
  -virtfs "local,path=$row,mount_tag=qrw1" >/dev/null 2>&1 </dev/null &
planted=$!
expect_eq "a QEMU of the run left behind: the check fails" fails "$(verdict expect_nothing_left "$row" "$row")"
expect_eq "a QEMU of the run left behind: named by its process id" "$planted" \
  "$(run_processes "$row" | awk '{ print $1 }')"
expect_eq "a QEMU of another run: the check passes" passes \
  "$(verdict expect_nothing_left "$row" "$work/module-that-does-not-load")"
kill "$planted"
wait "$planted" 2>/dev/null
expect_eq "the QEMU ended: the check passes" passes "$(verdict expect_nothing_left "$row" "$row")"
finish
