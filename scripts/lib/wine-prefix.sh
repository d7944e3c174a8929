# Sourced by the Windows scripts: a Wine prefix made for one run in a work folder of its own, with one
# wine server kept waiting for it; on exit only that server is stopped and the folder removed.
#   private_wine_prefix WORK_FOLDER [DLL overrides added to Wine's usual ones]
# Sets wine, wineserver, work and prefix, and exports WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

private_wine_prefix() {
    work="$1"
    prefix="$work/prefix"
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${2:+;$2}"
    trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
    "$wine" wineboot --init >/dev/null 2>&1
    "$wineserver" -p || true # the one wineboot started may already be waiting
}
