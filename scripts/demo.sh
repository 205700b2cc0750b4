#!/usr/bin/env bash
# The main job: installs what is missing, cross-builds the programs and runs
# the QRW-20410C flash program (1.10.EXE) under Wine in Windows 9x mode
# against the virtual drive: a matching QUARVEL QRW-20410C at revision 1.00,
# reached through the virtual drive's WNASPI32.DLL beside the program.
#
# With a display (DISPLAY set and working) the program's window opens for
# you to click through: Yes to the warning, FLASH, Yes to the update, and
# best No to the restart (Yes restarts the Wine prefix, not the computer).
# Without one it runs inside Xvfb, driven by the demo driver, which answers
# the dialogs, prints every caption and dialog as it appears and the drive's
# revision before and after, and saves screenshots under
# build-win/demo/screenshots/.
#
# On a machine that cannot run 32-bit programs, and so no Wine (see
# scripts/machine.sh), it says so in one line and shows the same flash from
# Linux first: qrwflash (a plain native build in build-linux/) flashes the
# same 1.10.EXE into the virtual drive behind its SG front, in the terminal.
# Without a terminal, or with CI set, tmux plays the person at the keyboard
# and the screen lands in build-win/demo/screenshots/ as text and picture.
# Then the window itself: the driven Wine demo above, in the QEMU guest of
# scripts/guest.sh (minutes: every instruction is emulated), its screenshots
# beside the terminal's. QRW_GUEST=force takes this path on any machine;
# QRW_GUEST=off leaves the guest out.
#
#   scripts/demo.sh window   only the driven Wine demo, of a cross build
#                            made already: what the guest runs
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cross=$(realpath -m "${QRW_CROSS_BUILD:-$root/build-win}")
linux=$(realpath -m "${QRW_LINUX_BUILD:-$root/build-linux}")
jobs=${QRW_JOBS:-2}
demo=$cross/demo

# The demo's drive: a QRW-20410C at revision 1.00.
drive_lines='[drive QRW-20410C]
vendor = QUARVEL
product = QRW-20410C
revision = 1.00'

# What the drive received, from its trace.
summary() {
  local trace=$1
  echo "The virtual drive received $(wc -l <"$trace") commands:" \
    "$(grep -c '^QRW-20410C 3B 05 01 0[0-4] .. 00 00 40 00 00 ' "$trace" || true) chunk writes," \
    "$(grep -c '^QRW-20410C 3C 01 01 0[0-4] .. 00 00 40 00 00 ' "$trace" || true) chunk reads."
  local burn
  # WRITE BUFFER with control byte 80 (A0 for FLASH-ALL): the burn. By ASPI
  # the program sends it as 12 bytes, the last two zero.
  burn=$(grep -E '^QRW-20410C 3B 05 01( [0-9A-F]{2}){6} (80|A0)( 00 00)? /' "$trace" || true)
  if [ -z "$burn" ]; then
    echo "No final flash command was sent."
  else
    echo "Final flash command: $burn"
  fi
  echo "Trace: $trace"
}

# The Wine demo, of programs built already. The prefixes live in $demo/wine,
# which the guest puts on a disk of its own. It adds its screenshots to
# those already in $demo/screenshots.
window_demo() {
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh"
  # The display comes first: Wine's desktop process, started by the first
  # Wine command below, keeps the display it was started with.
  interactive=no
  xvfb_pid=""
  qrw_cleanup_at_exit
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    interactive=yes
  else
    read -r display xvfb_pid < <(qrw_wine_xvfb) || { echo "demo: Xvfb did not start" >&2; exit 1; }
    qrw_cleanup_pid "$xvfb_pid"
    export DISPLAY=$display
  fi

  local wine=$demo/wine folder=$demo/folder
  qrw_cleanup_prefix "$wine/template" "$wine/prefix"
  rm -rf "$folder"
  mkdir -p "$folder" "$demo/screenshots"
  qrw_wine_template "$wine/template"
  qrw_wine_prefix "$wine/template" "$wine/prefix"
  cp "$cross/bin/1.10.EXE" "$cross/tools/vdrive/wnaspi32/dll/WNASPI32.DLL" "$folder/"
  qrw_wine_win98 "$wine/prefix" 1.10.EXE

  cat >"$demo/scenario.txt" <<SCENARIO
$drive_lines
aspi = 0 0
# Like a real drive, it answers a little later than at once, so that each
# status caption stays up long enough to be seen.
hold = write-profile every at-wait
hold = write-chunk every at-wait
hold = critical every at-wait
hold = read-profile every at-wait
hold = read-chunk every at-wait
SCENARIO
  : >"$demo/trace.txt"
  export QRW_VDRIVE_SCENARIO=$demo/scenario.txt
  export QRW_VDRIVE_TRACE=$demo/trace.txt
  unset QRW_VDRIVE_STATE

  qrw_wine_start "$wine/prefix" || true  # already up after the registry import
  if [ $interactive = yes ]; then
    echo "Starting 1.10.EXE on $DISPLAY: Yes to the warning, FLASH, Yes; No to the restart."
    (cd "$folder" && qrw_wine "$wine/prefix" 1.10.EXE) || true
    summary "$demo/trace.txt"
    return 0
  fi

  local rc=0
  QRW_PROGRAM_DIR=$cross/bin QRW_FIRMWARE_DIR=$cross/firmware QRW_WORK_DIR=$folder \
    QRW_SHOT_DIR=$demo/screenshots \
    qrw_wine "$wine/prefix" "$cross/tests/e2e/flash_demo.exe" --gtest_brief=1 || rc=$?
  summary "$demo/trace.txt"
  echo "Screenshots: $demo/screenshots/"
  ls -1 "$demo/screenshots"
  return $rc
}

if [ "${1:-}" = window ]; then
  window_demo
  exit $?
fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$cross" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$cross" -j"$jobs" --target qrw_probe32 qrw_programs

# shellcheck source=machine.sh
source "$root/scripts/machine.sh"
if ! qrw_runs_32bit "$cross/tools/machine/probe32"; then
  echo "demo: $qrw_32bit_reason."
  echo "demo: the same flash from Linux first: qrwflash and the virtual drive, without Wine."
  # shellcheck source=demo-linux.sh
  source "$root/scripts/demo-linux.sh"  # sets linux_status
  window_status=0
  echo
  if [ "${QRW_GUEST:-auto}" = off ]; then
    echo "demo: QRW_GUEST=off leaves out the program's window (the same flash under Wine in a QEMU guest)."
  else
    echo "demo: then the program's window: the same flash under Wine in a QEMU guest (minutes: it emulates every instruction)."
    cmake --build "$cross" -j"$jobs" --target wnaspi32 flash_demo
    started=$SECONDS
    (cd "$root" && "$root/scripts/guest.sh" run --share "$cross" --scratch "$demo/wine" \
        --env QRW_CROSS_BUILD -- bash "$root/scripts/demo.sh" window) || window_status=$?
    echo "demo: the guest took $((SECONDS - started)) s; the window's screenshots are in $demo/screenshots/, beside terminal.png."
    [ "$window_status" = 0 ] || echo "demo: the window's demo in the guest ended with status $window_status" >&2
  fi
  [ "$linux_status" = 0 ] && [ "$window_status" = 0 ]
  exit $?
fi

cmake --build "$cross" -j"$jobs" --target wnaspi32 flash_demo
rm -rf "$demo/screenshots"
window_demo
