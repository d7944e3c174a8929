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

# Without its platform plugin Qt ends the program at once; with it the program is still up after
# the splash and waits for its user until the time runs out.
status=0
QT_QPA_PLATFORM=offscreen timeout 20 "$run" "$dest/bin/venturo_mtd.exe" >"$dest/out.txt" 2>&1 || status=$?
if [ "$status" -ne 124 ]; then
    echo "the installed program ended by itself (status $status):"
    cat "$dest/out.txt"
    exit 1
fi
