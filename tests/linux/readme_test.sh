#!/usr/bin/env bash
# README's "Flashing from Linux" session, run as written against the virtual
# drive on /dev/sg1 (a device tree of the test's own), the flash under a
# pseudo-terminal with the answers typed: the screen must read as the README.
source "$(dirname "$0")/lib.sh"

block=$(awk '/^<!-- session: reproduced by tests\/linux\/readme_test.sh -->$/ {m=1; next}
             m==1 && /^```$/ {m=2; next}
             m==2 && /^```$/ {exit}
             m==2' "$QRW_README")
[ -n "$block" ] && pass "README has the session" || { fail "README has no session"; finish; exit 1; }

nodes=""
new_case readme
printf '[drive QRW]\nletter = E\n' > "$case_dir/scenario.txt"
add_node sg1 5
mkdir -p "$case_dir/made"
"$QRW_NT_REFERENCE" new "$case_dir/made" || fail "the flash program was not made"
cp "$case_dir/made/PROGRAM.EXE" "$case_dir/1.10.EXE"

# The block's commands and the output after each.
mapfile -t commands < <(grep '^\$ ' <<< "$block")
expect_eq "the session's commands" "\$ qrwflash drives 1.10.EXE
\$ sudo qrwflash flash 1.10.EXE" "$(printf '%s\n' "${commands[@]}")"
output_of() {  # output_of N: the lines after the N-th command, up to the next
  awk -v n="$1" '/^\$ /{c++; next} c==n' <<< "$block"
}
trimmed() { sed 's/[[:space:]]*$//' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }

run_qrwflash drives 1.10.EXE
expect_eq "drives: exit status" 0 "$status"
expect_eq "drives: as in the README" "$(output_of 1)" "$(trimmed < "$case_dir/out.txt")"

tty_start flash 1.10.EXE
tty_wait "Do you wish to continue?" && tty_keys y Enter
tty_wait "Update FW:1.00 to FW:1.10 ?" && tty_keys y Enter
tty_end
expect_eq "flash: exit status" 0 "$status"
expect_eq "flash: the screen as in the README" "$(output_of 2 | trimmed)" "$(trimmed < "$case_dir/screen.txt")"
finish
