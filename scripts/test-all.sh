#!/usr/bin/env bash
# Installs what is missing, builds the native build (with ASan and UBSan) and
# the cross build, runs every native test and every Wine end-to-end test,
# and ends with one line "N passed, N failed". Exits non-zero on any failure.
# A suite the build could not register fails as a test of its own; a skipped
# test fails unless its reason is in scripts/accepted-skips.txt.
#   scripts/test-all.sh            (build folders: build/ and build-win/)
#   QRW_JOBS=N                      parallel jobs (default 2)
#   QRW_GUEST=auto|force|off        the QEMU guest for the Windows suites
#                                   (scripts/guest.sh): where the machine
#                                   cannot run 32-bit programs / always /
#                                   never; auto also runs one suite in it
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=$(realpath -m "${QRW_NATIVE_BUILD:-$root/build}")
cross=$(realpath -m "${QRW_CROSS_BUILD:-$root/build-win}")
jobs=${QRW_JOBS:-2}

passed=0
failed=0
log_dir=$(mktemp -d)
trap 'rm -rf "$log_dir"' EXIT

step() { printf '\n== %s\n' "$*"; }

# Adds one ctest run's counts ("100% tests passed, 0 tests failed out of 45").
count_ctest() {
  local log=$1 line total bad
  # Without the colours ctest gives a terminal.
  line=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' | tail -1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))  # ctest itself did not run to the end
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

# Skipped tests of one ctest run, from its JUnit report: a GoogleTest case
# skipped inside a test ("file:line: Skipped", its reason, "[  SKIPPED ]
# name") or a whole test ctest did not run. Each counts as a failure unless
# its reason is one of scripts/accepted-skips.txt.
count_skips() {
  local report=$1 name reason
  [ -f "$report" ] || return
  while IFS=$'\t' read -r name reason; do
    if grep -qxF -- "$reason" <(grep -v '^#' "$root/scripts/accepted-skips.txt"); then
      echo "test-all: $name skipped: $reason (accepted)"
    else
      echo "test-all: $name skipped: $reason (not an accepted reason: a failure)" >&2
      failed=$((failed + 1))
    fi
  done < <(tr -d '\r' <"$report" | awk '
    /<testcase / && /status="(notrun|disabled|skipped)"/ {
      match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7)
      if (!(name in why)) why[name] = "not run by ctest"
    }
    /: Skipped$/ { grab = 1; reason = ""; next }
    grab && /\[  SKIPPED \]/ {
      name = $0; sub(/.*\[  SKIPPED \] /, "", name); sub(/ \(.*/, "", name)
      why[name] = reason; grab = 0; next
    }
    grab && NF { reason = reason (reason == "" ? "" : " ") $0 }
    END { for (name in why) print name "\t" why[name] }')
}

# A build that does not finish counts as one failure.
build() {
  local name=$1
  shift
  if ! "$@"; then
    echo "test-all: $name failed" >&2
    failed=$((failed + 1))
    return 1
  fi
}

step "Installing dependencies"
"$root/scripts/install-deps.sh" || { echo "0 passed, 1 failed"; exit 1; }

step "Native build (ASan, UBSan) in $native"
native_ok=1
build "native configure" cmake -S "$root" -B "$native" -G Ninja -DQRW_SANITIZE=ON \
  -DQRW_CROSS_BUILD_DIR="$cross" || native_ok=0
[ $native_ok = 1 ] && { build "native build" cmake --build "$native" -j"$jobs" || native_ok=0; }

step "Cross build (mingw-w64 i686) in $cross"
cross_ok=1
build "cross configure" cmake -S "$root" -B "$cross" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" || cross_ok=0
[ $cross_ok = 1 ] && { build "cross build" cmake --build "$cross" -j"$jobs" || cross_ok=0; }

# The guest's root image, made once and kept outside the clone; its own tests
# and the Windows suites (where this machine cannot run them) boot it.
native_filter=()
if [ "${QRW_GUEST:-auto}" = off ]; then
  native_filter=(-E '^guest_')
else
  step "QEMU guest image"
  "$root/scripts/guest.sh" image || { echo "test-all: no guest image" >&2; failed=$((failed + 1)); }
fi

if [ $native_ok = 1 ]; then
  step "Native tests"
  ctest --test-dir "$native" -j"$jobs" --output-on-failure --output-junit "$log_dir/native.xml" \
    "${native_filter[@]}" 2>&1 | tee "$log_dir/native.log"
  count_ctest "$log_dir/native.log"
  count_skips "$log_dir/native.xml"
fi

# The cross build's tests: under Wine here, or in the QEMU guest on a machine
# that cannot run 32-bit programs. Either way the same ctest run, the same
# counts. ARGS: where (host or guest), then ctest's own arguments.
cross_tests() {
  local where=$1
  shift
  local -a run=(ctest --test-dir "$cross" -j"$jobs" --output-on-failure
                --output-junit "$log_dir/cross-$where.xml" "$@")
  # One Wine template prefix per run.
  rm -rf "$cross/wine" "$cross/screenshots"
  if [ "$where" = guest ]; then
    # The prefixes live on the guest's own disk: Wine makes thousands of
    # small files, each a round trip over the share.
    "$root/scripts/guest.sh" run --share "$cross" --share "$log_dir" --scratch "$cross/wine" \
      --env CI --env QRW_JOBS -- \
      bash -c 'source "$1/scripts/machine.sh"
               qrw_runs_32bit "$2/tools/machine/probe32" || { echo "guest: $qrw_32bit_reason"; exit 125; }
               shift 2; exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"' \
      guest "$root" "$cross" "${run[@]}" 2>&1 | tee "$log_dir/cross-$where.log"
    local status=${PIPESTATUS[0]}
    if [ "$status" -eq 125 ]; then
      echo "test-all: the QEMU guest failed (see the line above); its suites count as one failure" >&2
    fi
  elif [ -n "${DISPLAY:-}" ]; then
    "${run[@]}" 2>&1 | tee "$log_dir/cross-$where.log"
  else
    xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}" 2>&1 | tee "$log_dir/cross-$where.log"
  fi
  count_ctest "$log_dir/cross-$where.log"
  count_skips "$log_dir/cross-$where.xml"
}

if [ $cross_ok = 1 ]; then
  # shellcheck source=machine.sh
  source "$root/scripts/machine.sh"
  guest=${QRW_GUEST:-auto}
  if qrw_runs_32bit "$cross/tools/machine/probe32"; then
    step "End-to-end tests under Wine"
    cross_tests host
    # The guest path is walked on every run, so that it cannot rot unseen on
    # machines that never need it.
    if [ "$guest" != off ]; then
      step "One Wine suite in the QEMU guest"
      cross_tests guest -R '^e2e\.startup_e2e_test$'
    fi
  elif [ "$guest" = off ]; then
    echo "test-all: $qrw_32bit_reason, and QRW_GUEST=off keeps the QEMU guest out: the Windows suites cannot run" >&2
    failed=$((failed + 1))
  else
    echo "test-all: $qrw_32bit_reason: the Windows suites run in a QEMU guest"
    step "End-to-end tests under Wine in the QEMU guest"
    cross_tests guest
  fi
  echo "Screenshots: $cross/screenshots"
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
