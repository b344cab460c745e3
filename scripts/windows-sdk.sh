#!/usr/bin/env bash
# Builds OpenSSL 3, SQLite 3 and Qt 6 (qtbase: Core, Gui, Widgets, Network,
# Sql with its SQLite driver only, Test) for 64-bit Windows from Debian's own
# source packages, with Debian's patches (security fixes among them), using
# the MinGW-w64 cross compiler and Debian's Qt 6 as host tools. The result is
# one folder:
#   <sdk>/openssl   OpenSSL (bin/libcrypto-3-x64.dll, bin/libssl-3-x64.dll)
#   <sdk>/sqlite    SQLite as a static library (lib/libsqlite3.a, include/)
#   <sdk>/qt        Qt, which loads OpenSSL at run time and has SQLite linked
#                   into its driver plugins/sqldrivers/qsqlite.dll
#   <sdk>/sdk.env   the Debian source versions and the options used
# By default <sdk> is
#   ${XDG_CACHE_HOME:-$HOME/.cache}/valmora-panel/
#       windows-sdk-<Qt version>-<OpenSSL version>-<hash of the build options>
# where the hash covers all the source versions (SQLite's too) and options.
# and the environment variable VALMORA_WINDOWS_SDK names another one.
# A finished folder is used as it is; the build (half an hour to an hour on
# two cores) happens only when it is missing or unfinished.
#
# Prints the folder as the last line on standard output; messages, the time
# taken and (on failure) the end of the failing log go to standard error.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$here/cmake/mingw-w64-x86_64.cmake
triplet=x86_64-w64-mingw32
jobs=$(nproc)
started=$SECONDS

say() { printf 'windows-sdk: %s\n' "$*" >&2; }
die() {
    say "$*"
    exit 1
}
elapsed() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

"$here/scripts/install-windows-deps.sh" >&2

# OpenSSL looks for its configuration file, engines and providers in folders
# compiled into libcrypto. Built with the install prefix these would be this
# machine's cache folder, which Windows reads as a folder under the root of
# the current drive, where any local user may create it and plant an
# openssl.cnf. Use the folders of OpenSSL's own Windows builds instead: under
# "Program Files", which only administrators can write.
openssl_windows_dirs=(
    "OPENSSLDIR=C:/Program Files/Common Files/SSL"
    "ENGINESDIR=C:/Program Files/OpenSSL/lib/engines-3"
    "MODULESDIR=C:/Program Files/OpenSSL/lib/ossl-modules"
)
# CC=gcc-posix becomes x86_64-w64-mingw32-gcc-posix with the prefix.
openssl_options=(
    mingw64 "--cross-compile-prefix=$triplet-" CC=gcc-posix
    shared no-tests --libdir=lib
)

# SQLite goes into the SQLite driver as a static library: the driver is its
# only user, no sqlite3.dll is shipped, and no other sqlite3.dll that Windows
# may find first on its search path can stand in for ours.
# Serialized: one connection may be used from several threads. WAL stays in
# (nothing omits it); no extension is ever loaded. Qt's driver reads the
# table of a result's columns, which needs the column metadata.
sqlite_options=(
    -O2 -DNDEBUG
    -DSQLITE_THREADSAFE=1
    -DSQLITE_OMIT_LOAD_EXTENSION
    -DSQLITE_ENABLE_COLUMN_METADATA
)

qt_options=(
    -G Ninja
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    # Debian's Qt 6 (the same version) provides moc, rcc, uic and friends.
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    # Only Core, Gui, Widgets, Network, Sql and Test, and no tools for Windows.
    -DFEATURE_pkg_config=OFF
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF
    -DFEATURE_dbus=OFF -DFEATURE_icu=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF
    -DFEATURE_androiddeployqt=OFF
    # Qt SQL with the SQLite driver alone, on the SQLite built here: Debian's
    # source leaves out Qt's copy of SQLite. (ODBC would be built by default
    # on Windows.)
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF
    -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF
    # Qt's own copies of these libraries, built into Qt's DLLs.
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_system_libb2=OFF -DFEATURE_system_textmarkdownreader=OFF
    -DFEATURE_system_jpeg=OFF
    # Debian's source leaves out the Wintab header (its licence), which
    # tablet support on Windows needs.
    -DFEATURE_tabletevent=OFF
    # The windows platform plugin needs Direct2D/DirectWrite to link.
    -DFEATURE_direct2d=ON
    -DFEATURE_style_windowsvista=ON
    -DFEATURE_localserver=ON
    # TLS through OpenSSL only, loaded when first needed; no Schannel.
    -DINPUT_openssl=runtime -DFEATURE_openssl_runtime=ON
    -DFEATURE_openssl_linked=OFF -DFEATURE_schannel=OFF
)

# The Debian source versions that apt knows of for a package, newest first.
source_versions() {
    apt-cache showsrc "$1" | sed -n 's/^Version: //p' |
        perl -MDpkg::Version -e 'chomp(my @v = <STDIN>);
            print "$_\n" for sort { version_compare($b, $a) } @v' | uniq
}

# 6.4.2+dfsg-10 -> 6.4.2, 1:2.3-1 -> 2.3
upstream_version() {
    local version=${1#*:}
    version=${version%-*}
    printf '%s\n' "${version%%+*}"
}

mapfile -t qt_versions < <(source_versions qt6-base)
mapfile -t openssl_versions < <(source_versions openssl)
mapfile -t sqlite_versions < <(source_versions sqlite3)
if [ ${#qt_versions[@]} -eq 0 ] || [ ${#openssl_versions[@]} -eq 0 ] || [ ${#sqlite_versions[@]} -eq 0 ]; then
    die "apt knows no source package of qt6-base, openssl or sqlite3 (deb-src entries and apt-get update missing?)"
fi
compiler_version=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)

sdk_id() { # <qt source version> <openssl source version> <sqlite3 source version>
    printf '%s\n' "qt6-base $1" "openssl $2" "sqlite3 $3" "g++-mingw-w64-x86-64-posix $compiler_version" \
        "${openssl_options[@]}" "${openssl_windows_dirs[@]}" "${sqlite_options[@]}" "${qt_options[@]}" |
        sha256sum | cut -c1-10
}

sdk_folder() { # <qt source version> <openssl source version> <sqlite3 source version>
    if [ -n "${VALMORA_WINDOWS_SDK:-}" ]; then
        realpath -m "$VALMORA_WINDOWS_SDK"
    else
        printf '%s/windows-sdk-%s-%s-%s\n' \
            "${XDG_CACHE_HOME:-$HOME/.cache}/valmora-panel" \
            "$(upstream_version "$1")" "$(upstream_version "$2")" "$(sdk_id "$@")"
    fi
}

# A folder is finished when its stamp, written last, names the same build.
finished() { # <sdk> <id>
    [ -f "$1/.complete" ] && [ "$(cat "$1/.complete")" = "$2" ]
}

qt_version=${qt_versions[0]}
openssl_version=${openssl_versions[0]}
sqlite_version=${sqlite_versions[0]}
sdk=$(sdk_folder "$qt_version" "$openssl_version" "$sqlite_version")
if finished "$sdk" "$(sdk_id "$qt_version" "$openssl_version" "$sqlite_version")"; then
    printf '%s\n' "$sdk"
    exit 0
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/valmora-windows-sdk.XXXXXX")
succeeded=false
cleanup() {
    if $succeeded; then
        rm -rf "$scratch"
    else
        say "failed; the sources, build folders and logs are in $scratch"
    fi
}
trap cleanup EXIT

apt_get=(apt-get -q)
# As root apt downloads as the user _apt, who may not write the scratch folder.
[ "$(id -u)" -ne 0 ] || apt_get+=(-o APT::Sandbox::User=root)

# Downloads and unpacks (applying Debian's patches) the newest source version
# of a package that the archive serves, into $scratch/<package>; prints the
# version. An older version is taken only when the newer one's files cannot
# be fetched, and that is said loudly.
fetch_source() { # <package> <versions, newest first...>
    local package=$1 version
    shift
    for version in "$@"; do
        rm -rf "${scratch:?}/$package"
        mkdir -p "$scratch/$package"
        if (cd "$scratch/$package" && "${apt_get[@]}" source "$package=$version") \
            >"$scratch/$package-source.log" 2>&1; then
            if [ "$version" != "$1" ]; then
                say "WARNING: the archive serves no files for $package $1;" \
                    "using $package $version instead"
            fi
            printf '%s\n' "$version"
            return 0
        fi
        say "could not fetch the source of $package $version:"
        grep -E '^(E|Err):' "$scratch/$package-source.log" >&2 || true
    done
    die "no source version of $package could be fetched"
}

say "fetching the source of openssl"
openssl_version=$(fetch_source openssl "${openssl_versions[@]}")
say "fetching the source of sqlite3"
sqlite_version=$(fetch_source sqlite3 "${sqlite_versions[@]}")
id=$(sdk_id "$qt_version" "$openssl_version" "$sqlite_version")
sdk=$(sdk_folder "$qt_version" "$openssl_version" "$sqlite_version")
if finished "$sdk" "$id"; then
    succeeded=true
    printf '%s\n' "$sdk"
    exit 0
fi
say "fetching the source of qt6-base"
qt_version=$(fetch_source qt6-base "${qt_versions[@]}")
id=$(sdk_id "$qt_version" "$openssl_version" "$sqlite_version")
sdk=$(sdk_folder "$qt_version" "$openssl_version" "$sqlite_version")

# Start afresh. Only a folder of ours (or an empty one) is emptied.
if [ -d "$sdk" ] && [ -n "$(ls -A "$sdk")" ]; then
    [ -f "$sdk/.valmora-windows-sdk" ] ||
        die "$sdk is not empty and was not made by this script; not touching it"
    rm -rf "$sdk"
fi
mkdir -p "$sdk"
printf '%s\n' "$id" >"$sdk/.valmora-windows-sdk"
say "building into $sdk"

run_logged() { # <log> <command...>
    local log=$1
    shift
    if ! "$@" >>"$log" 2>&1; then
        say "failed: $*"
        tail -n 40 "$log" >&2
        exit 1
    fi
}

strip_windows_binaries() { # <folder>
    find "$1" -type f \( -name '*.dll' -o -name '*.exe' \) \
        -exec "$triplet-strip" --strip-all {} +
}

# Source file names that end up in the DLLs (assertions, QTest's messages)
# are kept relative, free of the random scratch folder.
prefix_map="-ffile-prefix-map=$scratch/="

# OpenSSL
openssl_started=$SECONDS
openssl_log=$scratch/openssl-build.log
say "building OpenSSL $openssl_version (log: $openssl_log)"
openssl_source=$(echo "$scratch"/openssl/openssl-*/)
(
    cd "$openssl_source"
    run_logged "$openssl_log" ./Configure "${openssl_options[@]}" --prefix="$sdk/openssl"
    run_logged "$openssl_log" make -j"$jobs" build_sw "${openssl_windows_dirs[@]}"
    run_logged "$openssl_log" make install_sw
)
strip_windows_binaries "$sdk/openssl"
for dll in libcrypto-3-x64.dll libssl-3-x64.dll; do
    [ -f "$sdk/openssl/bin/$dll" ] || die "OpenSSL built no bin/$dll"
done
openssl_time=$((SECONDS - openssl_started))
say "OpenSSL took $(elapsed "$openssl_time")"

# SQLite. Debian's source is SQLite's full tree: the build machine's own
# compiler and tclsh generate from it (Debian's patches applied) the one file
# sqlite3.c, which the cross compiler then builds.
sqlite_started=$SECONDS
sqlite_log=$scratch/sqlite-build.log
say "building SQLite $sqlite_version (log: $sqlite_log)"
sqlite_source=$(echo "$scratch"/sqlite3/sqlite3-*/)
sqlite_build=$scratch/sqlite-build
mkdir -p "$sqlite_build"
(
    cd "$sqlite_build"
    run_logged "$sqlite_log" "$sqlite_source/configure" --disable-tcl
    # Debian regenerates configure, which sets this; the shipped one does not.
    run_logged "$sqlite_log" make sqlite3.c AMALGAMATION_LINE_MACROS=--linemacros=0
    run_logged "$sqlite_log" "$triplet-gcc-posix" "$prefix_map" "${sqlite_options[@]}" \
        -c sqlite3.c -o sqlite3.o
    run_logged "$sqlite_log" "$triplet-ar" rcs libsqlite3.a sqlite3.o
)
install -D -m 644 -t "$sdk/sqlite/include" "$sqlite_build/sqlite3.h" "$sqlite_build/sqlite3ext.h"
install -D -m 644 -t "$sdk/sqlite/lib" "$sqlite_build/libsqlite3.a"
sqlite_time=$((SECONDS - sqlite_started))
say "SQLite took $(elapsed "$sqlite_time")"

# Qt
qt_started=$SECONDS
qt_log=$scratch/qt-build.log
say "building Qt $qt_version (log: $qt_log)"
qt_source=$(echo "$scratch"/qt6-base/qt6-base-*/)
run_logged "$qt_log" cmake -S "$qt_source" -B "$scratch/qt-build" "${qt_options[@]}" \
    -DCMAKE_C_FLAGS="$prefix_map" -DCMAKE_CXX_FLAGS="$prefix_map" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVALMORA_WINDOWS_SDK="$sdk" \
    -DCMAKE_INSTALL_PREFIX="$sdk/qt" -DOPENSSL_ROOT_DIR="$sdk/openssl" \
    -DSQLite3_INCLUDE_DIR="$sdk/sqlite/include" -DSQLite3_LIBRARY="$sdk/sqlite/lib/libsqlite3.a"
run_logged "$qt_log" cmake --build "$scratch/qt-build" --parallel "$jobs"
run_logged "$qt_log" cmake --install "$scratch/qt-build"
strip_windows_binaries "$sdk/qt"
for file in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Network.dll \
    bin/Qt6Sql.dll bin/Qt6Test.dll plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll \
    plugins/styles/qwindowsvistastyle.dll plugins/tls/qopensslbackend.dll \
    plugins/sqldrivers/qsqlite.dll; do
    [ -f "$sdk/qt/$file" ] || die "Qt built no $file"
done
[ ! -e "$sdk/qt/plugins/tls/qschannelbackend.dll" ] || die "Qt built the Schannel backend"
sql_drivers=$(ls "$sdk/qt/plugins/sqldrivers")
[ "$sql_drivers" = qsqlite.dll ] || die "Qt built other SQL drivers: $(tr "\n" " " <<<"$sql_drivers")"
# SQLite is inside the driver, not a DLL of its own.
if "$triplet-objdump" -p "$sdk/qt/plugins/sqldrivers/qsqlite.dll" | grep -i 'DLL Name:.*sqlite' >/dev/null; then
    die "the SQLite driver loads SQLite as a DLL"
fi
qt_time=$((SECONDS - qt_started))
say "Qt took $(elapsed "$qt_time")"

{
    echo "# Windows (x86_64, MinGW-w64) build of Qt, OpenSSL and SQLite from"
    echo "# Debian's source packages, made by valmora-panel's scripts/windows-sdk.sh."
    printf 'QT_SOURCE=%q\n' "qt6-base $qt_version"
    printf 'OPENSSL_SOURCE=%q\n' "openssl $openssl_version"
    printf 'SQLITE_SOURCE=%q\n' "sqlite3 $sqlite_version"
    printf 'COMPILER=%q\n' "g++-mingw-w64-x86-64-posix $compiler_version"
    printf 'OPENSSL_OPTIONS=(%s)\n' "$(printf '%q ' "${openssl_options[@]}" "${openssl_windows_dirs[@]}")"
    printf 'SQLITE_OPTIONS=(%s)\n' "$(printf '%q ' "${sqlite_options[@]}")"
    printf 'QT_OPTIONS=(%s)\n' "$(printf '%q ' "${qt_options[@]}")"
    printf 'BUILD_ID=%s\n' "$id"
} >"$sdk/sdk.env"
printf '%s\n' "$id" >"$sdk/.complete"
succeeded=true

say "done in $(elapsed $((SECONDS - started))) (OpenSSL $(elapsed "$openssl_time"), SQLite $(elapsed "$sqlite_time"), Qt $(elapsed "$qt_time"))"
printf '%s\n' "$sdk"
