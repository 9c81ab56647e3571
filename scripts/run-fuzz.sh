#!/usr/bin/env bash
# Runs every fuzz target in BUILD for SECONDS each, from a scratch copy of its seed corpus,
# and prints one summary line per target (total executions and executions per second).
set -euo pipefail
build=$1; seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export SQL2JSON_LOG_LEVEL=0   # the host logger drops every message
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for target in "$build"/fuzz/fuzz_*; do
    [[ -x $target && -f $target ]] || continue
    name=$(basename "$target")
    mkdir -p "$work/$name"
    cp -r "$root/fuzz/corpus/$name/." "$work/$name/" 2>/dev/null || true
    log="$work/$name.log"
    if "$target" "$work/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/$name-" -print_final_stats=1 >"$log" 2>&1; then
        execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
        rate=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")
        echo "fuzz $name: OK, $execs executions, $rate exec/s in ${seconds}s"
    else
        echo "fuzz $name: FAILED" >&2
        tail -n 60 "$log" >&2
        status=1
    fi
done
exit $status
