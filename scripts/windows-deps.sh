#!/usr/bin/env bash
# The Windows side of the build: installs the cross compiler and Wine (Debian packages), then builds the
# third-party libraries for Windows (PCRE2 16-bit with JIT, pugixml, zlib, libdeflate, libsodium,
# GoogleTest, and the nlohmann-json headers) from Debian's own source packages as static libraries, and
# Qt's qtbase as DLLs (a prebuilt copy of the same configuration is unpacked instead when one is at hand,
# see VENTURO_QT_PREBUILT below). They land in a cache folder outside the work tree, named after a
# hash of this script, and are reused for as long as the script is unchanged.
# Prints the folder on its last line; the windows preset reads it from VENTURO_WINDOWS_DEPS.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 dpkg-dev cmake ninja-build
          autoconf automake libtool
          qt6-base-dev qt6-base-dev-tools icoutils librsvg2-bin xvfb xauth)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

key="$(sha256sum "$0" | cut -c1-16)"
cache="${VENTURO_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/venturo-mtd/windows-deps}"
prefix="$cache/$key"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

# Source packages come from the same archive as the machine's binary packages: each deb822 entry of the
# system's sources is copied with its type changed to deb-src (once; nothing else is added).
if ! apt-get source --print-uris zlib >/dev/null 2>&1; then
    srclist=/etc/apt/sources.list.d/venturo-deb-src.sources
    for f in /etc/apt/sources.list.d/*.sources; do
        [ "$f" = "$srclist" ] && continue
        sed -n '/^Types:.*\bdeb\b/,/^$/p' "$f" | sed 's/^Types:.*/Types: deb-src/'
    done | $SUDO tee "$srclist" >/dev/null
    if [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a "$srclist" >/dev/null || true
    fi
    $SUDO apt-get update -qq
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/venturo-windows-deps.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Builds of earlier versions of this script are of no further use.
find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} + 2>/dev/null || true
rm -rf "$prefix"
mkdir -p "$prefix"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs="$(nproc)"

source_of() { # unpacks Debian's source package $1 into $work/$1 and prints that folder
    # Newest version first; an archive that lists a version but cannot serve it yields to the next.
    local v
    mkdir -p "$work/$1"
    for v in $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -u -r -V); do
        if (cd "$work/$1" && apt-get source -qq "$1=$v" >/dev/null 2>&1); then
            find "$work/$1" -mindepth 1 -maxdepth 1 -type d | head -n1
            return 0
        fi
        rm -rf "${work:?}/$1"/*
    done
    echo "No source of $1 could be fetched" >&2
    return 1
}

cmake_install() { # source folder, then cache variables
    local src="$1"
    shift
    cmake -S "$src" -B "$src/build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVENTURO_WINDOWS_DEPS="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
    cmake --build "$src/build-windows" -j "$jobs" >/dev/null
    cmake --install "$src/build-windows" >/dev/null
}

echo "Building zlib for Windows" >&2
src="$(source_of zlib)" || exit 1
# Debian's source leaves out the Windows makefiles; the library is its fifteen sources, compiled as is.
zsrc=(adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees
      uncompr zutil)
zobjs=()
for f in "${zsrc[@]}"; do
    x86_64-w64-mingw32-gcc-posix -O2 -c "$src/$f.c" -o "$work/zlib-$f.o"
    zobjs+=("$work/zlib-$f.o")
done
mkdir -p "$prefix/lib"
x86_64-w64-mingw32-ar rcs "$prefix/lib/libz.a" "${zobjs[@]}"
install -D -m644 -t "$prefix/include" "$src/zlib.h" "$src/zconf.h"

echo "Building libdeflate for Windows" >&2
src="$(source_of libdeflate)" || exit 1
# Its Makefile builds a DLL for Windows; the static library is its sources (the generic ones and the x86
# processor detection), compiled as is.
dobjs=()
for f in "$src"/lib/*.c "$src"/lib/x86/cpu_features.c; do
    o="$work/libdeflate-$(basename "$(dirname "$f")")-$(basename "$f" .c).o"
    x86_64-w64-mingw32-gcc-posix -O2 -I"$src" -c "$f" -o "$o"
    dobjs+=("$o")
done
x86_64-w64-mingw32-ar rcs "$prefix/lib/libdeflate.a" "${dobjs[@]}"
install -D -m644 -t "$prefix/include" "$src/libdeflate.h"

echo "Building PCRE2 (16-bit, JIT) for Windows" >&2
cmake_install "$(source_of pcre2)" -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=ON \
    -DPCRE2_SUPPORT_JIT=ON -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF \
    -DPCRE2_SUPPORT_LIBBZ2=OFF -DPCRE2_SUPPORT_LIBZ=OFF -DPCRE2_SUPPORT_LIBREADLINE=OFF \
    -DPCRE2_SUPPORT_LIBEDIT=OFF

echo "Building pugixml for Windows" >&2
cmake_install "$(source_of pugixml)" -DPUGIXML_BUILD_TESTS=OFF

echo "Installing nlohmann-json (headers) for Windows" >&2
cmake_install "$(source_of nlohmann-json3)" -DJSON_BuildTests=OFF -DJSON_Install=ON

echo "Building libsodium for Windows" >&2
# The update's Ed25519 signatures. The minimal build holds signing and hashing (all the update needs);
# without the stack protector the library needs no libssp DLL beside the program.
src="$(source_of libsodium)" || exit 1
# Debian's source carries no generated configure script.
(cd "$src" && autoreconf -fi >/dev/null 2>&1 && ./configure -q --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --prefix="$prefix" \
    --enable-static --disable-shared --enable-minimal --disable-ssp --disable-dependency-tracking >/dev/null &&
    make -j "$jobs" >/dev/null && make install >/dev/null)

echo "Building GoogleTest for Windows" >&2
cmake_install "$(source_of googletest)" -DINSTALL_GTEST=ON -DBUILD_GMOCK=ON

# Qt 6.4.2 qtbase: Core, Gui, Widgets, Network (TLS through Schannel), the windows, offscreen and
# minimal platform plugins and the Windows styles, with its own zlib, PCRE2, libpng, libjpeg, HarfBuzz
# and FreeType. Its build tools (moc, rcc, uic) are Debian's own Qt's, which must be the same version.
qt_source_version="6.4.2+dfsg-10"
qt_patch="$root/scripts/patches/qtbase-6.4.2-no-opengl.patch"
qt_options=(
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_openssl=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_tabletevent=OFF
)
# The prebuilt copy: its archive, its README (the configure command it was made with) and its patch.
# By default the folder shared/cache beside the repository (beside the main checkout for a worktree).
qt_prebuilt_dir="${VENTURO_QT_PREBUILT:-}"
if [ -z "$qt_prebuilt_dir" ]; then
    qt_prebuilt_dir="$root/../shared/cache"
    main_checkout="$(git -C "$root" rev-parse --path-format=absolute --git-common-dir 2>/dev/null)/.." || true
    [ -d "$qt_prebuilt_dir" ] || qt_prebuilt_dir="$main_checkout/../shared/cache"
fi
qt_prebuilt="$qt_prebuilt_dir/qtbase-6.4.2-mingw-w64-x86_64.tar.xz"
qt_prebuilt_sha256="6da73e9bdaa059543e1ce87cf0ee073c60fea4ddcdcdead3c01f95b239844f3a"

qt_prebuilt_matches() { # the copy is used only if it was configured exactly as this script would
    local readme="$qt_prebuilt_dir/README.md" recorded ours
    [ -f "$qt_prebuilt" ] && [ -f "$readme" ] || return 1
    grep -q "qt6-base. source package ($qt_source_version" "$readme" || return 1
    cmp -s "$qt_patch" "$qt_prebuilt_dir/$(basename "$qt_patch")" || return 1
    # Options of the recorded configure command, less the two that name local paths.
    recorded="$(sed -n '/^ *cmake -S qtbase/,/^ *cmake --build/p' "$readme" | grep -o -- '-D[A-Za-z0-9_]*=[^ ]*' |
        grep -v -e '^-DCMAKE_TOOLCHAIN_FILE=' -e '^-DCMAKE_INSTALL_PREFIX=' | sort)"
    ours="$(printf '%s\n' "${qt_options[@]}" -DCMAKE_BUILD_TYPE=Release -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake | sort)"
    [ "$recorded" = "$ours" ]
}

if qt_prebuilt_matches; then
    echo "Unpacking the prebuilt Qt for Windows from $qt_prebuilt_dir" >&2
    if ! echo "$qt_prebuilt_sha256  $qt_prebuilt" | sha256sum -c --quiet -; then
        echo "$qt_prebuilt does not have the expected checksum" >&2
        exit 1
    fi
    tar -xJf "$qt_prebuilt" -C "$prefix" --strip-components=1
else
    echo "No prebuilt Qt of this configuration in $qt_prebuilt_dir:" \
        "building Qt for Windows from source (about 40 minutes on two cores)" >&2
    mkdir -p "$work/qt6-base"
    (cd "$work/qt6-base" && apt-get source -qq "qt6-base=$qt_source_version" >/dev/null)
    src="$(find "$work/qt6-base" -mindepth 1 -maxdepth 1 -type d | head -n1)"
    patch -d "$src" -p1 -s <"$qt_patch"
    cmake -S "$src" -B "$work/qt-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DVENTURO_WINDOWS_DEPS="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "${qt_options[@]}" >/dev/null
    cmake --build "$work/qt-build" --parallel "$jobs" >/dev/null
    cmake --install "$work/qt-build" >/dev/null
fi

touch "$prefix/.complete"
echo "$prefix"
