#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package
# build/valmora-panel_<version>_<arch>.deb with CPack. Everything happens
# in build/; nothing is installed on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
cd build
rm -f valmora-panel_*.deb
cpack -G DEB >cpack.log 2>&1 || {
    cat cpack.log >&2
    echo "CPack failed (log: build/cpack.log)" >&2
    exit 1
}
ls "$PWD"/valmora-panel_*.deb
