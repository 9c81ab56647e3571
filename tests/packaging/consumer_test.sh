#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds a consumer against it through
# the CMake package and through pkg-config, and runs both, with SQL2JSON_ROOT naming the sample
# tree a build with the tool makes: the library must not read it.
set -euo pipefail
build=$1; source=$(cd "$(dirname "$0")" && pwd); scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
export SQL2JSON_ROOT=$build/sample-root
cmake --install "$build" --prefix "$scratch/usr" >/dev/null
lib=$(ls -d "$scratch"/usr/lib*/ | head -n1); include=$scratch/usr/include
test -f "$include/sql2json/platform/vexa_heater_mgr.h" # the consumers show the rest is in place
cmake -S "$source/consumer" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$scratch/usr" >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null && "$scratch/cmake-build/consumer"
export PKG_CONFIG_PATH="$lib/pkgconfig"
c++ -std=c++17 "$source/consumer/main.cpp" -o "$scratch/pc-consumer" -I"$include" $(pkg-config --cflags --libs sql2json-converter)
LD_LIBRARY_PATH="$lib" "$scratch/pc-consumer"
echo "consumer builds: cmake package and pkg-config OK"
