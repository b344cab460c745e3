# Sourced by the scripts that run the stand-in hosting service beside the
# program (demo.sh, check-windows.sh, bench-windows.sh): one way to start
# and stop it. The service is a Linux program of the native build.

service_program=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/valmora-api-service
service_pid=""

# service_start <folder> [option...]: starts the service on a free loopback
# port with a certificate made into <folder>/tls and its log in
# <folder>/service.log, adding the options given (those of the test or demo
# it serves); waits until it listens and sets service_pid, service_port and
# service_cert. Fails, showing the log, when it does not listen within 30 s.
service_start() {
    local folder=$1
    shift
    mkdir -p "$folder"
    rm -f "$folder/port"
    "$service_program" --generate-cert "$folder/tls" --port 0 --port-file "$folder/port" "$@" \
        >"$folder/service.log" 2>&1 &
    service_pid=$!
    # The port file appears, whole, once the service listens.
    for _ in $(seq 300); do
        [ -s "$folder/port" ] && break
        kill -0 "$service_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$folder/port" ]; then
        service_stop
        cat "$folder/service.log" >&2
        echo "the stand-in service did not start" >&2
        return 1
    fi
    service_port=$(cat "$folder/port")
    service_cert=$folder/tls/cert.pem
}

# service_stop: ends the service started last, if it still runs.
service_stop() {
    if [ -n "$service_pid" ]; then
        kill "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
        service_pid=""
    fi
}
