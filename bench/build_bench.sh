#!/usr/bin/env bash
# Building a flash program from a template (qrwpack build, the builder code
# of the program) as a ratio to copying the same template with cp, measured
# in the same run. Goal: a ratio of at most 2.
#   build_bench.sh QRWPACK TEMPLATE_REGION MODELS IMAGE [RUNS]
# The template is the sealed template region (the region and its seal
# record) between 1 MiB of code-like bytes and
# 400 KiB of program data, about the size of QRWFLASH.EXE.
set -euo pipefail
qrwpack=$1 region=$2 models=$3 image=$4 runs=${5:-40}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

{
  head -c 1048576 < <(yes 'code before the package')
  cat "$region"
  head -c 409600 < <(yes 'data after it')
} >"$work/QRWFLASH.EXE"
mkdir -p "$work/out"

now() { date +%s%N; }
elapsed() { # COMMAND...: total nanoseconds of RUNS runs
  local start end
  start=$(now)
  for _ in $(seq "$runs"); do "$@" >/dev/null; done
  end=$(now)
  echo $((end - start))
}

# Warm the page cache for both.
cp "$work/QRWFLASH.EXE" "$work/out/copy.EXE"
"$qrwpack" build --template "$work/QRWFLASH.EXE" --models "$models" --model 0 --image "$image" --out-dir "$work/out" >/dev/null

copy=$(elapsed cp "$work/QRWFLASH.EXE" "$work/out/copy.EXE")
build=$(elapsed "$qrwpack" build --template "$work/QRWFLASH.EXE" --models "$models" --model 0 \
  --image "$image" --out-dir "$work/out")
size=$(stat -c %s "$work/QRWFLASH.EXE")
awk -v c="$copy" -v b="$build" -v n="$runs" -v s="$size" 'BEGIN {
  printf "template %d bytes, %d runs each\n", s, n
  printf "cp            %8.2f ms per run\n", c / n / 1e6
  printf "qrwpack build %8.2f ms per run\n", b / n / 1e6
  printf "ratio build/cp %.2f (goal: at most 2)\n", b / c
}'
