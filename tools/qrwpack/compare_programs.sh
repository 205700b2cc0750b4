#!/usr/bin/env bash
# Compares two Windows programs byte for byte, except the PE header's
# CheckSum field: the linker computes it over the whole file, so a copy made
# by the builder carries its template's checksum, not one over its own bytes.
#   compare_programs.sh MADE_BY_QRWPACK LINKED
set -euo pipefail
made=$1 linked=$2
for f in "$made" "$linked"; do
  [ -f "$f" ] || { echo "compare_programs: no file $f"; exit 1; }
done
if [ "$(stat -c %s "$made")" != "$(stat -c %s "$linked")" ]; then
  echo "compare_programs: sizes differ: $(stat -c %s "$made") and $(stat -c %s "$linked")"
  exit 1
fi
# e_lfanew at 0x3C: where the PE header starts; CheckSum lies 0x58 bytes in.
pe=$(od -An -tu4 -j60 -N4 "$linked" | tr -d ' ')
checksum_from=$((pe + 0x58 + 1))  # cmp counts bytes from 1
checksum_to=$((checksum_from + 3))
differences=$(cmp -l "$made" "$linked" | awk -v a="$checksum_from" -v b="$checksum_to" '$1 < a || $1 > b' || true)
if [ -n "$differences" ]; then
  echo "compare_programs: $made and $linked differ (offset from 1, octal bytes):"
  echo "$differences" | head -20
  exit 1
fi
echo "equal byte for byte apart from the PE checksum"
