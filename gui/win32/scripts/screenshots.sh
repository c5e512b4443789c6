#!/bin/sh
# Writes every page of the Windows window, the shape window and the about
# window into BUILD/screenshots/win32 at 100 % and BUILD/screenshots/win32-150
# at 150 % (PNG when ImageMagick is there, BMP otherwise), running the window
# under wine on a virtual display:
#   screenshots.sh BUILD
# The pictures show what a user sees: the programs installed in
# "C:\Program Files\VexelSCREEN Generator", the sample work in the user's
# Documents, and windows with their frames and title bars (wine's virtual
# desktop draws them). Each resolution has a wine prefix of its own.
# Exits with 77 (skipped) without wine or xvfb-run.
set -e
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
wine_run="$here/../../../cmake/wine_run.sh"
# The shots go to a fresh folder that replaces the previous one only when
# the run succeeded.
shoot() {
  out="$1"
  prefix="$2"
  fresh="$out.new"
  rm -rf "$fresh"
  mkdir -p "$fresh" "$prefix"
  status=0
  sh "$wine_run" --prepare "$prefix" "$build/bin/vexelscreen.exe" || status=$?
  [ "$status" -eq 0 ] || { rm -rf "$fresh"; exit "$status"; }
  # The symbol font of the title bars' buttons (Debian's fonts-wine), where
  # this wine does not find it by itself.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
  fi
  # Installed as the installer puts it.
  install="$prefix/drive_c/Program Files/VexelSCREEN Generator"
  rm -rf "$install"
  mkdir -p "$install"
  cp -R "$build/bin/." "$install/"
  # The user's Documents: a folder of the prefix (wine links it to the home
  # folder of the one who runs it otherwise).
  user="$(ls "$prefix/drive_c/users" | grep -v '^Public$' | head -n 1)"
  documents="$prefix/drive_c/users/$user/Documents"
  if [ -L "$documents" ]; then rm -f "$documents"; fi
  mkdir -p "$documents"
  VS_WINE_DESKTOP=1600x1200 sh "$here/run_under_xvfb.sh" "$prefix" "$build/gui/win32/tests/window_driver.exe" \
    "C:\\Program Files\\VexelSCREEN Generator\\vexelscreen-generator.exe" \
    "C:\\Program Files\\VexelSCREEN Generator\\vexelscreen.exe" \
    "C:\\users\\$user\\Documents\\Sample projector" --screenshots "$fresh" || status=$?
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
VS_WINE_DPI= shoot "$build/screenshots/win32" "$build/wineprefix-shots"
VS_WINE_DPI=144 shoot "$build/screenshots/win32-150" "$build/wineprefix-shots-150"
