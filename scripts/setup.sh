#!/usr/bin/env bash
# Installs what the builds and tests need (Debian packages), where missing.
set -euo pipefail

packages=(cmake make g++ googletest libgtest-dev libgmock-dev libbenchmark-dev valgrind
          clang libclang-rt-14-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 wine64)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
