#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-dev clang-format clang-tidy libsqlite3-dev libjsoncpp-dev libgtest-dev libgmock-dev
          libbenchmark-dev sqlite3 python3 python3-jsonschema pkg-config libcpp-httplib-dev libvalijson-dev
          dpkg-dev file binutils
          redfishtool python3-sushy curl)
arch=$(dpkg --print-architecture)
missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p:$arch" 2>/dev/null || dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    SUDO=""; [[ $(id -u) -eq 0 ]] || SUDO=sudo
    $SUDO apt-get update -qq || true   # one failing index must not stop the install
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
