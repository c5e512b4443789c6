#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again:
# apt-get runs only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  zlib1g-dev libpixman-1-dev libpng-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev googletest nsis wine wine64
  icoutils imagemagick xvfb xauth dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The 32-bit wine loader runs the engine of 32-bit players in the tests. It
# needs the i386 architecture; where it cannot be installed, or where the
# kernel runs no 32-bit programs, those tests skip themselves and say why.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  if ! { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends wine32:i386; }; then
    echo "setup: wine32 could not be installed; the tests of 32-bit Windows programs will be skipped" >&2
  fi
fi
