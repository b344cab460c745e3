# Sourced by the scripts that run the Windows build under Wine
# (check-windows.sh, bench-windows.sh): one way to prepare Wine for it.

# Wine names files on Linux in the locale's character set: without UTF-8 a
# Windows program cannot create ПРОЧТИ.txt.
export LC_ALL=C.UTF-8
export WINEDEBUG=-all
# No prompts to download Wine's .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Makes the Wine folder $WINEPREFIX ready, with the screen at 96 dpi, so
# that a window has its designed size.
wine_prepare() {
    wineboot -i >/dev/null 2>&1
    local key
    for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        wine reg add "$key" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
    done
    wineserver -w
}

# wine_demo_settings <program folder> <build folder> <service host> <service CA>:
# a setting.ini beside the program with the stand-in service's three
# servers, their keys enciphered for the first interface that Windows (here:
# Wine) lists, written by the Windows build's own code (which finds its DLLs
# there for the while); without the demo's debug pane, so that the window
# has its designed size.
wine_demo_settings() {
    local folder=$1 build=$2 host=$3 ca=$4
    cp "$build/valmora-demo-settings.exe" "$folder/"
    wine "$folder/valmora-demo-settings.exe" --host "$host" --cacert "$ca" "Z:$folder/setting.ini"
    rm "$folder/valmora-demo-settings.exe"
    sed -i 's/^debug=true/debug=false/' "$folder/setting.ini"
}

# wine_wait_for_window <title>: waits up to 30 s for a window of that title
# on the X display; fails when none shows.
wine_wait_for_window() {
    local attempt
    for attempt in $(seq 1 100); do
        xwininfo -root -tree 2>/dev/null | grep -q "$1" && return 0
        sleep 0.3
    done
    return 1
}
