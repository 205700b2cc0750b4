#!/usr/bin/env bash
# The template and the QRW-20410C flash program of the cross build signed
# with Authenticode after they were made, for the tests that build from a
# signed template and flash a signed program:
#   sign_programs.sh OUT_DIR TEMPLATE PROGRAM
# writes OUT_DIR/QRWFLASH.EXE and OUT_DIR/1.10.EXE, signed by a certificate
# of a CA made here (OUT_DIR/pki/ca.pem); the program's signature must
# verify against that CA alone.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../signing.sh"
out=$1 template=$2 program=$3
rm -rf "$out"
mkdir -p "$out"
qrw_signing_pki "$out/pki" || exit 1
qrw_sign "$out/pki" "$template" "$out/QRWFLASH.EXE" || exit 1
qrw_sign "$out/pki" "$program" "$out/1.10.EXE" || exit 1
if [ "$(qrw_signature_verified "$out/pki" "$out/1.10.EXE")" != yes ]; then
  echo "sign_programs: osslsigncode does not verify the signed $program:"
  cat "$out/pki/verify.log"
  exit 1
fi
