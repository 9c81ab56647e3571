#!/usr/bin/env bash
# Serves two resources of the sample server with the tool of a demo build, showing each
# command before its output. Usage: demo.sh TOOL
set -euo pipefail
tool=$1
export SQL2JSON_LOG_LEVEL=${SQL2JSON_LOG_LEVEL:-1}  # the converter's own failures only

power="select * from PowerView where ChassisId = '1U'"
echo
echo "\$ sql2json view \"$power\""
"$tool" view "$power"

port=/redfish/v1/Managers/BMC/DedicatedNetworkPorts/1
echo
echo "\$ sql2json get $port"
"$tool" get "$port"
