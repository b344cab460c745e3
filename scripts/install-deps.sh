#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Runs apt-get only when something is missing; uses sudo when not root.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-httpserver-dev qt6-websockets-dev
    libssl-dev
    # The history's database: Qt SQL's SQLite driver.
    libqt6sql6-sqlite
    fonts-dejavu-core
    # The fuzz targets: clang, its libFuzzer and sanitizer runtimes (only
    # recommended by clang), and llvm-symbolizer for readable reports.
    clang libclang-rt-14-dev llvm
    # Static checks.
    clang-format clang-tidy
    # The Debian package (scripts/package.sh) and its checks
    # (scripts/check-package.sh).
    dpkg-dev lintian file desktop-file-utils
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
