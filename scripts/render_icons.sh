#!/usr/bin/env bash
# Renders the program's icon and the button glyphs from their SVG sources in
# gui/icons into the PNG files and the multi-image vexelscreen.ico that the
# build takes as they are committed. Run it after changing an SVG, then
# commit the results. Needs rsvg-convert (Debian: librsvg2-bin) and icotool
# (Debian: icoutils); the build itself needs neither.
set -euo pipefail
cd "$(dirname "$0")/../gui/icons"

for tool in rsvg-convert icotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "render_icons: $tool is missing (apt-get install librsvg2-bin icoutils)" >&2
    exit 1
  fi
done

render() {  # source, side, target
  rsvg-convert --width "$2" --height "$2" --format png --output "$3.tmp" "$1"
  mv "$3.tmp" "$3"
}

# The small sizes have their own drawings, on a 16- and a 32-pixel grid.
render vexelscreen-16.svg 16 png/vexelscreen-16.png
for side in 24 32; do render vexelscreen-small.svg "$side" "png/vexelscreen-$side.png"; done
for side in 48 64 128 256; do render vexelscreen.svg "$side" "png/vexelscreen-$side.png"; done

# Up to 64 pixels as 32-bit images with their masks, which every reader
# takes; the large ones as PNG images, as icon files hold them.
icotool --create --output vexelscreen.ico.tmp \
  png/vexelscreen-16.png png/vexelscreen-24.png png/vexelscreen-32.png \
  png/vexelscreen-48.png png/vexelscreen-64.png \
  --raw=png/vexelscreen-128.png --raw=png/vexelscreen-256.png
mv vexelscreen.ico.tmp vexelscreen.ico

for source in glyphs/*.svg; do
  name=$(basename "$source" .svg)
  render "$source" 24 "glyphs/png/$name-24.png"
  render "$source" 48 "glyphs/png/$name-48.png"
done

icotool --list vexelscreen.ico
