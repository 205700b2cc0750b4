#!/usr/bin/env bash
# Runs the flash end-to-end tests (flash_e2e_test.exe) under Wine:
#   flash_e2e_run.sh <cross build folder> <test .exe> <WNASPI32.DLL> <SG front> [test args...]
# Drive E of the prefix is a CD-ROM drive whose device is a regular file
# served by the SG front, which every Wine process of the run preloads; the
# 9x tests put WNASPI32.DLL beside the program. Each test names its own
# scenario to the program it starts.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh"
build=$1 exe=$2 dll=$3 shim=$4
shift 4

wine_dir="$build/wine"
work="$build/e2e-work/flash_e2e"
prefix="$wine_dir/flash_e2e"
mkdir -p "$wine_dir" "$build/screenshots"
(
  flock 9
  qrw_wine_template "$wine_dir/template"
) 9>"$wine_dir/.template.lock" || { echo "flash_e2e: no Wine template prefix" >&2; exit 1; }
qrw_cleanup_at_exit
qrw_wine_prefix "$wine_dir/template" "$prefix"
qrw_cleanup_prefix "$prefix"

rm -rf "$work"
mkdir -p "$work/devices" "$work/bin" "$work/tests"
: >"$work/devices/sg-e"
qrw_wine_cdrom "$prefix" "e=$work/devices/sg-e" || { echo "flash_e2e: no drive E" >&2; exit 1; }
cp "$build/bin/1.10.EXE" "$dll" "$work/bin/"
# The same program signed with Authenticode after it was built.
mkdir -p "$work/bin/signed"
cp "$build/signed/1.10.EXE" "$work/bin/signed/"

# The virtual drive's session, the same for every program the tests start;
# each test writes its scenario there first. Empty until then: no drives.
mkdir -p "$work/tests/session"
: >"$work/tests/session/scenario.txt"
export QRW_VDRIVE_SCENARIO="$work/tests/session/scenario.txt"
export QRW_VDRIVE_TRACE="$work/tests/session/trace.txt"
unset QRW_VDRIVE_STATE

export QRW_PROGRAM_DIR="$work/bin"
export QRW_FIRMWARE_DIR="$build/firmware"
export QRW_WORK_DIR="$work/tests"
export QRW_SHOT_DIR="$build/screenshots"

xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  read -r display xvfb_pid < <(qrw_wine_xvfb) || { echo "flash_e2e: no display" >&2; exit 1; }
  qrw_cleanup_pid "$xvfb_pid"
  export DISPLAY=$display
fi

qrw_wine_start "$prefix"
# Below the test's own time-out of 900 s.
LD_PRELOAD=$(qrw_wine_sg_preload "$shim") \
  qrw_wine_limited "${QRW_E2E_SECONDS:-840}" "$prefix" "$exe" "$@"

