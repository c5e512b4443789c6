#!/bin/sh
# Runs the tests of the Windows build (windows_tests.sh WINDOWS_BUILD_DIR)
# under wine. Without wine they are skipped with a message (exit 77, which
# CTest counts as skipped), never failed.
build="$1"
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed: the Windows tests are skipped"
  exit 77
fi
if [ -z "$build" ] || [ ! -f "$build/CTestTestfile.cmake" ]; then
  echo "no Windows build at '$build'"
  exit 1
fi
exec ctest --test-dir "$build" --output-on-failure --no-tests=error
