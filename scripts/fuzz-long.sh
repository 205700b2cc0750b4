#!/bin/bash
# The long run of fuzz_flash_session: RUNS executions in all (default ten
# million), shared by WORKERS processes (default: one a core), starting from
# the seeds in a corpus of its own. Prints each worker's count, the total,
# the time and the rate; exits 1 on a finding, whose input stays in the
# run's folder (crash-*, timeout-*, oom-*) beside the workers' logs.
#   scripts/fuzz-long.sh [BUILD_DIR]          RUNS=... WORKERS=...
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${RUNS:-10000000}
workers=${WORKERS:-$(nproc)}

cmake --build "$build" --target fuzz_flash_session_programs
fuzzer=$build/fuzz/fuzz_flash_session_run
work=$build/fuzz/long-run
rm -rf "$work"
mkdir -p "$work/corpus"
cp "$build"/fuzz/fuzz_flash_session_seeds/* "$work/corpus/"

per_worker=$(( (runs + workers - 1) / workers ))
echo "fuzz-long: $workers workers x $per_worker runs, in $work"
start=$(date +%s)
( cd "$work" && "$fuzzer" -jobs="$workers" -workers="$workers" -runs="$per_worker" \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" corpus \
    > "$work/parent.log" 2>&1 ) || true
seconds=$(( $(date +%s) - start ))

total=0
for log in "$work"/fuzz-*.log; do
  count=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "  $(basename "$log"): ${count:-no final count} runs"
  total=$(( total + ${count:-0} ))
done
echo "fuzz-long: $total runs in $seconds s ($(( total / (seconds > 0 ? seconds : 1) )) a second)"

findings=$(find "$work" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'timeout-*' -o -maxdepth 1 -name 'oom-*' -o -maxdepth 1 -name 'leak-*')
if [ -n "$findings" ] || grep -qE '^==[0-9]+==ERROR|^fuzz_flash_session: ' "$work"/fuzz-*.log; then
  echo "fuzz-long: FINDING"
  grep -hE '^==[0-9]+==ERROR|^fuzz_flash_session: |^SUMMARY' "$work"/fuzz-*.log || true
  echo "$findings"
  exit 1
fi
if [ "$total" -lt "$runs" ]; then
  echo "fuzz-long: fewer runs than asked for ($total < $runs)"
  exit 1
fi
echo "fuzz-long: no finding"
