#!/bin/sh
# Makes a wine prefix once: make_wineprefix.sh PREFIX. The 64-bit loader makes
# it where there is one, so that it runs 64-bit programs and, where the kernel
# runs them, 32-bit ones too; a prefix made by the 32-bit loader could run
# only 32-bit programs. Without wine there is nothing to do: the tests that
# need it skip themselves (wine_loader.sh says why).
prefix="$1"
here=$(dirname "$0")
if [ -f "$prefix/system.reg" ]; then
  echo "wine prefix $prefix is ready"
  exit 0
fi
loader=$(sh "$here/wine_loader.sh" 64 2>/dev/null) || loader=$(sh "$here/wine_loader.sh" 32 2>/dev/null) || {
  echo "no wine loader runs here: no wine prefix is made"
  exit 0
}
mkdir -p "$prefix"
# One maker at a time; the others wait for its prefix.
(
  if command -v flock >/dev/null 2>&1; then flock 9; fi
  if [ ! -f "$prefix/system.reg" ]; then
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= timeout 600 "$loader" wineboot -i
    echo "wineboot: $?"
    WINEPREFIX="$prefix" timeout 120 wineserver -w
  fi
) 9>"$prefix.lock"
rm -f "$prefix.lock"
if [ -f "$prefix/system.reg" ]; then
  echo "wine prefix $prefix made by $loader"
  exit 0
fi
echo "the wine prefix $prefix could not be made: the tests that run Windows programs will be skipped"
rm -rf "$prefix"
exit 0
