#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the stand-in hosting
# service on a free loopback port with a fresh certificate and runs the
# program with build/demo/setting.ini, which lists three demo servers.
# The service stops when the program ends. The settings file the program
# uses without --settings is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

demo=build/demo
mkdir -p "$demo"

service=""
panel=""
stop_all() {
    if [ -n "$panel" ]; then kill "$panel" 2>/dev/null || true; fi
    if [ -n "$service" ] && kill "$service" 2>/dev/null; then
        wait "$service" 2>/dev/null || true
    fi
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

rm -f "$demo/port"
build/valmora-api-service --port 0 --port-file "$demo/port" --generate-cert "$demo/tls" \
    >"$demo/service.log" 2>&1 &
service=$!

# The port file appears, whole, once the service listens.
for _ in $(seq 300); do
    [ -s "$demo/port" ] && break
    if ! kill -0 "$service" 2>/dev/null; then
        service=""
        echo "The demo service did not start:" >&2
        cat "$demo/service.log" >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -s "$demo/port" ]; then
    echo "The demo service did not report its port in time." >&2
    exit 1
fi
port=$(cat "$demo/port")

build/valmora-demo-settings "$demo/setting.ini" \
    --host "127.0.0.1:$port" --cacert "$demo/tls/cert.pem"

echo "Demo service on https://127.0.0.1:$port (log: $demo/service.log)"
# In the background so that INT and TERM reach the traps at once.
build/valmora-panel --settings "$demo/setting.ini" &
panel=$!
status=0
wait "$panel" || status=$?
panel=""
exit "$status"
