#!/usr/bin/env bash
# Installs the 32-bit ARM cross toolchain, the armhf libraries and qemu user emulation.
set -uo pipefail
arch_pkgs=(libsqlite3-dev:armhf libjsoncpp-dev:armhf libgtest-dev:armhf)
tools=(crossbuild-essential-armhf qemu-user)
missing=()
for p in "${tools[@]}" "${arch_pkgs[@]}"; do
    [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] || missing+=("$p")
done
((${#missing[@]})) || exit 0
SUDO=""; [[ $(id -u) -eq 0 ]] || SUDO=sudo
$SUDO dpkg --add-architecture armhf
$SUDO apt-get update -qq   # one armhf index may fail to load; the install below decides
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y -qq "${missing[@]}"; then
    # An amd64 package and its armhf twin must have the same version: pin both.
    pins=()
    for p in linux-libc-dev libssl3 libssl-dev; do
        v=$(apt-cache policy "$p:armhf" | awk '/Candidate:/ {print $2}')
        [[ -n "$v" && "$v" != "(none)" ]] || continue
        pins+=("$p=$v")
        [[ $p == libssl-dev ]] || pins+=("$p:armhf=$v")
    done
    $SUDO apt-get install -y -qq --allow-downgrades "${pins[@]}" "${missing[@]}" || exit 1
fi
