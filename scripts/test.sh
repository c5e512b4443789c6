#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, then says
# how many ran, passed, failed and were skipped, and why the skipped ones were.
#
# VS_REQUIRE (a comma list of wine64, wine32, display) turns the skips for a
# missing 64-bit wine, 32-bit wine or virtual display into failures: for a
# machine that is known to have them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default
mkdir -p build/Testing
results=build/Testing/results.xml
rm -f "$results"
status=0
ctest --preset default --output-junit "$PWD/$results" || status=$?
scripts/test_summary.sh "$results" || true
exit $status
