#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Nimbara.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-svg-dev qt6-multimedia-dev libgl-dev
    libplist-dev libzip-dev zlib1g-dev libexif-dev libsqlite3-dev libssl-dev
    libimobiledevice-dev libusbmuxd-dev usbmuxd libimobiledevice-utils
    googletest libgtest-dev
    xvfb xauth fonts-dejavu-core fonts-noto-color-emoji
    sqlite3 poppler-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
