#!/usr/bin/env bash
# The library's dynamic symbol table must equal the committed list of the public API.
set -euo pipefail
library=$1; expected=$2
actual=$(nm -D --defined-only "$library" | awk '{ $1=""; $2=""; sub(/^  /, ""); print }' \
         | c++filt | LC_ALL=C sort)
if ! diff -u <(LC_ALL=C sort "$expected") <(printf '%s\n' "$actual"); then
    echo "exported symbols differ from $expected" >&2
    exit 1
fi
echo "exported symbols match"
