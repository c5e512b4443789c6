#!/usr/bin/env bash
# Builds the bundled example in a built tree: makes the sample files (a Flash
# projector whose movie prints, launches a file and stores variables; a shape
# bitmap; an icon; a text file), saves a project that names them, builds
# OUT/Sample.exe from the project with `vexelscreen build` and shows what is
# inside it. scripts/example.sh and the example's test run it.
#
#   examples/build_example.sh BUILD_DIR OUT_DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: examples/build_example.sh BUILD_DIR OUT_DIR" >&2; exit 2; }
build="$1"
out="$2"
vs="$build/bin/vexelscreen"
for program in "$vs" "$build/examples/make_example"; do
  [ -x "$program" ] || { echo "build_example: $program is not built" >&2; exit 1; }
done

rm -rf "$out"
"$build/examples/make_example" files "$out"
step() { printf '\n== %s\n' "$*"; }

step "What inspecting the projector will rewrite"
"$vs" inspect --dry-run "$out/Sample Projector.exe"
step "Save a project: the projector, a shape, an icon, version information and an additional file"
"$vs" build --projector "$out/Sample Projector.exe" --add "$out/readme.txt" --icon "$out/icon.ico" \
  --shape "$out/shape.bmp" --version 1.2.0.0 --string "ProductName=Sample movie" --string "CompanyName=Example" \
  --set "CaptionText=Sample projector" --save-project "$out/Sample.vsp"
step "The project's five parts"
"$vs" show "$out/Sample.vsp"
step "Build the projector from the project"
"$vs" build "$out/Sample.vsp" -o "$out/Sample.exe"
step "The package inside it"
"$vs" show "$out/Sample.exe"
step "Its version information and icon"
"$vs" resources "$out/Sample.exe"
step "Its packed files"
"$vs" extract "$out/Sample.exe" "$out/extracted"
printf '\nThe example files are in %s\n' "$out"
