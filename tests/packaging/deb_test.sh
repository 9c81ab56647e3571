#!/usr/bin/env bash
# Builds the Debian packages, unpacks each into a scratch root and checks what it holds.
set -euo pipefail
build=$1; scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
for pkg in libsql2json-converter1 libsql2json-converter-dev sql2json-tools; do
    deb=$(ls "$scratch"/out/${pkg}_*.deb)
    [[ $(dpkg-deb -f "$deb" Package) == "$pkg" ]] && dpkg -x "$deb" "$scratch/$pkg"
done
for file in libsql2json-converter1/libsql2json-converter.so.1.0.0 libsql2json-converter1/libsql2json-platform.so.1 \
    libsql2json-converter-dev/SqlitetoJsonConverter.h libsql2json-converter-dev/sql2jsonConfig.cmake \
    libsql2json-converter-dev/sql2json-converter.pc sql2json-tools/bin/sql2json; do
    find "$scratch/${file%%/*}" -path "*/${file#*/}" | grep -q .
done
echo "debian packages OK"
