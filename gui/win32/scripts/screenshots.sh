#!/bin/sh
# Writes every page of the Windows window, the shape window and the about
# window into BUILD/screenshots/win32 at 100 % and BUILD/screenshots/win32-150
# at 150 % (PNG when ImageMagick is there, BMP otherwise), running the window
# under wine on a virtual display:
#   screenshots.sh BUILD
# Exits with 77 (skipped) without wine or xvfb-run.
set -e
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
shoot() {
  out="$1"
  rm -rf "$out"
  mkdir -p "$out"
  status=0
  sh "$here/run_under_xvfb.sh" "$2" "$build/gui/win32/tests/window_driver.exe" \
    "$build/bin/vexelscreen-generator.exe" "$build/bin/vexelscreen.exe" "$build/gui/win32/tests/shots-work" \
    --screenshots "$out" || status=$?
  [ "$status" -eq 0 ] || exit "$status"
  if command -v convert >/dev/null 2>&1; then
    for bmp in "$out"/*.bmp; do
      convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    done
  fi
  ls "$out"
}
VS_WINE_DPI= shoot "$build/screenshots/win32" "$build/wineprefix-window"
VS_WINE_DPI=144 shoot "$build/screenshots/win32-150" "$build/wineprefix-window-150"
