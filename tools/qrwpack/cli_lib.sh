# Shared by qrwpack's command-line tests: a case's status and both outputs
# compared exactly, and a byte of a file changed in place. Needs $work and
# $failures.

# expect NAME STATUS STDOUT STDERR -- COMMAND...: the exit status and both
# outputs exactly ("*" takes any output).
expect() {
  local name=$1 status=$2 out=$3 err=$4
  shift 5
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  local ok=1
  [ "$got" -eq "$status" ] || { echo "$name: exit status $got, expected $status"; ok=0; }
  if [ "$out" != "*" ] && [ "$(cat "$work/out")" != "$out" ]; then
    echo "$name: stdout differs:"; diff <(echo "$out") "$work/out"; ok=0
  fi
  if [ "$err" != "*" ] && [ "$(cat "$work/err")" != "$err" ]; then
    echo "$name: stderr differs:"; diff <(echo "$err") "$work/err"; ok=0
  fi
  [ $ok -eq 1 ] || failures=$((failures + 1))
}

# flip FILE OFFSET: one bit of the byte at OFFSET changed in place.
flip() {
  local value
  value=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\$(printf '%03o' $((value ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
