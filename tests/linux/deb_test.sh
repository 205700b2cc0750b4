#!/usr/bin/env bash
# The Debian package: made by cpack in the native build folder, its files and
# dependencies read with dpkg-deb, checked by lintian, installed with dpkg -i, its programs and
# manual page run from the installed place, removed again. Changes the
# system, so it runs as root (as CI does), and leaves it as it found it
# however it ends: what was installed before is kept, what it installs
# (the package, man-db and what man-db pulls in) is removed again.
#
# ctest ends a test that outlives its TIMEOUT with SIGKILL, which leaves no
# chance to clean up: so the test ends itself first, by TERM from timeout
# (which the trap below turns into the clean-up), and has 300 s more for it.
if [ -z "${QRW_DEB_TEST_BOUNDED:-}" ]; then
  QRW_DEB_TEST_BOUNDED=1 exec timeout -k 300 ${QRW_DEB_TEST_SECONDS:-850} bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
build=$QRW_BUILD_DIR

if [ "$(id -u)" -ne 0 ]; then
  fail "the package test installs a package: run it as root"
  finish
  exit 1
fi

# dpkg waits for nobody: another package tool at work holds its lock.
dpkg_retry() {
  for _ in $(seq 1 60); do
    "$@" 2> "$QRW_TEST_WORK/dpkg.err" && return 0
    grep -q "lock" "$QRW_TEST_WORK/dpkg.err" || { cat "$QRW_TEST_WORK/dpkg.err"; return 1; }
    sleep 5
  done
  return 1
}

mkdir -p "$QRW_TEST_WORK"
rm -f "$build"/package/qrwflash_*.deb
(cd "$build" && cpack -G DEB > "$QRW_TEST_WORK/cpack.log" 2>&1) || { cat "$QRW_TEST_WORK/cpack.log"; fail "cpack"; }
deb=$(ls "$build"/package/qrwflash_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] && pass "cpack made $(basename "$deb")" || { fail "no package"; finish; exit 1; }

expect_eq "the files" \
"./usr/bin/qrwflash
./usr/bin/qrwpack
./usr/share/doc/qrwflash/changelog.gz
./usr/share/doc/qrwflash/copyright
./usr/share/lintian/overrides/qrwflash
./usr/share/man/man1/qrwflash.1.gz
./usr/share/man/man1/qrwpack.1.gz" "$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sort)"
expect_eq "the trusted keys' folder, empty" "./etc/qrwflash/trusted.d/" \
  "$(dpkg-deb -c "$deb" | awk '{print $6}' | grep '^./etc/qrwflash/trusted.d')"
# Debian's own checks: not one error, warning or other note but the
# informational ones (lintian takes the system's own typed texts in the
# programs for spelling slips). Its notice about running as root goes to
# stderr.
lintian --fail-on error,warning "$deb" > "$QRW_TEST_WORK/lintian.txt" 2> "$QRW_TEST_WORK/lintian.err"
expect_eq "lintian: exit status" 0 "$?"
expect_eq "lintian: its report" "" "$(cat "$QRW_TEST_WORK/lintian.txt")"
expect_eq "the version is the project's" "$QRW_VERSION" "$(dpkg-deb -f "$deb" Version)"
expect_eq "the changelog's version is the project's" "qrwflash ($QRW_VERSION) unstable; urgency=medium" \
  "$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/qrwflash/changelog.gz | gzip -dc | head -1)"
expect_eq "package name" "qrwflash" "$(dpkg-deb -f "$deb" Package)"
expect_eq "depends on what the programs link, and no sanitizer runtime" \
  "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libsodium23 (>= 1.0.14), libstdc++6 (>= 11), libsystemd0 (>= 222)" "$(dpkg-deb -f "$deb" Depends)"
dpkg-deb -I "$deb" > "$QRW_TEST_WORK/info.txt"
expect_contains "control: section" "$QRW_TEST_WORK/info.txt" "Section: utils"

was_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
# known PACKAGE: whether dpkg holds anything of it (a removed package's
# configuration files, say), which its removal then keeps.
known() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -qv "not-installed$"; }
if was_installed qrwflash; then fail "qrwflash is installed already; the test does not touch it"; finish; exit 1; fi

# What this test adds, and how each goes again: "purge" for a package dpkg
# knew nothing of, "remove" for one whose configuration files it kept.
added=()
undo() { if known "$1"; then added+=("remove $1"); else added+=("purge $1"); fi; }
# restore: takes away what the test added, once, whatever stopped it; a
# second TERM does not cut it short.
restore() {
  trap '' TERM INT HUP
  local entry how package apt_purge=() apt_remove=()
  for entry in "${added[@]}"; do
    how=${entry%% *} package=${entry#* }
    case $how in
      remove) was_installed "$package" || continue ;;
      purge) known "$package" || continue ;;
    esac
    if [ "$package" = qrwflash ]; then
      dpkg_retry dpkg "--$how" qrwflash > /dev/null || fail "qrwflash could not be removed again"
    elif [ "$how" = purge ]; then apt_purge+=("$package"); else apt_remove+=("$package"); fi
  done
  [ ${#apt_purge[@]} -eq 0 ] || apt_undo purge "${apt_purge[@]}"
  [ ${#apt_remove[@]} -eq 0 ] || apt_undo remove "${apt_remove[@]}"
  added=()
}
apt_undo() {
  local how=$1
  shift
  DEBIAN_FRONTEND=noninteractive apt-get "$how" -y -q -o DPkg::Lock::Timeout=300 "$@" > /dev/null ||
    fail "$* could not be removed again"
}
trap restore EXIT
trap 'exit 143' TERM INT HUP

undo qrwflash
if ! was_installed man-db; then
  # The packages apt would install with man-db, those not installed already.
  for package in $(apt-get install -s -q --no-install-recommends man-db | awk '/^Inst / { print $2 }'); do
    was_installed "$package" || undo "$package"
  done
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 man-db > /dev/null ||
    fail "man-db could not be installed"
fi

if dpkg_retry dpkg -i "$deb" > /dev/null; then pass "dpkg -i"; else fail "dpkg -i"; fi
/usr/bin/qrwflash --help > "$QRW_TEST_WORK/help.txt" 2>&1
expect_eq "installed qrwflash --help: exit status" 0 "$?"
expect_contains "installed qrwflash --help: usage" "$QRW_TEST_WORK/help.txt" "flash"
/usr/bin/qrwpack --help > "$QRW_TEST_WORK/qrwpack-help.txt" 2>&1
expect_eq "installed qrwpack --help: exit status" 0 "$?"
for tool in qrwflash qrwpack; do
  expect_eq "installed $tool --version" "$tool $QRW_VERSION" "$(/usr/bin/$tool --version 2>&1)"
done
MANPAGER=cat MANWIDTH=80 man qrwflash > "$QRW_TEST_WORK/man.txt" 2>&1
expect_eq "man qrwflash: exit status" 0 "$?"
expect_contains "man qrwflash: its name line" "$QRW_TEST_WORK/man.txt" "qrwflash - flash the firmware of a QUARVEL QRW CD-RW drive from Linux"
expect_contains "man qrwflash: the permissions" "$QRW_TEST_WORK/man.txt" "CAP_SYS_RAWIO"
expect_contains "man qrwflash: the version" "$QRW_TEST_WORK/man.txt" "(qrwflash $QRW_VERSION)"
MANPAGER=cat MANWIDTH=80 man qrwpack > "$QRW_TEST_WORK/man-qrwpack.txt" 2>&1
expect_contains "man qrwpack: its name line" "$QRW_TEST_WORK/man-qrwpack.txt" "qrwpack - build and inspect QRW flash programs"
expect_contains "man qrwpack: the version" "$QRW_TEST_WORK/man-qrwpack.txt" "(qrwpack $QRW_VERSION)"

restore
[ ! -e /usr/bin/qrwflash ] && [ ! -e /usr/share/man/man1/qrwflash.1.gz ] && pass "removed" || fail "files left after its removal"
finish
