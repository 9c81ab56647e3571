#!/usr/bin/env bash
# Builds the benchmarks in release mode, runs every case and prints one table of medians and
# ratios. Arguments go to the benchmark program, e.g. --smoke (each case once at the smallest
# size, results checked), --rows=10000, --rounds=5, --benchmark_filter=case2.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-bench}
JOBS=${JOBS:-2}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSQL2JSON_BUILD_BENCH=ON \
  -DSQL2JSON_BUILD_TESTS=OFF -DSQL2JSON_BUILD_TOOLS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target sql2json_bench

echo "machine: $(nproc) x$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)," \
  "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), $(date -u '+%F %H:%M UTC')"
SQL2JSON_LOG_LEVEL=0 "$BUILD/bench/sql2json_bench" "$@"
