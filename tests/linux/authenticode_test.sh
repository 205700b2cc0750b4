#!/usr/bin/env bash
# Authenticode beside the package: a template signed with osslsigncode (by a
# code-signing certificate of a CA this test makes with openssl) builds the
# very program its unsigned self builds, with no certificate table; that
# program, signed after it was built, verifies against the CA, keeps its
# seal for qrwpack, and qrwflash flashes it with the unsigned program's
# trace. The native build's package files become PE files (qrw_pe_wrap) so
# that osslsigncode signs them. Needs QRWPACK, QRW_PE_WRAP,
# QRW_FIRMWARE_DIR and QRW_MODELS besides lib.sh's.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../signing.sh"

work="$QRW_TEST_WORK/files"
rm -rf "$work" && mkdir -p "$work"
pki="$work/pki"
qrw_signing_pki "$pki" > "$work/pki.log" || { fail "$(cat "$work/pki.log")"; finish; exit 1; }
sign() { qrw_sign "$pki" "$1" "$2" || fail "osslsigncode could not sign $1"; }
verified() { qrw_signature_verified "$pki" "$1"; }
# build TEMPLATE DIR: qrwpack's QRW-20410C program of 1.10.BIN from TEMPLATE.
build() {
  mkdir -p "$2"
  "$QRWPACK" build --template "$1" --models "$QRW_MODELS" --model QRW-20410C \
    --image "$QRW_FIRMWARE_DIR/1.10.BIN" --out-dir "$2" > "$2/out.txt" 2>&1
}

"$QRW_PE_WRAP" "$QRW_FIRMWARE_DIR/QRWFLASH.sealed" "$work/QRWFLASH.EXE"
sign "$work/QRWFLASH.EXE" "$work/QRWFLASH.signed.EXE"
expect_eq "the signed template verifies" yes "$(verified "$work/QRWFLASH.signed.EXE")"
"$QRWPACK" inspect "$work/QRWFLASH.signed.EXE" > "$work/inspect-template.txt" 2>&1
table=$(( $(stat -c %s "$work/QRWFLASH.signed.EXE") - $(stat -c %s "$work/QRWFLASH.EXE") ))
expect_contains "inspect: the template's table" "$work/inspect-template.txt" \
  "Certificate:  table of $table bytes at 0x$(printf '%08X' "$(stat -c %s "$work/QRWFLASH.EXE")")"

# -- both templates build the same program, without a table ----------------
build "$work/QRWFLASH.EXE" "$work/plain"
build "$work/QRWFLASH.signed.EXE" "$work/from-signed"
expect_eq "the signed template builds" "Building 1.10.BIN  Please wait... 
Build 1.10.EXE ok!" "$(cat "$work/from-signed/out.txt")"
expect_eq "its program is the unsigned template's, byte for byte" same \
  "$(cmp -s "$work/plain/1.10.EXE" "$work/from-signed/1.10.EXE" && echo same || echo differs)"
expect_eq "it ends where the unsigned template ends" "$(stat -c %s "$work/QRWFLASH.EXE")" \
  "$(stat -c %s "$work/from-signed/1.10.EXE")"
# The security directory entry (PE32: optional header at 0x58, entry 4 at
# +128) and the checksum (+64).
expect_eq "its security directory entry is zero" "0000000000000000" \
  "$(od -An -tx1 -j $((0x58 + 128)) -N8 "$work/from-signed/1.10.EXE" | tr -d ' \n')"
expect_eq "its checksum is zero" "00000000" \
  "$(od -An -tx1 -j $((0x58 + 64)) -N4 "$work/from-signed/1.10.EXE" | tr -d ' \n')"
"$QRWPACK" inspect "$work/from-signed/1.10.EXE" > "$work/inspect-built.txt" 2>&1
expect_contains "inspect: the built program carries none" "$work/inspect-built.txt" "Certificate:  none"
# The package inside is the unwrapped build's: the generator's flash region.
expect_eq "the package is the generator's" "$("$QRWPACK" verify "$QRW_FIRMWARE_DIR/1.10.sealed" | sed 's/^[^:]*: //')" \
  "$("$QRWPACK" verify "$work/from-signed/1.10.EXE" | sed 's/^[^:]*: //')"

# -- the program signed after the build ------------------------------------
signed="$work/1.10.signed.EXE"
sign "$work/from-signed/1.10.EXE" "$signed"
expect_eq "the signed program verifies against the CA" yes "$(verified "$signed")"
expect_contains "osslsigncode: signature ok" "$pki/verify.log" "Signature verification: ok"
crc=$("$QRWPACK" verify "$QRW_FIRMWARE_DIR/1.10.sealed" | sed 's/.*CRC-32 //')
"$QRWPACK" verify "$signed" > "$work/qrwpack-verify.txt" 2>&1
expect_eq "qrwpack verify: seal intact" "0 $signed: seal intact, CRC-32 $crc" "$? $(cat "$work/qrwpack-verify.txt")"
"$QRWPACK" inspect "$signed" > "$work/inspect-signed.txt" 2>&1
expect_eq "qrwpack inspect: status" 0 "$?"
expect_contains "qrwpack inspect: the program's table" "$work/inspect-signed.txt" \
  "Certificate:  table of $(( $(stat -c %s "$signed") - $(stat -c %s "$work/plain/1.10.EXE") )) bytes at 0x$(printf '%08X' "$(stat -c %s "$work/plain/1.10.EXE")")"

# One byte of the image changed after signing: Windows' check and the seal
# both see it (each check above can fail).
cp "$signed" "$work/changed.EXE"
at=$((0x200 + 774 + 148 + 0x30000))
printf '\x5A' | dd of="$work/changed.EXE" bs=1 seek=$at conv=notrunc status=none
expect_eq "a changed byte fails osslsigncode verify" no "$(verified "$work/changed.EXE")"
"$QRWPACK" verify "$work/changed.EXE" > /dev/null 2>&1
expect_eq "a changed byte fails qrwpack verify" 1 "$?"

# -- qrwflash: the signed program flashes as the plain one does ------------
flash() {
  nodes=""
  new_case "$1"
  printf '[drive QRW]\nletter = E\n' > "$case_dir/scenario.txt"
  add_node sg0 5
  run_qrwflash flash "$2" --yes
}
flash plain "$QRW_FIRMWARE_DIR/1.10.sealed"
expect_eq "the plain program flashes" 0 "$status"
plain_trace="$case_dir/trace.txt"
flash signed "$signed"
expect_eq "the signed program flashes: exit status" 0 "$status"
expect_contains "the signed program flashes: completed" "$case_dir/out.txt" "Flash Completed."
expect_eq "the signed program's trace is the plain one's" "$(cat "$plain_trace")" "$(cat "$case_dir/trace.txt")"
[ -s "$plain_trace" ] && pass "the trace holds the flash" || fail "the plain trace is empty"
finish
