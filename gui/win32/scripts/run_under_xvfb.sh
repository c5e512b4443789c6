#!/bin/sh
# Runs a Windows program under wine on a virtual X display:
#   run_under_xvfb.sh PREFIX PROGRAM [ARG]...
# With VS_WINE_DPI set (144 for 150 %), the prefix's display runs at that
# resolution; VS_SCREEN sets the screen's size and depth (1600x1200x24).
# With VS_WINE_DESKTOP set (a size such as 1600x1200), the programs run on
# wine's virtual desktop of that size, which draws the windows' frames and
# title bars (a bare X display without a window manager draws none).
# The wine prefix is made on first use. Every wine process of the prefix ends
# with the program (a document it opened, a projector it started). The loader
# is chosen by the program's kind (cmake/wine_run.sh); without it, or without
# xvfb-run, it exits with 77, which CTest counts as skipped.
mkdir -p "$1"
prefix="$(cd "$1" && pwd)"
shift
wine_run="$(dirname "$0")/../../../cmake/wine_run.sh"
if ! command -v xvfb-run >/dev/null 2>&1; then
  case ",${VS_REQUIRE:-}," in
    *,display,*) echo "skipped: no display (xvfb-run is not installed), and VS_REQUIRE asks for one" >&2; exit 1 ;;
  esac
  echo "skipped: no display (xvfb-run is not installed): the window is not driven" >&2
  exit 77
fi
# Makes the prefix, or says why the program cannot run here.
sh "$wine_run" --prepare "$prefix" "$1" || exit $?
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -n "$VS_WINE_DESKTOP" ]; then
  sh "$wine_run" "$prefix" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  sh "$wine_run" "$prefix" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$VS_WINE_DESKTOP" /f >/dev/null 2>&1
  wineserver -w
fi
if [ -n "$VS_WINE_DPI" ]; then
  sh "$wine_run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$VS_WINE_DPI" /f >/dev/null 2>&1
  wineserver -w
fi
xvfb-run -a -s "-screen 0 ${VS_SCREEN:-1600x1200x24}" sh -c 'sh "$0" "$WINEPREFIX" "$@"; status=$?; wineserver -k; exit $status' \
  "$wine_run" "$@"
