# shellcheck shell=bash
# The demo's flash from Linux, sourced by scripts/demo.sh (which sets root,
# cross, linux, jobs, demo, drive_lines and summary, and reads linux_status,
# qrwflash's exit status, afterwards): qrwflash flashes
# 1.10.EXE into the virtual drive, a QRW-20410C at 1.00 on /dev/sg1 of a
# device tree of the demo's own, served by the virtual drive's native SG
# front (preloaded, as in the tests). The drive keeps what it received in a
# journal, so the listing afterwards shows the revision it then reports.

cmake -S "$root" -B "$linux" -G Ninja >/dev/null
cmake --build "$linux" -j"$jobs" --target qrwflash qrw_vdrive_sg_native

work=$demo/linux
shots=$demo/screenshots
rm -rf "$work" "$shots"
mkdir -p "$work/root/dev" "$work/root/sys/class/scsi_generic/sg1/device" "$shots"
echo 5 >"$work/root/sys/class/scsi_generic/sg1/device/type"  # a CD-ROM
: >"$work/root/dev/sg1"
cp "$cross/bin/1.10.EXE" "$work/"
printf '%s\n' "$drive_lines" >"$work/scenario.txt"
: >"$work/trace.txt"

# The environment of every qrwflash run of the demo, as a shell line.
qrw_env=$(printf 'QRW_VDRIVE_SCENARIO=%q QRW_VDRIVE_TRACE=%q QRW_VDRIVE_STATE=%q ' \
            "$work/scenario.txt" "$work/trace.txt" "$work/state"
          printf 'QRW_VDRIVE_SG_NODES=%q QRWFLASH_ROOT=%q ' "$work/root/dev/sg1" "$work/root"
          # By name through LD_LIBRARY_PATH: ld.so splits LD_PRELOAD at blanks.
          printf 'LD_LIBRARY_PATH=%q LD_PRELOAD=libqrw_vdrive_sg_native.so ASAN_OPTIONS=verify_asan_link_order=0' \
            "$linux/tools/vdrive/sg")
qrwflash_line() {  # the command line that runs qrwflash ARGS... in the demo
  printf 'cd %q && env %s %q' "$work" "$qrw_env" "$linux/tools/qrwflash/qrwflash"
  printf ' %q' "$@"
}

echo
echo "\$ qrwflash drives 1.10.EXE"
bash -c "$(qrwflash_line drives 1.10.EXE)"

echo "\$ sudo qrwflash flash 1.10.EXE"
status=0
if [ -t 0 ] && [ -t 1 ] && [ -z "${CI:-}" ]; then
  # A person at the terminal answers; script(1) keeps a recording.
  echo "(answer y to the warning and y to the update)"
  script -q -e -c "$(qrwflash_line flash 1.10.EXE)" "$shots/terminal.txt" || status=$?
else
  # tmux is the terminal: the bar is drawn as a person sees it, and the
  # answers are typed at the prompts.
  socket=qrw-demo-$$
  tmux_screen() { tmux -L "$socket" capture-pane -p -J -S -300 -t demo; }
  tmux_wait() {  # tmux_wait TEXT: until the screen shows it, at most 30 s
    local _
    for _ in $(seq 300); do
      tmux_screen | grep -qF -- "$1" && return 0
      sleep 0.1
    done
    echo "demo: the terminal never showed \"$1\"; it shows:" >&2
    tmux_screen >&2
    return 1
  }
  trap 'tmux -L "$socket" kill-server 2>/dev/null' EXIT
  runner=$work/run.sh
  printf '%s\necho $? >%q\nsleep 600\n' "$(qrwflash_line flash 1.10.EXE)" "$work/status" >"$runner"
  tmux -L "$socket" -f /dev/null new-session -d -s demo -x 100 -y 40 "bash $(printf %q "$runner")"
  tmux_wait "Do you wish to continue?" && tmux -L "$socket" send-keys -t demo y Enter
  tmux_wait "FW:1.10 ?" && tmux -L "$socket" send-keys -t demo y Enter
  for _ in $(seq 600); do
    [ -s "$work/status" ] && break
    sleep 0.1
  done
  # The screen without the blank rows below the last line.
  tmux_screen | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >"$shots/terminal.txt"
  tmux -L "$socket" kill-server 2>/dev/null
  trap - EXIT
  status=$(cat "$work/status" 2>/dev/null || echo 1)
  cat "$shots/terminal.txt"
  # The same screen as a picture, light text on a dark terminal.
  if command -v convert >/dev/null; then
    screen_text=$(echo "\$ sudo qrwflash flash 1.10.EXE"; sed -e 's/\\/\\\\/g' -e 's/%/%%/g' "$shots/terminal.txt")
    convert -background '#1e1e1e' -fill '#e0e0e0' -font DejaVu-Sans-Mono -pointsize 14 \
      -bordercolor '#1e1e1e' -border 12 label:"$screen_text" "$shots/terminal.png" 2>/dev/null ||
      echo "demo: the terminal's picture could not be made (ImageMagick)" >&2
  fi
fi

echo "\$ qrwflash drives 1.10.EXE"
bash -c "$(qrwflash_line drives 1.10.EXE)" || true  # 3 when no drive is accepted
echo
summary "$work/trace.txt"
echo "Screenshots: $shots/"
ls -1 "$shots"
linux_status=$status
[ "$status" = 0 ] || echo "demo: qrwflash ended with status $status" >&2
