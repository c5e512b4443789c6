#!/bin/sh
# Installs the Windows installer silently under wine, checks that the
# Start-menu entry points at the installed window, runs `vexelscreen.exe
# --help` from the installed folder, and uninstalls, after which nothing of
# it is left. The installer and the programs are 64-bit: they run under the
# 64-bit wine loader (WINE_RUN picks it); without it the test is skipped (77).
#   windows_installer_test.sh INSTALLER WINEPREFIX WINE_RUN
installer="$1"
prefix="$2"
wine_run="$3"
[ -f "$installer" ] || { echo "no installer at $installer"; exit 1; }

# A fresh prefix of its own, so that nothing another test installed counts.
rm -rf "$prefix"
run() { sh "$wine_run" "$prefix" "$@"; }
fail() { echo "installer test: $*"; exit 1; }

# The default folder (a /D= with a space cannot be handed through wine's quoting).
unix_folder="$prefix/drive_c/Program Files/VexelSCREEN Generator"
run "$installer" /S
status=$?
[ $status -eq 77 ] && exit 77
[ $status -eq 0 ] || fail "the installer ended with $status"
WINEPREFIX="$prefix" wineserver -w

for f in vexelscreen.exe vexelscreen-generator.exe tools/VSengine.exe tools/mhproc.dll tools/VSS.exe \
         tools/VSE.exe tools/VSP.exe tools/VSD.exe tools/x64/VSengine.exe tools/x64/mhproc.dll tools/x64/VSS.exe \
         tools/x64/VSE.exe tools/x64/VSP.exe tools/x64/VSD.exe Docs/VexelScreenGeneral.rtf Uninstall.exe; do
  [ -f "$unix_folder/$f" ] || fail "$f was not installed"
done

link=$(find "$prefix/drive_c" -path '*Start Menu*' -name 'VexelSCREEN Generator.lnk' | head -n 1)
[ -n "$link" ] || fail "no Start-menu entry"
# The link holds the target's path (as 8-bit or UTF-16 text).
if ! grep -aq 'vexelscreen-generator.exe' "$link" &&
   ! tr -d '\000' <"$link" | grep -aq 'vexelscreen-generator.exe'; then
  fail "the Start-menu entry does not point at the window"
fi
tr -d '\000' <"$link" | grep -aqi 'Program Files.VexelSCREEN Generator.vexelscreen-generator.exe' ||
  fail "the Start-menu entry points elsewhere"

out=$(run "$unix_folder/vexelscreen.exe" --help) || fail "vexelscreen.exe --help failed"
echo "$out" | grep -q "Subcommands:" || fail "unexpected help: $out"

run reg query 'HKCR\VexelSCREEN.Project\shell\open\command' >/dev/null 2>&1 ||
  fail ".vsp files are not associated"

run "$unix_folder/Uninstall.exe" /S
WINEPREFIX="$prefix" wineserver -w
[ ! -e "$unix_folder" ] || fail "the uninstaller left $(ls -R "$unix_folder")"
[ ! -e "$link" ] || fail "the uninstaller left the Start-menu entry"
if run reg query 'HKCR\VexelSCREEN.Project' >/dev/null 2>&1; then
  fail "the uninstaller left the .vsp association"
fi
echo "installed, ran vexelscreen.exe --help, uninstalled"
rm -rf "$prefix"
