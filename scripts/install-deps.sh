#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those not yet installed.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang
    qt6-base-dev libpcre2-dev libpugixml-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    zlib1g-dev libdeflate-dev uuid-dev libsodium-dev tzdata locales
    xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if [ ${#missing[@]} -eq 0 ]; then
    echo "All required packages are installed."
else
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests of real numbers as text run under a comma-decimal locale; they skip when it is missing.
test_locale="de_DE.UTF-8"
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    echo "Generating the $test_locale locale for the tests."
    if ! grep -qx "$test_locale UTF-8" /etc/locale.gen 2>/dev/null; then
        echo "$test_locale UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
    $SUDO locale-gen
fi
