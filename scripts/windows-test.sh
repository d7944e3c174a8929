#!/usr/bin/env bash
# Builds the windows preset and runs its tests under Wine, in a Wine prefix made for this run alone and
# removed afterwards; only the wine server of that prefix is stopped. Arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
VENTURO_WINDOWS_DEPS="$(scripts/windows-deps.sh | tail -n1)"
export VENTURO_WINDOWS_DEPS
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
prefix="$(mktemp -d "${TMPDIR:-/tmp}/venturo-wine.XXXXXX")"
export VENTURO_WINEPREFIX="$prefix"
cleanup() {
    WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init >/dev/null 2>&1
# One server for the whole run: each test program then starts in a fraction of a second.
WINEPREFIX="$prefix" "$wineserver" -p || true # the one wineboot started may already be waiting
ctest --preset windows "$@"
