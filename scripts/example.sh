#!/usr/bin/env bash
# The bundled example: installs what is missing, builds, and builds the sample
# projector with examples/build_example.sh (sample files, a project that names
# them, `vexelscreen build` from the project, what is inside the result).
# With a display (outside CI), the built projector then runs under wine and the
# generator's window opens on the project.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --example
cmake --preset default >/dev/null
# Only what the example needs: the Linux programs, both engine families and
# the sample's files (scripts/test.sh builds the rest: tests, fuzzers,
# benchmarks, the Windows programs and the installer).
targets=(vexelscreen make_example)
known=$(cmake --build --preset default --target help 2>/dev/null || true)
for t in vexelscreen-generator vs_tools vs_test_player; do
  if grep -q "^$t:" <<<"$known"; then targets+=("$t"); fi
done
cmake --build --preset default --target "${targets[@]}"

out=build/example
examples/build_example.sh build "$out"
step() { printf '\n== %s\n' "$*"; }

[ -z "${CI:-}" ] || exit 0
# The built projector: our engine unpacks the stand-in player and gives its
# window the sample's shape and caption. It runs in the wine prefix of the
# tests (made once); Escape closes it.
if [ -z "${DISPLAY:-}" ]; then
  :
elif ! loader=$(sh cmake/wine_loader.sh 64); then
  printf '\nthe built projector is not started: %s\n' "$loader"
elif [ ! -f build/tests/player/standin_player64.exe ]; then
  printf '\nthe stand-in player was not built (no mingw-w64): the built projector is not started\n'
else
  step "The built projector, under wine (Escape closes it)"
  sh cmake/make_wineprefix.sh build/wineprefix
  if [ -f build/wineprefix/system.reg ]; then
    WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      nohup "$loader" "$out/Sample.exe" >"$out/wine.log" 2>&1 &
    echo "started (its output goes to $out/wine.log)"
  fi
fi
# The generator's window, with the sample project loaded.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/vexelscreen-generator ]; then
  step "The generator's window, with the sample project"
  exec build/bin/vexelscreen-generator "$out/Sample.vsp"
fi
