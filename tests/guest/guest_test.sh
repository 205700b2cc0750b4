#!/usr/bin/env bash
# The QEMU guest of scripts/guest.sh: a job's output, status, environment
# and folders come through; every way the guest can fail ends the run with
# status 125, one line saying why and the console's tail, and leaves no QEMU
# behind. Needs QRW_SOURCE_DIR, QRW_PROBE32 (of a build inside the source
# folder or shared with --share) and QRW_TEST_WORK.
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
guest=$QRW_SOURCE_DIR/scripts/guest.sh
work=$QRW_TEST_WORK
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# run_guest NAME ARGS...: guest.sh run ARGS in the background, its output in
# $work/NAME.out and .err, its status in $status. Each run shares a folder
# of its own, so that its QEMU is found by that folder's name.
run_guest() {
  local name=$1
  shift
  mkdir -p "$work/$name.share"
  "$guest" run --share "$work/$name.share" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$!
  wait $pid
  status=$?
}

# qemu_of NAME: the pattern that finds that run's QEMU by its share, as
# QEMU's options carry it (a comma written twice).
qemu_of() {
  local option="path=$work/$1.share"
  printf '%s' "${option//,/,,}"
}

# no_qemu_left NAME: no QEMU of that run is still there.
no_qemu_left() {
  sleep 1
  if pgrep -f -- "$(qemu_of "$1")" >/dev/null; then
    fail "$1: a QEMU is left"
    pkill -f -- "$(qemu_of "$1")"
  else
    pass "$1: no QEMU left"
  fi
}

# The reason line: the first line of the error output that says "guest: "
# and is not the boot time.
reason() { grep '^guest: ' "$work/$1.err" | grep -v '^guest: booted in ' | head -1; }

# read_late NAME: copies its input to NAME.out, but only once that run's
# guest has booted (or failed to) and its QEMU has ended: whatever the job
# printed last must still come, however late the reader takes it.
read_late() {
  local _
  for _ in $(seq 900); do
    grep -q '^guest: ' "$work/$1.err" 2>/dev/null && break
    sleep 0.2
  done
  while pgrep -f -- "$(qemu_of "$1")" >/dev/null; do sleep 0.2; done
  sleep 1
  cat >"$work/$1.out"
}

# -- a job: its output, status, folders, environment, scratch disk, probe ---
# Its folders' paths hold a blank and a comma; its output ends with 100000
# lines that its reader takes only after QEMU has ended.
job="job, its share"
mkdir -p "$work/$job.share" "$work/the job's folder, 1"
(cd "$work/the job's folder, 1" &&
  QRW_GUEST_TEST_WORD="two words" "$guest" run --share "$work/$job.share" --share "$(dirname "$QRW_PROBE32")" \
    --env QRW_GUEST_TEST_WORD --scratch "$work/scratch, a disk" -- \
    bash -c 'echo "in $PWD"
             echo "word: $QRW_GUEST_TEST_WORD"
             findmnt -n -o FSTYPE,SOURCE "$1/scratch, a disk"
             echo "to the share" >"$1/$4.share/note"
             source "$2/scripts/machine.sh"
             qrw_runs_32bit "$3" && echo "32-bit programs: native"
             echo "on stderr" >&2
             seq 100000
             exit 7' job "$work" "$QRW_SOURCE_DIR" "$QRW_PROBE32" "$job" 2>"$work/$job.err" | read_late "$job"
  exit "${PIPESTATUS[0]}")
status=$?
expect_eq "job: status" 7 "$status"
expect_eq "job: its output, both streams, to the last line" "in $work/the job's folder, 1
word: two words
ext4   /dev/vdb[$work/scratch, a disk]
32-bit programs: native
on stderr
$(seq 100000)" "$(cat "$work/$job.out")"
expect_eq "job: the share written from inside" "to the share" "$(cat "$work/$job.share/note" 2>&1)"
expect_eq "job: only the boot time on the error stream" "" "$(grep -v '^guest: booted in [0-9]* s$' "$work/$job.err")"
no_qemu_left "$job"

# -- faults before QEMU starts -----------------------------------------------
mkdir -p "$work/empty-image"
QRW_GUEST_QEMU=/nonexistent/qemu run_guest no-qemu -- true
expect_eq "no QEMU" "125 guest: /nonexistent/qemu is not installed (scripts/install-deps.sh installs qemu-system-x86)" \
  "$status $(reason no-qemu)"
QRW_GUEST_IMAGE=$work/empty-image run_guest no-kernel -- true
expect_eq "an image without a kernel" "125 guest: the guest image in $work/empty-image has no vmlinuz" \
  "$status $(reason no-kernel)"
run_guest missing-share --share "$work/nothing-here" -- true
expect_eq "a folder to share that is not there" \
  "125 guest: the folder to share does not exist: $work/nothing-here" "$status $(reason missing-share)"

# -- faults of a guest that starts -------------------------------------------
image=$("$guest" image)
# A root disk with no file system on it: the kernel starts, the root does not.
mkdir -p "$work/broken-image"
ln -s "$image/vmlinuz" "$image/initrd.img" "$work/broken-image/"
truncate -s 64M "$work/broken-image/root.img"
QRW_GUEST_IMAGE=$work/broken-image QRW_GUEST_BOOT_SECONDS=120 run_guest no-boot -- true
expect_eq "a guest that does not boot" "125 guest: QEMU ended before the guest ran its job" \
  "$status $(reason no-boot)"
expect_contains "a guest that does not boot: the console's tail" "$work/no-boot.err" "guest: the console's last lines:"
no_qemu_left no-boot

QRW_GUEST_APPEND="qrw.share=nosuchtag:/mnt/nothing" run_guest no-mount -- true
expect_eq "a share that does not mount" "125 guest: the share nosuchtag could not be mounted at /mnt/nothing" \
  "$status $(reason no-mount)"
expect_contains "a share that does not mount: the console's tail" "$work/no-mount.err" "  | qrw-guest: the share nosuchtag"
no_qemu_left no-mount

run_guest hangs --seconds 20 -- sleep 600
expect_eq "a job that hangs" "125 guest: the job did not end within 20 s; the guest was ended" \
  "$status $(reason hangs)"
expect_contains "a job that hangs: the console's tail" "$work/hangs.err" "guest: the console's last lines:"
no_qemu_left hangs

# -- the script ended from outside while its guest runs -----------------------
mkdir -p "$work/ended.share"
"$guest" run --share "$work/ended.share" -- sleep 600 >"$work/ended.out" 2>"$work/ended.err" &
pid=$!
for _ in $(seq 600); do
  grep -q '^guest: booted in' "$work/ended.err" && break
  sleep 0.2
done
kill -TERM $pid
wait $pid
expect_eq "ended from outside: status" 143 "$?"
no_qemu_left ended
finish
