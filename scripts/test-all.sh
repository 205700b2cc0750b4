#!/usr/bin/env bash
# Installs what is missing, builds the native build (with ASan and UBSan) and
# the cross build, runs every native test and every Wine end-to-end test,
# and ends with one line "N passed, N failed". Exits non-zero on any failure.
# A suite the build could not register fails as a test of its own; a skipped
# test fails unless its reason is in scripts/accepted-skips.txt.
#   scripts/test-all.sh            (build folders: build/ and build-win/)
#   QRW_JOBS=N                      parallel jobs (default 2)
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
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
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
build "native configure" cmake -S "$root" -B "$native" -G Ninja -DQRW_SANITIZE=ON || native_ok=0
[ $native_ok = 1 ] && { build "native build" cmake --build "$native" -j"$jobs" || native_ok=0; }

step "Cross build (mingw-w64 i686) in $cross"
cross_ok=1
build "cross configure" cmake -S "$root" -B "$cross" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" || cross_ok=0
[ $cross_ok = 1 ] && { build "cross build" cmake --build "$cross" -j"$jobs" || cross_ok=0; }

if [ $native_ok = 1 ]; then
  step "Native tests"
  ctest --test-dir "$native" -j"$jobs" --output-on-failure --output-junit "$log_dir/native.xml" \
    2>&1 | tee "$log_dir/native.log"
  count_ctest "$log_dir/native.log"
  count_skips "$log_dir/native.xml"
fi

if [ $cross_ok = 1 ]; then
  step "End-to-end tests under Wine"
  # One Wine template prefix per run.
  rm -rf "$cross/wine" "$cross/screenshots"
  cross_ctest=(ctest --test-dir "$cross" -j"$jobs" --output-on-failure
               --output-junit "$log_dir/cross.xml")
  if [ -n "${DISPLAY:-}" ]; then
    "${cross_ctest[@]}" 2>&1 | tee "$log_dir/cross.log"
  else
    xvfb-run -a -s "-screen 0 1024x768x24" "${cross_ctest[@]}" 2>&1 | tee "$log_dir/cross.log"
  fi
  count_ctest "$log_dir/cross.log"
  count_skips "$log_dir/cross.xml"
  echo "Screenshots: $cross/screenshots"
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
