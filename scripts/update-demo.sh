#!/usr/bin/env bash
# Prepares an update that the program can really install: a demo key pair (made here, once), the
# program built to trust it and to ask a loopback server, and a signed release of the same sources
# with a higher version. Used by `scripts/run.sh --update-server`; see docs/UPDATE_MANIFEST.md.
#   scripts/update-demo.sh DEMO-FOLDER PORT
# Writes DEMO-FOLDER/program (the installed program) and DEMO-FOLDER/update-server (what the
# server serves). Needs build/release (scripts/build.sh release) for the signing tool.
set -euo pipefail
cd "$(dirname "$0")/.."
demo="$1"
port="$2"
sign=build/release/bin/venturo_update_sign
keys=build/update-demo
key="$keys/release.key"

# The demo's own key pair; the secret key never leaves this machine's build folder.
mkdir -p "$keys"
[ -f "$key" ] || "$sign" keygen "$key" >/dev/null
public_key="$("$sign" pubkey "$key")"

version="$(sed -n 's/^VENTURO_PRODUCT_VERSION:STRING=//p' build/release/CMakeCache.txt)"
if [[ "$version" == *.* ]]; then
    newer="${version%.*}.$((${version##*.} + 1))"
else
    newer="$((version + 1))"
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The installed program and the release differ only in the version they were built with.
build_program() { # build-folder version
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        -DVENTURO_BUILD_TESTS=OFF -DVENTURO_BUILD_BENCH=OFF \
        -DVENTURO_UPDATE_SERVER_URL="http://127.0.0.1:$port" \
        -DVENTURO_UPDATE_PUBLIC_KEY="$public_key" -DVENTURO_PRODUCT_VERSION="$2" >/dev/null
    cmake --build "$1" --target venturo_mtd -j "$(nproc)" >/dev/null
}
# The program and the shared libraries beside it ($ORIGIN is its library path).
copy_program() { # build-folder destination
    mkdir -p "$2"
    cp "$1/bin/venturo_mtd" "$2/"
    cp -P "$1"/bin/lib*.so* "$2/"
}
echo "Building version $version (installed) and $newer (the update) for http://127.0.0.1:$port ..."
build_program build/update-old "$version"
build_program build/update-new "$newer"

rm -rf "$demo/program" "$demo/update-server"
copy_program build/update-old "$demo/program"
copy_program build/update-new "$demo/update-server"
# Links are not installed as links: the release lists real files only.
find "$demo/update-server" -type l -delete
server="$demo/update-server"
printf 'Venturo MTD %s demonstration release.\r\nThis update was built and signed on this machine.\r\n' \
    "$newer" >"$server/EULA.txt"

entry() { # key file
    echo "$1=$(stat -c %s "$server/$2") $(sha256sum "$server/$2" | cut -d' ' -f1) $2"
}
{
    echo "; Venturo MTD $newer (demo)"
    echo "[WebUpdate]"
    echo "Version=$newer"
    echo "Date=$(LC_ALL=C date +%d/%m/%Y)"
    echo "Time=$(LC_ALL=C date +%H:%M)"
    entry License EULA.txt
    (cd "$server" && ls -1 | grep -v '^EULA.txt$') | while read -r f; do entry File "$f"; done
} >"$demo/update_v03.inf" # written beside the release, so that it does not list itself
mv "$demo/update_v03.inf" "$server/update_v03.inf"
"$sign" sign "$key" "$server/update_v03.inf" >/dev/null
echo "Release $newer signed in $server"
