#!/usr/bin/env bash
# qrwflash on a real kernel: one QEMU guest (scripts/guest.sh) with QEMU's
# own SCSI CD-ROMs on a virtio SCSI controller, and the virtual drive made a
# SCSI device of the guest's kernel through the kernel's SCSI target (TCMU
# backstore, loopback fabric). tests/real_kernel/guest_cases.sh runs the
# table of cases in the guest; this script prepares their inputs, boots the
# guest once and checks what each case left.
#
# Needs QRW_SOURCE_DIR, QRW_BUILD_DIR (shared into the guest), QRWFLASH,
# QRWPACK, QRW_NT_REFERENCE, QRW_SG_FRONT, QRW_VDRIVE_TCMU, QRW_TEST_WORK.
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
source "$QRW_SOURCE_DIR/tests/real_kernel/rig_checks.sh"
work=$QRW_TEST_WORK
# The table of cases: main (QEMU's drives, the virtual drive with qrwflash)
# or wine (the Windows program under Wine), each its own guest boot.
export QRW_RK_TABLE=${QRW_RK_TABLE:-main}
table=$QRW_RK_TABLE
rm -rf "$work"
mkdir -p "$work/lib" "$work/scenarios" "$work/cases" "$work/shim" "$work/qemu"

# ---- inputs ----
# The flash programs and their NT traces from the native flash rig.
for kind in new old flash-all; do
  mkdir -p "$work/$kind"
  timeout -k 5 120 "$QRW_NT_REFERENCE" "$kind" "$work/$kind" >/dev/null || fail "$kind: the reference flash did not work"
  cp "$work/$kind/scenario.txt" "$work/scenarios/tcmu-$kind.txt"
done
# Three drives flashed with --all: each the drive of the new program.
cp "$work/scenarios/tcmu-new.txt" "$work/scenarios/tcmu-several.txt"
# One fault of each kind: a command that fails, a completion that never
# comes, a read-back that differs.
fault_scenario() { printf '[drive QRW]\nletter = E\n%s\n' "$2" >"$work/scenarios/tcmu-fault-$1.txt"; }
fault_scenario failed "fail = write-chunk 3 status 02 sense 02 3A 00"
fault_scenario lost "hold = read-chunk 2 never"
fault_scenario differs "corrupt = 0x8000"

# shim_run NAME PROGRAM: the same flash with the SG front preloaded on this
# machine, as the tests of qrwflash run it; its trace in shim/NAME.txt.
shim_run() {
  local dir=$work/shim/$1
  mkdir -p "$dir/root/dev" "$dir/root/sys/class/scsi_generic/sg0/device"
  : >"$dir/root/dev/sg0"
  echo 5 >"$dir/root/sys/class/scsi_generic/sg0/device/type"
  : >"$work/shim/$1.txt"
  (cd "$dir" && QRW_VDRIVE_SCENARIO="$work/scenarios/$1.txt" QRW_VDRIVE_TRACE="$work/shim/$1.txt" \
    QRW_VDRIVE_SG_NODES="$dir/root/dev/sg0" QRWFLASH_ROOT="$dir/root" \
    ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD="$QRW_SG_FRONT" \
    timeout -k 5 120 "$QRWFLASH" flash "$2" --yes >"$dir/out.txt" 2>&1 </dev/null)
}
shim_started=$(date +%s%N)
for kind in new old flash-all; do shim_run "tcmu-$kind" "$work/$kind/PROGRAM.EXE"; done
shim_ms=$((($(date +%s%N) - shim_started) / 1000000))
for f in failed differs; do shim_run "tcmu-fault-$f" "$work/new/PROGRAM.EXE"; done
for kind in new old flash-all; do
  expect_eq "$kind: the shim's trace is the NT trace" "$(cat "$work/$kind/reference.txt")" "$(cat "$work/shim/tcmu-$kind.txt")"
done

# The build's sanitizer runtime, which the guest's root does not have.
for lib in $(ldd "$QRWFLASH" "$QRWPACK" | awk '$1 ~ /^lib(asan|ubsan)\.so/ { print $3 }' | sort -u); do
  cp -L "$lib" "$work/lib/"
done
# A disc for the third drive: its medium is all QEMU needs.
truncate -s 2M "$work/disc.img"

# The Windows program's case needs the cross build's programs and the
# demo's driver.
cross=""
[ "$table" = wine ] && cross=${QRW_CROSS_BUILD:-}
cross_share=()
if [ "$table" != wine ]; then
  :
elif [ -n "$cross" ]; then
  for need in bin/1.10.EXE tests/e2e/flash_demo.exe firmware/1.10.BIN; do
    [ -f "$cross/$need" ] || { fail "the Windows program under Wine: the cross build in $cross has no $need (build it first)"; cross=""; break; }
  done
  [ -n "$cross" ] && cross_share=(--share "$cross")
  cp "$work/scenarios/tcmu-new.txt" "$work/scenarios/wine-nt.txt"
  [ -n "$cross" ] && shim_run wine-nt "$cross/bin/1.10.EXE"
else
  fail "the Windows program under Wine: no cross build given (QRW_CROSS_BUILD)"
fi
export QRW_RK_CROSS=$cross

# ---- the guest ----
# QRW_RK_NO_DISC_DRIVE leaves the third drive out (the test of the rig's own
# faults: a device that does not appear).
disc_drive=(--drive "file=$work/disc.img,format=raw,if=none,id=rkdisc,readonly=on"
  --device "scsi-cd,bus=rk.0,scsi-id=0,lun=2,drive=rkdisc,vendor=QUARVEL,product=QRW-20410C,ver=1.00")
[ -n "${QRW_RK_NO_DISC_DRIVE:-}" ] && disc_drive=()
# shellcheck disable=SC2054  # commas inside QEMU's device options
machine=(--device virtio-scsi-pci,id=rk
  --device "scsi-cd,bus=rk.0,scsi-id=0,lun=0,vendor=QUARVEL,product=QRW-20410C,ver=1.00"
  --device "scsi-cd,bus=rk.0,scsi-id=0,lun=1,vendor=ZYX,product=CDR-7000,ver=3.21"
  "${disc_drive[@]}"
  --trace scsi_disk_new_request --trace scsi_req_parse_bad --trace scsi_req_build_sense
  --trace-file "$work/qemu-trace.log")
[ "$table" = main ] || machine=()
export QRW_RK_WORK=$work QRWFLASH QRWPACK QRW_VDRIVE_TCMU
# About three minutes for the cases here; every case and every step of the
# device's set-up has its own limit inside, the whole job this one.
seconds=${QRW_RK_SECONDS:-480}
[ "$table" = wine ] && seconds=${QRW_RK_SECONDS:-1200}  # Wine makes its prefix first
guest_started=$(date +%s%N)
"$QRW_SOURCE_DIR/scripts/guest.sh" run --share "$QRW_BUILD_DIR" --share "$work" "${cross_share[@]}" --seconds "$seconds" \
  --env QRW_SOURCE_DIR --env QRW_RK_TABLE --env QRW_RK_CROSS --env QRW_RK_WORK --env QRWFLASH --env QRWPACK --env QRW_VDRIVE_TCMU --env QRW_RK_MODULES \
  "${machine[@]}" \
  -- bash "$QRW_SOURCE_DIR/tests/real_kernel/guest_cases.sh" >"$work/guest.log" 2>&1
guest_status=$?
guest_ms=$((($(date +%s%N) - guest_started) / 1000000))
boot=$(sed -n 's/^guest: booted in \([0-9]*\) s$/\1/p' "$work/guest.log")
if [ "$guest_status" -ne 0 ]; then
  # The reason in one line, then what the guest said last.
  reason=$(grep -E '^(guest|real-kernel): ' "$work/guest.log" | grep -v '^guest: booted in' | head -1)
  fail "the rig: ${reason:-the guest ended with status $guest_status}"
  tail -30 "$work/guest.log" | sed 's/^/    | /'
  finish
  exit 1
fi
pass "the rig: the guest booted in ${boot:-?} s and ran every case"

cases=$work/cases
show() { sed 's/^/    | /' "$1" | head -40; }
# The commands of one LUN in a case, CDBs only.
lun_cdbs() { awk -v l="$2" '$1 == l && $2 != "sense" { $1 = ""; print substr($0, 2) }' "$work/qemu/$1.txt"; }
# The CDBs of a trace of the virtual drive.
trace_cdbs() { sed 's/^[^ ]* \(.*\) \/ .*$/\1/' "$1"; }
summary=()
note_case() { summary+=("$(printf '%-26s status %-3s %6s ms' "$1" "$(cat "$cases/$1/status" 2>/dev/null)" "$(cat "$cases/$1/ms" 2>/dev/null)")"); }

if [ "$table" = main ]; then
# ---- QEMU's trace, cut at the markers: qemu/CASE.txt holds "LUN CDB" and
# "LUN sense KEY ASC ASCQ" lines of that case. A command whose length QEMU
# cannot tell from its opcode (groups 6 and 7, the vendor's) is refused by
# QEMU's SCSI bus before its CD-ROM model reads it, and logged by opcode
# alone: "LUN OPCODE (refused unread)". ----
awk -v dir="$work/qemu" -v markers="$work/markers" '
  function byte(x) { x = toupper(substr(x, 3)); return length(x) < 2 ? "0" x : x }
  BEGIN { while ((getline line < markers) > 0) { split(line, f, " "); name[f[1]] = f[2] } out = "" }
  /^scsi_disk_new_request / {
    lun = $3; sub(/lun=/, "", lun)
    cdb = ""
    for (i = 6; i <= NF; i++) { b = toupper(substr($i, 3)); cdb = cdb (cdb == "" ? "" : " ") b }
    split(cdb, c, " ")
    if (lun == 1 && c[1] == "12" && (c[5] in name)) { out = dir "/" name[c[5]] ".txt"; printf "" > out; next }
    if (out != "") print lun " " cdb >> out
    next
  }
  /^scsi_req_parse_bad / && out != "" { print $5 " " sprintf("%02X", $9 + 0) " (refused unread)" >> out; next }
  /^scsi_req_build_sense / && out != "" {
    print $5 " sense " byte($9) " " byte($11) " " byte($13) >> out
  }' "$work/qemu-trace.log"

# qrwpack reads the program in the guest as it does here.
note_case qrwpack-inspect
expect_eq "qrwpack inspect: exit status" 0 "$(cat "$cases/qrwpack-inspect/status")"
expect_eq "qrwpack inspect: the same as on this machine" "$("$QRWPACK" inspect "$work/new/PROGRAM.EXE" 2>&1)" \
  "$(cat "$cases/qrwpack-inspect/out.txt")"

# ---- QEMU's drives ----
# The listing: every CD-ROM of the guest's sysfs, with the identity sg_inq
# reads from the same node (INQUIRY bytes 8 to 35).
note_case qemu-drives
expect_eq "QEMU drives: exit status" 0 "$(cat "$cases/qemu-drives/status")"
# The first line is the program's signature (the guest trusts no key).
expected="This flash program is not signed."$'\n'
while read -r node hctl type block; do
  identity=$(dd if="$work/inquiry-$node.bin" bs=1 skip=8 count=28 2>/dev/null)
  IFS=: read -r _ channel target lun <<<"$hctl"
  verdict="not for this flash program"
  [ "$identity" = "QUARVEL QRW-20410C      1.00" ] && verdict="accepted by this flash program"
  expected+="$channel-$target-$lun /dev/$node: $identity  ($verdict)"$'\n'
  expect_eq "QEMU drives: /dev/$node is a CD-ROM with ${block:-no} block node" "5 sr" "$type ${block%%[0-9]*}"
done <"$work/nodes-qemu"
expect_eq "QEMU drives: the listing, identities as sg_inq reads them" "${expected%$'\n'}" \
  "$(cat "$cases/qemu-drives/out.txt")"
expect_eq "QEMU drives: three drives listed" 3 "$(grep -c ' /dev/sg' "$cases/qemu-drives/out.txt")"

# The drive with a disc: refused after the unit's polls.
note_case qemu-disc
expect_eq "QEMU disc: exit status" 1 "$(cat "$cases/qemu-disc/status")"
expect_contains "QEMU disc: says why" "$cases/qemu-disc/out.txt" "Remove disc, before to do the flash task."
expect_eq "QEMU disc: nothing but the checks reached the drive" "" \
  "$(lun_cdbs qemu-disc 2 | grep -E '^(DF|3B|3C) ')"

# The empty QRW-20410C: QEMU does not know the flash-chip query; the
# commands it received are the NT trace's up to that one, and nothing after.
reference_head=$(trace_cdbs "$work/new/reference.txt" | sed -n '1,/^DF 11 /p' | sed '$s/^DF .*/DF (refused unread)/')
note_case qemu-unimplemented
expect_eq "QEMU unimplemented: exit status" 1 "$(cat "$cases/qemu-unimplemented/status")"
expect_contains "QEMU unimplemented: the report with its sense" "$cases/qemu-unimplemented/out.txt" \
  "Read Flash ID> Status: 02, SenseCode: 05 20 00"
expect_eq "QEMU unimplemented: the commands QEMU received, none after the refused one" \
  "$reference_head" "$(lun_cdbs qemu-unimplemented 0)"
expect_eq "QEMU unimplemented: QEMU's answer was ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE" \
  "0 sense 05 20 00" "$(grep ' sense ' "$work/qemu/qemu-unimplemented.txt" | tail -1)"

# A user without CAP_SYS_RAWIO on the block node: told before anything is sent.
note_case user-sr
expect_eq "user on /dev/sr*: exit status" 1 "$(cat "$cases/user-sr/status")"
if grep -qE '/dev/sr[0-9]+: (the kernel passes WRITE BUFFER|permission denied)' "$cases/user-sr/out.txt"; then
  pass "user on /dev/sr*: the permission message"
else
  fail "user on /dev/sr*: no permission message"; show "$cases/user-sr/out.txt"
fi
expect_eq "user on /dev/sr*: qrwflash sent nothing" "" "$(lun_cdbs user-sr 0 | grep -E '^(12|1B|DF|3B|3C) ')"
# The same user with read and write access to the generic node gets through.
note_case user-sg
expect_eq "user on /dev/sg*: exit status" 1 "$(cat "$cases/user-sg/status")"
expect_contains "user on /dev/sg*: as far as root" "$cases/user-sg/out.txt" \
  "Read Flash ID> Status: 02, SenseCode: 05 20 00"
expect_eq "user on /dev/sg*: the same commands as root's" "$reference_head" "$(lun_cdbs user-sg 0)"

# ---- the virtual drive through the kernel's SCSI target ----
final_flash='^QRW 3B 05 01 00 00 C5 00 00 01 (80|A0) '
tcmu_device_checks() {
  local dir=$cases/$1
  expect_eq "$1: the kernel's INQUIRY reached the virtual drive" "QRW 12" "$(head -1 "$dir/kernel.txt" | cut -d' ' -f1-2)"
  expect_eq "$1: the kernel's CD-ROM identity" "QUARVEL QRW-20410C      1.00" \
    "$(dd if="$dir/inquiry.bin" bs=1 skip=8 count=28 2>/dev/null)"
  local node type block
  read -r node type block <"$dir/device"
  expect_eq "$1: a CD-ROM with its /dev/sr* and /dev/sg*" "5 sr sg" "$type ${block%%[0-9]*} ${node%%[0-9]*}"
}
for kind in new old flash-all; do
  name=tcmu-$kind
  note_case "$name"
  tcmu_device_checks "$name"
  expect_eq "$name: exit status" 0 "$(cat "$cases/$name/status")"
  expect_contains "$name: completed" "$cases/$name/out.txt" "Flash Completed."
  expect_eq "$name: the trace equals the shim's, entry by entry" \
    "$(standard_cdbs "$work/shim/$name.txt")" "$(cat "$cases/$name/flash.txt")"
  expect_contains "$name: the drive at its new revision" "$cases/$name/after.txt" \
    "QUARVEL QRW-20410C      1.10  (not for this flash program)"
done
grep -qE '^QRW 3B 05 01 00 00 C5 00 00 01 A0 ' "$cases/tcmu-flash-all/flash.txt" &&
  pass "tcmu-flash-all: final flash command with control A0" || fail "tcmu-flash-all: no A0 final flash"
grep -q '^QRW 3B 05 01 08 00 00 ' "$cases/tcmu-old/flash.txt" &&
  fail "tcmu-old: a profile was written" || pass "tcmu-old: no profile"

# name | report | caption. The lost completion: the chunk's 3 s limit
# passes, the kernel reports DID_TIME_OUT (host status 03) and its error
# handler aborts the command, which the target ends at its own limit.
fault_rows=(
  "failed|Write Buffer> Status: 02, SenseCode: 02 3A 00|Write BIN to drive's DRAM... , Fail!"
  "differs|Verify fail!|Read back & verify DRAM from drive... Verify Fail!"
  "lost|Read Buffer> Status: 00, SenseCode: 00 00 00 (host status 03, driver status 00)|Read back & verify DRAM from drive... , Read Fail!"
)
for row in "${fault_rows[@]}"; do
  IFS='|' read -r f report caption <<<"$row"
  name=tcmu-fault-$f
  note_case "$name"
  expect_eq "$name: exit status" 1 "$(cat "$cases/$name/status")"
  expect_contains "$name: report" "$cases/$name/out.txt" "$report"
  expect_contains "$name: caption" "$cases/$name/out.txt" "$caption"
  expect_lacks "$name: not completed" "$cases/$name/out.txt" "Flash Completed."
  if grep -qE "$final_flash" "$cases/$name/flash.txt"; then fail "$name: final flash command sent"; else
    pass "$name: no final flash command"; fi
  if [ "$f" != lost ]; then
    expect_eq "$name: the trace equals the shim's, entry by entry" \
      "$(standard_cdbs "$work/shim/$name.txt")" "$(cat "$cases/$name/flash.txt")"
  fi
done
# The lost completion: the held read is the last command the drive saw.
expect_eq "tcmu-fault-lost: the held command is the last" "QRW 3C 01 01 00 40 00 00 40 00 00" \
  "$(tail -1 "$cases/tcmu-fault-lost/flash.txt" | cut -d/ -f1 | sed 's/ $//')"

# Three drives of the kernel's target at once, with --all: each flashed to
# "Flash Completed." with the trace of a flash of it alone.
name=tcmu-several
note_case "$name"
expect_eq "$name: exit status" 0 "$(cat "$cases/$name/status")"
read -r -a several_nodes <"$cases/$name/devices"
expect_eq "$name: three drives of the target" 3 "${#several_nodes[@]}"
for i in 0 1 2; do
  node=${several_nodes[i]:-none}
  expect_contains "$name: /dev/$node completed" "$cases/$name/out.txt" "/dev/$node: Flash Completed."
  expect_eq "$name: /dev/$node's trace equals the shim's of one flash, entry by entry" \
    "$(standard_cdbs "$work/shim/tcmu-new.txt")" "$(cat "$cases/$name/flash$i.txt")"
  expect_contains "$name: /dev/$node at its new revision" "$cases/$name/after.txt" \
    "/dev/$node: QUARVEL QRW-20410C      1.10  (not for this flash program)"
done
expect_eq "$name: the summary, every drive flashed" 3 \
  "$(grep -cE '^/dev/sg[0-9]+ +QUARVEL QRW-20410C +1\.00 +1\.10 +flashed$' "$cases/$name/out.txt")"

fi

# ---- the Windows program under Wine, NT mode, on the same kind of device ----
# The program's commands: the whole trace of the Wine run but for the
# kernel's and Wine's own (rig_checks.sh).
if [ "$table" = wine ] && [ -n "$cross" ]; then
  name=wine-nt
  note_case "$name"
  tcmu_device_checks "$name"
  expect_eq "$name: exit status" 0 "$(cat "$cases/$name/status")"
  expect_contains "$name: nothing preloaded" "$cases/$name/out.txt" "LD_PRELOAD: none"
  expect_contains "$name: drive E is the block node, by Wine's device mapping" "$cases/$name/out.txt" \
    "E: -> /dev/$(cut -d' ' -f3 "$cases/$name/device")"
  expect_contains "$name: the flash completed" "$cases/$name/out.txt" 'caption: "Flash Completed."'
  expect_contains "$name: the drive at its new revision" "$cases/$name/out.txt" "Drive revision after: 1.10"
  expect_contains "$name: the driver's test passed" "$cases/$name/out.txt" "[  PASSED  ] 1 test."
  expect_eq "$name: the shim's trace of the same program is its NT trace's length" \
    "$(wc -l <"$work/new/reference.txt")" "$(wc -l <"$work/shim/$name.txt")"
  expect_program_commands "$name: the program's commands equal the shim's trace, entry by entry" \
    "$work/shim/$name.txt" "$cases/$name/flash.txt"
fi

echo "cases (time in the guest):"
printf '  %s\n' "${summary[@]}"
echo "guest: boot ${boot:-?} s, whole run $guest_ms ms; the three shim flashes on this machine: $shim_ms ms"
finish
