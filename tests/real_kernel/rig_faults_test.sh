#!/usr/bin/env bash
# The rig's own faults: a guest that does not boot, a module that does not
# load, a device that does not appear. Each fails the real-kernel test with
# its reason in one line, in bounded time, and leaves no QEMU behind.
# Same environment as real_kernel_test.sh.
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
source "$QRW_SOURCE_DIR/tests/real_kernel/rig_checks.sh"
base=$QRW_TEST_WORK

# name | environment | the reason expected in the FAIL line. The guest's
# first process that ends at once makes its kernel panic, and QEMU stop.
rows=(
  "guest that does not boot|QRW_GUEST_APPEND=init=/bin/false|FAIL: the rig: guest: QEMU ended before the guest ran its job"
  "module that does not load|QRW_RK_MODULES=virtio_scsi qrw_no_such_module|FAIL: the rig: real-kernel: the module qrw_no_such_module does not load: modprobe: FATAL: Module qrw_no_such_module not found"
  "device that does not appear|QRW_RK_NO_DISC_DRIVE=1|FAIL: the rig: real-kernel: QEMU's QRW-20410C with a disc did not appear (no /dev/sg* of virtio_scsi with LUN 2 within 20 s)"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name setting reason <<<"$row"
  work=$base/${name// /-}
  start=$SECONDS
  out=$(timeout -k 30 600 env "$setting" QRW_TEST_WORK="$work" \
    bash "$QRW_SOURCE_DIR/tests/real_kernel/real_kernel_test.sh" 2>&1)
  status=$?
  took=$((SECONDS - start))
  [ "$status" -ne 0 ] && pass "$name: fails" || fail "$name: passed"
  line=$(grep -m1 '^FAIL: the rig: ' <<<"$out")
  if [[ $line == "$reason"* ]]; then pass "$name: the reason"; else
    fail "$name: the reason: \"$line\", expected \"$reason\""; tail -20 <<<"$out" | sed 's/^/    | /'; fi
  expect_eq "$name: one fault of the rig" 1 "$(grep -c '^FAIL: the rig: ' <<<"$out")"
  [ "$took" -lt 300 ] && pass "$name: ended in $took s" || fail "$name: took $took s"
  # Every QEMU of a row carries the row's run folder (its share).
  expect_nothing_left "$name" "$work"
done
finish
