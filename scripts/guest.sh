#!/usr/bin/env bash
# A QEMU guest whose kernel runs 32-bit programs, for machines whose own
# kernel cannot (see scripts/machine.sh). It runs one command with the host's
# folders shared at their own paths and ends with that command's status.
#
#   scripts/guest.sh image
#       Makes the guest's root image once (Debian from the mirror apt is
#       configured with, its kernel, Wine and Xvfb) and prints its folder.
#       Kept in QRW_GUEST_CACHE (default /var/cache/qrwflash) under a name
#       made from scripts/guest/packages.txt and the way it is made, so that
#       a changed list makes a new one (which then replaces the old).
#   scripts/guest.sh run [--share DIR]... [--scratch DIR]... [--env NAME]...
#                        [--device SPEC]... [--drive SPEC]... [--trace EVENT]...
#                        [--trace-file FILE] [--seconds N] -- COMMAND [ARGS...]
#       Boots the guest (TCG: no KVM is needed), shares the repository and
#       every --share folder at the same path, puts an empty folder of a disk
#       of the guest's own over each --scratch folder (gone when the guest
#       ends), passes the named environment variables, runs COMMAND
#       in the current folder, prints what it prints and ends with its status.
#       The guest ends after N seconds (QRW_GUEST_SECONDS, default 3600)
#       whatever it is doing, and always when this script ends. A guest that
#       cannot start, boot or mount ends with status 125 and one line
#       "guest: REASON", followed by the tail of the guest's console.
#
# For the tests of this script: QRW_GUEST_QEMU names the QEMU program,
# QRW_GUEST_IMAGE an image folder to boot instead of the cached one,
# QRW_GUEST_APPEND more kernel arguments, QRW_GUEST_BOOT_SECONDS the time
# the guest has to boot (default 180).
#
# Needs root (the image is made with mmdebstrap, the shares keep owners):
# started by another user, it starts itself again through sudo.
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "guest: the guest needs root, and there is no sudo" >&2; exit 125; }
  exec sudo -E "$0" "$@"
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${QRW_GUEST_CACHE:-/var/cache/qrwflash}

fault() {
  echo "guest: $*" >&2
  exit 125
}

# The Debian release and its mirrors, as apt is configured on this machine:
# one "deb URI SUITE COMPONENTS" line per suite of this release.
mirror_lines() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' 2>/dev/null |
    awk -v c="$codename" '$2 == c || index($2, c "-") == 1 { key = $1 " " $2
        if (!(key in seen)) { order[++n] = key; seen[key] = "" }
        if (index(" " seen[key] " ", " " $3 " ") == 0) seen[key] = seen[key] " " $3 }
      END { for (i = 1; i <= n; i++) print "deb " order[i] seen[order[i]] }'
}

# The image depends on the package list and on how it is made (the stub
# below); the guest's real first process comes from the run's share.
image_recipe=3
image_key() {
  { cat "$root/scripts/guest/packages.txt"; echo "$image_recipe"; } | sha256sum | cut -c1-16
}

# The root's first process: mounts the run's share (always the first, qrw0,
# at the path given as qrw.run) and hands over to scripts/guest/init there.
stub_init='#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
for arg in $(cat /proc/cmdline); do case $arg in qrw.run=*) run=${arg#qrw.run=} ;; esac; done
modprobe 9pnet_virtio; modprobe 9p
mkdir -p "$run"
mount -t 9p -o trans=virtio,version=9p2000.L qrw0 "$run" && exec /bin/sh "$run/init"
echo "qrw-guest: the run share could not be mounted" >/dev/console
echo o >/proc/sysrq-trigger
sleep 30'


# Prints the folder of a complete image, making it first if need be.
image() {
  local dir=$cache/guest-$(image_key)
  if [ -f "$dir/ready" ]; then
    echo "$dir"
    return 0
  fi
  mkdir -p "$cache" || fault "cannot make the cache folder $cache"
  (
    flock 9
    [ -f "$dir/ready" ] && exit 0
    make_image "$dir"
  ) 9>"$cache/.lock" || exit $?
  echo "$dir"
}

make_image() {
  local dir=$1
  command -v mmdebstrap >/dev/null || fault "mmdebstrap is not installed (scripts/install-deps.sh installs it)"
  command -v mke2fs >/dev/null || fault "mke2fs is not installed (e2fsprogs)"
  local -a mirrors
  mapfile -t mirrors < <(mirror_lines)
  [ ${#mirrors[@]} -gt 0 ] ||
    fault "apt names no Debian mirror for this release (run apt-get update first)"
  local suite
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  local pkgs
  pkgs=$(grep -v '^#' "$root/scripts/guest/packages.txt" | xargs | tr ' ' ',')

  # Never into what mmdebstrap may have left mounted there.
  rm -rf --one-file-system "$dir"
  mkdir -p "$dir"
  local tree=$dir/tree started=$SECONDS
  printf '%s\n' "$stub_init" >"$dir/stub-init"
  echo "guest: making the root image in $dir (a few minutes, once)" >&2
  if ! mmdebstrap --mode=root --variant=apt --architectures=amd64,i386 \
      --include="$pkgs" \
      --essential-hook='mkdir -p "$1/etc/initramfs-tools/conf.d" && echo MODULES=most >"$1/etc/initramfs-tools/conf.d/qrw"' \
      --customize-hook="upload $dir/stub-init /sbin/qrw-guest-init" \
      --customize-hook='chmod 755 "$1/sbin/qrw-guest-init"' \
      "$suite" "$tree" "${mirrors[@]}" >"$dir/mmdebstrap.log" 2>&1; then
    tail -20 "$dir/mmdebstrap.log" >&2
    rm -rf --one-file-system "$tree"
    fault "the root could not be made from the Debian mirror (log above)"
  fi
  local kernel initrd
  kernel=$(ls "$tree"/boot/vmlinuz-* 2>/dev/null | sort -V | tail -1)
  initrd=$(ls "$tree"/boot/initrd.img-* 2>/dev/null | sort -V | tail -1)
  [ -n "$kernel" ] && [ -n "$initrd" ] || fault "the root has no kernel or no initial RAM disk"
  cp "$kernel" "$dir/vmlinuz"
  cp "$initrd" "$dir/initrd.img"
  # The folders the host shares in must be mount points in a read-write root.
  local size_mb
  size_mb=$(( $(du -sm "$tree" | cut -f1) + 1024 ))
  if ! mke2fs -q -t ext4 -L qrw-guest -d "$tree" "$dir/root.img" "${size_mb}M" >>"$dir/mmdebstrap.log" 2>&1; then
    fault "the root image could not be written (mke2fs)"
  fi
  rm -rf --one-file-system "$tree"
  touch "$dir/ready"
  echo "guest: root image made in $((SECONDS - started)) s" >&2
  # Images of other package lists are not wanted any more.
  local old
  for old in "$cache"/guest-*; do
    [ "$old" = "$dir" ] || rm -rf --one-file-system "$old"
  done
}

console_tail() {
  echo "guest: the console's last lines:" >&2
  tail -25 "$run_dir/console.log" | sed 's/^/  | /' >&2
}

# One run's QEMU and its folder: globals, so that the exit trap still finds
# them.
qemu_pid=""
run_dir=""

end_run() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
  [ -n "$run_dir" ] && rm -rf "$run_dir"
  qemu_pid="" run_dir=""
}

# What the job has written to job.log since the last call, printed: the
# count of bytes already printed is in job_shown. It returns once all of it
# has been written, however slowly the reader of this script's output takes it.
job_shown=0
show_job_output() {
  local size
  size=$(stat -c %s "$run_dir/job.log" 2>/dev/null) || return 0
  [ "$size" -gt "$job_shown" ] || return 0
  tail -c +$((job_shown + 1)) "$run_dir/job.log" | head -c $((size - job_shown))
  job_shown=$size
}

# A folder path inside one of QEMU's comma-separated options: a comma is
# written twice.
qemu_path() { printf '%s' "${1//,/,,}"; }

# A share's path as one word of the kernel's command line, which the guest
# splits on blanks: every byte outside [A-Za-z0-9/._+,:@=-] becomes \0NNN, its
# octal value, which the guest's printf %b turns back.
cmdline_path() {
  local path=$1 out="" c i
  local LC_ALL=C
  for ((i = 0; i < ${#path}; i++)); do
    c=${path:i:1}
    case $c in
      [A-Za-z0-9/._+,:@=-]) out+=$c ;;
      *) out+=$(printf '\\0%03o' "'$c") ;;
    esac
  done
  printf '%s' "$out"
}

# A fault once the guest has started: the reason, the console's tail.
guest_fault() {
  echo "guest: $*" >&2
  console_tail
  exit 125
}

run() {
  local -a shares=("$root") scratch=() envs=() machine=()
  local seconds=${QRW_GUEST_SECONDS:-3600} trace_file=""
  local -a trace_events=()
  while [ $# -gt 0 ]; do
    case $1 in
      --share) shares+=("$(realpath -m "$2")"); shift 2 ;;
      --scratch) scratch+=("$(realpath -m "$2")"); shift 2 ;;
      --env) envs+=("$2"); shift 2 ;;
      --seconds) seconds=$2; shift 2 ;;
      --device) machine+=(-device "$2"); shift 2 ;;
      --drive) machine+=(-drive "$2"); shift 2 ;;
      --trace) trace_events+=("$2"); shift 2 ;;
      --trace-file) trace_file=$(realpath -m "$2"); shift 2 ;;
      --) shift; break ;;
      *) fault "unknown option $1" ;;
    esac
  done
  [ $# -gt 0 ] || fault "no command to run"
  if [ ${#trace_events[@]} -gt 0 ] && [ -z "$trace_file" ]; then
    fault "--trace needs --trace-file"
  fi
  local qemu_program=${QRW_GUEST_QEMU:-qemu-system-x86_64}
  command -v "$qemu_program" >/dev/null ||
    fault "$qemu_program is not installed (scripts/install-deps.sh installs qemu-system-x86)"
  local share
  for share in "${shares[@]}"; do
    [ -d "$share" ] || fault "the folder to share does not exist: $share"
  done

  local img=${QRW_GUEST_IMAGE:-}
  [ -n "$img" ] || img=$(image) || exit $?
  local part
  for part in vmlinuz initrd.img root.img; do
    [ -f "$img/$part" ] || fault "the guest image in $img has no $part"
  done

  # However this script ends, the guest ends with it.
  trap end_run EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  run_dir=$(mktemp -d /tmp/qrw-guest-run.XXXXXX)
  : >"$run_dir/console.log"
  : >"$run_dir/job.log"
  cp "$root/scripts/guest/init" "$run_dir/init"
  {
    echo "set -u"
    printf 'cd %q || exit 126\n' "$PWD"
    local name d
    for name in "${envs[@]}"; do
      [ -n "${!name+x}" ] && printf 'export %s=%q\n' "$name" "${!name}"
    done
    if [ ${#scratch[@]} -gt 0 ]; then
      echo 'mkdir -p /scratch && mount /dev/vdb /scratch || exit 126'
    fi
    for d in "${scratch[@]}"; do
      printf 'mkdir -p %q /scratch%q && mount --bind /scratch%q %q || exit 126\n' "$d" "$d" "$d" "$d"
    done
    printf '%q ' "$@"
    echo
  } >"$run_dir/job.sh"

  # The kernel and the guest's first process talk on the serial port; the
  # job writes into job.log of the run's share.
  local -a qemu_args=(
    -accel tcg,thread=multi -cpu "${QRW_GUEST_CPU:-qemu64}" -smp "$(nproc)" -m "${QRW_GUEST_MEMORY:-6G}"
    -kernel "$img/vmlinuz" -initrd "$img/initrd.img"
    -drive "file=$(qemu_path "$img/root.img"),format=raw,if=virtio,snapshot=on"
    -nic none -display none -monitor none -no-reboot
    -serial "file:$(qemu_path "$run_dir/console.log")")
  if [ ${#scratch[@]} -gt 0 ]; then
    # A sparse disk: it takes room on the host only for what is written.
    mke2fs -q -t ext4 -L qrw-scratch "$run_dir/scratch.img" 64G >"$run_dir/mke2fs.log" 2>&1 ||
      fault "the scratch disk could not be made in $run_dir"
    qemu_args+=(-drive "file=$(qemu_path "$run_dir/scratch.img"),format=raw,if=virtio,cache=unsafe")
  fi
  # The run's own folder is the first share, at a place of its own in the
  # guest; the others keep their host paths.
  local append="root=/dev/vda rw console=ttyS0 quiet panic=-1 init=/sbin/qrw-guest-init qrw.run=/qrw-run"
  qemu_args+=(-virtfs "local,path=$(qemu_path "$run_dir"),mount_tag=qrw0,security_model=passthrough,id=qrw0")
  local i=1
  for share in "${shares[@]}"; do
    qemu_args+=(-virtfs "local,path=$(qemu_path "$share"),mount_tag=qrw$i,security_model=passthrough,id=qrw$i")
    append+=" qrw.share=qrw$i:$(cmdline_path "$share")"
    i=$((i + 1))
  done
  [ -n "${QRW_GUEST_APPEND:-}" ] && append+=" $QRW_GUEST_APPEND"
  qemu_args+=("${machine[@]}")
  if [ ${#trace_events[@]} -gt 0 ]; then
    local event
    for event in "${trace_events[@]}"; do qemu_args+=(-trace "$event"); done
    : >"$trace_file" || fault "cannot write the trace file $trace_file"
    qemu_args+=(-D "$trace_file")
  fi

  "$qemu_program" "${qemu_args[@]}" -append "$append" </dev/null >"$run_dir/qemu.log" 2>&1 &
  qemu_pid=$!

  local started=$SECONDS boot_limit=${QRW_GUEST_BOOT_SECONDS:-180}
  until grep -q '^qrw-guest: job begins' "$run_dir/console.log"; do
    if ! kill -0 "$qemu_pid" 2>/dev/null; then
      wait "$qemu_pid" 2>/dev/null
      qemu_pid=""
      sed 's/^/  | /' "$run_dir/qemu.log" >&2
      # The guest's own word on why, if it said one.
      local said
      said=$(grep '^qrw-guest: ' "$run_dir/console.log" | tail -1)
      [ -n "$said" ] && guest_fault "${said#qrw-guest: }"
      guest_fault "QEMU ended before the guest ran its job"
    fi
    [ $((SECONDS - started)) -lt "$boot_limit" ] || guest_fault "the guest did not boot within $boot_limit s"
    sleep 0.2
  done
  echo "guest: booted in $((SECONDS - started)) s" >&2

  # What the job prints, as it prints it; once QEMU has ended (the guest
  # synced its disks first), all the rest.
  local limit=$((started + seconds))
  while kill -0 "$qemu_pid" 2>/dev/null; do
    show_job_output
    [ "$SECONDS" -lt "$limit" ] || guest_fault "the job did not end within $seconds s; the guest was ended"
    sleep 0.5
  done
  wait "$qemu_pid" 2>/dev/null
  qemu_pid=""
  show_job_output
  [ -f "$run_dir/status" ] || guest_fault "the guest stopped before its job ended"
  local status
  status=$(cat "$run_dir/status")
  return "$status"
}

case ${1:-} in
  image) image ;;
  run) shift; run "$@" ;;
  *) echo "usage: scripts/guest.sh image | run [--share DIR]... [--scratch DIR]... [--env NAME]... [--device SPEC]... [--drive SPEC]... [--trace EVENT]... [--trace-file FILE] [--seconds N] -- COMMAND..." >&2; exit 2 ;;
esac
