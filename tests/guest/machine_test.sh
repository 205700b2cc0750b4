#!/usr/bin/env bash
# The 32-bit probe's answers: what this kernel does with a 32-bit program,
# a user-mode emulator that runs the probe but is no ground for Wine, the
# switch that takes any machine as one that cannot, a probe not built.
# Needs QRW_PROBE32 and QRW_SOURCE_DIR.
set -uo pipefail
source "$QRW_SOURCE_DIR/tests/checks.sh"
source "$QRW_SOURCE_DIR/scripts/machine.sh"

# What this kernel does with the probe, asked without the script: it starts
# it natively, or refuses it outright.
if direct=$("$QRW_PROBE32" 2>&1); then
  qrw_runs_32bit "$QRW_PROBE32"
  expect_eq "this kernel runs it: answers yes" "0 " "$? $qrw_32bit_reason"
  expect_eq "this kernel runs it: as itself" "$(uname -m)" "$direct"
else
  qrw_runs_32bit "$QRW_PROBE32"
  expect_eq "this kernel refuses it" \
    "1 this machine cannot run 32-bit programs (the kernel's 32-bit emulation is off)" \
    "$? $qrw_32bit_reason"
fi

# name | runner | QRW_GUEST | probe | status and reason
rows=(
  "user-mode emulator|qemu-i386|auto|$QRW_PROBE32|1 this machine cannot run 32-bit programs natively (a user-mode emulator answers for them as \"i686\" on this $(uname -m) kernel, and Wine does not run under it)"
  "forced to the guest|qemu-i386|force|$QRW_PROBE32|1 this machine is taken as one that cannot run 32-bit programs (QRW_GUEST=force)"
  "probe not built||auto|/nonexistent/probe32|1 this machine's 32-bit probe was not built (/nonexistent/probe32)"
  "a runner that fails|false|auto|$QRW_PROBE32|1 this machine cannot run 32-bit programs (the 32-bit probe failed: )"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name runner guest probe expected <<<"$row"
  # shellcheck disable=SC2086  # no runner is no word at all
  QRW_GUEST=$guest qrw_runs_32bit "$probe" $runner
  expect_eq "$name" "$expected" "$? $qrw_32bit_reason"
done
finish
