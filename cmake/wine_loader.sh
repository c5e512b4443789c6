#!/bin/sh
# Which wine loader runs Windows programs of one kind here:
#   wine_loader.sh 64   the loader of 64-bit programs
#   wine_loader.sh 32   the loader of 32-bit programs
# Prints the loader's path and exits 0, or prints why there is none and exits
# 77 (a skip) - or 1 when VS_REQUIRE asks for that kind (a comma list of
# wine64, wine32, display), so that a machine that should run it cannot pass
# quietly without.
#
# Debian's `wine` wrapper picks the 32-bit loader whenever wine32 is installed,
# also where the kernel runs no 32-bit programs, so the loaders are called
# directly. VS_NO_32BIT=1 acts as if the kernel ran none (to try that case).
kind="$1"

required() {
  case ",${VS_REQUIRE:-}," in *",$1,"*) return 0 ;; esac
  return 1
}
none() {
  if required "wine$kind"; then
    echo "$1 (VS_REQUIRE=$VS_REQUIRE asks for wine$kind)" >&2
    exit 1
  fi
  echo "$1"
  exit 77
}

find_loader() {
  for candidate in "$@"; do
    if [ -x "$candidate" ]; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

case "$kind" in
  64)
    loader=$(find_loader /usr/lib/wine/wine64 /usr/lib64/wine/wine64 "$(command -v wine64 2>/dev/null)") ||
      none "skipped: no wine for 64-bit programs is installed (Debian's wine64 package)"
    ;;
  32)
    loader=$(find_loader /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine) ||
      none "skipped: no wine for 32-bit programs is installed (Debian's wine32 package)"
    if [ "${VS_NO_32BIT:-}" = 1 ] || ! "$loader" --version >/dev/null 2>&1; then
      none "skipped: this machine runs no 32-bit programs (the 32-bit wine loader cannot start)"
    fi
    ;;
  *)
    echo "usage: wine_loader.sh 32|64" >&2
    exit 2
    ;;
esac
echo "$loader"
