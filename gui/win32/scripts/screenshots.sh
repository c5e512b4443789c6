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
# The shots go to a fresh folder that replaces the previous one only when
# the run succeeded.
shoot() {
  out="$1"
  fresh="$out.new"
  rm -rf "$fresh"
  mkdir -p "$fresh"
  status=0
  sh "$here/run_under_xvfb.sh" "$2" "$build/gui/win32/tests/window_driver.exe" \
    "$build/bin/vexelscreen-generator.exe" "$build/bin/vexelscreen.exe" "$build/gui/win32/tests/shots-work" \
    --screenshots "$fresh" || status=$?
  if [ "$status" -ne 0 ]; then
    rm -rf "$fresh"
    exit "$status"
  fi
  if command -v convert >/dev/null 2>&1; then
    for bmp in "$fresh"/*.bmp; do
      convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    done
  fi
  rm -rf "$out"
  mv "$fresh" "$out"
  ls "$out"
}
VS_WINE_DPI= shoot "$build/screenshots/win32" "$build/wineprefix-window"
VS_WINE_DPI=144 shoot "$build/screenshots/win32-150" "$build/wineprefix-window-150"
