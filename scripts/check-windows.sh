#!/usr/bin/env bash
# The Windows build, checked on this Linux machine under Wine:
#   1. cross-builds the program and its tests (scripts/windows-package.sh,
#      which gets Qt and OpenSSL for Windows from scripts/windows-sdk.sh);
#   2. runs the test suite under Wine, the end-to-end test against the
#      stand-in service running natively here;
#   3. checks the zip: its exact files, the executable's subsystem and
#      resources, that everything is stripped; runs the unzipped program
#      against the stand-in service under Xvfb, checks its window's size and
#      takes screenshots of it and of the screen (build-windows/windows-wine.png
#      and windows-wine-screen.png);
#   4. installs the installer silently as an unprivileged user in a Wine
#      folder of that user's own, checks the installed files, Start-menu
#      entry, Uninstall key and the folder on PATH (valmora-ctl found by its
#      name), makes the installed folder read-only and
#      starts the program, which must keep its setting.ini in the user's
#      profile; installs again over it (an upgrade) and uninstalls: the
#      profile's setting.ini must stay, and PATH must lose the folder.
# Prints the time each stage took. Nothing outside build/, build-windows/
# and a temporary folder is changed, apart from installing Debian packages.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
started=$SECONDS
source scripts/lib/wine.sh
source scripts/lib/service.sh
source scripts/lib/version.sh
build=$here/build-windows
version=$(project_version)
name=valmora-panel-$version-win64
title='Управление серверами Valmora'
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

tmp=$(mktemp -d)
chmod 755 "$tmp"
# Wine servers of the folders made here are stopped with them.
wine_prefixes=()
cleanup() {
    service_stop
    local prefix
    for prefix in "${wine_prefixes[@]}"; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

# Starts the stand-in service (scripts/lib/service.sh) with the given
# options, those the test that uses it would start it with; sets
# service_host and service_ca as a Windows program names them.
start_service() { # <folder> <option...>
    service_start "$@" || exit 1
    service_host=127.0.0.1:$service_port
    service_ca=Z:$service_cert
}

objdump=x86_64-w64-mingw32-objdump

# Whether one of the built programs imports Qt6Sql.dll. (grep reads all of
# objdump's output: an early exit would fail the pipe.)
imports_qt_sql() {
    local program
    for program in "$build"/valmora-panel.exe "$build"/valmora-ctl.exe "$build"/valmora-ctlw.exe; do
        [ -f "$program" ] || continue
        if "$objdump" -p "$program" | grep 'DLL Name: Qt6Sql\.dll' >/dev/null; then
            return 0
        fi
    done
    return 1
}

# The files of the zip, as "folder/file" lines in C order.
expected_files() {
    local files="$name/LICENSE
$name/Qt6Core.dll
$name/Qt6Gui.dll
$name/Qt6Network.dll
$name/Qt6Widgets.dll
$name/libcrypto-3-x64.dll
$name/libgcc_s_seh-1.dll
$name/libssl-3-x64.dll
$name/libstdc++-6.dll
$name/libwinpthread-1.dll
$name/platforms/
$name/platforms/qwindows.dll
$name/styles/
$name/styles/qwindowsvistastyle.dll
$name/tls/
$name/tls/qopensslbackend.dll
$name/valmora-panel.exe
$name/ПРОЧТИ.txt"
    # Qt SQL and its SQLite driver, where a program loads Qt SQL.
    if imports_qt_sql; then
        files=$(printf '%s\n' "$files" "$name/Qt6Sql.dll" "$name/sqldrivers/" "$name/sqldrivers/qsqlite.dll")
    fi
    # The command-line tool and its windowless twin are shipped where they are built.
    [ ! -f "$build/valmora-ctl.exe" ] || files=$(printf '%s\n%s' "$files" "$name/valmora-ctl.exe")
    [ ! -f "$build/valmora-ctlw.exe" ] || files=$(printf '%s\n%s' "$files" "$name/valmora-ctlw.exe")
    LC_ALL=C sort <<<"$files"
}

stage_packages() {
    scripts/install-deps.sh
    scripts/install-windows-deps.sh
}

# The stand-in service is a Linux program: the native build has it.
stage_native_build() {
    scripts/build.sh >/dev/null
}

stage_windows_build() {
    local sdk_started=$SECONDS sdk packages
    sdk=$(scripts/windows-sdk.sh | tail -n 1)
    printf -- '-- Windows SDK ready after %ds: %s\n' $((SECONDS - sdk_started)) "$(basename "$sdk")"
    mapfile -t packages < <(VALMORA_WINDOWS_SDK="$sdk" scripts/windows-package.sh | tail -n 2)
    zip=${packages[0]}
    setup=${packages[1]}
    ls -l "$zip" "$setup"
}

# Each test that needs the service gets one as it would start it itself:
# the end-to-end test's (and the others', which do not use it), then one
# each for valmora-ctl's own tests (servers that start at once).
stage_tests() {
    # The Wine folder the tests' CTest settings name, made afresh.
    local prefix=$build/wine status=0 test
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
    wine_prefixes+=("$prefix")
    WINEPREFIX=$prefix wine_prepare
    start_service "$tmp/service-tests" --start-delay-ms 2000 --seed 7
    VALMORA_TEST_SERVICE=$service_host VALMORA_TEST_SERVICE_CA=$service_ca \
        ctest --test-dir "$build" --output-on-failure -E '^tst_(ctl|watch|ctlhistory)$' || status=$?
    service_stop
    for test in tst_ctl tst_watch tst_ctlhistory; do
        ctest --test-dir "$build" -N -R "^$test\$" | grep -q 'Total Tests: 1' || continue
        start_service "$tmp/service-$test" --start-delay-ms 0
        VALMORA_TEST_SERVICE=$service_host VALMORA_TEST_SERVICE_CA=$service_ca \
            ctest --test-dir "$build" --output-on-failure -R "^$test\$" || status=$?
        service_stop
    done
    [ "$status" -eq 0 ] || fail "tests under Wine failed"
}

stage_zip_files() {
    local expected actual
    expected=$(expected_files)
    actual=$(unzip -Z1 "$zip" | LC_ALL=C sort)
    if [ "$actual" != "$expected" ]; then
        fail "the zip holds other files than expected:"
        diff <(echo "$expected") <(echo "$actual") >&2 || true
    fi
    unzipped=$tmp/unzipped
    mkdir "$unzipped"
    unzip -q "$zip" -d "$unzipped"
    portable=$unzipped/$name
}

subsystem() { "$objdump" -p "$1" | awk '$1 == "Subsystem" { $1 = $2 = ""; sub(/^ +/, ""); print }'; }

stage_executables() {
    local resources manifest binary
    [ "$(subsystem "$portable/valmora-panel.exe")" = "(Windows GUI)" ] ||
        fail "valmora-panel.exe is not a GUI program: $(subsystem "$portable/valmora-panel.exe")"
    if [ -f "$portable/valmora-ctl.exe" ]; then
        [ "$(subsystem "$portable/valmora-ctl.exe")" = "(Windows CUI)" ] ||
            fail "valmora-ctl.exe is not a console program: $(subsystem "$portable/valmora-ctl.exe")"
        wrestool -l "$portable/valmora-ctl.exe" | grep -q "type=version" ||
            fail "valmora-ctl.exe has no version record"
    fi
    if [ -f "$portable/valmora-ctlw.exe" ]; then
        [ "$(subsystem "$portable/valmora-ctlw.exe")" = "(Windows GUI)" ] ||
            fail "valmora-ctlw.exe is not a windowless program: $(subsystem "$portable/valmora-ctlw.exe")"
        wrestool -l "$portable/valmora-ctlw.exe" | grep -q "type=version" ||
            fail "valmora-ctlw.exe has no version record"
    fi
    resources=$(wrestool -l "$portable/valmora-panel.exe")
    grep -q "type=group_icon" <<<"$resources" && grep -q "name='IDI_ICON1'" <<<"$resources" ||
        fail "valmora-panel.exe has no application icon"
    grep -q "type=version" <<<"$resources" || fail "valmora-panel.exe has no version record"
    wrestool -x --raw --type=version "$portable/valmora-panel.exe" | iconv -f UTF-16LE -t UTF-8 2>/dev/null |
        tr -d '\0' | grep -q "$version.0" || fail "the version record does not say $version.0"
    manifest=$(wrestool -x --raw --type=24 --name=1 "$portable/valmora-panel.exe")
    grep -q 'level="asInvoker"' <<<"$manifest" && grep -q PerMonitorV2 <<<"$manifest" ||
        fail "valmora-panel.exe lacks its manifest"
    while IFS= read -r -d '' binary; do
        if "$objdump" -h "$binary" | grep -q '\.debug'; then
            fail "not stripped: ${binary#"$unzipped/"}"
        fi
    done < <(find "$unzipped" \( -name '*.exe' -o -name '*.dll' \) -print0)
    "$objdump" -f "$setup" | grep -q 'file format pei-x86-64' || fail "the installer is not a 64-bit program"
}

stage_unzipped_program() {
    # A Wine folder of its own: its server must start with the display.
    local prefix=$tmp/wine-gui status=0
    wine_prefixes+=("$prefix")
    start_service "$tmp/service-gui" --seed 7
    screenshot=$build/windows-wine.png
    rm -f "$screenshot" "$screenshot.window" "$screenshot.help"
    cat >"$tmp/gui.sh" <<'SCRIPT'
set -euo pipefail
source "$HERE/scripts/lib/wine.sh"
wine_prepare
# A portable copy keeps setting.ini beside itself.
wine "$PORTABLE/valmora-panel.exe" --help | tr -d '\r' | sed -n '/In use now:/,$p' | tr '\n' ' ' |
    sed 's/.*In use now:[[:space:]]*//; s/[[:space:]].*//' >"$OUT.help"
wine_demo_settings "$PORTABLE" "$BUILD" "$SERVICE_HOST" "$SERVICE_CA"
wine "$PORTABLE/valmora-panel.exe" &
disown
wine_wait_for_window "$TITLE" || true
# The first update: status, resources and maps over TLS.
sleep 6
xwininfo -root -tree | grep "$TITLE" | head -n 1 >"$OUT.window"
window=$(awk '{ print $1 }' "$OUT.window")
import -window "$window" "$OUT"
import -window root "${OUT%.png}-screen.png"
wineserver -k
SCRIPT
    WINEPREFIX=$prefix HERE=$here TITLE=$title BUILD=$build PORTABLE=$portable OUT=$screenshot \
        SERVICE_HOST=$service_host SERVICE_CA=$service_ca \
        timeout 300 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$tmp/gui.sh" || status=$?
    service_stop
    [ "$status" -eq 0 ] || fail "the unzipped program did not run under Wine (exit status $status)"
    [ "$(cat "$screenshot.help" 2>/dev/null)" = "Z:${portable//\//\\}\\setting.ini" ] ||
        fail "the unzipped program does not keep setting.ini beside itself: '$(cat "$screenshot.help" 2>/dev/null)'"
    if [ -f "$screenshot.window" ]; then
        echo "window: $(cat "$screenshot.window")"
        grep -Eq ' 608x432\+' "$screenshot.window" || fail "the window is not 608x432: $(cat "$screenshot.window")"
    else
        fail "the program showed no window"
    fi
    [ -f "$screenshot" ] && echo "screenshot: $screenshot" || fail "no screenshot taken"
    grep -q '^\[Servers\]' "$portable/setting.ini" 2>/dev/null ||
        fail "the program's setting.ini is not beside it"
}

# The installer is run as an unprivileged user (65534), in a Wine folder and
# home of that user's own.
user_home=$tmp/home
user_prefix=$user_home/wine
installed="$user_prefix/drive_c/Program Files/Valmora Server Control"
program='C:\Program Files\Valmora Server Control\valmora-panel.exe'
profile_file="$user_prefix/drive_c/users/nobody/AppData/Local/valmora-panel/setting.ini"
start_menu="$user_prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Valmora Server Control"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\valmora-panel'
environment_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
# The system's search path, as the registry holds it.
system_path() { as_user wine reg query "$environment_key" /v Path 2>/dev/null | tr -d '\r' | grep -i 'Path'; }
as_user() {
    (cd "$user_home" && setpriv --reuid=65534 --regid=65534 --clear-groups \
        env -i HOME="$user_home" USER=nobody LOGNAME=nobody PATH=/usr/bin:/bin LC_ALL=C.UTF-8 \
        WINEPREFIX="$user_prefix" WINEDEBUG=-all WINEDLLOVERRIDES="$WINEDLLOVERRIDES" "$@")
}
# Waits for every Windows program of the user's Wine folder, the copy of
# itself that an uninstaller starts among them.
user_wait() { as_user wineserver -w; }
install_silently() {
    as_user wine 'Z:'"$tmp"'/setup.exe' /S
    user_wait
}

stage_installer() {
    local installed_list expected_installed registry
    mkdir -m 700 "$user_home"
    chown 65534:65534 "$user_home"
    cp "$setup" "$tmp/setup.exe"
    chmod 644 "$tmp/setup.exe"
    wine_prefixes+=("$user_prefix")
    as_user bash -c 'source "$0" && wine_prepare' "$here/scripts/lib/wine.sh"
    install_silently

    installed_list=$({
        cd "$installed" 2>/dev/null && find . -mindepth 1 \( -type d -printf "$name/%P/\n" -o -printf "$name/%P\n" \)
    } | LC_ALL=C sort)
    expected_installed=$(printf '%s\n%s\n' "$(expected_files)" "$name/Uninstall.exe" | LC_ALL=C sort)
    if [ "$installed_list" != "$expected_installed" ]; then
        fail "the installer put other files into Program Files than the zip holds (besides Uninstall.exe):"
        diff <(echo "$expected_installed") <(echo "$installed_list") >&2 || true
    fi
    [ -f "$start_menu/Valmora Server Control.lnk" ] || fail "no Start-menu entry for the program"
    [ -f "$start_menu/Uninstall.lnk" ] || fail "no Start-menu entry for the uninstaller"
    registry=$(as_user wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
    echo "$registry" | grep -E 'Display|Publisher|Uninstall' || true
    grep -Eq "DisplayVersion[[:space:]]+REG_SZ[[:space:]]+$version\$" <<<"$registry" ||
        fail "the Uninstall key does not carry DisplayVersion $version"
    grep -q 'UninstallString' <<<"$registry" || fail "the Uninstall key has no UninstallString"

    # The installed folder is on the system's search path: valmora-ctl is
    # found by its name from any folder.
    system_path | grep -qiF 'C:\Program Files\Valmora Server Control' ||
        fail "the installer did not put its folder on PATH: $(system_path)"
    local found
    found=$(as_user wine cmd /c 'cd /d C:\ && valmora-ctl --version' 2>/dev/null | tr -d '\r')
    echo "valmora-ctl found on PATH: $found"
    grep -q '^valmora-ctl [0-9]' <<<"$found" || fail "valmora-ctl is not found on PATH: '$found'"
}

# The file in use that a program's --help names.
file_in_use() { # <help text>
    sed -n '/In use/,$p' <<<"$1" | tr '\n' ' ' | sed 's/.*In use[[:space:]]*now:[[:space:]]*//; s/[[:space:]].*//'
}

stage_installed_program() {
    local in_use ctl_in_use
    # The installed folder as Windows keeps Program Files: closed to users.
    chmod -R a-w "$installed"
    in_use=$(file_in_use "$(as_user wine "$program" --help | tr -d '\r')")
    echo "setting.ini of the installed program: $in_use"
    [ "$in_use" = 'C:\users\nobody\AppData\Local\valmora-panel\setting.ini' ] ||
        fail "the installed program does not use the profile's setting.ini: '$in_use'"
    ctl_in_use=$(file_in_use "$(as_user wine 'C:\Program Files\Valmora Server Control\valmora-ctl.exe' --help |
        tr -d '\r')")
    [ "$ctl_in_use" = "$in_use" ] ||
        fail "the installed valmora-ctl.exe uses another setting.ini: '$ctl_in_use'"

    # A real start and a close, as the user does it: the program writes its
    # file when its window closes.
    cat >"$tmp/installed.sh" <<'SCRIPT'
set -euo pipefail
source "$HERE/scripts/lib/wine.sh"
wine "$PROGRAM" &
wine_wait_for_window "$TITLE" || true
sleep 2
wine taskkill /im valmora-panel.exe >/dev/null 2>&1
wineserver -w
SCRIPT
    chmod 644 "$tmp/installed.sh"
    as_user PROGRAM="$program" HERE="$here" TITLE="$title" TMPDIR="$user_home" \
        timeout 120 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$tmp/installed.sh" ||
        fail "the installed program did not start and close"
    [ -f "$profile_file" ] || fail "the installed program wrote no setting.ini into the profile"
    [ ! -e "$installed/setting.ini" ] || fail "the installed program wrote setting.ini into Program Files"
    chmod -R u+w "$installed"
}

# An upgrade (the installer over an installed copy) and the uninstaller
# leave the user's file alone.
stage_upgrade_and_uninstall() {
    install_silently
    [ -f "$installed/valmora-panel.exe" ] || fail "installing over the installed copy left no program"
    [ -f "$profile_file" ] || fail "installing over the installed copy removed the profile's setting.ini"
    [ "$(system_path | grep -oiF 'Valmora Server Control' | wc -l)" -eq 1 ] ||
        fail "after the upgrade PATH does not hold the folder once: $(system_path)"
    as_user wine 'C:\Program Files\Valmora Server Control\Uninstall.exe' /S
    user_wait
    [ ! -e "$installed/valmora-panel.exe" ] || fail "the uninstaller left the program"
    [ ! -e "$start_menu/Valmora Server Control.lnk" ] || fail "the uninstaller left the Start-menu entry"
    if as_user wine reg query "$uninstall_key" >/dev/null 2>&1; then
        fail "the uninstaller left the Uninstall key"
    fi
    [ -f "$profile_file" ] || fail "the uninstaller removed the profile's setting.ini"
    ! system_path | grep -qiF 'Valmora Server Control' || fail "the uninstaller left its folder on PATH: $(system_path)"
}

# stage <title> <function>: runs one stage and says how long it took.
stage() {
    local stage_started=$SECONDS
    printf '== %s\n' "$1"
    "$2"
    printf -- '-- %s took %ds\n' "$1" $((SECONDS - stage_started))
}

stage "packages for the Windows build" stage_packages
stage "native build (the stand-in service)" stage_native_build
stage "Qt and OpenSSL for Windows, cross build, packages" stage_windows_build
stage "tests under Wine" stage_tests
stage "the zip's files" stage_zip_files
stage "the executables" stage_executables
stage "the unzipped program under Wine and Xvfb" stage_unzipped_program
stage "the installer, as an unprivileged user" stage_installer
stage "the installed program, as that user" stage_installed_program
stage "an upgrade and the uninstaller" stage_upgrade_and_uninstall

echo "check-windows: $((SECONDS - started))s in all"
if [ "$failed" -ne 0 ]; then
    echo "The Windows check failed." >&2
    exit 1
fi
echo "The Windows check passed."
