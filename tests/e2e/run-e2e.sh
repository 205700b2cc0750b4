#!/usr/bin/env bash
# Runs one Windows-side test executable under Wine, in a prefix of its own
# copied from the run's template prefix, with a display.
#   run-e2e.sh <cross build folder> <test .exe> [test arguments...]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$1
exe=$2
shift 2
# shellcheck source=../../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"

name=$(basename "$exe" .exe)
wine_dir="$build/wine"
mkdir -p "$wine_dir" "$build/screenshots"
# One template per run; tests started together wait while it is made.
(
  flock 9
  qrw_wine_template "$wine_dir/template"
) 9>"$wine_dir/.template.lock" || { echo "run-e2e: no Wine template prefix" >&2; exit 1; }
prefix="$wine_dir/$name"
qrw_cleanup_at_exit
qrw_wine_prefix "$wine_dir/template" "$prefix"
qrw_cleanup_prefix "$prefix"

export QRW_PROGRAM_DIR="$build/bin"
export QRW_FIRMWARE_DIR="$build/firmware"
export QRW_WORK_DIR="$build/e2e-work/$name"
export QRW_SHOT_DIR="$build/screenshots"
rm -rf "$QRW_WORK_DIR"
mkdir -p "$QRW_WORK_DIR"

xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  read -r display xvfb_pid < <(qrw_wine_xvfb) || { echo "run-e2e: no display" >&2; exit 1; }
  qrw_cleanup_pid "$xvfb_pid"
  export DISPLAY=$display
fi

qrw_wine_start "$prefix"
# Below the test's own time-out of 600 s.
qrw_wine_limited "${QRW_E2E_SECONDS:-540}" "$prefix" "$exe" "$@"

