#!/usr/bin/env bash
# Installs the Debian 12 packages that the Windows build (scripts/windows-sdk.sh
# and the cross build of the program) and its checks under Wine need, and
# lets apt fetch Debian's source packages, from which Qt, OpenSSL and SQLite
# are built.
# Runs apt-get only when something is missing; uses sudo when not root.
set -euo pipefail

packages=(
    # The MinGW-w64 cross compiler with the posix thread model: Qt 6 needs
    # std::thread and std::mutex.
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # Building OpenSSL and Qt from Debian's source packages; Debian's own
    # Qt 6 provides the host tools (moc, rcc, uic, ...) of the same version.
    dpkg-dev xz-utils perl make cmake ninja-build
    qt6-base-dev qt6-base-dev-tools
    # SQLite's source is its full tree: the build machine's compiler and
    # tclsh make the single sqlite3.c from it.
    gcc tcl
    # Running the Windows programs and tests, the installer and the archive.
    wine wine64 xvfb xauth nsis zip unzip
    # Checking them (scripts/check-windows.sh): the resources in the .exe,
    # the window's size on screen and a screenshot of it.
    icoutils x11-utils imagemagick
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Source entries ("deb-src") for the Debian suites of this machine's binary
# entries, in a file of their own, unless some source entry for them is there
# already. Both formats of apt's lists are read: deb822 (*.sources) and the
# one-line one (sources.list, *.list).
apt_dir=/etc/apt/sources.list.d
own_sources="$apt_dir/valmora-debian-src.sources"
own_list="$apt_dir/valmora-debian-src.list"

deb822_files() {
    local file
    for file in "$apt_dir"/*.sources; do
        [ -f "$file" ] && printf '%s\n' "$file"
    done
    return 0
}

one_line_files() {
    local file
    for file in /etc/apt/sources.list "$apt_dir"/*.list; do
        [ -f "$file" ] && printf '%s\n' "$file"
    done
    return 0
}

# With want=deb-src: prints "found" for each enabled stanza that already names
# source entries of a Debian 12 suite. With want=deb: prints each enabled
# binary stanza of a Debian 12 suite again as a source stanza.
deb822_stanzas() {
    local want=$1
    shift
    [ $# -gt 0 ] || return 0
    awk -v want="$want" '
        function flush() {
            if (stanza != "" && enabled && bookworm) {
                if (want == "deb-src" && has_src) print "found"
                if (want == "deb" && has_deb && !has_src) printf "%s\n", stanza
            }
            stanza = ""; enabled = 1; bookworm = 0; has_deb = 0; has_src = 0
        }
        BEGIN { enabled = 1 }
        FNR == 1 { flush() }
        /^#/ { next }
        /^[ \t]*$/ { flush(); next }
        {
            line = $0
            if (tolower($1) == "types:") line = "Types: deb-src"
            stanza = stanza line "\n"
        }
        tolower($1) == "types:" {
            for (i = 2; i <= NF; i++) {
                if ($i == "deb") has_deb = 1
                if ($i == "deb-src") has_src = 1
            }
        }
        tolower($1) == "suites:" {
            for (i = 2; i <= NF; i++) if ($i ~ /^bookworm/) bookworm = 1
        }
        tolower($1) == "enabled:" && tolower($2) == "no" { enabled = 0 }
        END { flush() }
    ' "$@"
}

has_debian_sources() {
    local -a files
    mapfile -t files < <(one_line_files)
    if [ ${#files[@]} -gt 0 ] &&
        grep -Eqs '^[[:space:]]*deb-src[[:space:]].*[[:space:]]bookworm' "${files[@]}"; then
        return 0
    fi
    mapfile -t files < <(deb822_files)
    [ -n "$(deb822_stanzas deb-src "${files[@]}")" ]
}

sources_added=false
if ! has_debian_sources; then
    mapfile -t files < <(deb822_files)
    stanzas=$(deb822_stanzas deb "${files[@]}")
    mapfile -t files < <(one_line_files)
    lines=""
    if [ ${#files[@]} -gt 0 ]; then
        lines=$(sed -En 's/^[[:space:]]*deb([[:space:]].*[[:space:]]bookworm)/deb-src\1/p' "${files[@]}")
    fi
    if [ -z "$stanzas$lines" ]; then
        echo "No Debian 12 (bookworm) entry found in apt's sources to add source entries for" >&2
        exit 1
    fi
    echo "Adding Debian's source packages to apt's sources"
    header="# Debian's source packages, for building Qt and OpenSSL for Windows
# (added by the valmora-panel scripts/install-windows-deps.sh)."
    if [ -n "$stanzas" ]; then
        printf '%s\n\n%s\n' "$header" "$stanzas" | $sudo tee "$own_sources" >/dev/null
    fi
    if [ -n "$lines" ]; then
        printf '%s\n%s\n' "$header" "$lines" | $sudo tee "$own_list" >/dev/null
    fi
    sources_added=true
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ] || $sources_added; then
    $sudo apt-get update
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
