#!/usr/bin/env bash
# Runs in the guest (scripts/guest.sh): the table of cases on a real kernel.
# QEMU's own SCSI CD-ROMs are there from the boot; the virtual drive is made
# a SCSI device of this kernel case by case (its TCMU backstore exported on
# the loopback fabric). Each case runs with a time limit and leaves in
# $QRW_RK_WORK/cases/NAME: status, out.txt, seconds and, for the virtual
# drive, trace.txt (its commands from the case's own). The host checks them.
# A fault of the rig itself (a module that does not load, a device that does
# not appear) ends the run with status 3 and one line in $QRW_RK_WORK/fault.
set -uo pipefail
work=$QRW_RK_WORK
cases=$work/cases
qrwflash=$QRWFLASH
tcmu=$QRW_VDRIVE_TCMU
# The sanitizer runtime the host's build needs, copied beside the work.
export LD_LIBRARY_PATH=$work/lib ASAN_OPTIONS=detect_leaks=0
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
config=/sys/kernel/config/target
user=4242  # a user of no group, without capabilities
handler_pid=""

fault() {
  echo "$*" >"$work/fault"
  echo "real-kernel: $*"
  [ -n "$handler_pid" ] && kill "$handler_pid" 2>/dev/null
  exit 3
}

# Modules of the kernel's SCSI stack: the controller, the upper drivers, the
# target core with its user backstore and its loopback fabric.
for module in ${QRW_RK_MODULES:-virtio_scsi sg sr_mod target_core_mod target_core_user tcm_loop}; do
  said=$(timeout -k 5 60 modprobe "$module" 2>&1) || fault "the module $module does not load: ${said:-modprobe failed}"
done
# No media polling: the kernel would send its own GET EVENT STATUS NOTIFICATION
# every two seconds, between the commands under test.
echo 0 >/sys/module/block/parameters/events_dfl_poll_msecs

# wait_node HOST LUN WHAT [TARGET]: sets $node to the generic node of the
# device at that LUN (of that target, when given) of the SCSI host whose
# driver is HOST, once it is there.
wait_node() {
  local host_name=$1 lun=$2 what=$3 target=${4:-} until=$((SECONDS + 20))
  while [ "$SECONDS" -lt "$until" ]; do
    local d
    for d in /sys/class/scsi_generic/sg*; do
      [ -e "$d/device" ] || continue
      local hctl host
      hctl=$(basename "$(readlink -f "$d/device")")
      host=${hctl%%:*}
      [ "$(cat "/sys/class/scsi_host/host$host/proc_name" 2>/dev/null)" = "$host_name" ] || continue
      [ "${hctl##*:}" = "$lun" ] || continue
      [ -z "$target" ] || [ "$(cut -d: -f3 <<<"$hctl")" = "$target" ] || continue
      [ -c "/dev/$(basename "$d")" ] || continue
      node=$(basename "$d")
      return 0
    done
    sleep 0.2
  done
  fault "$what did not appear (no /dev/sg* of $host_name with LUN $lun within 20 s)"
}
block_of() { ls "/sys/class/scsi_generic/$1/device/block/" 2>/dev/null | head -1; }

# What the guest's sysfs says of every SCSI generic node, for the host.
list_nodes() {
  local d
  for d in /sys/class/scsi_generic/sg*; do
    local n
    n=$(basename "$d")
    echo "$n $(basename "$(readlink -f "$d/device")") $(cat "$d/device/type") $(block_of "$n")"
  done
}

# run_case NAME SECONDS COMMAND...: the command, ended after SECONDS.
run_case() {
  local name=$1 limit=$2
  shift 2
  local dir=$cases/$name
  mkdir -p "$dir"
  local start end
  start=$(date +%s%N)
  timeout -k 5 "$limit" "$@" >"$dir/out.txt" 2>&1 </dev/null
  echo $? >"$dir/status"
  end=$(date +%s%N)
  echo $(((end - start) / 1000000)) >"$dir/ms"
}

# QEMU's trace is one stream for the whole run: a marker command before each
# case (an INQUIRY to the other drive, whose length is the case's number)
# cuts it into the cases' parts.
marker_count=0
mark() {
  marker_count=$((marker_count + 1))
  printf '%02X %s\n' $((0x40 + marker_count)) "$1" >>"$work/markers"
  timeout -k 5 20 sg_raw -r 256 "/dev/$other" 12 00 00 00 "$(printf '%02X' $((0x40 + marker_count)))" 00 >/dev/null 2>&1
}

# ---- QEMU's scsi-cd devices ----
qemu_cases() {
  wait_node virtio_scsi 0 "QEMU's empty QRW-20410C"; empty=$node
  wait_node virtio_scsi 1 "QEMU's other CD-ROM"; other=$node
  wait_node virtio_scsi 2 "QEMU's QRW-20410C with a disc"; disc=$node
  list_nodes >"$work/nodes-qemu"
  for node in "$empty" "$other" "$disc"; do
    timeout -k 5 20 sg_inq -r "/dev/$node" >"$work/inquiry-$node.bin" 2>/dev/null
  done
  : >"$work/markers"

  mark qrwpack-inspect
  run_case qrwpack-inspect 60 "$QRWPACK" inspect "$work/new/PROGRAM.EXE"
  mark qemu-drives
  run_case qemu-drives 60 "$qrwflash" drives "$work/new/PROGRAM.EXE"
  mark qemu-disc
  run_case qemu-disc 120 "$qrwflash" flash "$work/new/PROGRAM.EXE" --device "/dev/$disc" --yes
  mark qemu-unimplemented
  run_case qemu-unimplemented 120 "$qrwflash" flash "$work/new/PROGRAM.EXE" --device "/dev/$empty" --yes
  # A user without CAP_SYS_RAWIO who may open the block node; then the same
  # user with read and write access to the generic node.
  sr=$(block_of "$empty")
  chmod 666 "/dev/$sr"
  mark user-sr
  run_case user-sr 60 setpriv --reuid=$user --regid=$user --clear-groups --inh-caps=-all \
    "$qrwflash" flash "$work/new/PROGRAM.EXE" --device "/dev/$sr" --yes
  chown $user "/dev/$empty" && chmod 600 "/dev/$empty"
  mark user-sg
  run_case user-sg 120 setpriv --reuid=$user --regid=$user --clear-groups --inh-caps=-all \
    "$qrwflash" flash "$work/new/PROGRAM.EXE" --device "/dev/$empty" --yes
  mark end
}


# ---- the virtual drive as a SCSI device of this kernel ----
# Configfs calls that the kernel might keep waiting: each bounded.
bounded() { timeout -k 2 20 "$@"; }

mountpoint -q /sys/kernel/config || bounded mount -t configfs configfs /sys/kernel/config ||
  fault "configfs could not be mounted"
[ -d "$config/core" ] || fault "the target core has no configfs folder ($config/core)"
backstore=$config/core/user_1/qrw
tpg=$config/loopback/naa.5001405000000001/tpgt_1

# tcmu_up CASE: a fresh virtual drive from the case's scenario, exported as
# LUN 0 of the loopback target; sets $tcmu_sg to its generic node.
tcmu_up() {
  local dir=$cases/$1
  bounded mkdir -p "$backstore" || fault "the TCMU backstore could not be made ($backstore)"
  bounded sh -c "echo -n dev_config=qrw/vdrive,dev_size=1048576 >$backstore/control" ||
    fault "the TCMU backstore refused its control values"
  # A command the drive never answers is ended by the target after this long
  # (longer than a chunk's 3 s, so that the initiator's own limit comes first).
  bounded sh -c "echo 5 >$backstore/attrib/cmd_time_out" || fault "the TCMU backstore refused cmd_time_out"
  bounded sh -c "echo 1 >$backstore/enable" || fault "the TCMU backstore could not be enabled"
  local uio="" u
  for u in /sys/class/uio/uio*; do
    case $(cat "$u/name" 2>/dev/null) in tcm-user/1/qrw/*) uio=/dev/$(basename "$u") ;; esac
  done
  [ -n "$uio" ] && [ -c "$uio" ] || fault "the TCMU backstore has no UIO device"
  mkdir -p "$dir"
  : >"$dir/trace.txt"
  QRW_VDRIVE_SCENARIO=$work/scenarios/$1.txt QRW_VDRIVE_TRACE=$dir/trace.txt \
    "$tcmu" "$uio" >"$dir/handler.log" 2>&1 &
  handler_pid=$!
  bounded mkdir -p "$tpg/lun/lun_0" || fault "the loopback target could not be made ($tpg)"
  [ -n "$(cat "$tpg/nexus" 2>/dev/null)" ] || bounded sh -c "echo naa.5001405000000002 >$tpg/nexus" ||
    fault "the loopback target took no nexus"
  bounded ln -s "$backstore" "$tpg/lun/lun_0/qrw" || fault "the backstore could not be linked to the LUN"
  wait_node tcm_loopback 0 "the virtual drive's SCSI device"; tcmu_sg=$node
  # The kernel's own start of the device (the CD-ROM driver's probe) is over
  # when its block node is there and the drive has heard nothing for a second.
  local lines=-1 until=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$until" ]; do
    [ -n "$(block_of "$tcmu_sg")" ] && [ "$(wc -l <"$dir/trace.txt")" = "$lines" ] && break
    lines=$(wc -l <"$dir/trace.txt")
    sleep 1
  done
  [ -n "$(block_of "$tcmu_sg")" ] || fault "the virtual drive's CD-ROM block node did not appear"
  echo "$tcmu_sg $(cat "/sys/class/scsi_generic/$tcmu_sg/device/type") $(block_of "$tcmu_sg")" >"$dir/device"
  timeout -k 5 20 sg_inq -r "/dev/$tcmu_sg" >"$dir/inquiry.bin" 2>/dev/null
}

# running PID: whether the process is there and has not ended (a child that
# has ended stays a zombie until it is waited for).
running() {
  local state
  state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$1/status" 2>/dev/null)
  [ -n "$state" ] && [ "$state" != Z ]
}

# stop_handler: ends the TCMU handler with TERM; one that is still there 10 s
# later is a fault of the rig.
stop_handler() {
  kill "$handler_pid" 2>/dev/null
  local until=$((SECONDS + 10))
  while running "$handler_pid" && [ "$SECONDS" -lt "$until" ]; do sleep 0.1; done
  if running "$handler_pid"; then
    kill -KILL "$handler_pid" 2>/dev/null
    fault "the TCMU handler did not end within 10 s of TERM"
  fi
  wait "$handler_pid" 2>/dev/null
  handler_pid=""
}

tcmu_down() {
  bounded rm -f "$tpg/lun/lun_0/qrw" || fault "the LUN could not be unlinked from the backstore"
  bounded rmdir "$tpg/lun/lun_0" || fault "the LUN could not be removed"
  stop_handler
  bounded rmdir "$backstore" || fault "the TCMU backstore could not be removed"
}

# tcmu_flash CASE SECONDS PROGRAM: the flash, then the drive's listing; the
# trace of the flash alone in trace.txt, the kernel's own commands of the
# device's start in kernel.txt.
tcmu_flash() {
  local name=$1 limit=$2 program=$3
  tcmu_up "$name"
  local dir=$cases/$name
  local before
  before=$(wc -l <"$dir/trace.txt")
  run_case "$name" "$limit" "$qrwflash" flash "$program" --device "/dev/$tcmu_sg" --yes
  sleep 0.2
  head -n "$before" "$dir/trace.txt" >"$dir/kernel.txt"
  tail -n +"$((before + 1))" "$dir/trace.txt" >"$dir/flash.txt"
  timeout 60 "$qrwflash" drives "$program" --device "/dev/$tcmu_sg" >"$dir/after.txt" 2>&1 </dev/null
  tcmu_down
}

tcmu_cases() {
  for kind in new old flash-all; do
    tcmu_flash "tcmu-$kind" 300 "$work/$kind/PROGRAM.EXE"
  done
  for fault_case in failed differs lost; do
    tcmu_flash "tcmu-fault-$fault_case" 300 "$work/new/PROGRAM.EXE"
  done
}

# Three virtual drives at once flashed with --all: targets 1 to 3 of the
# loopback fabric (a target portal group each, the drive its LUN 0), a
# backstore and a handler each. Not LUNs 0 to 2 of one target: the kernel
# writes the LUN into bits 5 to 7 of CDB byte 1 for a device of SCSI-2
# level (the drive's INQUIRY says 2), which would change the vendor
# command's sub-code at LUN 1 and 2. QEMU's own CD-ROMs leave the kernel
# first, so that --all finds these three alone; the case runs last.
several_case() {
  local dir=$cases/tcmu-several i d
  mkdir -p "$dir"
  for d in /sys/class/scsi_generic/sg*; do
    local host
    host=$(basename "$(readlink -f "$d/device")"); host=${host%%:*}
    [ "$(cat "/sys/class/scsi_host/host$host/proc_name" 2>/dev/null)" = virtio_scsi ] || continue
    bounded sh -c "echo 1 >$d/device/delete" || fault "QEMU's CD-ROM $(basename "$d") could not be taken out"
  done
  local pids=() nodes=()
  for i in 0 1 2; do
    local store=$config/core/user_1/qrw$i uio="" u
    local portal=$config/loopback/naa.5001405000000001/tpgt_$((i + 1))
    bounded mkdir -p "$store" || fault "the TCMU backstore $i could not be made"
    bounded sh -c "echo -n dev_config=qrw$i/vdrive,dev_size=1048576 >$store/control" &&
      bounded sh -c "echo 5 >$store/attrib/cmd_time_out" && bounded sh -c "echo 1 >$store/enable" ||
      fault "the TCMU backstore $i could not be set up"
    for u in /sys/class/uio/uio*; do
      case $(cat "$u/name" 2>/dev/null) in tcm-user/1/qrw$i/*) uio=/dev/$(basename "$u") ;; esac
    done
    [ -n "$uio" ] && [ -c "$uio" ] || fault "the TCMU backstore $i has no UIO device"
    : >"$dir/trace$i.txt"
    QRW_VDRIVE_SCENARIO=$work/scenarios/tcmu-several.txt QRW_VDRIVE_TRACE=$dir/trace$i.txt \
      "$tcmu" "$uio" >"$dir/handler$i.log" 2>&1 &
    pids+=($!)
    handler_pid=$!
    bounded mkdir -p "$portal/lun/lun_0" || fault "the loopback target $((i + 1)) could not be made"
    [ -n "$(cat "$portal/nexus" 2>/dev/null)" ] ||
      bounded sh -c "echo naa.500140500000001$i >$portal/nexus" || fault "the loopback target $((i + 1)) took no nexus"
    bounded ln -s "$store" "$portal/lun/lun_0/qrw$i" || fault "the backstore $i could not be linked to its LUN"
    wait_node tcm_loopback 0 "the virtual drive $i's SCSI device" $((i + 1))
    nodes+=("$node")
  done
  # The kernel's own start of each device is over when its block node is
  # there and no drive has heard anything for a second.
  local heard=-1 until=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$until" ]; do
    local now all=yes
    now=$(cat "$dir"/trace?.txt | wc -l)
    for d in "${nodes[@]}"; do [ -n "$(block_of "$d")" ] || all=""; done
    [ -n "$all" ] && [ "$now" = "$heard" ] && break
    heard=$now
    sleep 1
  done
  echo "${nodes[*]}" >"$dir/devices"
  local before=()
  for i in 0 1 2; do before+=("$(wc -l <"$dir/trace$i.txt")"); done
  run_case tcmu-several 300 "$qrwflash" flash "$work/new/PROGRAM.EXE" --all --yes
  sleep 0.2
  for i in 0 1 2; do tail -n +"$((before[i] + 1))" "$dir/trace$i.txt" >"$dir/flash$i.txt"; done
  timeout 60 "$qrwflash" drives "$work/new/PROGRAM.EXE" >"$dir/after.txt" 2>&1 </dev/null
  for i in 0 1 2; do
    local portal=$config/loopback/naa.5001405000000001/tpgt_$((i + 1))
    bounded rm -f "$portal/lun/lun_0/qrw$i" && bounded rmdir "$portal/lun/lun_0" ||
      fault "the LUN of target $((i + 1)) could not be taken down"
    if [ "$i" -gt 0 ]; then
      bounded sh -c "echo NULL >$portal/nexus" && bounded rmdir "$portal" ||
        fault "the loopback target $((i + 1)) could not be taken down"
    fi
    handler_pid=${pids[i]}
    stop_handler
    bounded rmdir "$config/core/user_1/qrw$i" || fault "the TCMU backstore $i could not be removed"
  done
}

# The Windows program under Wine (NT mode), on the virtual drive's block node.
wine_case() {
  tcmu_up wine-nt
  dir=$cases/wine-nt
  before=$(wc -l <"$dir/trace.txt")
  run_case wine-nt 1000 bash "$QRW_SOURCE_DIR/tests/real_kernel/guest_wine_case.sh" "$QRW_RK_CROSS" \
    "/dev/$(block_of "$tcmu_sg")" "$dir"
  sleep 0.2
  head -n "$before" "$dir/trace.txt" >"$dir/kernel.txt"
  tail -n +"$((before + 1))" "$dir/trace.txt" >"$dir/flash.txt"
  tcmu_down
}

case ${QRW_RK_TABLE:-main} in
  main) qemu_cases; tcmu_cases; several_case ;;
  wine) wine_case ;;
  *) fault "no table of cases named ${QRW_RK_TABLE}" ;;
esac
echo "real-kernel: every case ran"
