#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those not yet installed.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang
    qt6-base-dev libpcre2-dev libpugixml-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    zlib1g-dev uuid-dev libssl-dev tzdata
    xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "All required packages are installed."
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
