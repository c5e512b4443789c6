#!/usr/bin/env bash
# The bundled example: installs what is missing, builds, then runs the
# generator's commands on sample files made by examples/make_example.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

vs=build/bin/vexelscreen
out=build/example
rm -rf "$out"
build/examples/make_example files "$out"
step() { printf '\n== %s\n' "$*"; }

step "What inspecting the projector would rewrite"
$vs inspect --dry-run "$out/Sample Projector.exe"
step "Inspect the projector: movie facts, services, commands rewritten in place"
$vs inspect "$out/Sample Projector.exe"
step "Cut the window shape from a bitmap (transparent colour: the top-left pixel)"
$vs region "$out/shape.bmp" --svg "$out/shape.svg"

step "Copy the engine, stamp its version and icon"
cp build/bin/tools/VSengine.exe "$out/Sample.exe"
$vs stamp "$out/Sample.exe" --version 1.2.0.0 --string "ProductName=Sample movie" --icon "$out/icon.ico"
step "Pack the settings: projector, hook library, shape, files and tools"
build/examples/make_example pack "$out/Sample.exe" "$out/Sample Projector.exe" "$out/shape.bmp" \
  build/bin/tools "$out/readme.txt"
step "The package of the built projector"
$vs show "$out/Sample.exe"
step "Its version information and icon"
$vs resources "$out/Sample.exe"
step "Extract its packed files"
$vs extract "$out/Sample.exe" "$out/extracted"
if command -v wine >/dev/null 2>&1; then
  step "The engine reads its own package (under wine)"
  WINEDEBUG=-all wine "$out/Sample.exe" --dump || true
fi
step "Build a projector and save the project with the generator's own build command"
$vs build --projector "$out/Sample Projector.exe" --add "$out/readme.txt" --icon "$out/icon.ico" \
  --shape "$out/shape.bmp" -o "$out/Sample Built.exe" --save-project "$out/Sample.vsp"
printf '\nThe example files are in %s\n' "$out"

# With a display, the example ends in the generator's window, with the
# sample project loaded.
if [ -z "${CI:-}" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/vexelscreen-generator ]; then
  step "The generator's window, with the sample project"
  exec build/bin/vexelscreen-generator "$out/Sample.vsp"
fi
