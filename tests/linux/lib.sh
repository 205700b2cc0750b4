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

# one_drive CASE [SCENARIO LINES...]: a new case with one QRW-20410C at 1.00
# on /dev/sg0.
one_drive() {
  nodes=""
  new_case "$1"; shift
  { echo "[drive QRW]"; echo "letter = E"; [ $# -eq 0 ] || printf '%s\n' "$@"; } > "$case_dir/scenario.txt"
  add_node sg0 5
}

# flash_programs KIND FOLDER: the NT reference's files of KIND ("new": the
# flash program; "bad": the damaged and foreign ones besides) made anew in
# FOLDER; $P is its flash program.
flash_programs() {
  rm -rf "$2" && mkdir -p "$2"
  "$QRW_NT_REFERENCE" "$1" "$2" > /dev/null || fail "the reference's $1 files were not made"
  P="$2/PROGRAM.EXE"
}

# ---- a system bus of the test's own, with a stand-in for logind ----------
# A flash holds a logind inhibitor lock. Every run gets a bus (dbus-daemon)
# with the stand-in on it, as a desktop has, started at the first run; a
# test names another address in QRW_BUS_ADDRESS (a path where nothing
# listens: no bus). The stand-in's record is $bus_dir/logind.txt; the
# trace it counts WRITE BUFFER commands in is the current case's.
bus_dir=""
bus_pids=()

bus_stop() {
  [ ${#bus_pids[@]} -eq 0 ] || { kill "${bus_pids[@]}" 2>/dev/null; wait "${bus_pids[@]}" 2>/dev/null; }
  bus_pids=()
  [ -z "$bus_dir" ] || rm -rf "$bus_dir"
  bus_dir=""
}

# bus_start [--refuse]: a new bus and stand-in (--refuse: Inhibit answers
# with an error).
bus_start() {
  bus_stop
  bus_dir=$(mktemp -d /tmp/qrw-bus.XXXXXX)
  cat > "$bus_dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$bus_dir/socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  : > "$bus_dir/logind.txt"
  # Bounded in time, should the test itself be ended without its traps.
  timeout 1800 dbus-daemon --config-file="$bus_dir/bus.conf" --nofork --nopidfile &
  bus_pids+=($!)
  for _ in $(seq 1 100); do [ -S "$bus_dir/socket" ] && break; sleep 0.1; done
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$bus_dir/socket" \
    timeout 1800 "$QRW_LOGIND_STANDIN" "$bus_dir/logind.txt" "$bus_dir/trace.txt" "$@" &
  bus_pids+=($!)
  for _ in $(seq 1 100); do grep -qx ready "$bus_dir/logind.txt" && return 0; sleep 0.1; done
  fail "the test's logind stand-in did not start"
}

# bus_for_case: the bus (started if need be) and its trace link for $case_dir.
bus_for_case() {
  [ -n "$bus_dir" ] || bus_start
  ln -sfn "$case_dir/trace.txt" "$bus_dir/trace.txt"
  bus_address=${QRW_BUS_ADDRESS:-unix:path=$bus_dir/socket}
}
# ld.so splits LD_PRELOAD at blanks, with no way around it: the front is
# preloaded by its name and found through LD_LIBRARY_PATH, which a folder
# with blanks may be part of.
front_dir=$(dirname "$QRW_SG_FRONT")
front_name=$(basename "$QRW_SG_FRONT")

# run_qrwflash ARGS...: qrwflash in $case_dir with the front preloaded;
# output in $case_dir/out.txt (its error stream too, unless $stderr_file
# names a file of its own), status in $status. Its input is the file $stdin
# names, /dev/null when none. Both streams append, so that the lines of one
# file keep their order.
run_qrwflash() {
  bus_for_case
  : > "$case_dir/out.txt"
  [ -z "${stderr_file:-}" ] || : > "$stderr_file"
  (cd "$case_dir" && QRW_VDRIVE_SCENARIO="$case_dir/scenario.txt" QRW_VDRIVE_TRACE="$case_dir/trace.txt" \
  QRW_VDRIVE_SG_NODES="${nodes:-}" QRWFLASH_ROOT="$case_dir/root" DBUS_SYSTEM_BUS_ADDRESS="$bus_address" \
  ASAN_OPTIONS=verify_asan_link_order=0 LD_LIBRARY_PATH="$front_dir" LD_PRELOAD="$front_name" \
    "$QRWFLASH" "$@" >> "$case_dir/out.txt" 2>> "${stderr_file:-$case_dir/out.txt}" < "${stdin:-/dev/null}")
  status=$?
}


# ---- runs under a pseudo-terminal (tmux on a server of this test's own) ----
tmux_socket="qrwflash-test-$$"
tmux_stop() { tmux -L "$tmux_socket" kill-server 2>/dev/null || true; }
trap 'tmux_stop; bus_stop' EXIT

# tty_start ARGS...: qrwflash in a 150x50 terminal (tty_width columns, when
# set; the drive's release file QRW_VDRIVE_RELEASE, when set); the status
# lands in $case_dir/status when it ends.
tty_start() {
  local runner="$case_dir/run.sh"
  bus_for_case
  {
    echo "#!/usr/bin/env bash"
    printf 'cd %q\n' "$case_dir"
    printf 'export QRW_VDRIVE_SCENARIO=%q QRW_VDRIVE_TRACE=%q QRW_VDRIVE_SG_NODES=%q\n' \
      "$case_dir/scenario.txt" "$case_dir/trace.txt" "${nodes:-}"
    printf 'export QRWFLASH_ROOT=%q ASAN_OPTIONS=verify_asan_link_order=0 LD_LIBRARY_PATH=%q LD_PRELOAD=%q\n' \
      "$case_dir/root" "$front_dir" "$front_name"
    printf 'export DBUS_SYSTEM_BUS_ADDRESS=%q\n' "$bus_address"
    [ -z "${QRW_VDRIVE_RELEASE:-}" ] || printf 'export QRW_VDRIVE_RELEASE=%q\n' "$QRW_VDRIVE_RELEASE"
    printf "%q " ${tty_prefix[@]+"${tty_prefix[@]}"} "$QRWFLASH"; printf " %q" "$@"; echo
    printf 'echo $? > %q\n' "$case_dir/status"
    echo "sleep 600"
  } > "$runner"
  chmod 755 "$runner"
  rm -f "$case_dir/status"
  tmux -L "$tmux_socket" kill-session -t qrw 2>/dev/null
  # tmux hands its command to the shell: the runner's path quoted.
  tmux -L "$tmux_socket" -f /dev/null new-session -d -s qrw -x "${tty_width:-150}" -y 50 "$(printf '%q' "$runner")"
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
