#!/usr/bin/env bash
# The bundled example: installs what is missing, builds, and builds the sample
# projector with examples/build_example.sh (sample files, a project that names
# them, `vexelscreen build` from the project, what is inside the result).
# With a display (outside CI), the built projector then runs under wine and the
# generator's window opens on the project.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

out=build/example
examples/build_example.sh build "$out"
step() { printf '\n== %s\n' "$*"; }

[ -z "${CI:-}" ] || exit 0
# The built projector: our engine unpacks the stand-in player and gives its
# window the sample's shape and caption. It runs in the wine prefix of the
# tests (made once); Escape closes it.
if [ -z "${DISPLAY:-}" ]; then
  :
elif ! command -v wine >/dev/null 2>&1; then
  printf '\nwine is not installed: the built projector is not started\n'
elif [ ! -f build/tests/player/standin_player.exe ]; then
  printf '\nthe stand-in player was not built (no mingw-w64): the built projector is not started\n'
else
  step "The built projector, under wine (Escape closes it)"
  sh tests/player/make_wineprefix.sh build/wineprefix
  if [ -f build/wineprefix/system.reg ]; then
    WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      nohup wine "$out/Sample.exe" >"$out/wine.log" 2>&1 &
    echo "started (its output goes to $out/wine.log)"
  fi
fi
# The generator's window, with the sample project loaded.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/vexelscreen-generator ]; then
  step "The generator's window, with the sample project"
  exec build/bin/vexelscreen-generator "$out/Sample.vsp"
fi
