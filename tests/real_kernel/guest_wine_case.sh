#!/usr/bin/env bash
# Runs in the guest: the Windows flash program under Wine in NT mode, its
# drive E mapped by Wine's own device mapping onto the block node of the
# virtual drive's SCSI device, nothing preloaded. The demo's driver
# (flash_demo.exe) walks it through one whole flash, then presses FLASH once
# more to read the drive's revision.
#   guest_wine_case.sh CROSS_BUILD BLOCK_NODE FOLDER
set -uo pipefail
cross=$1 device=$2 folder=$3
source "$QRW_SOURCE_DIR/scripts/wine-env.sh"
unset LD_PRELOAD LD_LIBRARY_PATH ASAN_OPTIONS
echo "LD_PRELOAD: ${LD_PRELOAD:-none}"
wine_dir=/tmp/qrw-rk-wine
mkdir -p "$wine_dir" "$folder/screenshots" "$folder/bin"
qrw_cleanup_at_exit
qrw_wine_template "$wine_dir/template" || { echo "wine-nt: no Wine template prefix"; exit 1; }
qrw_wine_prefix "$wine_dir/template" "$wine_dir/prefix"
qrw_cleanup_prefix "$wine_dir/prefix"
qrw_wine_cdrom "$wine_dir/prefix" "e=$device" || { echo "wine-nt: drive E could not be mapped"; exit 1; }
echo "E: -> $(readlink "$wine_dir/prefix/dosdevices/e::")"
cp "$cross/bin/1.10.EXE" "$folder/bin/"
if [ -z "${DISPLAY:-}" ]; then
  read -r display xvfb_pid < <(qrw_wine_xvfb) || { echo "wine-nt: no display"; exit 1; }
  qrw_cleanup_pid "$xvfb_pid"
  export DISPLAY=$display
fi
qrw_wine_start "$wine_dir/prefix"
QRW_PROGRAM_DIR=$cross/bin QRW_FIRMWARE_DIR=$cross/firmware QRW_WORK_DIR=$folder/bin \
  QRW_SHOT_DIR=$folder/screenshots \
  qrw_wine_limited 600 "$wine_dir/prefix" "$cross/tests/e2e/flash_demo.exe" --gtest_brief=1 2>&1
