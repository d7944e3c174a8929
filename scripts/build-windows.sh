#!/usr/bin/env bash
# Builds the Windows installer: the windows preset built and installed into a staging folder, the
# programs and our DLLs signed, the MSI made with wixl from installer/VenturoMTD.wxs and signed.
#   scripts/build-windows.sh                    build/windows/dist/VenturoMTD-<version>-x64.msi
#   scripts/build-windows.sh --package-only --version V --out DIR
#                                               the staged build packed again as version V into DIR
#                                               (how the installer test makes a newer MSI to upgrade to)
# Signing: VENTURO_SIGN_CERT and VENTURO_SIGN_KEY (PEM files; environment or CMake cache of the windows
# preset), VENTURO_SIGN_PASSWORD for an encrypted key. Without them the build is unsigned and says so.
# Time stamps keep a signature valid after its certificate expires: VENTURO_SIGN_TIMESTAMP_URL names an
# RFC 3161 time-stamping service, or VENTURO_SIGN_TSA_CERT and VENTURO_SIGN_TSA_KEY (PEM) a time-stamping
# certificate that stamps locally (a build without network access; CI's throwaway one).
# VENTURO_WINDOWS_DEPS, when set, names third-party libraries already built by scripts/windows-deps.sh.
set -euo pipefail
out=""
version=""
package_only=0
while [ $# -gt 0 ]; do
    case "$1" in
    --version) version="${2:?--version needs a value}"; shift 2 ;;
    --out) out="$(realpath -m "${2:?--out needs a folder}")"; shift 2 ;;
    --package-only) package_only=1; shift ;;
    *) echo "usage: $0 [--package-only] [--version X.Y.Z] [--out DIR]" >&2; exit 2 ;;
    esac
done
# Files named by the caller are found from the caller's folder.
[ -z "${VENTURO_SIGN_CERT:-}" ] || VENTURO_SIGN_CERT="$(realpath "$VENTURO_SIGN_CERT")"
[ -z "${VENTURO_SIGN_KEY:-}" ] || VENTURO_SIGN_KEY="$(realpath "$VENTURO_SIGN_KEY")"
[ -z "${VENTURO_SIGN_TSA_CERT:-}" ] || VENTURO_SIGN_TSA_CERT="$(realpath "$VENTURO_SIGN_TSA_CERT")"
[ -z "${VENTURO_SIGN_TSA_KEY:-}" ] || VENTURO_SIGN_TSA_KEY="$(realpath "$VENTURO_SIGN_TSA_KEY")"
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/build/windows"
stage="$build/stage"
[ -n "$out" ] || out="$build/dist"

fail() { echo "build-windows: $*" >&2; exit 1; }

if [ "$package_only" -eq 0 ]; then
    if [ -z "${VENTURO_WINDOWS_DEPS:-}" ]; then
        VENTURO_WINDOWS_DEPS="$(scripts/windows-deps.sh | tail -n1)"
    fi
    export VENTURO_WINDOWS_DEPS
    signing=()
    [ -n "${VENTURO_SIGN_CERT:-}" ] && signing+=("-DVENTURO_SIGN_CERT=$VENTURO_SIGN_CERT")
    [ -n "${VENTURO_SIGN_KEY:-}" ] && signing+=("-DVENTURO_SIGN_KEY=$VENTURO_SIGN_KEY")
    # The installer is for the desktop program: a build folder configured without it is set right.
    cmake --preset windows -DVENTURO_BUILD_GUI=ON -DVENTURO_BUILD_UPDATE=ON "${signing[@]}" >/dev/null
    # The programs an installation holds (the DLLs they load come with them); the tests are
    # scripts/windows-test.sh's.
    targets="$(ninja -C "$build" -t targets all)"
    programs=()
    for target in venturo_mtd_cli venturo_mtd; do
        grep -q "^$target:" <<<"$targets" && programs+=("$target")
    done
    cmake --build --preset windows -j "$(nproc)" --target "${programs[@]}"
    rm -rf "$stage"
    # Stripped: the debug information stays in the build tree, the installer carries the programs only.
    cmake --install "$build" --prefix "$stage" --strip >/dev/null
    # The compiler's runtime DLLs come with their debug information (libstdc++ alone is 20 MB of it).
    find "$stage/bin" -type f \( -iname '*.dll' -o -iname '*.exe' \) -exec x86_64-w64-mingw32-strip --strip-debug {} +
fi
[ -d "$stage/bin" ] || fail "nothing staged in $stage (run without --package-only first)"
for tool in wixl wixl-heat osslsigncode; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/windows-deps.sh installs it)"
done

cache_value() { # a variable of the windows preset's CMake cache
    sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"
}
[ -n "$version" ] || version="$(cache_value VENTURO_PRODUCT_VERSION)"
# An MSI version is three numbers; a suffix ("-beta2") stays in the program's own version only.
msi_version="$(printf '%s' "$version" | grep -oE '^[0-9]+\.[0-9]+\.[0-9]+')" ||
    fail "version \"$version\" does not start with three numbers"
cert="${VENTURO_SIGN_CERT:-$(cache_value VENTURO_SIGN_CERT)}"
key="${VENTURO_SIGN_KEY:-$(cache_value VENTURO_SIGN_KEY)}"

sign() { # signs the file in place with the configured certificate
    local args=(sign -certs "$cert" -key "$key" -h sha256 -n "Venturo MTD" -i "https://www.corvane.co.uk/")
    [ -n "${VENTURO_SIGN_PASSWORD:-}" ] && args+=(-pass "$VENTURO_SIGN_PASSWORD")
    args+=("${stamp[@]}")
    osslsigncode "${args[@]}" -in "$1" -out "$1.signed" >/dev/null || { rm -f "$1.signed"; fail "signing $1 failed"; }
    mv "$1.signed" "$1"
}
signed=0
if [ -n "$cert" ] && [ -n "$key" ]; then
    signed=1
elif [ -n "$cert$key" ]; then
    fail "VENTURO_SIGN_CERT and VENTURO_SIGN_KEY go together"
fi
stamp=()
if [ -n "${VENTURO_SIGN_TIMESTAMP_URL:-}" ]; then
    stamp=(-ts "$VENTURO_SIGN_TIMESTAMP_URL")
elif [ -n "${VENTURO_SIGN_TSA_CERT:-}" ] && [ -n "${VENTURO_SIGN_TSA_KEY:-}" ]; then
    stamp=(-TSA-certs "$VENTURO_SIGN_TSA_CERT" -TSA-key "$VENTURO_SIGN_TSA_KEY")
elif [ -n "${VENTURO_SIGN_TSA_CERT:-}${VENTURO_SIGN_TSA_KEY:-}" ]; then
    fail "VENTURO_SIGN_TSA_CERT and VENTURO_SIGN_TSA_KEY go together"
fi
[ "$signed" -eq 0 ] || [ ${#stamp[@]} -gt 0 ] ||
    echo "note: signatures carry no time stamp and lapse with the certificate (VENTURO_SIGN_TIMESTAMP_URL)" >&2

# The program folder is what the build installed into bin; import libraries and headers stay out.
program="$stage/bin"
if [ "$signed" -eq 1 ] && [ "$package_only" -eq 0 ]; then
    # Ours: every program, and the DLLs we build (Qt's and the compiler's come signed or not from them).
    find "$program" -type f \( -iname '*.exe' -o -iname '*orvi_*.dll' -o -iname '*venturo*.dll' \) -print0 |
        while IFS= read -r -d '' f; do sign "$f"; done
fi

mkdir -p "$out"
work="$(mktemp -d "${TMPDIR:-/tmp}/venturo-msi.XXXXXX")"
trap 'rm -rf "$work"' EXIT
has_gui=no
[ -f "$program/venturo_mtd.exe" ] && has_gui=yes
# Every staged file but the desktop program, which the installer source names itself (its shortcut
# and icon point at it).
(cd "$program" && find . -type f ! -path ./venturo_mtd.exe | sed 's#^\./##' | LC_ALL=C sort) |
    wixl-heat -p "" --directory-ref INSTALLDIR --component-group ProgramFiles --var var.StageDir --win64 \
        >"$work/Files.wxs"
msi="$out/VenturoMTD-$msi_version-x64.msi"
# wixl finds sources only by relative paths, so it runs in the program folder.
(cd "$program" && wixl -a x64 -D Version="$msi_version" -D StageDir=. -D HasGui="$has_gui" -D Win64=yes \
    -o "$msi" "$root/installer/VenturoMTD.wxs" "$work/Files.wxs")
[ "$signed" -eq 1 ] && sign "$msi"

size=$(stat -c %s "$msi")
limit=$((40 * 1024 * 1024))
[ "$size" -lt "$limit" ] || fail "$msi is $size bytes, over the 40 MB an installer may have"
if [ "$signed" -eq 1 ]; then
    echo "signed with $cert"
else
    echo "UNSIGNED: VENTURO_SIGN_CERT and VENTURO_SIGN_KEY are not set; Windows will warn of an unknown publisher"
fi
[ "$has_gui" = yes ] || echo "The program folder holds no venturo_mtd.exe: the installer has no desktop program or shortcut"
echo "$msi ($((size / 1024)) KB)"
