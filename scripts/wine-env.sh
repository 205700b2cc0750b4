# shellcheck shell=bash
# Wine plumbing for the end-to-end tests. Source this file; it only defines
# functions and sets nothing else.
#
#   qrw_wine_template DIR
#       Makes a 32-bit template prefix in DIR once (about 10 s); a second call
#       finds it complete and returns at once. Mono and Gecko are skipped and
#       the X11 driver runs unmanaged (without a window manager every window
#       close otherwise costs about 2 s).
#   qrw_wine_prefix TEMPLATE DIR
#       Replaces DIR with a copy of the template (cp -a, well under a second).
#   qrw_wine_start PREFIX / qrw_wine_stop PREFIX
#       Keeps the prefix's wineserver up for a suite / ends it.
#   qrw_wine PREFIX PROGRAM [ARGS...]
#       Runs a Windows program in the prefix (quiet, Mono/Gecko off).
#   qrw_wine_win98 PREFIX EXE_NAME
#       That executable (file name only) sees Windows 98 (GetVersionExA gives
#       platform id 1) and loads the WNASPI32.DLL that lies beside it instead
#       of Wine's own.
#   qrw_wine_cdrom PREFIX LETTER[=DEVICE]...
#       Maps each LETTER as a CD-ROM drive: GetDriveTypeA answers 5 and
#       \\.\X: opens DEVICE (a regular file served by the SG front, or a
#       directory, or nothing at all when DEVICE is omitted). Ends the prefix's
#       wineserver, because the mount manager keeps the letters it saw at
#       start: map letters before qrw_wine_start.
#   qrw_wine_vdrive_nt PREFIX FOLDER LETTER...
#       Gives each LETTER an SG device: an empty regular file FOLDER/sg-<letter>
#       mapped as that CD-ROM's device. With the SG front preloaded, the
#       scenario's drive of that letter answers \\.\X:.
#   qrw_wine_sg_preload SHIM
#       Prints the LD_PRELOAD value that puts the SG front (libqrw_vdrive_sg.so)
#       into every Wine process started with it.
#   qrw_wine_xvfb
#       Starts Xvfb on a free display unless DISPLAY already works; prints
#       "DISPLAY PID" (PID empty when nothing was started).
#   qrw_cleanup_at_exit
#       From now on, however the calling script ends (its end, an error, or
#       INT, TERM or HUP, as an abort or a time-out sends), it ends the
#       wineserver of every prefix given to qrw_cleanup_prefix and every
#       process given to qrw_cleanup_pid (the Xvfb of qrw_wine_xvfb), so that
#       nothing of the run stays behind.
#   qrw_cleanup_prefix PREFIX... / qrw_cleanup_pid PID...
#       Adds to what qrw_cleanup_at_exit ends.
#   qrw_wine_limited SECONDS PREFIX PROGRAM [ARGS...]
#       qrw_wine, ended after SECONDS: a test runner's own time-out kills the
#       script outright, and a killed script cleans up nothing, so scripts
#       run their programs under a shorter limit of their own.
#
# The virtual drive's own variables (read by the SG front and by WNASPI32.DLL,
# never by the program): QRW_VDRIVE_SCENARIO, QRW_VDRIVE_TRACE,
# QRW_VDRIVE_STATE (see tools/vdrive/session/README.md).

qrw_wine() {
  local prefix=$1
  shift
  WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} \
    WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=} wine "$@"
}

qrw_wine_server() {
  local prefix=$1
  shift
  WINEPREFIX=$prefix wineserver "$@"
}

qrw_wine_reg_import() {
  local prefix=$1 regfile=$2
  qrw_wine "$prefix" reg import "$regfile" >/dev/null 2>&1
}

qrw_wine_template() {
  local dir=$1
  mkdir -p "$(dirname "$dir")"
  # Suites started at the same time wait for the one that makes it.
  (
    flock 9
    [ -f "$dir/.qrw-template-ready" ] && exit 0
    rm -rf "$dir"
    qrw_wine "$dir" wineboot -i >/dev/null 2>&1 || exit 1
    # Debian's Wine does not find the TrueType fonts of its own data folder
    # (fonts-wine): without Marlett the title bar's buttons are drawn as the
    # letters "0", "1" and "r", and captions fall back to another face.
    # Fonts in the prefix's Fonts folder are always loaded.
    local font
    for font in /usr/share/wine/fonts/*.ttf; do
      [ -f "$font" ] && cp "$font" "$dir/drive_c/windows/Fonts/"
    done
    cat >"$dir/qrw-x11.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
    qrw_wine_reg_import "$dir" "$dir/qrw-x11.reg" || exit 1
    rm -f "$dir/qrw-x11.reg"
    # The registry reaches its files only when the server ends.
    qrw_wine_stop "$dir"
    touch "$dir/.qrw-template-ready"
  ) 9>"$dir.lock"
}

qrw_wine_prefix() {
  local template=$1 dir=$2
  [ -d "$dir" ] && qrw_wine_stop "$dir"
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  cp -a "$template" "$dir"
  rm -f "$dir/.qrw-template-ready"
}

qrw_wine_start() {
  qrw_wine_server "$1" -p
}

qrw_wine_stop() {
  qrw_wine_server "$1" -k 2>/dev/null || true
  qrw_wine_server "$1" -w 2>/dev/null || true
}

qrw_wine_win98() {
  local prefix=$1 exe=$2
  local regfile
  regfile=$(mktemp "$prefix/qrw-win98-XXXXXX.reg")
  cat >"$regfile" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\$exe]
"Version"="win98"

[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\$exe\\DllOverrides]
"wnaspi32"="native,builtin"
EOF
  qrw_wine_reg_import "$prefix" "$regfile"
  local rc=$?
  rm -f "$regfile"
  return $rc
}

qrw_wine_cdrom() {
  local prefix=$1
  shift
  local regfile mapping letter device
  regfile=$(mktemp "$prefix/qrw-cdrom-XXXXXX.reg")
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n' >"$regfile"
  for mapping in "$@"; do
    letter=${mapping%%=*}
    letter=${letter,,}
    printf '"%s:"="cdrom"\n' "$letter" >>"$regfile"
    # The letter's root folder makes the drive show in GetLogicalDriveStrings;
    # the double-colon link is the device that \\.\X: opens.
    mkdir -p "$prefix/qrw-cdrom-$letter"
    ln -sfn "../qrw-cdrom-$letter" "$prefix/dosdevices/$letter:"
    rm -f "$prefix/dosdevices/$letter::"
    device=
    [[ $mapping == *=* ]] && device=${mapping#*=}
    [ -n "$device" ] && ln -sfn "$device" "$prefix/dosdevices/$letter::"
  done
  qrw_wine_reg_import "$prefix" "$regfile"
  local rc=$?
  rm -f "$regfile"
  qrw_wine_stop "$prefix"
  return $rc
}

qrw_wine_vdrive_nt() {
  local prefix=$1 folder=$2
  shift 2
  local letter mappings=()
  mkdir -p "$folder"
  for letter in "$@"; do
    letter=${letter,,}
    : >"$folder/sg-$letter"
    mappings+=("$letter=$folder/sg-$letter")
  done
  qrw_wine_cdrom "$prefix" "${mappings[@]}"
}

qrw_wine_sg_preload() {
  local shim=$1
  # Through ld.so's $LIB the 64-bit processes of the run (Wine's shell
  # scripts) find the empty namesake built beside the 32-bit shim.
  local arch_dir=/lib/i386-linux-gnu
  local dir top
  dir=$(dirname "$shim")
  if [ "${dir%"$arch_dir"}" != "$dir" ]; then
    top=${dir%"$arch_dir"}
    # ld.so splits LD_PRELOAD at blanks and colons, with no escape: a build
    # folder whose path holds one is named through a link of its own.
    if [[ $top == *[[:space:]:]* ]]; then
      local link
      link=/tmp/qrw-sg-front-$(printf '%s' "$top" | sha256sum | cut -c1-16)
      ln -sfn "$top" "$link" || return 1
      top=$link
    fi
    shim="$top/\$LIB/$(basename "$shim")"
  fi
  if [ -n "${LD_PRELOAD:-}" ]; then
    printf '%s:%s\n' "$shim" "$LD_PRELOAD"
  else
    printf '%s\n' "$shim"
  fi
}

qrw_wine_xvfb() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    printf '%s \n' "$DISPLAY"
    return 0
  fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    local pid=$!
    local i
    for i in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { printf ':%s %s\n' "$n" "$pid"; return 0; }
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
  done
  return 1
}

qrw_cleanup_prefixes=()
qrw_cleanup_pids=()

qrw_cleanup_prefix() { qrw_cleanup_prefixes+=("$@"); }
qrw_cleanup_pid() {
  local pid
  for pid in "$@"; do [ -n "$pid" ] && qrw_cleanup_pids+=("$pid"); done
  return 0
}

qrw_cleanup_run() {
  local prefix pid
  for prefix in "${qrw_cleanup_prefixes[@]}"; do qrw_wine_stop "$prefix"; done
  for pid in "${qrw_cleanup_pids[@]}"; do kill "$pid" 2>/dev/null; done
  qrw_cleanup_prefixes=()
  qrw_cleanup_pids=()
}

qrw_cleanup_at_exit() {
  trap 'qrw_cleanup_run' EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# The program runs as a background job that the script waits for: bash runs
# a trap only once the foreground command has ended, but it interrupts a
# wait at once.
qrw_wine_limited() {
  local seconds=$1 prefix=$2
  shift 2
  WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} \
    WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=} \
    timeout --kill-after=10 "$seconds" wine "$@" <&0 &
  local job=$!
  qrw_cleanup_pid "$job"
  wait "$job"
}
