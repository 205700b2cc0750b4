#!/usr/bin/env bash
# The Debian package: made by cpack in the native build folder, its files and
# dependencies read with dpkg-deb, checked by lintian, installed with dpkg -i, its programs and
# manual page run from the installed place, removed again. Changes the
# system, so it runs as root (as CI does); what it installs it removes.
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
  "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libsodium23 (>= 1.0.14), libstdc++6 (>= 11)" "$(dpkg-deb -f "$deb" Depends)"
dpkg-deb -I "$deb" > "$QRW_TEST_WORK/info.txt"
expect_contains "control: section" "$QRW_TEST_WORK/info.txt" "Section: utils"

was_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
if was_installed qrwflash; then fail "qrwflash is installed already; the test does not touch it"; finish; exit 1; fi
man_db_added=0
if ! was_installed man-db; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 man-db > /dev/null &&
    man_db_added=1
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

if dpkg_retry dpkg -r qrwflash > /dev/null; then pass "dpkg -r"; else fail "dpkg -r"; fi
[ ! -e /usr/bin/qrwflash ] && [ ! -e /usr/share/man/man1/qrwflash.1.gz ] && pass "removed" || fail "files left after dpkg -r"
if [ $man_db_added = 1 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -q -o DPkg::Lock::Timeout=300 man-db > /dev/null ||
    fail "man-db could not be removed again"
fi
finish
