#!/usr/bin/env bash
# The main job: installs what is missing, cross-builds the programs and starts
# the QRW-20410C flash program (1.10.EXE) under Wine. It shows its warning;
# after Yes it looks for drives.
#
# With a display (DISPLAY set) the program runs for you to use. Without one
# it runs inside Xvfb, driven by the end-to-end driver, and the pictures of
# every window it showed are saved under build-win/screenshots/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cross=${QRW_CROSS_BUILD:-$root/build-win}
jobs=${QRW_JOBS:-2}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$cross" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$cross" -j"$jobs" --target qrw_programs e2e_startup_e2e_test

if [ -z "${DISPLAY:-}" ]; then
  rm -rf "$cross/screenshots"
  xvfb-run -a -s "-screen 0 1024x768x24" "$root/tests/e2e/run-e2e.sh" "$cross" \
    "$cross/tests/e2e/e2e_startup_e2e_test.exe" --gtest_filter='FlashProgramStart.*:TemplateStart.*'
  echo "Pictures of the windows shown: $cross/screenshots/"
  ls -1 "$cross/screenshots"
  exit 0
fi

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
demo=$cross/demo
mkdir -p "$demo/folder"
qrw_wine_template "$demo/template"
qrw_wine_prefix "$demo/template" "$demo/prefix"
cp "$cross/bin/1.10.EXE" "$demo/folder/"
cd "$demo/folder"
qrw_wine "$demo/prefix" 1.10.EXE
qrw_wine_stop "$demo/prefix"
