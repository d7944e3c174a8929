#!/bin/sh
# The installed folder runs on its own: `cmake --install` of this build into an empty folder yields the
# programs with everything they load, and the program started there finds its Qt platform plugin and
# keeps running. Arguments: the build folder, then the emulator that runs Windows programs.
set -eu
build="$1"
run="$2"
dest="$(mktemp -d "${TMPDIR:-/tmp}/venturo-installed.XXXXXX")"
trap 'rm -rf "$dest"' EXIT
cmake --install "$build" --prefix "$dest" >/dev/null

missing=""
for f in venturo_mtd.exe venturo_mtd_cli.exe liborvi_rtl.dll liborvi_utils.dll liborvi_sage_datasets.dll \
    libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll \
    Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll \
    platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll tls/qschannelbackend.dll; do
    [ -f "$dest/bin/$f" ] || missing="$missing $f"
done
if [ -n "$missing" ]; then
    echo "not installed:$missing"
    exit 1
fi

version="$("$run" "$dest/bin/venturo_mtd.exe" --version)"
case "$version" in
    "Venturo MTD "*) ;;
    *) echo "unexpected --version answer: $version"; exit 1 ;;
esac

# Qt loads the platform plugin from the installed folder (Wine names each DLL it loads), and the
# program is still up, waiting for its user, when the time runs out.
status=0
VENTURO_WINE_EXEC=1 QT_QPA_PLATFORM=offscreen WINEDEBUG=+loaddll timeout 20 "$run" "$dest/bin/venturo_mtd.exe" \
    >"$dest/out.txt" 2>&1 || status=$?
if ! grep -qi "Loaded L\".*$(basename "$dest").*platforms.*qoffscreen\.dll\"" "$dest/out.txt"; then
    echo "the offscreen platform was not loaded from the installed folder:"
    grep -i qoffscreen "$dest/out.txt" || true
    exit 1
fi
if [ "$status" -ne 124 ]; then
    echo "the installed program ended by itself (status $status)"
    exit 1
fi
