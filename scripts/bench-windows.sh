#!/usr/bin/env bash
# Start-up of the Windows program under Wine: the time from starting
# valmora-panel.exe (from the zip, with a setting.ini of the stand-in
# service's three servers beside it) until its window is on the screen,
# against an empty main window of the same size built the same way and
# started from the same folder (valmora-bench-empty.exe); and the time
# valmora-panel.exe --version takes to end. Wine's server is kept running
# between the starts, as Windows is there for every start but the first.
# Median of RUNS rounds (default 9) after one unmeasured round; prints one
# line per round and the medians. Builds what is missing first
# (scripts/build.sh, scripts/windows-package.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
runs=${RUNS:-9}
source scripts/lib/wine.sh
source scripts/lib/service.sh
source scripts/lib/version.sh

scripts/build.sh >/dev/null
scripts/windows-package.sh >/dev/null
# The empty window to compare with is a benchmark, built only when asked.
build=$here/build-windows
cmake -S . -B "$build" -DVALMORA_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target valmora-bench-empty >/dev/null
version=$(project_version)
zip=$build/valmora-panel-$version-win64.zip

tmp=$(mktemp -d)
cleanup() {
    service_stop
    WINEPREFIX=$tmp/wine wineserver -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

unzip -q "$zip" -d "$tmp"
app=$(echo "$tmp"/valmora-panel-*-win64)
cp "$build/valmora-bench-empty.exe" "$app/"

service_start "$tmp/service" --seed 7

cat >"$tmp/measure.sh" <<'EOF'
set -euo pipefail
source "$HERE/scripts/lib/wine.sh"
wine_prepare
wine_demo_settings "$APP" "$BUILD" "$SERVICE_HOST" "$SERVICE_CA"
wineserver -k || true
wineserver -p

msec_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
# Milliseconds from the start until a window of that title is on the screen.
until_shown() { # <program> <title>
    local start pid shown
    start=$(date +%s%N)
    wine "$APP/$1" &
    pid=$!
    until xwininfo -root -tree 2>/dev/null | grep -q "\"$2\""; do sleep 0.01; done
    shown=$(msec_since "$start")
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    sleep 1.5
    echo "$shown"
}
for round in $(seq 0 "$RUNS"); do
    empty=$(until_shown valmora-bench-empty.exe valmora-bench-empty)
    panel=$(until_shown valmora-panel.exe 'Управление серверами Valmora')
    start=$(date +%s%N)
    wine "$APP/valmora-panel.exe" --version >/dev/null
    version=$(msec_since "$start")
    [ "$round" -gt 0 ] || continue
    echo "round $round: empty window $empty ms, valmora-panel $panel ms, valmora-panel --version $version ms"
done
wineserver -k
EOF

WINEPREFIX=$tmp/wine HERE=$here APP=$app BUILD=$build RUNS=$runs \
    SERVICE_HOST=127.0.0.1:$service_port SERVICE_CA=Z:$service_cert \
    xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$tmp/measure.sh" 2>/dev/null | tee "$tmp/rounds"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
empty=$(sed -n 's/.*empty window \([0-9]*\) ms.*/\1/p' "$tmp/rounds" | median)
panel=$(sed -n 's/.*valmora-panel \([0-9]*\) ms.*/\1/p' "$tmp/rounds" | median)
version=$(sed -n 's/.*--version \([0-9]*\) ms.*/\1/p' "$tmp/rounds" | median)
echo "median of $runs: window on screen: empty window $empty ms, valmora-panel $panel ms" \
    "($(awk -v p="$panel" -v e="$empty" 'BEGIN { printf "%.2f", p / e }') x); valmora-panel --version $version ms"
