#!/usr/bin/env bash
# Builds the Debian packages, unpacks each into a scratch root and checks what it holds.
set -euo pipefail
build=$1
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
for pkg in libsql2json-converter1 libsql2json-converter-dev sql2json-tools; do
    deb=$(ls "$scratch"/out/${pkg}_*.deb)
    [[ $(dpkg-deb -f "$deb" Package) == "$pkg" ]]
    dpkg -x "$deb" "$scratch/root-$pkg"
done
find "$scratch/root-libsql2json-converter1" -name 'libsql2json-converter.so.1.0.0' | grep . >/dev/null
find "$scratch/root-libsql2json-converter1" -name 'libsql2json-platform.so.1' | grep . >/dev/null
find "$scratch/root-libsql2json-converter-dev" -name 'SqlitetoJsonConverter.h' | grep . >/dev/null
find "$scratch/root-libsql2json-converter-dev" -name 'sql2jsonConfig.cmake' | grep . >/dev/null
find "$scratch/root-libsql2json-converter-dev" -name 'sql2json-converter.pc' | grep . >/dev/null
find "$scratch/root-sql2json-tools" -path '*/bin/sql2json' | grep . >/dev/null
echo "debian packages OK"
