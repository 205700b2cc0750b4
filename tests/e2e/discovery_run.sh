#!/usr/bin/env bash
# Runs the NT cases of the discovery end-to-end test, once per drive-letter
# mapping (Wine's mount manager reads the letters when the prefix's server
# starts, so each mapping needs a prefix of its own):
#   discovery_run.sh <cross build folder> <discovery test .exe> <SG shim>
# two-letters: D: and E: are SG devices of the virtual drive, G: a CD-ROM
#              letter with nothing behind it (it opens, every request fails);
# no-device:   G: alone;
# denied:      E:, and F: whose device is a folder (opening it is denied).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$1
exe=$2
shim=$3
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh"

wine_dir="$build/wine"
mkdir -p "$wine_dir" "$build/screenshots"
(
  flock 9
  qrw_wine_template "$wine_dir/template"
) 9>"$wine_dir/.template.lock" || { echo "discovery_run: no Wine template prefix" >&2; exit 1; }

export QRW_PROGRAM_DIR="$build/bin"
export QRW_FIRMWARE_DIR="$build/firmware"
export QRW_SHOT_DIR="$build/screenshots"
export QRW_VDRIVE_SCENARIO="$here/discovery_nt_scenario.txt"

qrw_cleanup_at_exit
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  read -r display xvfb_pid < <(qrw_wine_xvfb) || { echo "discovery_run: no display" >&2; exit 1; }
  qrw_cleanup_pid "$xvfb_pid"
  export DISPLAY=$display
fi

# run_mapping NAME TEST LETTER...
run_mapping() {
  local name=$1 test=$2
  shift 2
  local prefix="$wine_dir/discovery-nt-$name"
  local devices="$build/e2e-work/discovery-nt-$name-devices"
  export QRW_WORK_DIR="$build/e2e-work/discovery-nt-$name"
  export QRW_VDRIVE_TRACE="$QRW_WORK_DIR/trace.txt"
  rm -rf "$QRW_WORK_DIR" "$devices"
  mkdir -p "$QRW_WORK_DIR" "$devices/folder"
  : >"$devices/sg-d"
  : >"$devices/sg-e"
  qrw_wine_prefix "$wine_dir/template" "$prefix"
  qrw_cleanup_prefix "$prefix"
  local mappings=()
  local letter
  for letter in "$@"; do
    case $letter in
      d | e) mappings+=("$letter=$devices/sg-$letter") ;;
      f) mappings+=("f=$devices/folder") ;;
      g) mappings+=(g) ;;
    esac
  done
  qrw_wine_cdrom "$prefix" "${mappings[@]}"
  qrw_wine_start "$prefix"
  # Three runs share the test's time-out of 600 s.
  QRW_DISCOVERY_NT=$name LD_PRELOAD=$(qrw_wine_sg_preload "$shim") \
    qrw_wine_limited "${QRW_E2E_SECONDS:-180}" "$prefix" "$exe" --gtest_filter="NtDiscovery.$test"
  local rc=$?
  qrw_wine_stop "$prefix"
  return $rc
}

status=0
run_mapping two-letters OnlyTheMatchingLetterIsListedEndingInItsRevision d e g || status=1
run_mapping no-device CdRomLetterWithoutADeviceIsNotListed g || status=1
run_mapping denied DeniedOpeningIsToldAndTheProgramEndsAfterDiscovery e f || status=1
exit $status
