#!/usr/bin/env bash
# Pictures of the generator's window: starts build/bin/vexelscreen-generator
# under Xvfb with the bundled example's files, lets it visit every page, the
# shape window, the file menu and the about window, and writes a PNG of each
# into OUT (default: BUILD/screenshots), at 100 % and at 200 % scaling; then
# scripts/projector_screenshot.sh adds OUT/projector.png, the example's built
# projector running under wine on a desktop.
#
#   scripts/screenshots.sh [BUILD_DIR [OUT_DIR]]
# Without xvfb-run it falls back to Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out="${2:-$build/screenshots}"
program="$build/bin/vexelscreen-generator"
[ -x "$program" ] || { echo "screenshots: $program is not built" >&2; exit 1; }

samples="$(mktemp -d)"
trap 'rm -rf "$samples"' EXIT
"$build/examples/make_example" files "$samples" >/dev/null
rm -rf "$out"
mkdir -p "$out"

run() {  # run SCALE DIR
  if command -v xvfb-run >/dev/null 2>&1; then
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$1" xvfb-run -a -s "-screen 0 2400x1600x24" \
      "$program" --screenshots "$2" --sample-files "$samples"
  else
    QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR="$1" "$program" --screenshots "$2" --sample-files "$samples"
  fi
}
run 1 "$out" 2> >(grep -v -e 'XDG_RUNTIME_DIR' -e 'does not support' >&2)
run 2 "$out/200" 2> >(grep -v -e 'XDG_RUNTIME_DIR' -e 'does not support' >&2)
scripts/projector_screenshot.sh "$build" "$out/projector.png"
echo "screenshots in $out"
