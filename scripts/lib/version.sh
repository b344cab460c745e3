# Sourced by the scripts that name a package by its version
# (check-package.sh, windows-package.sh, check-windows.sh, bench-windows.sh).

version_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# project_version: the version as project(VERSION …) of the top
# CMakeLists.txt sets it, the one place it is set: "1.0.0".
project_version() {
    sed -n 's/^project(valmora-panel VERSION \([0-9.]*\).*/\1/p' "$version_root/CMakeLists.txt"
}
