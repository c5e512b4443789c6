#!/bin/sh
# Runs a Windows program under wine: wine_run.sh PREFIX PROGRAM [ARG]...
# With --prepare first it only makes sure that PROGRAM can run: the loader of
# its kind is there and the prefix is made (and all of its processes ended).
# The loader is chosen by the program's kind (wine_loader.sh): a 64-bit
# program runs under the 64-bit loader, a 32-bit one under the 32-bit loader,
# and a name that is no file (a program of wine's own, such as reg) under the
# 64-bit one when there is one. Where that loader is missing, or the kernel
# runs no 32-bit programs, it says so and exits with 77, which CTest counts as
# a skipped test (1 when VS_REQUIRE asks for that kind).
#
# The wine prefix is made once, on first use, by the 64-bit loader when there
# is one, so that it runs programs of both kinds.
here=$(dirname "$0")
prepare=
if [ "$1" = --prepare ]; then
  prepare=1
  shift
fi
prefix="$1"
shift

# 64 for a PE32+ program, 32 for any other file, and "" for a name that is no file.
kind_of() {
  [ -f "$1" ] || { echo ""; return; }
  lfanew=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  magic=""
  [ -n "$lfanew" ] && magic=$(od -An -tx2 -j$((lfanew + 24)) -N2 "$1" 2>/dev/null | tr -d ' ')
  if [ "$magic" = "020b" ]; then echo 64; else echo 32; fi
}

kind=$(kind_of "$1")
if [ -z "$kind" ]; then
  kind=64
  sh "$here/wine_loader.sh" 64 >/dev/null 2>&1 || kind=32
fi
loader=$(sh "$here/wine_loader.sh" "$kind" 2>&1)
status=$?
if [ $status -ne 0 ]; then
  echo "$loader: $1 is not run" >&2
  exit $status
fi

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  sh "$here/make_wineprefix.sh" "$prefix" >&2
  if [ ! -f "$prefix/system.reg" ]; then
    echo "the wine prefix $prefix could not be made: $1 is not run (skipped)" >&2
    exit 77
  fi
fi
[ -z "$prepare" ] || exit 0
# A start that wine itself gives up (on a loaded machine its server can be
# busy starting or ending) fails at once and says nothing; a program that ran
# says at least something. Such a start is tried once more.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$loader" "$@" >"$out" 2>"$err"
status=$?
if [ $status -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  sleep 1
  "$loader" "$@" >"$out" 2>"$err"
  status=$?
fi
cat "$out"
cat "$err" >&2
exit $status
