#!/usr/bin/env bash
# A benchmark's short run under ctest: it must end with status 0 and print
# every figure named (one extended regular expression a line of its output).
# What the figures say is the benchmark's business, not this check's: the
# machine is shared, and the build may carry sanitizers.
#   run_once.sh 'FIGURE-REGEX'... -- COMMAND...
set -uo pipefail
patterns=()
while [ "$1" != "--" ]; do patterns+=("$1"); shift; done
shift
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# The benchmark library's console colours (its reporter writes them even
# into a file) are no part of a figure.
"$@" 2>&1 | sed 's/\x1b\[[0-9;]*m//g' >"$out"
status=${PIPESTATUS[0]}
cat "$out"
if [ $status -ne 0 ]; then
  echo "run_once: $1 ended with status $status" >&2
  exit 1
fi
for pattern in "${patterns[@]}"; do
  if ! grep -qE -- "$pattern" "$out"; then
    echo "run_once: $1 printed no line matching: $pattern" >&2
    exit 1
  fi
done
