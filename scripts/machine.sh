# shellcheck shell=bash
# Can this machine run 32-bit x86 programs, and so Wine? Source this file.
#
#   qrw_runs_32bit PROBE [RUNNER...]
#       Runs the 32-bit probe (tools/machine/probe32.c, built as
#       <build>/tools/machine/probe32), through RUNNER if one is given (the
#       tests pass qemu-i386). Returns 0 when the kernel runs it natively;
#       otherwise returns 1 and sets qrw_32bit_reason to one line saying why,
#       for example "this machine cannot run 32-bit programs (the kernel's
#       32-bit emulation is off)".
#
# The probe prints the machine name the kernel gives a 32-bit process. A
# 64-bit kernel answers as it does to a 64-bit process; a user-mode emulator
# registered for i386 programs through binfmt_misc runs the probe too, but
# answers for the processor it emulates, and Wine does not survive it.
#
# QRW_GUEST=force makes every machine answer as one that cannot (the Windows
# suites then run in the QEMU guest, and the demo flashes from Linux).
# For the tests, QRW_PROBE32_RUNNER names a runner for the callers that give
# none (qemu-i386: any machine answers as one with a user-mode emulator).

qrw_32bit_reason=""

qrw_runs_32bit() {
  local probe=$1
  shift
  [ $# -eq 0 ] && [ -n "${QRW_PROBE32_RUNNER:-}" ] && set -- "$QRW_PROBE32_RUNNER"
  qrw_32bit_reason=""
  if [ "${QRW_GUEST:-auto}" = force ]; then
    qrw_32bit_reason="this machine is taken as one that cannot run 32-bit programs (QRW_GUEST=force)"
    return 1
  fi
  if [ ! -x "$probe" ]; then
    qrw_32bit_reason="this machine's 32-bit probe was not built ($probe)"
    return 1
  fi
  local answer status
  answer=$("$@" "$probe" 2>&1)
  status=$?
  if [ $status -ne 0 ]; then
    case $answer in
      *"Exec format error"*|*"cannot execute binary file"*)
        qrw_32bit_reason="this machine cannot run 32-bit programs (the kernel's 32-bit emulation is off)" ;;
      *)
        qrw_32bit_reason="this machine cannot run 32-bit programs (the 32-bit probe failed: ${answer//$'\n'/ })" ;;
    esac
    return 1
  fi
  local native
  native=$(uname -m)
  if [ "$answer" != "$native" ]; then
    qrw_32bit_reason="this machine cannot run 32-bit programs natively (a user-mode emulator answers for them as \"$answer\" on this $native kernel, and Wine does not run under it)"
    return 1
  fi
  return 0
}
