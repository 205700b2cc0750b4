# shellcheck shell=bash
# The checks of the shell test suites: each prints "ok: NAME" or "FAIL: NAME"
# (with what differed), and finish prints "N passed, N failed" and fails the
# suite on any failure.

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
