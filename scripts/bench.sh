#!/usr/bin/env bash
# Runs every benchmark of a build tree; medians of five repetitions.
set -euo pipefail
build=${1:-build/bench}
for b in "$build"/bin/*_bench; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
         --benchmark_display_aggregates_only=true 2>&1 | grep -E '_median|^Benchmark|^-' || true
done
