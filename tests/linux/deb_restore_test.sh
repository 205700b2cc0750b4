#!/usr/bin/env bash
# The package test leaves the machine as it found it however it ends. Here
# it is ended from outside (TERM to its process group, as a time limit ends
# it) while its package is installed, held there by a `man` that never
# answers. Afterwards qrwflash is installed no more and man-db is as it was
# before. Changes the system, so it runs as root (as CI does).
source "$(dirname "$0")/../checks.sh"
set -uo pipefail
work=$QRW_TEST_WORK

if [ "$(id -u)" -ne 0 ]; then
  fail "the package test installs a package: run it as root"
  finish
  exit 1
fi
# Each line "PACKAGE STATUS", dpkg's word for what the machine holds.
state() { dpkg-query -W -f='${Package} ${Status}\n' qrwflash man-db 2>/dev/null; }
installed() { dpkg-query -W -f='${Status}' qrwflash 2>/dev/null | grep -q "ok installed"; }
if installed; then fail "qrwflash is installed already; the test does not touch it"; finish; exit 1; fi
rm -rf "$work"
mkdir -p "$work/bin"
before=$(state)

# The test's "man qrwflash" never answers; lintian's calls go through.
cat >"$work/bin/man" <<EOT
#!/bin/sh
[ "\$*" = qrwflash ] || exec /usr/bin/man "\$@"
: >"$work/man-called"
exec sleep 600
EOT
chmod +x "$work/bin/man"
PATH="$work/bin:$PATH" QRW_TEST_WORK="$work/deb" setsid bash "$(dirname "$0")/deb_test.sh" \
  >"$work/deb.log" 2>&1 </dev/null &
test_pid=$!

# running PID: whether the process is there and has not ended (an ended
# child stays a zombie until it is waited for).
running() {
  local state
  state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$1/status" 2>/dev/null)
  [ -n "$state" ] && [ "$state" != Z ]
}
# ended PID SECONDS: whether the process ends within SECONDS.
ended() {
  local until=$((SECONDS + $2))
  while running "$1" && [ "$SECONDS" -lt "$until" ]; do sleep 1; done
  ! running "$1"
}
until=$((SECONDS + 900))
while [ ! -e "$work/man-called" ] && running "$test_pid" && [ "$SECONDS" -lt "$until" ]; do
  sleep 1
done
if [ -e "$work/man-called" ]; then
  pass "the package test is held with its package installed"
  expect_eq "the package is installed at that point" yes "$(installed && echo yes || echo no)"
else
  fail "the package test did not get as far as man"; tail -20 "$work/deb.log" | sed 's/^/    | /'
fi
kill -TERM -- "-$test_pid" 2>/dev/null
if ended "$test_pid" 600; then pass "the package test ended on TERM"; else
  fail "the package test did not end within 600 s of TERM"; kill -KILL -- "-$test_pid" 2>/dev/null; fi
wait "$test_pid" 2>/dev/null
expect_eq "the machine's packages as before" "$before" "$(state)"

# What the package test failed to put right, put right here.
if installed; then dpkg -r qrwflash >/dev/null 2>&1 || echo "qrwflash could not be removed"; fi
finish
