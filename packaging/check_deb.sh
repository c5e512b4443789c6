#!/usr/bin/env bash
# Makes the Debian package of a build with CPack and checks it: the layout
# (programs in lib/vexelscreen with tools/ and Docs/, links in bin, the menu
# entry, icons and manual page), the declared dependencies, and that the program unpacked
# from it starts (offscreen) and finds its Docs folder.
#
#   packaging/check_deb.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb="$(ls "$work"/out/*.deb)"
echo "package: $(basename "$deb")"

listing="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for entry in ./usr/bin/vexelscreen ./usr/bin/vexelscreen-generator \
             ./usr/lib/vexelscreen/vexelscreen ./usr/lib/vexelscreen/vexelscreen-generator \
             ./usr/lib/vexelscreen/Docs/VexelScreenGeneral.rtf \
             ./usr/share/applications/vexelscreen-generator.desktop \
             ./usr/share/icons/hicolor/48x48/apps/vexelscreen-generator.png \
             ./usr/share/icons/hicolor/scalable/apps/vexelscreen-generator.svg \
             ./usr/share/mime/packages/vexelscreen-generator.xml \
             ./usr/share/man/man1/vexelscreen.1.gz; do
  grep -qx -- "$entry" <<<"$listing" || { echo "missing from the package: $entry" >&2; exit 1; }
done
if [ -e "$build/bin/tools/VSengine.exe" ]; then
  grep -qx -- ./usr/lib/vexelscreen/tools/VSengine.exe <<<"$listing" || { echo "missing: tools/VSengine.exe" >&2; exit 1; }
fi

depends="$(dpkg-deb -f "$deb" Depends)"
echo "depends: $depends"
for lib in libqt6widgets6 libpixman-1-0 zlib1g; do
  grep -q "$lib" <<<"$depends" || { echo "dependency not declared: $lib" >&2; exit 1; }
done

dpkg-deb -x "$deb" "$work/root"
log="$work/start.log"
QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/vexelscreen-generator" --screenshots "$work/shots" 2>"$log" || {
  cat "$log" >&2
  exit 1
}
if grep -q "problems loading" "$log"; then echo "the unpacked program did not find its Docs" >&2; exit 1; fi
[ -s "$work/shots/start.png" ] || { echo "the unpacked program showed no window" >&2; exit 1; }
"$work/root/usr/bin/vexelscreen" --help >/dev/null
version="$(dpkg-deb -f "$deb" Version)"
[ "$("$work/root/usr/bin/vexelscreen" --version)" = "vexelscreen $version" ] ||
  { echo "vexelscreen --version does not give the package's version $version" >&2; exit 1; }
echo "the unpacked programs start"
