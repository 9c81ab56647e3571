#!/usr/bin/env bash
# Starts the Redfish service of a demo build in the background on a free loopback port,
# fetches one resource with curl, stops the service and shows its request log. Fails when
# the request fails.
# Usage: serve_demo.sh TOOL [PATH]
set -euo pipefail
tool=$1
path=${2:-/redfish/v1/Chassis/1U}

log=$(mktemp)
"$tool" serve --bind 127.0.0.1 --port 0 2>"$log" &
pid=$!
stop() {
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo
    echo "service log:"
    cat "$log"
    rm -f "$log"
}
trap stop EXIT

port=
for _ in $(seq 100); do
    port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$log")
    [[ -n "$port" ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [[ -z "$port" ]]; then
    echo "the service did not start" >&2
    exit 1
fi

url="http://127.0.0.1:$port$path"
echo
echo "\$ sql2json serve --port 0 &    # listening on port $port"
echo "\$ curl -i $url"
curl -sS -i --fail-with-body --max-time 10 "$url"
