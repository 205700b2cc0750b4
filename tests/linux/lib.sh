# Shared by the qrwflash tests: a device tree of their own under a work
# folder, with files the virtual drive's native SG front serves as nodes.
# Needs QRWFLASH, QRW_NT_REFERENCE, QRW_SG_FRONT and QRW_TEST_WORK.
set -uo pipefail

failures=0
passes=0

pass() { passes=$((passes + 1)); echo "ok: $1"; }
fail() { failures=$((failures + 1)); echo "FAIL: $1"; }

# expect_eq NAME EXPECTED ACTUAL
expect_eq() {
  if [ "$2" == "$3" ]; then pass "$1"; else
    fail "$1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | head -40; fi
}

# expect_contains NAME FILE TEXT
expect_contains() {
  if grep -qF -- "$3" "$2"; then pass "$1"; else fail "$1: no \"$3\" in"; sed 's/^/    /' "$2" | head -60; fi
}

expect_lacks() {
  if grep -qF -- "$3" "$2"; then fail "$1: \"$3\" in"; sed 's/^/    /' "$2" | head -60; else pass "$1"; fi
}

finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

# new_case NAME: an empty folder $case with root/sys and root/dev.
new_case() {
  case_dir="$QRW_TEST_WORK/$1"
  rm -rf "$case_dir"
  mkdir -p "$case_dir/root/dev" "$case_dir/root/sys/class/scsi_generic"
  : > "$case_dir/trace.txt"
}

# add_node NAME TYPE: /dev/NAME served as the next scenario drive; TYPE the
# SCSI device type sysfs gives it (5 for a CD-ROM).
add_node() {
  : > "$case_dir/root/dev/$1"
  mkdir -p "$case_dir/root/sys/class/scsi_generic/$1/device"
  echo "$2" > "$case_dir/root/sys/class/scsi_generic/$1/device/type"
  nodes="${nodes:-} $case_dir/root/dev/$1"
}

# run_qrwflash ARGS...: qrwflash with the front preloaded; output in
# $case_dir/out.txt, status in $status.
run_qrwflash() {
  QRW_VDRIVE_SCENARIO="$case_dir/scenario.txt" QRW_VDRIVE_TRACE="$case_dir/trace.txt" \
  QRW_VDRIVE_SG_NODES="${nodes:-}" QRWFLASH_ROOT="$case_dir/root" \
  ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD="$QRW_SG_FRONT" \
    "$QRWFLASH" "$@" > "$case_dir/out.txt" 2>&1 < "${stdin_file:-/dev/null}"
  status=$?
}

