#!/usr/bin/env bash
# A build that cannot make the TCMU backstore (its kernel header missing)
# still has every suite of the guest's real kernel: each one fails, naming
# the reason, so that a run cannot pass by counting fewer tests. The
# project is configured afresh with the header's path pointing nowhere;
# nothing is built, and no guest is started.
# Needs QRW_SOURCE_DIR, QRW_TEST_WORK.
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
work=$QRW_TEST_WORK
rm -rf "$work"
mkdir -p "$work"
header=$work/no-such-folder/target_core_user.h

if cmake -S "$QRW_SOURCE_DIR" -B "$work/build" -G Ninja "-DQRW_TCMU_HEADER=$header" \
  >"$work/configure.log" 2>&1; then
  pass "configured without the header"
else
  fail "configured without the header"; tail -20 "$work/configure.log" | sed 's/^/    | /'
  finish
  exit 1
fi
listed=$(ctest --test-dir "$work/build" -N -L real_kernel | sed -n 's/^ *Test *#[0-9]*: //p' | grep '^guest_' | sort)
expect_eq "the suites on the guest are listed" \
  "guest_real_kernel
guest_real_kernel_rig_faults
guest_real_kernel_wine" "$listed"
for suite in $listed; do
  out=$(ctest --test-dir "$work/build" -R "^$suite\$" --output-on-failure 2>&1)
  status=$?
  [ "$status" -ne 0 ] && pass "$suite: fails" || fail "$suite: passed"
  # CMake folds the message's lines to its own width: compared word by word.
  expect_eq "$suite: says why" \
    "$suite was not registered: no TCMU backstore (qrw_vdrive_tcmu needs $header)" \
    "$(sed -n '/^CMake Error at .*unregistered_suite.cmake/,/^$/p' <<<"$out" | tail -n +2 | xargs)"
done
finish
