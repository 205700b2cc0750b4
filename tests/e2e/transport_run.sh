#!/usr/bin/env bash
# Runs the transport checks (transport_checks.exe) under Wine in one mode:
#   transport_run.sh nt|9x BUILD_DIR CHECKS_EXE WNASPI32_DLL SG_SHIM
# in a prefix copied from the run's template ($BUILD_DIR/wine/template),
# working in $BUILD_DIR/e2e-work/transport.
# nt: drive letters D and E are SG-backed files, F a folder, G nothing; then
# two runs that share a state journal;
# 9x: the program runs as Windows 98 with WNASPI32.DLL beside it, then with
# scenarios that make the DLL refuse to load or leave out an entry point.
set -euo pipefail
mode=$1 build=$2 checks=$3 dll=$4 shim=$5
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh"

work=$build/e2e-work/transport
prefix=$build/wine/transport-$mode
bin=$work/bin-$mode
mkdir -p "$work"
qrw_wine_template "$build/wine/template"
qrw_wine_prefix "$build/wine/template" "$prefix"
qrw_cleanup_at_exit
qrw_cleanup_prefix "$prefix"
rm -rf "$bin"
mkdir -p "$bin"
export QRW_VDRIVE_TRACE=$work/trace-$mode.txt
export QRW_VDRIVE_SCENARIO=$here/transport_scenario.txt
unset QRW_VDRIVE_STATE

case $mode in
  nt)
    qrw_wine_vdrive_nt "$prefix" "$work/devices" d e
    mkdir -p "$work/devices/folder"
    qrw_wine_cdrom "$prefix" "f=$work/devices/folder" g
    cp "$checks" "$bin/transport_checks.exe"
    export LD_PRELOAD
    LD_PRELOAD=$(qrw_wine_sg_preload "$shim")
    qrw_wine "$prefix" "$bin/transport_checks.exe" --gtest_filter='Nt*'
    export QRW_VDRIVE_STATE=$work/state-nt.bin
    rm -f "$QRW_VDRIVE_STATE"
    qrw_wine "$prefix" "$bin/transport_checks.exe" --gtest_filter='StateAcrossRuns.First*'
    qrw_wine "$prefix" "$bin/transport_checks.exe" --gtest_filter='StateAcrossRuns.Second*'
    ;;
  9x)
    qrw_wine_win98 "$prefix" transport_checks_9x.exe
    cp "$checks" "$bin/transport_checks_9x.exe"
    cp "$dll" "$bin/WNASPI32.DLL"
    # From drive C:, so that the library must reach the Unix paths it is
    # given through Z:.
    cd "$prefix/drive_c"
    qrw_wine "$prefix" "$bin/transport_checks_9x.exe" --gtest_filter='Aspi9x.*'
    QRW_VDRIVE_SCENARIO=$here/transport_scenario_load_fails.txt \
      qrw_wine "$prefix" "$bin/transport_checks_9x.exe" --gtest_filter='Aspi9xLoadFailure.*'
    for entry in GetASPI32SupportInfo SendASPI32Command; do
      printf '[aspi]\nmissing = %s\n\n[drive]\naspi = 0 0\n' "$entry" >"$work/missing-$entry.txt"
      QRW_VDRIVE_SCENARIO=$work/missing-$entry.txt QRW_CHECK_MISSING_ENTRY=$entry \
        qrw_wine "$prefix" "$bin/transport_checks_9x.exe" --gtest_filter='Aspi9xMissingEntry.*'
    done
    ;;
  *)
    echo "transport_run.sh: mode is nt or 9x" >&2
    exit 2
    ;;
esac
