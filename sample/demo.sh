#!/usr/bin/env bash
# Prints two resources of the sample server with the tool of a demo build, showing each
# command before its output, then checks the whole service against DMTF's schemas when a
# schema folder is at hand. Usage: demo.sh TOOL [SCHEMA_DIR]
set -euo pipefail
tool=$1
schemas=${2:-$(dirname "$0")/../../shared/dmtf/json-schema}

power="select * from PowerView where ChassisId = '1U'"
echo
echo "\$ sql2json view \"$power\""
"$tool" view "$power"

port=/redfish/v1/Managers/BMC/DedicatedNetworkPorts/1
echo
echo "\$ sql2json get $port"
"$tool" get "$port"

echo
if [[ -d "$schemas" ]]; then
    echo "\$ sql2json check --schemas $schemas"
    "$tool" check --schemas "$schemas"
else
    echo "No DMTF schema folder at $schemas: to check the whole service, download DMTF's"
    echo "Redfish schema bundle (DSP8010), unpack it and run"
    echo "  $tool check --schemas <bundle>/json-schema"
fi
