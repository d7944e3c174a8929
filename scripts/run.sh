#!/usr/bin/env bash
# Newcomer's first command: install what is missing, build, make the sample datasets, start the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release

bin=build/release/bin
demo="$PWD/demo"
# A Wine-style prefix whose public folder holds the sample companies, found by the program's own search.
rm -rf "$demo"
"$bin/venturo_sample_datasets" --demo "$demo/wineprefix"
export WINEPREFIX="$demo/wineprefix"
export VENTURO_MTD_REGISTRY="$demo/registry"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
    echo "No display is available, so the window cannot be shown here."
    echo "Run it under a virtual display instead:"
    echo "    xvfb-run -a -s '-screen 0 1280x800x24' scripts/run.sh"
    echo "Meanwhile, the same core from the command line:"
    "$bin/venturo_mtd_cli" scan
    exit 0
fi
exec "$bin/venturo_mtd"
