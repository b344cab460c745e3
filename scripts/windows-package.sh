#!/usr/bin/env bash
# Cross-builds the Windows program (64-bit, MinGW-w64, Release) into
# build-windows/ and makes its two packages there:
#   valmora-panel-<version>-win64.zip        unzip and run
#   valmora-panel-<version>-win64-setup.exe  an installer for all users
# Qt and OpenSSL for Windows come from scripts/windows-sdk.sh, which builds
# them from Debian's sources the first time (half an hour or more) and then
# reuses them. Prints the two packages' paths as the last two lines.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
# makensis reads the Russian read-me's name in the locale's character set.
export LC_ALL=C.UTF-8
source scripts/lib/version.sh

scripts/install-windows-deps.sh >&2
sdk=$(scripts/windows-sdk.sh | tail -n 1)
[ -f "$sdk/sdk.env" ] || {
    echo "windows-package: no Windows SDK in '$sdk'" >&2
    exit 1
}

build=$here/build-windows
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DVALMORA_WINDOWS_SDK="$sdk" >&2
cmake --build "$build" --parallel "$(nproc)" >&2

version=$(project_version)
name=valmora-panel-$version-win64
rm -f "$build/$name.zip" "$build/$name-setup.exe"
(cd "$build" && cpack -G "ZIP;NSIS" >&2) || {
    log=$build/_CPack_Packages/win64/NSIS/NSISOutput.log
    [ ! -f "$log" ] || tail -n 30 "$log" >&2
    exit 1
}
for package in "$build/$name.zip" "$build/$name-setup.exe"; do
    [ -f "$package" ] || {
        echo "windows-package: CPack made no $package" >&2
        exit 1
    }
    echo "$package"
done
