#!/usr/bin/env bash
# Compares two Windows programs byte for byte.
#   compare_programs.sh MADE_BY_QRWPACK LINKED
set -euo pipefail
made=$1 linked=$2
for f in "$made" "$linked"; do
  [ -f "$f" ] || { echo "compare_programs: no file $f"; exit 1; }
done
if ! cmp "$made" "$linked"; then
  echo "compare_programs: $made and $linked differ (offset from 1, octal bytes):"
  cmp -l "$made" "$linked" | head -20 || true
  exit 1
fi
echo "equal byte for byte"
