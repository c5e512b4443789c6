#!/bin/sh
# Makes the wine prefix that the engine's tests run in, once. Without wine
# there is nothing to do: those tests skip themselves.
prefix="$1"
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed: the tests that run the engine will be skipped"
  exit 0
fi
if [ -f "$prefix/system.reg" ]; then
  echo "wine prefix $prefix is ready"
  exit 0
fi
mkdir -p "$prefix"
WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= timeout 600 wineboot -i
status=$?
WINEPREFIX="$prefix" timeout 120 wineserver -w
if [ -f "$prefix/system.reg" ]; then
  echo "wine prefix $prefix made"
  exit 0
fi
echo "the wine prefix could not be made (wineboot: $status): the tests that run the engine will be skipped"
rm -rf "$prefix"
exit 0
