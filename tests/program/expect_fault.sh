#!/usr/bin/env bash
# Runs a check that must find faults: passes when the check exits with 1
# and its output holds each expected line exactly.
#   expect_fault.sh "EXPECTED LINE"... -- COMMAND [ARGUMENTS...]
set -uo pipefail
expected=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  expected+=("$1")
  shift
done
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -ne 1 ]; then
  echo "expect_fault: the check ended with $status, not 1 (a fault found)"
  exit 1
fi
for line in "${expected[@]}"; do
  if ! grep -qxF -- "$line" <<<"$output"; then
    echo "expect_fault: no line \"$line\""
    exit 1
  fi
done
