#!/bin/sh
# Runs the cross-compiled registry test under Wine in a prefix of its own.
# Usage: run_under_wine.sh WINE64 TEST_EXE; either empty when Wine or the cross
# compiler is not installed, and the test is skipped (exit code 77).
set -u
wine=${1:-}
exe=${2:-}
if [ -z "$wine" ] || [ -z "$exe" ]; then
    echo "wine64 or the mingw-w64 cross compiler not installed: skipped"
    exit 77
fi
# A test program that should have been built but is not there is a failure.
if [ ! -f "$exe" ]; then
    echo "$exe was not built"
    exit 1
fi
wineserver=$(dirname "$wine")/wineserver

prefix=$(mktemp -d "${TMPDIR:-/tmp}/screenprog-wine.XXXXXX") || exit 1
export WINEPREFIX="$prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
cleanup() {
    # Only this prefix's server, which this script started.
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w 2>/dev/null
    rm -rf "$prefix"
}
trap cleanup EXIT

"$wine" "$exe"
