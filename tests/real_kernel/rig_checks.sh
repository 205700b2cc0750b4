# shellcheck shell=bash
# Checks of the real-kernel rig that its planted-fault test
# (rig_checks_test.sh) proves able to fail, without a guest. Needs
# tests/checks.sh.

# standard_cdbs TRACE: the trace with every CDB cut to its opcode's standard
# length: the kernel's SCSI target keeps no more of a command than that (a
# twelve-byte WRITE BUFFER reaches its backstore as ten bytes).
standard_cdbs() {
  awk '{ n = 0; for (i = 2; i <= NF && $i != "/"; i++) n++
         g = int(index("0123456789ABCDEF", substr($2, 1, 1)) - 1) / 2; g = int(g)
         len = (g == 0 ? 6 : g == 4 ? 16 : g == 5 ? 12 : 10)
         line = $1; for (i = 2; i <= NF; i++) { if (i - 1 > len && i <= n + 1) continue; line = line " " $i }
         print line }' "$1"
}

# program_commands TRACE: the virtual drive's trace of the Windows program's
# run under Wine without what others send the drive on the way, and nothing
# else left out:
# - the kernel checks the medium on every open of the block node (GET EVENT
#   STATUS NOTIFICATION, then TEST UNIT READY);
# - before the program's first command (its drive check's INQUIRY), Wine
#   sets drive E up and opens the block node for reading: the kernel then
#   checks the unit (TEST UNIT READY), reads the table of contents (READ
#   TOC) and the first blocks (READ(10)) and, on the close, lets the medium
#   go (PREVENT ALLOW MEDIUM REMOVAL); the program sends none of these;
# - Wine's IOCTL_SCSI_GET_INQUIRY_DATA sends INQUIRY 12 00 00 00 24 00,
#   which on Windows the driver answers from what it keeps (and the SG shim
#   likewise).
program_commands() {
  awk '/^QRW 12 00 00 00 80 00 / { started = 1 }
       !started && ($2 == "4A" || $2 == "00" || $2 == "43" || $2 == "28" || $2 == "1E") { next }
       $2 == "4A" { media = 1; next }
       media && $2 == "00" { media = 0; next }
       { media = 0 }
       /^QRW 12 00 00 00 24 00 / { next }
       { print }' "$1"
}

# expect_program_commands NAME SHIM_TRACE WINE_TRACE: the program's commands
# under Wine are the shim's trace of the same program, whole.
expect_program_commands() {
  expect_eq "$1" "$(standard_cdbs "$2")" "$(program_commands "$3")"
}

# run_processes FOLDER: the processes whose command line names FOLDER (a run
# folder of the rig, which every QEMU of the run carries as its share), one
# "PID COMMAND LINE" each.
run_processes() {
  ps -eo pid=,args= | QRW_RUN_FOLDER=$1 awk 'index($0, ENVIRON["QRW_RUN_FOLDER"])'
}

# expect_nothing_left NAME FOLDER
expect_nothing_left() {
  local left
  left=$(run_processes "$2")
  if [ -z "$left" ]; then pass "$1: nothing of the guest stays behind"; else
    fail "$1: a process of the run is still there"; sed 's/^/    | /' <<<"$left"; fi
}
