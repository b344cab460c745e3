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
#      entry and Uninstall key, makes the installed folder read-only and
#      starts the program, which must keep its setting.ini in the user's
#      profile; installs again over it (an upgrade) and uninstalls: the
#      profile's setting.ini must stay.
# Prints the time each part took. Nothing outside build/, build-windows/
# and a temporary folder is changed, apart from installing Debian packages.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
started=$SECONDS
# Wine names files on Linux in the locale's character set: without UTF-8 a
# Windows program cannot create ПРОЧТИ.txt.
export LC_ALL=C.UTF-8
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
part_started=$SECONDS
part_name=""
part() {
    if [ -n "$part_name" ]; then
        printf -- '-- %s took %ds\n' "$part_name" $((SECONDS - part_started))
    fi
    part_name=$1
    part_started=$SECONDS
    [ -z "$1" ] || printf '== %s\n' "$1"
}

part "packages for the Windows build"
scripts/install-deps.sh
scripts/install-windows-deps.sh

# The stand-in service is a Linux program: the native build has it.
part "native build (the stand-in service)"
scripts/build.sh >/dev/null

part "Qt and OpenSSL for Windows, cross build, packages"
sdk_started=$SECONDS
sdk=$(scripts/windows-sdk.sh | tail -n 1)
printf -- '-- Windows SDK ready after %ds: %s\n' $((SECONDS - sdk_started)) "$(basename "$sdk")"
mapfile -t packages < <(VALMORA_WINDOWS_SDK="$sdk" scripts/windows-package.sh | tail -n 2)
zip=${packages[0]}
setup=${packages[1]}
build=$here/build-windows
version=$(sed -n 's/^project(valmora-panel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=valmora-panel-$version-win64
ls -l "$zip" "$setup"

tmp=$(mktemp -d)
chmod 755 "$tmp"
service_pid=""
stop_service() {
    if [ -n "$service_pid" ]; then
        kill "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
        service_pid=""
    fi
}
# Wine servers of the folders made here are stopped with them.
wine_prefixes=()
cleanup() {
    stop_service
    local prefix
    for prefix in "${wine_prefixes[@]}"; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

# Starts the stand-in service on a free port with the given options (those
# the test that uses it would start it with); sets service_host and
# service_ca (as a Windows program names it).
start_service() { # <folder> <option...>
    local folder=$1
    shift
    mkdir -p "$folder"
    "$here/build/valmora-api-service" --generate-cert "$folder" --port 0 --port-file "$folder/port" \
        "$@" >"$folder/service.log" 2>&1 &
    service_pid=$!
    local waited=0
    until [ -s "$folder/port" ]; do
        sleep 0.2
        waited=$((waited + 1))
        [ "$waited" -lt 150 ] || {
            cat "$folder/service.log" >&2
            echo "the stand-in service did not start" >&2
            exit 1
        }
    done
    service_host=127.0.0.1:$(cat "$folder/port")
    service_ca=Z:$folder/cert.pem
}

export WINEDEBUG=-all
# No prompts to download Wine's .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="

part "tests under Wine"
# The Wine folder the tests' CTest settings name, made afresh.
test_prefix=$build/wine
WINEPREFIX=$test_prefix wineserver -k 2>/dev/null || true
rm -rf "$test_prefix"
wine_prefixes+=("$test_prefix")
WINEPREFIX=$test_prefix wineboot -i >/dev/null 2>&1
WINEPREFIX=$test_prefix wineserver -w
# Each test that needs the service gets one as it would start it itself:
# the end-to-end test's (and the others', which do not use it), then
# valmora-ctl's.
status=0
start_service "$tmp/service-tests" --start-delay-ms 2000 --seed 7
VALMORA_TEST_SERVICE=$service_host VALMORA_TEST_SERVICE_CA=$service_ca \
    ctest --test-dir "$build" --output-on-failure -E '^tst_ctl$' || status=$?
stop_service
if ctest --test-dir "$build" -N -R '^tst_ctl$' | grep -q 'Total Tests: 1'; then
    start_service "$tmp/service-ctl" --start-delay-ms 4000
    VALMORA_TEST_SERVICE=$service_host VALMORA_TEST_SERVICE_CA=$service_ca \
        ctest --test-dir "$build" --output-on-failure -R '^tst_ctl$' || status=$?
    stop_service
fi
[ "$status" -eq 0 ] || fail "tests under Wine failed"

part "the zip's files"
expected="$name/LICENSE
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
# The command-line tool is shipped where it is built.
if [ -f "$build/valmora-ctl.exe" ]; then
    expected=$(printf '%s\n%s\n' "$expected" "$name/valmora-ctl.exe" | LC_ALL=C sort)
fi
expected=$(LC_ALL=C sort <<<"$expected")
actual=$(unzip -Z1 "$zip" | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    fail "the zip holds other files than expected:"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
fi
unzipped=$tmp/unzipped
mkdir "$unzipped"
unzip -q "$zip" -d "$unzipped"
portable=$unzipped/$name

part "the executables"
objdump=x86_64-w64-mingw32-objdump
subsystem() { "$objdump" -p "$1" | awk '$1 == "Subsystem" { $1 = $2 = ""; sub(/^ +/, ""); print }'; }
[ "$(subsystem "$portable/valmora-panel.exe")" = "(Windows GUI)" ] ||
    fail "valmora-panel.exe is not a GUI program: $(subsystem "$portable/valmora-panel.exe")"
if [ -f "$portable/valmora-ctl.exe" ]; then
    [ "$(subsystem "$portable/valmora-ctl.exe")" = "(Windows CUI)" ] ||
        fail "valmora-ctl.exe is not a console program: $(subsystem "$portable/valmora-ctl.exe")"
    wrestool -l "$portable/valmora-ctl.exe" | grep -q "type=version" || fail "valmora-ctl.exe has no version record"
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

part "the unzipped program under Wine and Xvfb"
# A Wine folder of its own: its server must start with the display.
gui_prefix=$tmp/wine-gui
wine_prefixes+=("$gui_prefix")
start_service "$tmp/service-gui" --seed 7
screenshot=$build/windows-wine.png
rm -f "$screenshot" "$screenshot.window" "$screenshot.help"
cat >"$tmp/gui.sh" <<'EOF'
set -euo pipefail
wineboot -i >/dev/null 2>&1
# Wine's own screen resolution, so that the window has its designed size.
for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    wine reg add "$key" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
done
wineserver -w
# A portable copy keeps setting.ini beside itself.
wine "$PORTABLE/valmora-panel.exe" --help | tr -d '\r' | sed -n '/In use now:/,$p' | tr '\n' ' ' |
    sed 's/.*In use now:[[:space:]]*//; s/[[:space:]].*//' >"$OUT.help"
# setting.ini beside the program, keys enciphered for the first interface
# that Windows (here: Wine) lists, written by the Windows build's own code
# (which finds its DLLs there for the while).
cp "$BUILD/valmora-demo-settings.exe" "$PORTABLE/"
wine "$PORTABLE/valmora-demo-settings.exe" --host "$SERVICE_HOST" --cacert "$SERVICE_CA" "Z:$PORTABLE/setting.ini"
rm "$PORTABLE/valmora-demo-settings.exe"
# The window at its designed size, without the demo's debug pane.
sed -i 's/^debug=true/debug=false/' "$PORTABLE/setting.ini"
wine "$PORTABLE/valmora-panel.exe" &
disown
title='Управление серверами Valmora'
for _ in $(seq 1 100); do
    xwininfo -root -tree 2>/dev/null | grep -q "$title" && break
    sleep 0.3
done
# The first update: status, resources and maps over TLS.
sleep 6
xwininfo -root -tree | grep "$title" | head -n 1 >"$OUT.window"
window=$(awk '{ print $1 }' "$OUT.window")
import -window "$window" "$OUT"
import -window root "${OUT%.png}-screen.png"
wineserver -k
EOF
status=0
WINEPREFIX=$gui_prefix BUILD=$build PORTABLE=$portable OUT=$screenshot \
    SERVICE_HOST=$service_host SERVICE_CA=$service_ca \
    timeout 300 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$tmp/gui.sh" || status=$?
stop_service
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

part "the installer, as an unprivileged user"
user_home=$tmp/home
mkdir -m 700 "$user_home"
chown 65534:65534 "$user_home"
cp "$setup" "$tmp/setup.exe"
chmod 644 "$tmp/setup.exe"
user_prefix=$user_home/wine
wine_prefixes+=("$user_prefix")
as_user() {
    setpriv --reuid=65534 --regid=65534 --clear-groups \
        env -i HOME="$user_home" USER=nobody LOGNAME=nobody PATH=/usr/bin:/bin LC_ALL=C.UTF-8 \
        WINEPREFIX="$user_prefix" WINEDEBUG=-all WINEDLLOVERRIDES="$WINEDLLOVERRIDES" "$@"
}
# Waits for every Windows program of the user's Wine folder, the copy of
# itself that an uninstaller starts among them.
user_wait() { as_user wineserver -w; }
install_silently() {
    as_user wine 'Z:'"$tmp"'/setup.exe' /S
    user_wait
}
(cd "$user_home" && as_user wineboot -i >/dev/null 2>&1 && user_wait)
(cd "$user_home" && install_silently)

installed="$user_prefix/drive_c/Program Files/Valmora Server Control"
program='C:\Program Files\Valmora Server Control\valmora-panel.exe'
profile_file="$user_prefix/drive_c/users/nobody/AppData/Local/valmora-panel/setting.ini"
installed_list=$({
    cd "$installed" 2>/dev/null && find . -mindepth 1 \( -type d -printf "$name/%P/\n" -o -printf "$name/%P\n" \)
} | LC_ALL=C sort)
expected_installed=$(printf '%s\n%s\n' "$expected" "$name/Uninstall.exe" | LC_ALL=C sort)
if [ "$installed_list" != "$expected_installed" ]; then
    fail "the installer put other files into Program Files than the zip holds (besides Uninstall.exe):"
    diff <(echo "$expected_installed") <(echo "$installed_list") >&2 || true
fi
start_menu="$user_prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Valmora Server Control"
[ -f "$start_menu/Valmora Server Control.lnk" ] || fail "no Start-menu entry for the program"
[ -f "$start_menu/Uninstall.lnk" ] || fail "no Start-menu entry for the uninstaller"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\valmora-panel'
registry=$(cd "$user_home" && as_user wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
echo "$registry" | grep -E 'Display|Publisher|Uninstall' || true
grep -Eq "DisplayVersion[[:space:]]+REG_SZ[[:space:]]+$version\$" <<<"$registry" ||
    fail "the Uninstall key does not carry DisplayVersion $version"
grep -q 'UninstallString' <<<"$registry" || fail "the Uninstall key has no UninstallString"

# The installed folder as Windows keeps Program Files: closed to users.
chmod -R a-w "$installed"
help=$(cd "$user_home" && as_user wine "$program" --help | tr -d '\r')
in_use=$(sed -n '/In use now:/,$p' <<<"$help" | tr '\n' ' ' | sed 's/.*In use now:[[:space:]]*//; s/[[:space:]].*//')
echo "setting.ini of the installed program: $in_use"
[ "$in_use" = 'C:\users\nobody\AppData\Local\valmora-panel\setting.ini' ] ||
    fail "the installed program does not use the profile's setting.ini: '$in_use'"
ctl_help=$(cd "$user_home" && as_user wine 'C:\Program Files\Valmora Server Control\valmora-ctl.exe' --help | tr -d '\r')
ctl_in_use=$(sed -n '/In use/,$p' <<<"$ctl_help" | tr '\n' ' ' | sed 's/.*In use[[:space:]]*now:[[:space:]]*//; s/[[:space:]].*//')
[ "$ctl_in_use" = "$in_use" ] ||
    fail "the installed valmora-ctl.exe uses another setting.ini: '$ctl_in_use'"

# A real start and a close, as the user does it: the program writes its
# file when its window closes.
cat >"$tmp/installed.sh" <<'EOF'
set -euo pipefail
wine "$PROGRAM" &
for _ in $(seq 1 100); do
    xwininfo -root -tree 2>/dev/null | grep -q 'Управление серверами Valmora' && break
    sleep 0.3
done
sleep 2
wine taskkill /im valmora-panel.exe >/dev/null 2>&1
wineserver -w
EOF
chmod 644 "$tmp/installed.sh"
(cd "$user_home" && as_user PROGRAM="$program" TMPDIR="$user_home" \
    timeout 120 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$tmp/installed.sh") ||
    fail "the installed program did not start and close"
[ -f "$profile_file" ] || fail "the installed program wrote no setting.ini into the profile"
[ ! -e "$installed/setting.ini" ] || fail "the installed program wrote setting.ini into Program Files"
chmod -R u+w "$installed"

# An upgrade (the installer over an installed copy) and the uninstaller
# leave the user's file alone.
(cd "$user_home" && install_silently)
[ -f "$installed/valmora-panel.exe" ] || fail "installing over the installed copy left no program"
[ -f "$profile_file" ] || fail "installing over the installed copy removed the profile's setting.ini"
(cd "$user_home" && as_user wine 'C:\Program Files\Valmora Server Control\Uninstall.exe' /S && user_wait)
[ ! -e "$installed/valmora-panel.exe" ] || fail "the uninstaller left the program"
[ ! -e "$start_menu/Valmora Server Control.lnk" ] || fail "the uninstaller left the Start-menu entry"
(cd "$user_home" && as_user wine reg query "$uninstall_key" >/dev/null 2>&1) &&
    fail "the uninstaller left the Uninstall key"
[ -f "$profile_file" ] || fail "the uninstaller removed the profile's setting.ini"
part ""

echo "check-windows: $((SECONDS - started))s in all"
if [ "$failed" -ne 0 ]; then
    echo "The Windows check failed." >&2
    exit 1
fi
echo "The Windows check passed."
