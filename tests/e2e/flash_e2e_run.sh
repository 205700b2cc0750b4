#!/usr/bin/env bash
# Runs a flash end-to-end suite (flash_e2e_test.exe, guard_e2e_test.exe)
# under Wine:
#   flash_e2e_run.sh <cross build folder> <test .exe> <WNASPI32.DLL> <SG front> [test args...]
# Drive E of the prefix is a CD-ROM drive whose device is a regular file
# served by the SG front, which every Wine process of the run preloads; the
# 9x tests put WNASPI32.DLL beside the program. Each test names its own
# scenario to the program it starts.
#
# QRW_E2E_GUARD=1 adds what the guard's suite looks at:
#   - Wine's relay trace of the guard's functions, written with the test's
#     standard error into the virtual drive's trace file, so that one file
#     shows them in order among the drive's commands;
#   - a release file for "at-wait" holds (QRW_VDRIVE_RELEASE);
#   - run as root, a power-supply folder of the run's own mounted over
#     /sys/class/power_supply in a mount namespace of the run's own (Wine
#     reads it for GetSystemPowerStatus), named to the tests by
#     QRW_POWER_SUPPLY: mains online, one battery discharging at 5%.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh"
build=$1 exe=$2 dll=$3 shim=$4
shift 4
guard=${QRW_E2E_GUARD:-0}

# Re-entered inside the mount namespace, with the folder mounted.
if [ "$guard" = 1 ] && [ "${QRW_POWER_SUPPLY:-}" = "" ] && [ "$(id -u)" = 0 ] &&
   [ -d /sys/class/power_supply ] && command -v unshare >/dev/null; then
  supplies="$build/e2e-work/guard-power"
  rm -rf "$supplies"
  mkdir -p "$supplies/AC" "$supplies/BAT0"
  echo Mains >"$supplies/AC/type"
  echo 1 >"$supplies/AC/online"
  echo Battery >"$supplies/BAT0/type"
  echo Discharging >"$supplies/BAT0/status"
  echo 12000000 >"$supplies/BAT0/voltage_now"
  echo 4000000 >"$supplies/BAT0/charge_full"
  echo 200000 >"$supplies/BAT0/charge_now"
  if unshare --mount --propagation private true 2>/dev/null; then
    exec unshare --mount --propagation private bash -c '
      mount --bind "$1" /sys/class/power_supply || exit 1
      QRW_POWER_SUPPLY=$1 exec bash "$0" "${@:2}"' \
      "${BASH_SOURCE[0]}" "$supplies" "$build" "$exe" "$dll" "$shim" "$@"
  fi
fi

suite=$(basename "$exe" .exe)
suite=${suite#e2e_}
suite=${suite%_test}
wine_dir="$build/wine"
work="$build/e2e-work/$suite"
prefix="$wine_dir/$suite"
mkdir -p "$wine_dir" "$build/screenshots"
(
  flock 9
  qrw_wine_template "$wine_dir/template"
) 9>"$wine_dir/.template.lock" || { echo "$suite: no Wine template prefix" >&2; exit 1; }
qrw_cleanup_at_exit
qrw_wine_prefix "$wine_dir/template" "$prefix"
qrw_cleanup_prefix "$prefix"

rm -rf "$work"
mkdir -p "$work/devices" "$work/bin" "$work/tests"
: >"$work/devices/sg-e"
qrw_wine_cdrom "$prefix" "e=$work/devices/sg-e" || { echo "$suite: no drive E" >&2; exit 1; }
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

if [ "$guard" = 1 ]; then
  export QRW_VDRIVE_RELEASE="$work/tests/session/release"
  # Relayed: only these three functions, whichever DLL exports them.
  printf '\n[Software\\\\Wine\\\\Debug] 0\n"RelayInclude"="%s"\n' \
    "SetThreadExecutionState;ShutdownBlockReasonCreate;ShutdownBlockReasonDestroy" \
    >>"$prefix/user.reg"
  export WINEDEBUG=-all,+relay
  : >"$QRW_VDRIVE_TRACE"
fi

xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  read -r display xvfb_pid < <(qrw_wine_xvfb) || { echo "$suite: no display" >&2; exit 1; }
  qrw_cleanup_pid "$xvfb_pid"
  export DISPLAY=$display
fi

qrw_wine_start "$prefix"
# Below the test's own time-out of 900 s. The guard's relay lines are
# appended to the trace file (O_APPEND, as the drive's own lines are).
if [ "$guard" = 1 ]; then
  LD_PRELOAD=$(qrw_wine_sg_preload "$shim") \
    qrw_wine_limited "${QRW_E2E_SECONDS:-840}" "$prefix" "$exe" "$@" 2>>"$QRW_VDRIVE_TRACE"
else
  LD_PRELOAD=$(qrw_wine_sg_preload "$shim") \
    qrw_wine_limited "${QRW_E2E_SECONDS:-840}" "$prefix" "$exe" "$@"
fi
