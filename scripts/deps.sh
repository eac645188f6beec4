#!/usr/bin/env bash
# Installs the Debian 12 packages Kandrilox needs to build, run and test,
# skipping those already present. Needs root (or sudo) only when something is missing.
# Debian 12's Qt HTTP server CMake files need the WebSockets development files
# too; dpkg-dev, lintian and systemd build and check the package and its units.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev
    qt6-httpserver-dev qt6-websockets-dev
    dpkg-dev lintian systemd
    libgtest-dev libgmock-dev libbenchmark-dev
    postgresql
    openssl
    fonts-wqy-microhei
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
