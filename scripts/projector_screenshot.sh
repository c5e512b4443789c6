#!/usr/bin/env bash
# A picture of the bundled example's built projector running on a desktop:
# builds the example into a temporary folder, starts Xvfb with a plain
# gradient desktop, runs the built projector under wine, waits until the
# engine has given the stand-in player's window the sample's caption and shape,
# and takes the whole screen with ImageMagick's import.
#
#   scripts/projector_screenshot.sh [BUILD_DIR [OUT_PNG]]
# Without wine, Xvfb, ImageMagick or the cross-compiled programs it says so and
# writes nothing. The wine prefix is the tests' one, BUILD_DIR/wineprefix.
set -euo pipefail
cd "$(dirname "$0")/.."
self="$PWD/scripts/projector_screenshot.sh"

if [ "${1:-}" = "--on-display" ]; then
  # Inside xvfb-run: WORK holds the example and the player's control folder.
  work="$2"
  png="$3"
  control="$work/control"
  display -window root -size 800x600 "gradient:#46505a-#9aa6b0" 2>/dev/null || true
  "$VS_WINE64" "$work/example/Sample.exe" >"$work/wine.log" 2>&1 &
  projector=$!
  ready=
  for _ in $(seq 1 1200); do  # up to two minutes: wine's first start in a prefix is slow
    if [ -f "$control/shown.txt" ] && [ ! -f "$control/report.request" ]; then
      if grep -qx "caption=Sample projector" "$control/report.txt" 2>/dev/null && grep -q "^region=[0-9]" "$control/report.txt"; then
        ready=1
        break
      fi
      : >"$control/report.request"
    fi
    kill -0 "$projector" 2>/dev/null || break
    sleep 0.1
  done
  status=0
  if [ -n "$ready" ]; then
    sleep 1  # the window's first paint
    import -window root "$png"
  else
    echo "projector screenshot: the projector's window did not appear" >&2
    cat "$work/wine.log" >&2
    status=1
  fi
  : >"$control/close.request"
  for _ in $(seq 1 300); do
    kill -0 "$projector" 2>/dev/null || break
    sleep 0.1
  done
  kill "$projector" 2>/dev/null || true
  wait "$projector" 2>/dev/null || true
  exit $status
fi

build="${1:-build}"
png="${2:-$build/screenshots/projector.png}"
skip() { echo "projector screenshot skipped: $*"; exit 0; }
for tool in xvfb-run import display; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
# The sample's player and engine are 64-bit programs.
VS_WINE64=$(sh cmake/wine_loader.sh 64) || skip "$VS_WINE64"
export VS_WINE64
[ -f "$build/tests/player/standin_player64.exe" ] && [ -f "$build/bin/tools/x64/VSengine.exe" ] ||
  skip "the engine or the stand-in player was not built (no mingw-w64 cross compiler)"
sh cmake/make_wineprefix.sh "$build/wineprefix" >/dev/null
[ -f "$build/wineprefix/system.reg" ] || skip "the wine prefix could not be made"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
examples/build_example.sh "$build" "$work/example" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
mkdir -p "$work/control" "$(dirname "$png")"
WINEPREFIX="$(cd "$build/wineprefix" && pwd)" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  VS_TEST_PLAYER_DIR="Z:$(printf '%s' "$work/control" | tr / '\\')" \
  xvfb-run -a -s "-screen 0 800x600x24" "$self" --on-display "$work" "$(cd "$(dirname "$png")" && pwd)/$(basename "$png")"
echo "projector screenshot: $png"
