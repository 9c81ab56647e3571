#!/usr/bin/env bash
# The library's dynamic symbol table must equal the committed list of the public API.
set -euo pipefail
diff -u <(LC_ALL=C sort "$2") <(nm -D --defined-only "$1" | awk '{$1 = $2 = ""; print substr($0, 3)}' | c++filt | LC_ALL=C sort)
echo "exported symbols match"
