#!/usr/bin/env bash
# Runs every benchmark of the build tree.
set -euo pipefail
build=${1:-build}
status=0
for b in "$build"/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    QT_QPA_PLATFORM=offscreen "$b" --benchmark_counters_tabular=true || status=1
done
exit $status
