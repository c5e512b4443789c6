#!/bin/sh
# Runs a Windows program under wine on a virtual X display:
#   run_under_xvfb.sh PREFIX PROGRAM [ARG]...
# With VS_WINE_DPI set (144 for 150 %), the prefix's display runs at that
# resolution.
# The wine prefix is made on first use. Every wine process of the prefix ends
# with the program (a document it opened, a projector it started). Without
# wine or xvfb-run it exits with 77, which CTest counts as skipped.
mkdir -p "$1"
prefix="$(cd "$1" && pwd)"
shift
for tool in wine wineserver xvfb-run; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed: the window is not driven (skipped)" >&2
    exit 77
  fi
done
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  DISPLAY= timeout 600 wineboot -i >/dev/null 2>&1
  timeout 120 wineserver -w
  if [ ! -f "$prefix/system.reg" ]; then
    echo "the wine prefix $prefix could not be made (skipped)" >&2
    exit 77
  fi
fi
if [ -n "$VS_WINE_DPI" ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$VS_WINE_DPI" /f >/dev/null 2>&1
  wineserver -w
fi
xvfb-run -a -s "-screen 0 1600x1200x24" sh -c 'wine "$@"; status=$?; wineserver -k; exit $status' run "$@"
