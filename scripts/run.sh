#!/usr/bin/env bash
# Newcomer's first command: install what is missing, build, make the sample datasets, start the program.
#   scripts/run.sh                  the program as built
#   scripts/run.sh --update-server  a copy of the program that finds a newer, signed version of
#                                   itself on a local server (http://127.0.0.1:$VENTURO_UPDATE_PORT,
#                                   default 8765) and installs it; see docs/UPDATE_MANIFEST.md
set -euo pipefail
cd "$(dirname "$0")/.."
update_server=0
case "${1:-}" in
"") ;;
--update-server) update_server=1 ;;
*)
    echo "Usage: scripts/run.sh [--update-server]" >&2
    exit 2
    ;;
esac
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
    echo "    xvfb-run -a -s '-screen 0 1280x800x24' scripts/run.sh $*"
    echo "Meanwhile, the same core from the command line:"
    "$bin/venturo_mtd_cli" scan
    exit 0
fi
if [ $update_server = 0 ]; then
    exec "$bin/venturo_mtd"
fi

if ! command -v python3 >/dev/null; then
    echo "The local update server needs python3 (apt-get install python3)." >&2
    exit 1
fi
port="${VENTURO_UPDATE_PORT:-8765}"
scripts/update-demo.sh "$demo" "$port"
# The update's log and downloads go to the demo's own cache folder.
export XDG_CACHE_HOME="$demo/cache"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$demo/update-server" \
    >"$demo/update-server.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
sleep 1
program="$demo/program/venturo_mtd"
"$program" || true
# An update starts the new program and ends this one: the server stays while the new one runs.
while pgrep -f -x "$program" >/dev/null; do
    sleep 1
done
echo "--- $XDG_CACHE_HOME/Venturo MTD/WUPDATE.LOG"
cat "$XDG_CACHE_HOME/Venturo MTD/WUPDATE.LOG" 2>/dev/null || echo "(no update was tried)"
