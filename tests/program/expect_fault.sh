#!/usr/bin/env bash
# Runs a check that must find a fault: passes when the check exits with 1
# and its output holds the expected line exactly.
#   expect_fault.sh "EXPECTED LINE" COMMAND [ARGUMENTS...]
set -uo pipefail
expected=$1
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -ne 1 ]; then
  echo "expect_fault: the check ended with $status, not 1 (a fault found)"
  exit 1
fi
if ! grep -qxF -- "$expected" <<<"$output"; then
  echo "expect_fault: no line \"$expected\""
  exit 1
fi
