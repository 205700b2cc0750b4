#!/usr/bin/env bash
# Installs everything the native build, the cross build and the Wine
# end-to-end tests need, from Debian's packages, and what makes and runs
# the QEMU guest for machines that cannot run 32-bit programs (and
# qemu-i386, which the tests use as such a user-mode emulator). Safe to run
# again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

pkgs=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
      g++-mingw-w64-i686 gcc-multilib g++-multilib
      wine wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick clang
      libcli11-dev zlib1g-dev libsodium-dev python3 python3-jsonschema tmux dpkg-dev lintian osslsigncode openssl
      qemu-system-x86 qemu-user mmdebstrap e2fsprogs
      pkg-config libsystemd-dev dbus)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is already installed"
  exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
