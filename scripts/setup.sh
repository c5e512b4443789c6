#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again:
# apt-get runs only when something is missing.
#   scripts/setup.sh            everything: the build, every test, the installer
#   scripts/setup.sh --example  what the bundled example needs (scripts/example.sh)
set -euo pipefail

# The Linux programs, both engine families, the stand-in players, and wine's
# 64-bit loader to run the sample projector.
packages=(
  cmake ninja-build g++ clang pkg-config
  zlib1g-dev libpixman-1-dev libpng-dev libcli11-dev libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev wine wine64
)
example_only=
if [ "${1:-}" = --example ]; then
  example_only=1
else
  # The tests, fuzzers, benchmarks, the Windows build's GoogleTest and installer.
  packages+=(libclang-rt-14-dev libbenchmark-dev googletest nsis icoutils imagemagick xvfb xauth dpkg-dev fonts-wine)
fi

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

[ -z "$example_only" ] || exit 0

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
