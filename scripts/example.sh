#!/usr/bin/env bash
# The bundled example: installs what is missing, builds, makes the sample
# files (a Flash projector whose movie prints, launches a file and stores
# variables; a shape bitmap; an icon; a text file), saves a project that names
# them, builds a projector from the project with `vexelscreen build` and shows
# what is inside it. With a display, the generator's window then opens on the
# project.
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

step "What inspecting the projector will rewrite"
$vs inspect --dry-run "$out/Sample Projector.exe"
step "Save a project: the projector, a shape, an icon, version information and an additional file"
$vs build --projector "$out/Sample Projector.exe" --add "$out/readme.txt" --icon "$out/icon.ico" \
  --shape "$out/shape.bmp" --version 1.2.0.0 --string "ProductName=Sample movie" --string "CompanyName=Example" \
  --set "CaptionText=Sample projector" --save-project "$out/Sample.vsp"
step "The project's five parts"
$vs show "$out/Sample.vsp"
step "Build the projector from the project"
$vs build "$out/Sample.vsp" -o "$out/Sample.exe"
step "The package inside it"
$vs show "$out/Sample.exe"
step "Its version information and icon"
$vs resources "$out/Sample.exe"
step "Its packed files"
$vs extract "$out/Sample.exe" "$out/extracted"
printf '\nThe example files are in %s\n' "$out"

# With a display, the example ends in the generator's window, with the sample
# project loaded.
if [ -z "${CI:-}" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/vexelscreen-generator ]; then
  step "The generator's window, with the sample project"
  exec build/bin/vexelscreen-generator "$out/Sample.vsp"
fi
