#!/usr/bin/env bash
# Lays out four drives of the virtual drive's SG front (a device tree of
# its own, one scenario drive a node, each keeping revision 1.00 after its
# burn so that every run flashes) and runs bench_several on them with the
# front preloaded, as the Linux tests run qrwflash.
#   several_bench.sh NT_REFERENCE BENCH_SEVERAL SG_FRONT [--once]
set -euo pipefail
reference=$1 bench=$2 front=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/program" "$work/root/dev"
"$reference" new "$work/program" > /dev/null
nodes=""
for i in 0 1 2 3; do
  printf '[drive D%s]\nletter = %s\nnew-revision = 1.00\n' "$i" "$(printf "\\x$(printf %x $((69 + i)))")" >> "$work/scenario.txt"
  : > "$work/root/dev/sg$i"
  mkdir -p "$work/root/sys/class/scsi_generic/sg$i/device"
  echo 5 > "$work/root/sys/class/scsi_generic/sg$i/device/type"
  nodes="${nodes:+$nodes:}$work/root/dev/sg$i"
done
# ld.so splits LD_PRELOAD at blanks: the front by its name, its folder in
# LD_LIBRARY_PATH.
QRW_VDRIVE_SCENARIO="$work/scenario.txt" QRW_VDRIVE_TRACE="$work/trace.txt" QRW_VDRIVE_SG_NODES="$nodes" \
  ASAN_OPTIONS=verify_asan_link_order=0 LD_LIBRARY_PATH="$(dirname "$front")" LD_PRELOAD="$(basename "$front")" \
  "$bench" "$work/program/PROGRAM.EXE" "$work/root" "$@"
