#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds a consumer against it through
# the CMake package and through pkg-config, and runs both.
set -euo pipefail
build=$1; source=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/usr" >/dev/null
libdir=$(ls -d "$scratch"/usr/lib*/ | head -n1)
test -L "$libdir/libsql2json-converter.so"
test -L "$libdir/libsql2json-converter.so.1"
test -f "$libdir/libsql2json-converter.so.1.0.0"
test -f "$scratch/usr/include/SqlitetoJsonConverter.h"
test -f "$scratch/usr/include/sql2json/platform/vexa_heater_mgr.h"

# CMake package.
cmake -S "$source/consumer" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$scratch/usr" >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null
"$scratch/cmake-build/consumer"

# pkg-config.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
c++ -std=c++17 "$source/consumer/main.cpp" -o "$scratch/pc-consumer" \
    -I"$scratch/usr/include" $(pkg-config --cflags --libs sql2json-converter)
LD_LIBRARY_PATH="$libdir" "$scratch/pc-consumer"
echo "consumer builds: cmake package and pkg-config OK"
