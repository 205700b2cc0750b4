# Shared by the qrwflash tests: a device tree of their own under a work
# folder, with files the virtual drive's native SG front serves as nodes.
# Needs QRWFLASH, QRW_NT_REFERENCE, QRW_SG_FRONT and QRW_TEST_WORK.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../checks.sh"

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
  nodes="${nodes:+$nodes:}$case_dir/root/dev/$1"
}

# ld.so splits LD_PRELOAD at blanks, with no way around it: the front is
# preloaded by its name and found through LD_LIBRARY_PATH, which a folder
# with blanks may be part of.
front_dir=$(dirname "$QRW_SG_FRONT")
front_name=$(basename "$QRW_SG_FRONT")

# run_qrwflash ARGS...: qrwflash in $case_dir with the front preloaded;
# output in $case_dir/out.txt, status in $status. Its input is the file
# $stdin names, /dev/null when none.
run_qrwflash() {
  (cd "$case_dir" && QRW_VDRIVE_SCENARIO="$case_dir/scenario.txt" QRW_VDRIVE_TRACE="$case_dir/trace.txt" \
  QRW_VDRIVE_SG_NODES="${nodes:-}" QRWFLASH_ROOT="$case_dir/root" \
  ASAN_OPTIONS=verify_asan_link_order=0 LD_LIBRARY_PATH="$front_dir" LD_PRELOAD="$front_name" \
    "$QRWFLASH" "$@" > "$case_dir/out.txt" 2>&1 < "${stdin:-/dev/null}")
  status=$?
}


# ---- runs under a pseudo-terminal (tmux on a server of this test's own) ----
tmux_socket="qrwflash-test-$$"
tmux_stop() { tmux -L "$tmux_socket" kill-server 2>/dev/null || true; }
trap tmux_stop EXIT

# tty_start ARGS...: qrwflash in a 150x50 terminal; the status lands in
# $case_dir/status when it ends.
tty_start() {
  local runner="$case_dir/run.sh"
  {
    echo "#!/usr/bin/env bash"
    printf 'cd %q\n' "$case_dir"
    printf 'export QRW_VDRIVE_SCENARIO=%q QRW_VDRIVE_TRACE=%q QRW_VDRIVE_SG_NODES=%q\n' \
      "$case_dir/scenario.txt" "$case_dir/trace.txt" "${nodes:-}"
    printf 'export QRWFLASH_ROOT=%q ASAN_OPTIONS=verify_asan_link_order=0 LD_LIBRARY_PATH=%q LD_PRELOAD=%q\n' \
      "$case_dir/root" "$front_dir" "$front_name"
    printf "%q " ${tty_prefix[@]+"${tty_prefix[@]}"} "$QRWFLASH"; printf " %q" "$@"; echo
    printf 'echo $? > %q\n' "$case_dir/status"
    echo "sleep 600"
  } > "$runner"
  chmod 755 "$runner"
  rm -f "$case_dir/status"
  tmux -L "$tmux_socket" kill-session -t qrw 2>/dev/null
  # tmux hands its command to the shell: the runner's path quoted.
  tmux -L "$tmux_socket" -f /dev/null new-session -d -s qrw -x 150 -y 50 "$(printf '%q' "$runner")"
}

tty_screen() { tmux -L "$tmux_socket" capture-pane -p -J -S -300 -t qrw; }

# tty_wait TEXT: until the screen shows TEXT (at most 20 s).
tty_wait() {
  for _ in $(seq 1 200); do
    tty_screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  echo "    (waited in vain for \"$1\"; the screen:)"; tty_screen | sed 's/^/    /' | tail -30
  return 1
}

# trace_wait PATTERN: until the drive's trace holds a line matching it.
trace_wait() {
  for _ in $(seq 1 200); do
    grep -qE -- "$1" "$case_dir/trace.txt" && return 0
    sleep 0.1
  done
  return 1
}

tty_keys() { tmux -L "$tmux_socket" send-keys -t qrw "$@"; }

# tty_end: waits for the program to end; its screen in $case_dir/screen.txt
# and its status in $status.
tty_end() {
  for _ in $(seq 1 300); do
    [ -s "$case_dir/status" ] && break
    sleep 0.1
  done
  tty_screen > "$case_dir/screen.txt"
  status=$(cat "$case_dir/status" 2>/dev/null || echo none)
  tmux -L "$tmux_socket" kill-session -t qrw 2>/dev/null
}
