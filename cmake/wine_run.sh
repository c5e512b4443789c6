#!/bin/sh
# Runs a Windows program of the build under wine: wine_run.sh PREFIX PROGRAM [ARG]...
# The wine prefix is made once, on first use, in the build tree. Without wine
# (or when the prefix cannot be made) it exits with 77, which CTest counts as
# a skipped test.
prefix="$1"
shift
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed: $1 is not run (skipped)" >&2
  exit 77
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  # One maker at a time; the others wait for its prefix.
  (
    if command -v flock >/dev/null 2>&1; then flock 9; fi
    if [ ! -f "$prefix/system.reg" ]; then
      DISPLAY= timeout 600 wineboot -i >/dev/null 2>&1
      timeout 120 wineserver -w
    fi
  ) 9>"$prefix.lock"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "the wine prefix $prefix could not be made: $1 is not run (skipped)" >&2
    exit 77
  fi
fi
exec wine "$@"
