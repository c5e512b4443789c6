#!/usr/bin/env bash
# Measures the engine's start with an 80 MiB package under wine on Xvfb
# (see bench/engine_start.cpp). Usage: bench/engine_start.sh [build folder]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sh "$(dirname "$0")/../tests/player/make_wineprefix.sh" "$WINEPREFIX"
exec xvfb-run -a -s "-screen 0 1024x768x24" "$build/bench/bench_engine_start" \
  "$build/bin/tools" "$build/tests/player/standin_player.exe" "$(mktemp -d)"
