#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the stand-in hosting
# service on a free loopback port with a fresh certificate and runs the
# program with build/demo/setting.ini, which lists three demo servers.
# The service stops when the program ends. The settings file the program
# uses without --settings is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
source scripts/lib/service.sh

demo=build/demo
mkdir -p "$demo"

panel=""
stop_all() {
    if [ -n "$panel" ]; then kill "$panel" 2>/dev/null || true; fi
    service_stop
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

service_start "$demo"
build/valmora-demo-settings "$demo/setting.ini" \
    --host "127.0.0.1:$service_port" --cacert "$service_cert"

echo "Demo service on https://127.0.0.1:$service_port (log: $demo/service.log)"
# In the background so that INT and TERM reach the traps at once.
build/valmora-panel --settings "$demo/setting.ini" &
panel=$!
status=0
wait "$panel" || status=$?
panel=""
exit "$status"
