#!/usr/bin/env bash
# Asks the native reader and Wine's GetPrivateProfileStringA the same
# questions about every file in DATA and fails on the first difference.
#   compare_readers.sh NATIVE_DUMP WINDOWS_DUMP DATA WORK
set -euo pipefail
: "${QRW_WINE_DIR:?names the folder of the Wine template prefix}"
native=$1 windows=$2 data=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh"

mkdir -p "$work"
work=$(cd "$work" && pwd)
# The run's template prefix, shared with the other Wine tests of the build
# (qrw_wine_template makes it once, whoever asks first).
qrw_wine_template "$QRW_WINE_DIR/template"
# With the other suites' prefixes, which the QEMU guest keeps on a disk of
# its own.
prefix=$QRW_WINE_DIR/profile-reader
qrw_wine_prefix "$QRW_WINE_DIR/template" "$prefix"
trap 'qrw_wine_stop "$prefix"' EXIT

files=("$data"/*.ini)
"$native" "$work/native.txt" "$data/queries.txt" "${files[@]}"
winfiles=()
for f in "${files[@]}"; do winfiles+=("Z:$f"); done
qrw_wine "$prefix" "$windows" "Z:$work/windows.txt" "Z:$data/queries.txt" "${winfiles[@]}"

if ! diff -u "$work/windows.txt" "$work/native.txt" >"$work/differences.txt"; then
  echo "the native reader answers differently from Wine's (- Wine, + native):"
  cut -c1-200 "$work/differences.txt" | head -40
  exit 1
fi
echo "$(wc -l <"$work/native.txt") answers alike"
