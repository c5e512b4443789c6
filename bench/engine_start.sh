#!/usr/bin/env bash
# Measures the engine's start with an 80 MiB package under wine on Xvfb
# (see bench/engine_start.cpp), with the 32-bit player where this machine runs
# 32-bit programs and the 64-bit one elsewhere. Usage: bench/engine_start.sh [build folder]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sh "$(dirname "$0")/../cmake/make_wineprefix.sh" "$WINEPREFIX"
here="$(dirname "$0")/../cmake"
if VS_WINE=$(sh "$here/wine_loader.sh" 32); then
  player="$build/tests/player/standin_player.exe"
else
  VS_WINE=$(sh "$here/wine_loader.sh" 64) || { echo "$VS_WINE"; exit 1; }
  player="$build/tests/player/standin_player64.exe"
fi
export VS_WINE
exec xvfb-run -a -s "-screen 0 1024x768x24" "$build/bench/bench_engine_start" \
  "$build/bin/tools" "$player" "$(mktemp -d)"
