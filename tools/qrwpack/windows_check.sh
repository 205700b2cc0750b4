#!/usr/bin/env bash
# qrwpack.exe under Wine builds the same flash program as the build
# machine's qrwpack.
#   windows_check.sh QRWPACK_EXE TEMPLATE MODELS IMAGE EXPECTED WORK
set -euo pipefail
: "${QRW_WINE_DIR:?names the folder of the Wine template prefix}"
qrwpack=$1 template=$2 models=$3 image=$4 expected=$5 work=$6
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
prefix=$QRW_WINE_DIR/qrwpack-windows-check
qrw_wine_prefix "$QRW_WINE_DIR/template" "$prefix"
qrw_cleanup_at_exit
qrw_cleanup_prefix "$prefix"
rm -rf "$work/out"
mkdir -p "$work/out"

qrw_wine "$prefix" "$qrwpack" build --template "Z:$template" --models "Z:$models" \
  --model QRW-20410C --image "Z:$image" --out-dir "Z:$work/out"
cmp "$work/out/$(basename "$expected")" "$expected"
qrw_wine "$prefix" "$qrwpack" inspect "Z:$work/out/$(basename "$expected")" >"$work/inspect.txt"
tr -d '\r' <"$work/inspect.txt" | grep -qx 'Template:     no'
echo "qrwpack.exe wrote the same flash program"

# Signatures need the Linux build: one line, status 1, the program unchanged.
printf 'qrwflash-ed25519-secret 0000000000000000 x\n' >"$work/maker.key"
status=0
qrw_wine "$prefix" "$qrwpack" sign --key "Z:$work/maker.key" "Z:$work/out/$(basename "$expected")" \
  >"$work/sign.txt" 2>"$work/sign.err" || status=$?
[ "$status" = 1 ] || { echo "qrwpack.exe sign: status $status, expected 1"; exit 1; }
[ "$(tr -d '\r' <"$work/sign.err")" = "qrwpack: signing and checking signatures need the Linux build of qrwpack; nothing was changed" ] ||
  { echo "qrwpack.exe sign said:"; cat "$work/sign.err"; exit 1; }
cmp "$work/out/$(basename "$expected")" "$expected"
tr -d '\r' <"$work/inspect.txt" | grep -qx 'Signature:    none'
echo "qrwpack.exe leaves signing to the Linux build"
